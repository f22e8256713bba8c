// The folder list view: the items of one folder (its root) as the rows of a report-style
// Qt item view in owner-data style (the model holds a row count and asks the list for a
// row's caption, icon and column texts when drawn), with in-place rename, keys,
// double-click and context menu. GUI thread only.
#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QIcon>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QTreeView>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/fileops.h"
#include "platform/folder_watch.h"
#include "platform/officelock.h"
#include "shellview/shell_folder.h"

namespace velloria {

class ShellListModel;
class ShellItemDelegate;

enum TShellObjectType : unsigned { otFolders = 1u << 0, otNonFolders = 1u << 1, otHidden = 1u << 2 };
using TShellObjectTypes = unsigned;

class TCustomShellListView;

// Asked for every enumerated item; setting `canAdd` false leaves the item out.
using TAddFolderEvent = std::function<void(TCustomShellListView* sender, TShellFolder* folder, bool& canAdd)>;
// A key press or release; `key` is a Qt::Key value, set it to 0 to consume the press.
using TKeyEvent = std::function<void(TCustomShellListView* sender, int& key, Qt::KeyboardModifiers shift)>;
using TMouseMoveEvent =
    std::function<void(TCustomShellListView* sender, Qt::KeyboardModifiers shift, int x, int y)>;
using TNotifyEvent = std::function<void(TCustomShellListView* sender)>;
// Before the popup menu opens at `position` (screen); `handled` true shows none.
using TContextPopupEvent = std::function<void(TCustomShellListView* sender, QPoint position, bool& handled)>;
// Before a rename that changes, adds or removes a file's extension; false keeps the name.
using TRenameQuestionEvent =
    std::function<bool(TCustomShellListView* sender, const QString& oldName, const QString& newName)>;
// After a rename that took `newName`, the typed name without its leading blanks.
using TNameEvent = std::function<void(TCustomShellListView* sender, const QString& newName)>;
// After a rename done in the list, with the item's old and new full paths (file-system
// bytes).
using TRenamedEvent = std::function<void(TCustomShellListView* sender, const std::string& oldPath,
                                         const std::string& newPath)>;

// Before a rename of the document at `path` that only another computer's lock file holds
// (see shell::ForeignLockOf); true renames it, its lock files going with the old name.
using TForeignLockEvent = std::function<bool(TCustomShellListView* sender, const std::string& path,
                                             const shell::ForeignLock& lock)>;

// Where failures inside event handling go (Qt does not let exceptions cross its event
// loop). The standard handler rethrows the failure from a queued call, where the
// application object's failure display catches it.
using TFailureHandler = std::function<void(std::exception_ptr failure)>;
// Test hook: replaces the handler; returns the one in use before.
TFailureHandler SetShellViewFailureHandlerForTesting(TFailureHandler handler);
void ReportShellViewFailure(std::exception_ptr failure);

// Runs `action`, handing any failure to the shell view's failure handler.
template <typename Action>
void Guarded(Action&& action) {
  try {
    action();
  } catch (...) {
    ReportShellViewFailure(std::current_exception());
  }
}

// One report column.
struct TListColumn {
  QString title;
  Qt::Alignment alignment;
  int width;  // pixels
};

class TCustomShellListView : public QTreeView {
  Q_OBJECT

 public:
  // The list shows the desktop until given another Root; an empty `root` starts it with
  // no folder (as after ClearRoot), enumerating nothing.
  explicit TCustomShellListView(QWidget* parent = nullptr, const QString& root = QStringLiteral("rfDesktop"));
  ~TCustomShellListView() override;

  // The root folder text: an absolute path or a special-folder name ("rfDesktop",
  // "rfPersonal", ...); a path missing as spelled is looked up ignoring letter case.
  // Setting the text it already has (ignoring ASCII case) does nothing. Raises EInvalidPath "Error setting path: \"%s\"" when the text names no
  // folder; the root, the text and the rows then stay as they were.
  QString Root() const { return m_rootText; }
  void SetRoot(const QString& root);
  QString PreviousRoot() const { return m_previousRoot; }
  // Shows no folder: no rows, no root item, an empty Root text; the columns stay.
  void ClearRoot();
  TShellFolder* RootShellFolder() const { return m_rootFolder.get(); }

