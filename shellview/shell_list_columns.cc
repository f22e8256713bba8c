// The report columns of the folder list: taken from the root folder's detail source
// (on-by-default rule, duplicate and empty titles refused) or the four fixed columns.
#include <QCoreApplication>
#include <QHeaderView>
#include <algorithm>

#include "shellview/shell_errors.h"
#include "shellview/shell_list_model.h"
#include "shellview/shell_list_view.h"

namespace velloria {
namespace {

// The fixed titles share the translations of the file-system folders' titles.
constexpr const char* kFixedTitleContext = "DetailColumns";

Qt::Alignment AlignmentOf(int format) {
  switch (format) {
    case shell::kFormatRight:
      return Qt::AlignRight;
    case shell::kFormatCenter:
      return Qt::AlignHCenter;
    default:
      return Qt::AlignLeft;
  }
}

}  // namespace

// Column changes: one view reset, after which the widths are laid out again.
class ColumnUpdate {
 public:
  explicit ColumnUpdate(TCustomShellListView* list) : m_list(list) { list->m_model->BeginUpdate(); }
  ~ColumnUpdate() { m_list->m_model->EndUpdate(); }

 private:
  TCustomShellListView* m_list;
};

void TCustomShellListView::BuildColumns() {
  if (m_rootFolder) BuildColumnsOf(*m_rootFolder);
}

void TCustomShellListView::BuildColumnsOf(TShellFolder& root) {
  if (!root.FolderInterface()) return;
  ColumnUpdate update(this);
  m_columns.clear();
  if (std::shared_ptr<IShellFolder2> folder2 = root.ShellFolder2Interface()) {
    bool metOnByDefault = false;
    shell::ShellDetails record;
    for (int column = 0; folder2->GetDetailsOf(nullptr, column, &record); ++column) {
      std::uint32_t state = 0;
      folder2->GetDefaultColumnState(column, &state);
      if (state & shell::kColumnOnByDefault) {
        metOnByDefault = true;
      } else if (metOnByDefault) {
        break;
      }
      AddColumn(record);
    }
  } else if (std::shared_ptr<IShellDetails> details = root.ShellDetailsInterface()) {
    shell::ShellDetails record;
    for (int column = 0; details->GetDetailsOf(nullptr, column, &record); ++column) {
      if (!AddColumn(record)) break;
    }
  } else if (root.ItemProperties() & ipFileSystem) {
    AddFixedColumn(QT_TRANSLATE_NOOP("DetailColumns", "Name"), Qt::AlignLeft, 25);
    AddFixedColumn(QT_TRANSLATE_NOOP("DetailColumns", "Size"), Qt::AlignRight, 10);
    AddFixedColumn(QT_TRANSLATE_NOOP("DetailColumns", "Type"), Qt::AlignLeft, 10);
    AddFixedColumn(QT_TRANSLATE_NOOP("DetailColumns", "Modified"), Qt::AlignLeft, 14);
  } else {
    AddFixedColumn(QT_TRANSLATE_NOOP("DetailColumns", "Name"), Qt::AlignLeft, 25);
  }
  if (m_sortColumn >= static_cast<int>(m_columns.size())) {
    m_sortColumn = 0;
    m_sortOrder = Qt::AscendingOrder;
  }
}

bool TCustomShellListView::AddColumn(const shell::ShellDetails& record) {
  QString title = TextFromShellString(nullptr, record.text);
  if (title.isEmpty()) return true;
  for (const TListColumn& column : m_columns) {
    if (column.title.compare(title, Qt::CaseInsensitive) == 0) {
      return false;
    }
  }
  int width = record.widthChars * fontMetrics().horizontalAdvance(QLatin1Char('X'));
  m_columns.push_back(TListColumn{title, AlignmentOf(record.format), width});
  return true;
}

void TCustomShellListView::AddFixedColumn(const char* title, Qt::Alignment alignment, int widthChars) {
  int width = widthChars * fontMetrics().horizontalAdvance(QLatin1Char('X'));
  m_columns.push_back(
      TListColumn{QCoreApplication::translate(kFixedTitleContext, title), alignment, width});
}

// Each column gets the width the user gave a column of its title, else its own width
// widened until the title fits beside the sort indicator. Runs after every view reset,
// which drops the header's widths.
void TCustomShellListView::ApplyColumnLayout() {
  m_layingOut = true;
  for (int section = 0; section < static_cast<int>(m_columns.size()); ++section) {
    const TListColumn& column = m_columns[section];
    int width = m_keptWidths.value(column.title, -1);
    if (width < 0) width = std::max(column.width, header()->sectionSizeHint(section));
    header()->resizeSection(section, width);
  }
  header()->setSortIndicator(m_sortColumn, m_sortOrder);
  m_layingOut = false;
  FitNameColumn();
}

void TCustomShellListView::KeepUserWidth(int section, int width) {
  if (m_layingOut || section >= static_cast<int>(m_columns.size())) return;
  m_keptWidths.insert(m_columns[section].title, width);
  if (section != 0) FitNameColumn();
}

// The name column, until the user sets its width, takes the room the other columns leave
// in a wide list, and never less than its own width.
void TCustomShellListView::FitNameColumn() {
  if (m_columns.empty() || m_keptWidths.contains(m_columns[0].title)) return;
  int others = 0;
  for (int section = 1; section < static_cast<int>(m_columns.size()); ++section) {
    others += header()->sectionSize(section);
  }
  int width = std::max(NameColumnBaseWidth(), viewport()->width() - others);
  if (width == header()->sectionSize(0)) return;
  m_layingOut = true;
  header()->resizeSection(0, width);
  m_layingOut = false;
}

int TCustomShellListView::NameColumnBaseWidth() const {
  return std::max(m_columns[0].width, header()->sectionSizeHint(0));
}

bool TCustomShellListView::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::Resize) FitNameColumn();
  return QTreeView::viewportEvent(event);
}

}  // namespace velloria
