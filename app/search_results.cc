// The search window: the hits as they come, the progress and the stop button.
#include "app/search_results.h"

#include <QBoxLayout>
#include <QHeaderView>

namespace velloria {
namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kFolderRole = Qt::UserRole + 1;

// The folder of `path` below the category folder `root`, empty for the folder itself.
QString SubFolderText(const std::string& root, const std::string& path) {
  std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos || slash <= root.size()) return {};
  return QString::fromStdString(path.substr(root.size() + 1, slash - root.size() - 1));
}

QString FoundText(int count) {
  return count == 1 ? QStringLiteral("1 documento trovato")
                    : QStringLiteral("%1 documenti trovati").arg(count);
}

}  // namespace

SearchResults::SearchResults(QWidget* window)
    : QDialog(window),
      m_status(new QLabel(this)),
      m_results(new QTreeWidget(this)),
      m_progress(new QProgressBar(this)),
      m_stop(new QPushButton(QStringLiteral("&Interrompi"), this)) {
  setObjectName(QStringLiteral("frmCerca"));
  setWindowTitle(QString::fromUtf8(kSearchTitle));
  setModal(false);
  m_status->setObjectName(QStringLiteral("LblCerca"));
  m_results->setObjectName(QStringLiteral("LVTrovati"));
  m_results->setAccessibleName(QStringLiteral("Documenti trovati"));
  m_results->setHeaderLabels(
      {QStringLiteral("Documento"), QStringLiteral("Categoria"), QStringLiteral("Sottocartella")});
  m_results->setRootIsDecorated(false);
  m_results->setUniformRowHeights(true);
  m_results->setSortingEnabled(false);
  m_results->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  m_results->header()->setStretchLastSection(false);
  m_progress->setObjectName(QStringLiteral("PBCerca"));
  m_stop->setObjectName(QStringLiteral("BInterrompi"));
  // Enter in the results chooses a document; no button takes it.
  m_stop->setAutoDefault(false);
  auto* close = new QPushButton(QStringLiteral("C&hiudi"), this);
  close->setObjectName(QStringLiteral("BChiudi"));
  close->setAutoDefault(false);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(m_progress, 1);
  buttons->addWidget(m_stop);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_status);
  layout->addWidget(m_results, 1);
  layout->addLayout(buttons);
  resize(560, 320);

  connect(m_stop, &QPushButton::clicked, &m_search, &DocumentSearch::Stop);
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  connect(&m_search, &DocumentSearch::found, this, &SearchResults::AddHits);
  connect(&m_search, &DocumentSearch::progress, this, &SearchResults::ShowProgress);
  connect(&m_search, &DocumentSearch::finished, this, &SearchResults::Finish);
  connect(m_results, &QTreeWidget::itemActivated, this, &SearchResults::Choose);
}

void SearchResults::Run(std::vector<SearchFolder> folders, const QString& text) {
  m_text = text;
  m_results->clear();
  m_progress->setRange(0, static_cast<int>(folders.size()));
  m_progress->setValue(0);
  m_stop->setEnabled(true);
  m_status->setText(
      QStringLiteral("Ricerca di \"%1\" in %2 categorie…").arg(text).arg(folders.size()));
  m_search.Start(std::move(folders), text);
  show();
  raise();
  activateWindow();
  m_results->setFocus();
}

void SearchResults::AddHits(const std::vector<SearchHit>& hits) {
  const std::vector<SearchFolder>& folders = m_search.Folders();
  for (const SearchHit& hit : hits) {
    const SearchFolder& folder = folders[static_cast<std::size_t>(hit.folder)];
    auto* item = new QTreeWidgetItem(
        m_results, {hit.name, folder.category, SubFolderText(folder.path, hit.path)});
    item->setData(0, kPathRole, QByteArray::fromStdString(hit.path));
    item->setData(0, kFolderRole, hit.folder);
  }
  // The first hit is current, so that Enter chooses it at once.
  if (!m_results->currentItem() && m_results->topLevelItemCount() > 0) {
    m_results->setCurrentItem(m_results->topLevelItem(0));
  }
}

void SearchResults::ShowProgress(int done, int total) {
  m_progress->setMaximum(total);
  m_progress->setValue(done);
}

void SearchResults::Finish(bool stopped) {
  m_stop->setEnabled(false);
  QString found = FoundText(m_results->topLevelItemCount());
  m_status->setText(stopped ? QStringLiteral("Ricerca interrotta: %1").arg(found)
                            : QStringLiteral("\"%1\": %2").arg(m_text, found));
}

void SearchResults::Choose(QTreeWidgetItem* item) {
  if (!item || !OnChosen) return;
  int folder = item->data(0, kFolderRole).toInt();
  std::string path = item->data(0, kPathRole).toByteArray().toStdString();
  OnChosen(m_search.Folders()[static_cast<std::size_t>(folder)], path);
}

void SearchResults::done(int result) {
  m_search.Stop();
  QDialog::done(result);
}

}  // namespace velloria
