// The folder list view: root resolution, enumeration and sort, reload and navigation,
// row requests, incremental search and the folder watcher.
#include "shellview/shell_list_view.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPalette>
#include <QPixmap>
#include <QStyle>
#include <QScrollBar>
#include <QMenu>
#include <algorithm>
#include <unordered_set>
#include <array>
#include <cstring>

#include "platform/fonts.h"
#include "platform/namespace_icons.h"
#include "base/paths.h"
#include "platform/wait_cursor.h"
#include "shellview/name_match.h"
#include "shellview/shell_errors.h"
#include "shellview/shell_list_model.h"
#include "shellview/shell_properties_dialog.h"

namespace velloria {
namespace {

struct RootFolderName {
  const char* name;
  int csidl;
};

constexpr std::array<RootFolderName, 23> kRootFolders = {{
    {"rfDesktop", 0x00},         {"rfMyComputer", 0x11},
    {"rfNetwork", 0x12},         {"rfRecycleBin", 0x0A},
    {"rfAppData", 0x1A},         {"rfCommonDesktopDirectory", 0x19},
    {"rfCommonPrograms", 0x17},  {"rfCommonStartMenu", 0x16},
    {"rfCommonStartup", 0x18},   {"rfControlPanel", 0x03},
    {"rfDesktopDirectory", 0x10}, {"rfFavorites", 0x06},
    {"rfFonts", 0x14},           {"rfInternet", 0x01},
    {"rfPersonal", 0x05},        {"rfPrinters", 0x04},
    {"rfPrintHood", 0x1B},       {"rfPrograms", 0x02},
    {"rfRecent", 0x08},          {"rfSendTo", 0x09},
    {"rfStartMenu", 0x0B},       {"rfStartup", 0x07},
    {"rfTemplates", 0x15},
}};

QString AsciiUpper(const QString& text) {
  QString upper = text;
  for (QChar& c : upper) {
    if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) c = QChar(c.unicode() - 'a' + 'A');
  }
  return upper;
}

bool SameTextAscii(const QString& a, const QString& b) { return AsciiUpper(a) == AsciiUpper(b); }

std::optional<int> SpecialFolderOf(const QString& text) {
  for (const RootFolderName& folder : kRootFolders) {
    if (SameTextAscii(text, QLatin1String(folder.name))) return folder.csidl;
  }
  return std::nullopt;
}

// How long after a change notice the list reloads.
constexpr int kRefreshDelayMs = 200;
constexpr int kFolderReturnCheckMs = 2000;

TFailureHandler& FailureHandler() {
  static TFailureHandler handler = [](std::exception_ptr failure) {
    QMetaObject::invokeMethod(
        qApp, [failure] { std::rethrow_exception(failure); }, Qt::QueuedConnection);
  };
  return handler;
}

// The name bytes of a one-element list, for the byte tie-break of the name order.
std::string_view NameBytes(PCItemIDList id) {
  std::size_t count = id ? shell::IdElementSize(id) : 0;
  return count < 2 ? std::string_view() : std::string_view(reinterpret_cast<const char*>(id) + 2, count - 2);
}

// One row prepared for sorting: its folder flag, its key in the sort column (none for the
// name column) and its name key, computed once.
struct SortEntry {
  bool container;
  std::optional<shell::DetailSortKey> columnKey;
  QCollatorSortKey nameKey;
  std::unique_ptr<TShellFolder> item;
};

// The sort column's order, then the name order, then the name bytes.
int KeyOrder(const SortEntry& a, const SortEntry& b) {
  if (a.columnKey) {
    if (int order = a.columnKey->compare(*b.columnKey)) return order;
  }
  if (int order = a.nameKey.compare(b.nameKey)) return order;
  std::string_view left = NameBytes(a.item->LocalID()), right = NameBytes(b.item->LocalID());
  return left < right ? -1 : (right < left ? 1 : 0);
}

}  // namespace

// Row changes between construction and destruction are shown by one view reset.
class RowUpdate {
 public:
  explicit RowUpdate(TCustomShellListView* list) : m_model(list->m_model) { m_model->BeginUpdate(); }
  ~RowUpdate() { m_model->EndUpdate(); }

 private:
  ShellListModel* m_model;
};