  bool AutoContextMenus() const { return m_autoContextMenus; }
  void SetAutoContextMenus(bool on) { m_autoContextMenus = on; }
  bool AutoNavigate() const { return m_autoNavigate; }
  void SetAutoNavigate(bool on) { m_autoNavigate = on; }
  // GoUp (and so Backspace) climbs no higher than the folder Root names; its sub-folders
  // can still be entered and left. Off by default: the list climbs to the desktop.
  bool StaysInRoot() const { return m_staysInRoot; }
  void SetStaysInRoot(bool on) { m_staysInRoot = on; }
  // Watches the root folder and reloads the list when it changes (see ReloadList), never
  // while a caption editor is open: the reload waits for the edit to end. A folder on a
  // network file system is checked every few seconds while the window is active.
  bool AutoRefresh() const { return m_autoRefresh; }
  void SetAutoRefresh(bool on);
  shell::FolderWatcher* FolderWatcherForTesting() const { return m_watcher.get(); }
  bool Sorted() const { return m_sorted; }
  void SetSorted(bool sorted);
  TShellObjectTypes ObjectTypes() const { return m_objectTypes; }
  void SetObjectTypes(TShellObjectTypes types);
  // Captions can be edited in place (a rename) unless read-only.
  bool ReadOnly() const { return m_readOnly; }
  void SetReadOnly(bool readOnly);
  // The menu a right-click opens when AutoContextMenus is off (not owned).
  QMenu* PopupMenu() const { return m_popupMenu; }
  void SetPopupMenu(QMenu* menu) { m_popupMenu = menu; }

  // The rows shown: with a filter, only the items whose name matches it.
  int ItemCount() const { return static_cast<int>(m_items.size()); }
  // The filter: the rows show only the items whose name, as shown, contains `text`, letter
  // case and accents ignored (see NameMatches); an empty text shows every item. The
  // selected rows still shown stay selected; when none is left, the first row is selected
  // as after a folder change. Reloads keep the filter; another folder shown drops it
  // (filterDropped()).
  void SetFilter(const QString& text);
  QString Filter() const { return m_filter; }
  bool Filtered() const { return !m_filterKey.isEmpty(); }
  // The documents (items other than folders) in the rows, and in the folder, filter or not.
  int ShownDocumentCount() const;
  int DocumentCount() const;
  // The shell item of row `row`; raises EListError outside the rows.
  TShellFolder* FolderAt(int row) const;
  // The selected row with the lowest index, or -1.
  int SelectedItem() const;
  TShellFolder* SelectedShellFolder() const;
  // Selects the row of the item at `path` alone and makes it current, scrolled into view,
  // as after a command that made the item; false, the selection unchanged, when no row
  // shows it.
  bool SelectItemAt(const std::string& path);

  // Rebuilds the rows and columns of the same folder. The items selected before stay
  // selected, the current item stays current and the scroll position stays, as far as
  // the items are still there; when no selected item is left, the row at the position of
  // the first one, if any, is selected.
  void ReloadList();
  // Shows the folder `absolute` (Root keeps its text); nothing when it is shown already.
  void OpenFolderID(PCItemIDList absolute);
  // Shows the parent of the shown folder; nothing at the desktop, nor, when StaysInRoot,
  // at the folder Root names.
  void GoUp();
  // True when GoUp would show another folder.
  bool CanGoUp() const;
  // The folder whose items the list shows (a sub-folder entered, or the root), as the
  // file names are shown; empty with no folder.
  // True while the folder shown has gone (removed, moved away, its share lost): the list is
  // empty, and it shows the folder again by itself when the folder comes back (checked every
  // two seconds) or at F5. folderShown() is emitted when it goes and comes back.
  bool FolderMissing() const { return m_folderMissing; }
  QString ShownFolderText() const;
  // Enumerates the shown folder into rows (and sorts them when Sorted).
  virtual void FillList();
  void BuildColumns();
  void ReleaseItems();
  const std::vector<TListColumn>& Columns() const { return m_columns; }

  // True when row `row` shows a document (not a folder); false outside the rows.
  bool RowIsDocument(int row) const;

  // The first row from `start` whose name begins with `text` (ASCII case ignored),
  // continuing from row 0 when `wrap`; -1 when none.
  int FindItemByText(const QString& text, int start, bool wrap) const;
  // Folders before files, then the folder's own name order.
  static int CompareListItems(const TShellFolder* a, const TShellFolder* b);
  // The column the rows are sorted by and its direction; folders come first either way.
  // By default the name column, ascending: the folder's own name order. A click on a
  // column title sorts by it, a second click reverses.
  int SortColumn() const { return m_sortColumn; }
  Qt::SortOrder SortOrder() const { return m_sortOrder; }
  // Sorts by `column` (an index of Columns()) in `order`; the selected items stay
  // selected. Kept for later folders; the rows are reordered only when Sorted.
  void SortBy(int column, Qt::SortOrder order);