namespace {

// The selection keeps its active colours when the list loses the focus.
void ShowSelectionWithoutFocus(QWidget* list) {
  QPalette palette = list->palette();
  for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
    palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
  }
  list->setPalette(palette);
}

}  // namespace

TFailureHandler SetShellViewFailureHandlerForTesting(TFailureHandler handler) {
  return std::exchange(FailureHandler(), std::move(handler));
}

void ReportShellViewFailure(std::exception_ptr failure) { FailureHandler()(failure); }

TCustomShellListView::TCustomShellListView(QWidget* parent, const QString& root)
    : QTreeView(parent),
      m_rootText(root),
      m_model(new ShellListModel(this)),
      m_delegate(new ShellItemDelegate(this)) {
  if (!shell::HasPropertiesPresenter()) shell::SetPropertiesPresenter(ShowPropertiesDialog);
  setModel(m_model);
  setItemDelegate(m_delegate);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
  setMouseTracking(true);
  ShowSelectionWithoutFocus(this);
  header()->setStretchLastSection(false);
  header()->setSectionsMovable(false);
  // A click on a title sorts by that column, a second click reverses the order.
  header()->setSectionsClickable(true);
  header()->setSortIndicatorShown(true);  // room for it is kept in every column's width
  header()->setSortIndicator(m_sortColumn, m_sortOrder);
  connect(header(), &QHeaderView::sortIndicatorChanged, this,
          [this](int column, Qt::SortOrder order) { Guarded([&] { SortBy(column, order); }); });
  // A view reset drops the header's widths: they are laid out again after it.
  connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this, [this] { m_layingOut = true; });
  connect(m_model, &QAbstractItemModel::modelReset, this, &TCustomShellListView::ApplyColumnLayout);
  connect(header(), &QHeaderView::sectionResized, this,
          [this](int section, int, int width) { KeepUserWidth(section, width); });
  m_editEndWatch.setSingleShot(true);
  m_editEndWatch.setInterval(0);
  m_refreshDelay.setSingleShot(true);
  m_refreshDelay.setInterval(kRefreshDelayMs);
  m_folderReturnCheck.setInterval(kFolderReturnCheckMs);
  connect(&m_folderReturnCheck, &QTimer::timeout, this, [this] {
    if (m_rootFolder && paths::IsFolder(m_rootFolder->FileSystemPath())) Guarded([this] { ReloadList(); });
  });
  connect(&m_refreshDelay, &QTimer::timeout, this, [this] { Guarded([this] { RefreshWhenIdle(); }); });
  if (m_rootText.isEmpty()) {
    // Titles show over the empty list: those of the desktop, a file-system folder.
    QString desktop = QStringLiteral("rfDesktop");
    BuildColumnsOf(*ResolveRootText(desktop));
    return;
  }
  ResolveRoot();
  ApplyRoot();
}

TCustomShellListView::~TCustomShellListView() {
  m_watcher.reset();
  m_items.clear();
}

void TCustomShellListView::SetRoot(const QString& root) {
  if (SameTextAscii(root, m_rootText)) return;
  m_previousRoot = m_rootText;
  m_rootText = root;
  ResolveRoot();
  DropFilter();
  m_rootFromText = true;
  ApplyRoot();
}

void TCustomShellListView::ResolveRoot() {
  std::unique_ptr<TShellFolder> root = ResolveRootText(m_rootText);
  m_rootTextFolder.reset(DuplicateID(root->FullID()));
  ReplaceRootItem(std::move(root));
}

void TCustomShellListView::ClearRoot() {
  RowUpdate update(this);
  m_previousRoot = std::exchange(m_rootText, QString());
  m_rootTextFolder.reset();
  ReplaceRootItem(nullptr);
  DropFilter();
  SetAutoRefresh(m_autoRefresh);  // nothing left to watch
  emit folderShown();
}

std::unique_ptr<TShellFolder> TCustomShellListView::ResolveRootText(QString& text) {
  PItemIDList list = nullptr;
  shell::Status status = shell::Status::kNotFound;
  if (std::optional<int> csidl = SpecialFolderOf(text)) {
    status = shell::SpecialFolderLocation(*csidl, &list);
  } else if (!text.isEmpty()) {
    if (text.endsWith(QLatin1Char(':'))) text += QLatin1Char('/');
    status = shell::DesktopFolder()->ParseDisplayName(text.toStdString(), &list);
    if (status == shell::Status::kNotFound) {
      // Folder names from data that came from Windows may differ in letter case.
      std::string resolved = paths::ResolveCaseInsensitive(text.toStdString());
      status = shell::DesktopFolder()->ParseDisplayName(resolved, &list);
    }
  }
  IDListHolder holder(list);
  if (status != shell::Status::kOk || !list) {
    QString message = FormatMessage("Error setting path: \"%s\"", text);
    text = m_previousRoot;
    throw EInvalidPath(message);
  }
  return MakeRootItem(list);
}

void TCustomShellListView::ReplaceRootItem(std::unique_ptr<TShellFolder> root) {
  // Rows point at the root item as their parent: they go first.
  if (!m_items.empty() || !m_filteredOut.empty()) ReleaseItems();
  m_rootFolder = std::move(root);
  m_folderMissing = false;
  m_folderReturnCheck.stop();
}