  // Gives the list the focus and opens the caption editor of `row`; true when it opened.
  bool BeginLabelEdit(int row);
  // Ends an open caption edit, keeping the typed text (so a changed name is renamed).
  void CancelLabelEdit();
  // Closes an open caption editor dropping the typed text: nothing is renamed.
  void AbandonLabelEdit();
  bool LabelEditing() const;
  // Opens the caption editor of the selected row; nothing while an editor is open or
  // with no row selected.
  void RenameSelectedItem();
  // The end of a caption edit: renames row `row`'s item to `text` without its leading
  // blanks (as Windows drops them from a typed name; OnLeadingBlanksRemoved then hears of
  // it) and redraws the row. Rows outside the list, and a name equal to the item's, are
  // ignored. A file whose extension the new name changes is renamed only after
  // OnExtensionChange agrees, asked once the edit has ended; so is a document that only
  // another computer's lock file holds, renamed only after OnForeignLock agrees. Raises
  // EShellError (RenameFailedText) when the name is refused or the rename fails, and when
  // the name leads to another file than the one the editor was opened on (renamed or
  // replaced at another desk meanwhile).
  void EndLabelEdit(int row, const QString& text);
  // EndLabelEdit from the caption editor: a refused name is reported to the failure
  // handler and the editor opens again on the same item with the typed text, once no
  // modal box is open, so that the user can correct it.
  void CommitLabelEdit(int row, const QString& text);
  // Runs `verb` ("open", "properties") on `item`; nothing without an item.
  void InvokeItemVerb(TShellFolder* item, const char* verb);

  TAddFolderEvent OnAddFolder;
  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TMouseMoveEvent OnMouseMove;
  TNotifyEvent OnDblClick;
  TContextPopupEvent OnContextPopup;
  TRenameQuestionEvent OnExtensionChange;
  TNameEvent OnLeadingBlanksRemoved;
  TForeignLockEvent OnForeignLock;
  TRenamedEvent OnRenamed;
  // Before and after a drag of a document from the list (see startDrag).
  TNotifyEvent OnStartDrag;
  TNotifyEvent OnEndDrag;

 signals:
  // The list shows another folder, or none (a sub-folder entered or left, a new root).
  void folderShown();
  // The filter was dropped because another folder is shown.
  void filterDropped();

 public:
  // Answers the model: a row's caption, icon, alignment and column texts.
  QVariant RowData(int row, int column, int role) const;
  QVariant HeaderData(int section, int role) const;
  // The key path of a key press in the caption editor; true when it was consumed.
  bool EditorKeyPress(QKeyEvent* event);
  void EditorKeyRelease(QKeyEvent* event);
  void EditorCreated(QLineEdit* editor) { m_editor = editor; }

  // Inside OnKeyUp: the modifiers held when the list or its caption editor received the
  // press of `key`; none when that press went elsewhere (another window, a shortcut) or
  // another window has been active since.
  std::optional<Qt::KeyboardModifiers> PressOf(int key) const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  // With dragging enabled, a drag of the current row, when it is a selected document,
  // offers it as a copy or a move (DocumentDragData); folders are not dragged.
  void startDrag(Qt::DropActions supportedActions) override;
  // The name column takes the width the other columns leave (see FitNameColumn).
  bool viewportEvent(QEvent* event) override;
  void keyboardSearch(const QString& search) override;
  // Opens the caption editor with the name selected up to its extension.
  using QTreeView::edit;
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
  // An edit ended by Tab or Shift+Tab opens no other row's editor.
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