void TCustomShellListView::ApplyRoot() {
  if (m_busy) return;
  struct BusyScope {
    TCustomShellListView* list;
    bool refresh;
    ~BusyScope() {
      list->SetAutoRefresh(refresh);
      list->m_busy = false;
    }
  } scope{this, m_autoRefresh};
  m_busy = true;
  SetAutoRefresh(false);
  FillList();
  BuildColumns();
  // The first row is current and selected, so that a screen reader has a row to read
  // and the commands on the selected document work at once from the keyboard.
  if (ItemCount() > 0) {
    selectionModel()->setCurrentIndex(
        m_model->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_selectionFromFolderChange = true;
  }
  emit folderShown();
}

void TCustomShellListView::FillList() {
  RowUpdate update(this);
  ReleaseItems();
  WaitCursor hourglass;
  std::vector<std::unique_ptr<TShellFolder>> items;
  while (!EnumerateInto(items)) items.clear();  // the root changed meanwhile: list the new one
  ApplyFilter(std::move(items));
}

// Shows the items of `items` that the filter lets through, sorted when Sorted; the
// others are kept aside for a later filter.
void TCustomShellListView::ApplyFilter(std::vector<std::unique_ptr<TShellFolder>> items) {
  RowUpdate update(this);
  m_items.clear();
  m_filteredOut.clear();
  for (std::unique_ptr<TShellFolder>& item : items) {
    bool shown = NameMatches(item->ItemName(), m_filterKey);
    (shown ? m_items : m_filteredOut).push_back(std::move(item));
  }
  m_model->SetRowCount(ItemCount());
  if (m_sorted && m_rootFolder) SortItems();
}

void TCustomShellListView::SetFilter(const QString& text) {
  QString key = NameMatchKey(text);
  m_filter = text;
  if (key == m_filterKey) return;
  m_filterKey = key;
  if (m_busy || !m_rootFolder) return;
  std::vector<const TShellFolder*> selected;
  for (int row = 0; row < ItemCount(); ++row) {
    if (selectionModel()->isRowSelected(row)) selected.push_back(m_items[row].get());
  }
  const TShellFolder* current =
      currentIndex().isValid() ? m_items[currentIndex().row()].get() : nullptr;
  std::vector<std::unique_ptr<TShellFolder>> items = std::move(m_items);
  std::move(m_filteredOut.begin(), m_filteredOut.end(), std::back_inserter(items));
  ApplyFilter(std::move(items));
  RestoreSelection(selected, current);
  if (!selectionModel()->hasSelection() && ItemCount() > 0) {
    selectionModel()->setCurrentIndex(
        m_model->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_selectionFromFolderChange = true;
  }
}

void TCustomShellListView::DropFilter() {
  if (m_filter.isEmpty()) return;
  m_filter.clear();
  m_filterKey.clear();
  emit filterDropped();
}

int TCustomShellListView::ShownDocumentCount() const {
  return static_cast<int>(std::count_if(m_items.begin(), m_items.end(),
                                        [](const auto& item) { return !item->IsContainer(); }));
}

int TCustomShellListView::DocumentCount() const {
  return ShownDocumentCount() +
         static_cast<int>(std::count_if(m_filteredOut.begin(), m_filteredOut.end(),
                                        [](const auto& item) { return !item->IsContainer(); }));
}

bool TCustomShellListView::EnumerateInto(std::vector<std::unique_ptr<TShellFolder>>& items) {
  TShellFolder* root = m_rootFolder.get();
  if (!root || !root->FolderInterface()) return true;
  std::shared_ptr<IShellFolder> folder = root->FolderInterface();
  std::uint32_t flags = 0;
  if (m_objectTypes & otFolders) flags |= shell::kEnumFolders;
  if (m_objectTypes & otNonFolders) flags |= shell::kEnumNonFolders;
  if (m_objectTypes & otHidden) flags |= shell::kEnumIncludeHidden;
  std::unique_ptr<shell::EnumIdList> enumerator = folder->EnumObjects(flags);
  if (!enumerator) return true;
  PItemIDList id = nullptr;
  while (enumerator->Next(&id)) {
    IDListHolder holder(id);
    auto item = std::make_unique<TShellFolder>(root, id, BindChildFolder(folder, id));
    bool canAdd = true;
    if (OnAddFolder) {
      OnAddFolder(this, item.get(), canAdd);
      // A handler that runs the event loop may have let the root change.
      if (m_rootFolder.get() != root) return false;
    }
    if (canAdd) items.push_back(std::move(item));
  }
  return true;
}

// Folders first, then the sort column's order, reversed when descending. With the
// folder's sort keys every item is asked once; otherwise the folder compares each pair.
void TCustomShellListView::SortItems() {
  std::shared_ptr<IShellFolder> folder = m_rootFolder->FolderInterface();
  if (!folder) return;
  int column = m_sortColumn;
  bool descending = m_sortOrder == Qt::DescendingOrder;
  auto folder2 = std::dynamic_pointer_cast<IShellFolder2>(folder);
  if (!folder2) {
    std::sort(m_items.begin(), m_items.end(), [&](const auto& a, const auto& b) {
      if (a->IsContainer() != b->IsContainer()) return a->IsContainer();
      int order = column == 0
                      ? CompareListItems(a.get(), b.get())
                      : static_cast<std::int16_t>(
                            folder->CompareIDs(column, a->LocalID(), b->LocalID()) & 0xFFFF);
      return descending ? order > 0 : order < 0;
    });
    return;
  }
  std::vector<SortEntry> entries;
  entries.reserve(m_items.size());
  for (std::unique_ptr<TShellFolder>& item : m_items) {
    std::optional<shell::DetailSortKey> columnKey;
    if (column != 0) columnKey = folder2->DetailKey(item->LocalID(), column);
    entries.push_back(SortEntry{item->IsContainer(), std::move(columnKey),
                                folder2->NameSortKey(item->LocalID()), std::move(item)});
  }
  std::sort(entries.begin(), entries.end(), [&](const SortEntry& a, const SortEntry& b) {
    if (a.container != b.container) return a.container;
    int order = KeyOrder(a, b);
    return descending ? order > 0 : order < 0;
  });
  for (std::size_t i = 0; i < entries.size(); ++i) m_items[i] = std::move(entries[i].item);
}

void TCustomShellListView::SortBy(int column, Qt::SortOrder order) {
  if (column < 0 || column >= static_cast<int>(m_columns.size())) return;
  if (column == m_sortColumn && order == m_sortOrder) return;
  m_sortColumn = column;
  m_sortOrder = order;
  header()->setSortIndicator(column, order);
  if (!m_sorted || !m_rootFolder) return;
  std::vector<const TShellFolder*> selected;
  for (int row = 0; row < ItemCount(); ++row) {
    if (selectionModel()->isRowSelected(row)) selected.push_back(m_items[row].get());
  }
  const TShellFolder* current =
      currentIndex().isValid() ? m_items[currentIndex().row()].get() : nullptr;
  {
    RowUpdate update(this);
    SortItems();
  }
  RestoreSelection(selected, current);
}

// Selects again the rows of `selected` and makes `current`'s row the current one.
void TCustomShellListView::RestoreSelection(const std::vector<const TShellFolder*>& selected,
                                            const TShellFolder* current) {
  std::unordered_set<const TShellFolder*> wanted(selected.begin(), selected.end());
  QItemSelection rows;
  for (int row = 0; row < ItemCount(); ++row) {
    const TShellFolder* item = m_items[row].get();
    QModelIndex index = m_model->index(row, 0);
    if (item == current) {
      selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
      scrollTo(index);
    }
    if (wanted.contains(item)) rows.select(index, index);
  }
  selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

int TCustomShellListView::CompareListItems(const TShellFolder* a, const TShellFolder* b) {
  if (!a || !b) return 0;
  int order = (b->IsContainer() ? 1 : 0) - (a->IsContainer() ? 1 : 0);
  if (order != 0) return order;
  std::shared_ptr<IShellFolder> parent = a->ParentFolderInterface();
  if (!parent) return 0;
  return static_cast<std::int16_t>(parent->CompareIDs(0, a->LocalID(), b->LocalID()) & 0xFFFF);
}

void TCustomShellListView::ReleaseItems() {
  RowUpdate update(this);
  m_model->SetRowCount(0);
  m_items.clear();
  m_filteredOut.clear();
}

TShellFolder* TCustomShellListView::FolderAt(int row) const {
  if (row < 0 || row >= ItemCount()) {
    throw EListError(QStringLiteral("List index out of bounds (%1)").arg(row));
  }
  return m_items[row].get();
}

int TCustomShellListView::SelectedItem() const {
  int lowest = -1;
  for (const QItemSelectionRange& range : selectionModel()->selection()) {
    if (lowest < 0 || range.top() < lowest) lowest = range.top();
  }
  return lowest;
}

bool TCustomShellListView::RowIsDocument(int row) const {
  return row >= 0 && row < ItemCount() && !m_items[row]->IsContainer();
}

TShellFolder* TCustomShellListView::SelectedShellFolder() const {
  int row = SelectedItem();
  return row < 0 ? nullptr : FolderAt(row);
}

bool TCustomShellListView::SelectItemAt(const std::string& path) {
  for (int row = 0; row < ItemCount(); ++row) {
    if (m_items[row]->FileSystemPath() != path) continue;
    QModelIndex index = m_model->index(row, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
    return true;
  }
  return false;
}

void TCustomShellListView::ReloadList() {
  if (!m_rootFolder || m_busy) return;
  if (!paths::IsFolder(m_rootFolder->FileSystemPath())) return ShowFolderMissing();
  m_folderMissing = false;
  m_folderReturnCheck.stop();
  int lowest = SelectedItem();
  std::vector<QByteArray> selected;
  for (const QItemSelectionRange& range : selectionModel()->selection()) {
    for (int row = range.top(); row <= range.bottom(); ++row) selected.push_back(IDBytes(m_items[row]->LocalID()));
  }
  QByteArray current = currentIndex().isValid() ? IDBytes(m_items[currentIndex().row()]->LocalID()) : QByteArray();
  int scroll = verticalScrollBar()->value();
  bool selectionInView = RowInView(SelectionAnchorRow());
  clearSelection();
  IDListHolder copy(DuplicateID(m_rootFolder->FullID()));
  ShowFolderID(copy.get());
  QHash<QByteArray, const TShellFolder*> byId;
  if (!selected.empty() || !current.isEmpty()) {
    for (const std::unique_ptr<TShellFolder>& item : m_items) byId.insert(IDBytes(item->LocalID()), item.get());
  }
  std::vector<const TShellFolder*> kept;
  for (const QByteArray& id : selected) {
    if (const TShellFolder* item = byId.value(id)) kept.push_back(item);
  }
  const TShellFolder* currentItem = byId.value(current);
  if (kept.empty() && lowest >= 0 && lowest < ItemCount()) {
    kept.push_back(m_items[lowest].get());
    if (!currentItem) currentItem = kept.front();
  }
  RestoreSelection(kept, currentItem);
  verticalScrollBar()->setValue(scroll);
  // Rows added or removed above the selected one move it: a selected row in view before
  // the reload stays in view, though the scroll position then changes.
  if (selectionInView)
    scrollTo(m_model->index(SelectionAnchorRow(), 0), QAbstractItemView::EnsureVisible);
}

// The folder shown has gone: its rows go too (a command on them could only fail, or start
// the word processor on a path that is no more), and the folder is looked for until it
// comes back.
void TCustomShellListView::ShowFolderMissing() {
  if (m_folderMissing) return;
  m_folderMissing = true;
  RowUpdate update(this);
  ReleaseItems();
  m_folderReturnCheck.start();
  emit folderShown();
}

// The selected row a reload keeps in view: the current row when selected, else the first
// selected one; -1 without a selection.
int TCustomShellListView::SelectionAnchorRow() const {
  QModelIndex current = currentIndex();
  return current.isValid() && selectionModel()->isRowSelected(current.row()) ? current.row()
                                                                             : SelectedItem();
}

bool TCustomShellListView::RowInView(int row) const {
  return row >= 0 && viewport()->rect().intersects(visualRect(m_model->index(row, 0)));
}

// A change notice: the list reloads unless a caption editor is open, which is left alone;
// the reload then follows the end of the edit.
void TCustomShellListView::RefreshWhenIdle() {
  if (OpenEditor()) {
    m_refreshPending = true;
    return;
  }
  m_refreshPending = false;
  ReloadList();
}

// The row whose item has exactly the id `id` (the same name bytes), or -1.
int TCustomShellListView::RowOfLocalID(PCItemIDList id) const {
  std::size_t size = IDSize(id);
  for (int row = 0; row < ItemCount(); ++row) {
    PCItemIDList other = m_items[row]->LocalID();
    if (IDSize(other) == size && std::memcmp(other, id, size) == 0) return row;
  }
  return -1;
}

void TCustomShellListView::OpenFolderID(PCItemIDList absolute) {
  if (m_busy) return;
  if (m_rootFolder && SameID(m_rootFolder->FullID(), absolute)) return;
  DropFilter();
  ShowFolderID(absolute);
}

// Shows `absolute` afresh, keeping the filter.
void TCustomShellListView::ShowFolderID(PCItemIDList absolute) {
  ReplaceRootItem(nullptr);
  m_rootFromText = false;
  ReplaceRootItem(MakeRootItem(absolute));
  ApplyRoot();
}

void TCustomShellListView::GoUp() {
  if (!m_rootFolder) return;
  IDListHolder parent(DuplicateID(m_rootFolder->FullID()));
  DropLastIDElement(parent.get());
  if (m_staysInRoot && !IsInsideRootText(parent.get())) return;
  OpenFolderID(parent.get());
}

bool TCustomShellListView::CanGoUp() const {
  if (!m_rootFolder || IDElementCount(m_rootFolder->FullID()) == 0) return false;
  if (!m_staysInRoot) return true;
  IDListHolder parent(DuplicateID(m_rootFolder->FullID()));
  DropLastIDElement(parent.get());
  return IsInsideRootText(parent.get());
}

QString TCustomShellListView::ShownFolderText() const {
  return m_rootFolder ? m_rootFolder->FullPath() : QString();
}

// True when `folder` is the folder Root names or lies below it.
bool TCustomShellListView::IsInsideRootText(PCItemIDList folder) const {
  int top = IDElementCount(m_rootTextFolder.get());
  int depth = IDElementCount(folder);
  if (!m_rootTextFolder.get() || depth < top) return false;
  IDListHolder head(DuplicateID(folder));
  for (; depth > top; --depth) DropLastIDElement(head.get());
  return SameID(head.get(), m_rootTextFolder.get());
}

void TCustomShellListView::SetAutoRefresh(bool on) {
  m_autoRefresh = on;
  m_watcher.reset();
  m_refreshDelay.stop();
  if (on) StartWatcher();
}

void TCustomShellListView::StartWatcher() {
  if (!m_rootFolder) return;
  m_watcher = std::make_unique<shell::FolderWatcher>(m_rootFolder->FileSystemPath());
  // Changes come in bursts (a copy writes many times): one reload shortly after the
  // first notice covers the burst, without waiting for a long copy to end.
  connect(m_watcher.get(), &shell::FolderWatcher::changed, this, [this] {
    if (!m_refreshDelay.isActive()) m_refreshDelay.start();
  });
  // A network folder is checked only while the window is active (see event()).
  m_watcher->SetPolling(isActiveWindow());
}

void TCustomShellListView::SetSorted(bool sorted) {
  if (sorted == m_sorted) return;
  m_sorted = sorted;
  header()->setSectionsClickable(sorted);
  header()->setSortIndicatorShown(sorted);
  FillList();
}

void TCustomShellListView::SetObjectTypes(TShellObjectTypes types) {
  m_objectTypes = types;
  ApplyRoot();
}

void TCustomShellListView::SetReadOnly(bool readOnly) {
  m_readOnly = readOnly;
  m_model->SetEditable(!readOnly);
  setEditTriggers(readOnly ? QAbstractItemView::NoEditTriggers
                           : QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
}

// The icon theme is read after the list's first paint, so that the window shows without
// waiting for it; the icons follow in the next turn of the event loop.
void TCustomShellListView::paintEvent(QPaintEvent* event) {
  QTreeView::paintEvent(event);
  if (m_iconState != IconState::kBlank) return;
  m_iconState = IconState::kComing;
  QTimer::singleShot(0, this, [this] {
    m_iconState = IconState::kShown;
    m_model->IconsChanged();
  });
}

// Stands in for a row's icon until the icons are shown; of the icons' size, so that the
// rows keep their height when the icons come.
QIcon TCustomShellListView::BlankIcon() const {
  QSize size = iconSize().isValid() ? iconSize()
                                    : QSize(1, 1) * style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
  if (m_blankIcon.actualSize(size) != size) {
    QPixmap blank(size);
    blank.fill(Qt::transparent);
    m_blankIcon = QIcon(blank);
  }
  return m_blankIcon;
}

QVariant TCustomShellListView::RowData(int row, int column, int role) const {
  if (row < 0 || row >= ItemCount() || column < 0 || column >= static_cast<int>(m_columns.size())) return {};
  TShellFolder* item = m_items[row].get();
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(m_columns[column].alignment | Qt::AlignVCenter);
  if (role == Qt::DecorationRole && column == 0) {
    return m_iconState == IconState::kShown ? shell::IconAt(item->SystemIconIndex(false, false)) : BlankIcon();
  }
  if (role == Qt::AccessibleTextRole) {
    // A screen reader says a word for an empty detail (a folder's size), not nothing.
    QString text = RowData(row, column, Qt::DisplayRole).toString();
    return text.isEmpty() ? QCoreApplication::translate("DetailColumns", "empty") : text;
  }
  if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
  if (column == 0) return item->ItemName();
  try {
    item->LoadColumnDetails(m_rootFolder.get(), static_cast<int>(m_columns.size()));
    return item->ColumnText(column);
  } catch (const EShellError&) {
    return QString();  // an item gone since the enumeration shows no details
  }
}

QVariant TCustomShellListView::HeaderData(int section, int role) const {
  if (section < 0 || section >= static_cast<int>(m_columns.size())) return {};
  if (role == Qt::DisplayRole) return m_columns[section].title;
  if (role == Qt::InitialSortOrderRole) return Qt::AscendingOrder;  // a first click sorts ascending
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(m_columns[section].alignment | Qt::AlignVCenter);
  return {};
}

int TCustomShellListView::FindItemByText(const QString& text, int start, bool wrap) const {
  int count = ItemCount();
  if (count == 0) return -1;
  if (start < 0 || start >= count) start = 0;
  QString wanted = AsciiUpper(text);
  int row = start;
  do {
    if (AsciiUpper(m_items[row]->ItemName()).startsWith(wanted)) return row;
    if (++row >= count) {
      if (!wrap) return -1;
      row = 0;
    }
  } while (row != start);
  return -1;
}

void TCustomShellListView::keyboardSearch(const QString& search) {
  if (search.isEmpty()) return;
  bool continuing = m_searchClock.isValid() && m_searchClock.elapsed() < QApplication::keyboardInputInterval();
  m_searchText = continuing ? m_searchText + search : search;
  m_searchClock.start();
  // A row that only holds the focus frame is no starting point, as for the arrow keys.
  int current = currentIndex().isValid() && selectionModel()->hasSelection() ? currentIndex().row() : -1;
  int row = FindItemByText(m_searchText, continuing ? current : current + 1, true);
  if (row < 0) return;
  QModelIndex index = m_model->index(row, 0);
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  scrollTo(index);
}

}  // namespace velloria