 private:
  friend class ColumnUpdate;
  friend class RowUpdate;
  void ResolveRoot();
  std::unique_ptr<TShellFolder> ResolveRootText(QString& text);
  void ReplaceRootItem(std::unique_ptr<TShellFolder> root);
  void ApplyRoot();
  bool IsInsideRootText(PCItemIDList folder) const;
  void ShowFolderID(PCItemIDList absolute);
  void DropFilter();
  void ApplyFilter(std::vector<std::unique_ptr<TShellFolder>> items);
  // False when the root changed during the enumeration (the items are then stale).
  bool EnumerateInto(std::vector<std::unique_ptr<TShellFolder>>& items);
  void SortItems();
  void RestoreSelection(const std::vector<const TShellFolder*>& selected,
                        const TShellFolder* current);
  void BuildColumnsOf(TShellFolder& root);
  bool AddColumn(const shell::ShellDetails& record);
  void AddFixedColumn(const char* title, Qt::Alignment alignment, int widthChars);
  void ApplyColumnLayout();
  void KeepUserWidth(int section, int width);
  QLineEdit* OpenEditor() const;
  bool RunKeyPath(QKeyEvent* event);
  void ReportKeyRelease(const QKeyEvent* event);
  int RowOfLocalID(PCItemIDList id) const;
  void AskBeforeRenaming(const QByteArray& id, const QString& name, bool extensionChanges,
                         bool blanksRemoved);
  void RenameRow(int row, const QString& name, bool askAboutForeignLock, bool blanksRemoved);
  std::optional<shell::ForeignLock> ForeignLockOfItem(const TShellFolder& item) const;
  void CheckEditedFileUnchanged(const TShellFolder& item, const QString& text) const;
  void RenameOrReopen(const QByteArray& id, const QString& text,
                      const std::function<void()>& rename);
  void ReopenEditor(const QByteArray& id, const QString& text);
  int SelectionAnchorRow() const;
  bool RowInView(int row) const;
  void FitNameColumn();
  int NameColumnBaseWidth() const;
  bool EnterSelectedFolder();
  void ShowFolderMissing();
  void RefreshWhenIdle();
  bool OpensContextMenu(const QKeyEvent* event) const;
  bool StartsFromTheTop(const QKeyEvent* event) const;
  bool ClickDefaultButton();
  void NavigateKey(int key, Qt::KeyboardModifiers modifiers);
  void OpenSelectedItem();
  void ShowShellMenu(QPoint position);
  void StartWatcher();
  QIcon BlankIcon() const;

  QString m_previousRoot;
  QString m_rootText;
  std::unique_ptr<TShellFolder> m_rootFolder;
  bool m_autoContextMenus = true;
  bool m_autoRefresh = false;
  bool m_autoNavigate = true;
  bool m_sorted = true;
  int m_sortColumn = 0;
  Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
  bool m_busy = false;
  bool m_readOnly = false;
  bool m_rootFromText = false;
  bool m_staysInRoot = false;
  IDListHolder m_rootTextFolder;  // the folder Root names, while it names one
  TShellObjectTypes m_objectTypes = otFolders | otNonFolders;
  std::vector<std::unique_ptr<TShellFolder>> m_items;  // ItemFolders, in row order
  std::vector<std::unique_ptr<TShellFolder>> m_filteredOut;  // items the filter hides
  QString m_filter;
  QString m_filterKey;  // NameMatchKey of m_filter
  std::vector<TListColumn> m_columns;
  QHash<QString, int> m_keptWidths;  // widths the user set, by column title, for this run
  bool m_layingOut = false;          // the widths being set are the list's own
  std::unique_ptr<shell::FolderWatcher> m_watcher;
  QTimer m_refreshDelay;
  bool m_folderMissing = false;
  QTimer m_folderReturnCheck;     // active while the shown folder is missing
  bool m_refreshPending = false;  // a change came while a caption editor was open
  // Rows show blank icons until the turn after the list's first paint (see paintEvent).
  enum class IconState { kBlank, kComing, kShown } m_iconState = IconState::kBlank;
  mutable QIcon m_blankIcon;
  bool m_pressEndsEdit = false;   // the mouse press being handled closed a caption editor
  // The selection is the first row a folder change selected; no click or key since. A
  // click on that row selects it as the user's, without starting a rename.
  bool m_selectionFromFolderChange = false;
  bool m_pressOnFolderChangeSelection = false;
  QTimer m_editEndWatch;          // active from an editor's close until events are idle
  QPointer<QMenu> m_popupMenu;
  QPointer<QLineEdit> m_editor;
  // The item whose caption editor was opened last, and its file's identity at that moment.
  QByteArray m_editedId;
  std::optional<fileops::FileIdentity> m_editedIdentity;
  ShellListModel* m_model;
  ShellItemDelegate* m_delegate;
  QString m_searchText;
  QElapsedTimer m_searchClock;
  QHash<int, Qt::KeyboardModifiers> m_keysDown;  // presses received, until their release
};

// The published list class the program places.
class TShellListView : public TCustomShellListView {
  Q_OBJECT

 public:
  using TCustomShellListView::TCustomShellListView;
};

}  // namespace velloria
