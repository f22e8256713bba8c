// What the user does to the folder list's rows: in-place rename, the key path (default
// button, OnKeyDown, then the list's own keys), double-click, verbs and context menu.
#include <sys/stat.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDrag>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <algorithm>
#include <cerrno>

#include "base/paths.h"
#include "shellview/document_drag.h"
#include "shellview/shell_errors.h"
#include "shellview/shell_list_model.h"
#include "shellview/shell_list_view.h"

namespace velloria {
namespace {

bool IsEnter(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

void ActivateFirstItem(QMenu* menu) {
  for (QAction* action : menu->actions()) {
    if (action->isVisible() && action->isEnabled() && !action->isSeparator()) {
      menu->setActiveAction(action);
      return;
    }
  }
}

// The extension of a file name, from its last dot on; none without a dot.
QString ExtensionOf(const QString& name) {
  qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  return dot > 0 ? name.mid(dot) : QString();
}

constexpr Qt::KeyboardModifiers kShiftCtrlAlt = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;

// How often a caption editor waiting to open again looks whether the modal box is gone.
constexpr int kReopenPollMs = 100;

// The size of the icon under the pointer during a drag, when the list sets none.
constexpr int kDragIconSize = 32;

// `name` without its leading blanks, which a Windows desk would drop from a typed name.
QString WithoutLeadingBlanks(const QString& name) {
  qsizetype blanks = 0;
  while (blanks < name.size() && name[blanks] == QLatin1Char(' ')) ++blanks;
  return name.mid(blanks);
}

// False for an item gone from the disk since the enumeration (renamed, moved or deleted at
// another desk, or its folder removed).
bool StillOnDisk(const TShellFolder& item) {
  struct stat st;
  return lstat(item.FileSystemPath().c_str(), &st) == 0;
}

// Selects a caption's name up to its extension, so that typing replaces the name alone.
void SelectNameBeforeExtension(QLineEdit* editor) {
  qsizetype dot = editor->text().lastIndexOf(QLatin1Char('.'));
  editor->setSelection(0, dot > 0 ? dot : editor->text().size());
}

}  // namespace

bool TCustomShellListView::BeginLabelEdit(int row) {
  setFocus();
  if (m_readOnly || row < 0 || row >= ItemCount()) return false;
  QModelIndex index = m_model->index(row, 0);
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);  // the selection stays
  return edit(index, QAbstractItemView::AllEditTriggers, nullptr) && LabelEditing();
}

bool TCustomShellListView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  // A click that ends one edit starts no other, even on a row that was selected; nor does
  // the first click on the row a folder change selected.
  if (trigger == SelectedClicked && (m_pressEndsEdit || m_pressOnFolderChangeSelection))
    return false;
  if (!QTreeView::edit(index, trigger, event)) return false;
  // The rename acts on this file only: its identity is taken now and checked at the end.
  const TShellFolder* item = m_items[index.row()].get();
  fileops::FileIdentity identity;
  m_editedId = IDBytes(item->LocalID());
  m_editedIdentity.reset();
  if (fileops::IdentityOf(item->FileSystemPath(), identity) == 0) m_editedIdentity = identity;
  if (m_editor) SelectNameBeforeExtension(m_editor);
  return true;
}

QLineEdit* TCustomShellListView::OpenEditor() const {
  // A refill closes the editor at once but deletes it later.
  return state() == QAbstractItemView::EditingState ? m_editor.data() : nullptr;
}

void TCustomShellListView::CancelLabelEdit() {
  QLineEdit* editor = OpenEditor();
  if (!editor) return;
  commitData(editor);
  closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void TCustomShellListView::AbandonLabelEdit() {
  if (QLineEdit* editor = OpenEditor()) closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
}

void TCustomShellListView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  if (hint == QAbstractItemDelegate::EditNextItem || hint == QAbstractItemDelegate::EditPreviousItem) {
    hint = QAbstractItemDelegate::NoHint;
  }
  QTreeView::closeEditor(editor, hint);
  m_editEndWatch.start();
  if (m_refreshPending) m_refreshDelay.start();
}

bool TCustomShellListView::LabelEditing() const { return OpenEditor() && OpenEditor()->isVisible(); }

void TCustomShellListView::RenameSelectedItem() {
  if (!OpenEditor() && SelectedItem() >= 0) BeginLabelEdit(SelectedItem());
}

void TCustomShellListView::EndLabelEdit(int row, const QString& text) {
  if (row < 0 || row >= ItemCount()) return;
  TShellFolder* item = m_items[row].get();
  QString name = WithoutLeadingBlanks(text);
  if (name == item->ItemName()) return;  // an unchanged name is no rename
  if (shell::NameFaultOf(name.toStdString()) != shell::NameFault::kNone) {
    throw EShellError(RenameFailedText(item, name, shell::Status::kBadName));
  }
  bool blanksRemoved = name.size() != text.size();
  bool extensionChanges = OnExtensionChange && !item->IsContainer() &&
                          ExtensionOf(item->ItemName()).compare(ExtensionOf(name), Qt::CaseInsensitive) != 0;
  if (extensionChanges || ForeignLockOfItem(*item)) {
    AskBeforeRenaming(IDBytes(item->LocalID()), name, extensionChanges, blanksRemoved);
    return;
  }
  RenameRow(row, name, false, blanksRemoved);
}

void TCustomShellListView::CommitLabelEdit(int row, const QString& text) {
  if (row < 0 || row >= ItemCount()) return;
  RenameOrReopen(IDBytes(m_items[row]->LocalID()), text, [&] { EndLabelEdit(row, text); });
}

// The questions run after the edit has ended (a box opened while the editor closes would
// end the edit a second time), and the item is looked up again after each, as the list
// may have been reloaded meanwhile. A No keeps the old name and ends the edit.
void TCustomShellListView::AskBeforeRenaming(const QByteArray& id, const QString& name, bool extensionChanges,
                                             bool blanksRemoved) {
  QMetaObject::invokeMethod(
      this,
      [this, id, name, extensionChanges, blanksRemoved] {
        Guarded([&] {
          RenameOrReopen(id, name, [&] {
            auto itemId = reinterpret_cast<PCItemIDList>(id.constData());
            int row = RowOfLocalID(itemId);
            if (row < 0)
              throw EShellError(RenameFailedText(nullptr, name, shell::Status::kNotFound));
            if (extensionChanges && !OnExtensionChange(this, m_items[row]->ItemName(), name)) return;
            row = RowOfLocalID(itemId);
            if (row < 0)
              throw EShellError(RenameFailedText(nullptr, name, shell::Status::kNotFound));
            RenameRow(row, name, true, blanksRemoved);
          });
        });
      },
      Qt::QueuedConnection);
}

// A document that only another computer's lock file holds, when OnForeignLock is set.
std::optional<shell::ForeignLock> TCustomShellListView::ForeignLockOfItem(const TShellFolder& item) const {
  if (!OnForeignLock || item.IsContainer()) return std::nullopt;
  std::string path = item.FileSystemPath();
  return shell::ForeignLockOf(paths::FolderPart(path), paths::NamePart(path));
}

// An item the folder does not let be renamed (a folder the user may not write) is
// reported like a refused rename. A document held by another computer's lock file is
// renamed, when the user agrees, with its lock files set aside (see TShellFolder::RenameTo).
// The note about dropped blanks waits for the edit's end.
void TCustomShellListView::RenameRow(int row, const QString& name, bool askAboutForeignLock, bool blanksRemoved) {
  std::optional<shell::ForeignLock> lock = askAboutForeignLock ? ForeignLockOfItem(*m_items[row]) : std::nullopt;
  if (lock) {
    QByteArray id = IDBytes(m_items[row]->LocalID());
    if (!OnForeignLock(this, m_items[row]->FileSystemPath(), *lock)) return;
    row = RowOfLocalID(reinterpret_cast<PCItemIDList>(id.constData()));  // the list may have been reloaded
    if (row < 0) throw EShellError(RenameFailedText(nullptr, name, shell::Status::kNotFound));
  }
  TShellFolder* item = m_items[row].get();
  CheckEditedFileUnchanged(*item, name);
  std::string oldPath = item->FileSystemPath();
  if (!item->RenameTo(name, lock ? &*lock : nullptr)) {
    throw EShellError(RenameFailedText(item, name, shell::Status::kAccessDenied));
  }
  m_model->RowChanged(row);
  if (OnRenamed) OnRenamed(this, oldPath, item->FileSystemPath());
  if (blanksRemoved && OnLeadingBlanksRemoved) {
    QMetaObject::invokeMethod(
        this, [this, name] { Guarded([&] { OnLeadingBlanksRemoved(this, name); }); },
        Qt::QueuedConnection);
  }
}

// Runs `rename` for the item `id`; a refused name is reported and the item's editor
// opens again with `text`.
void TCustomShellListView::RenameOrReopen(const QByteArray& id, const QString& text,
                                          const std::function<void()>& rename) {
  try {
    rename();
  } catch (const EShellError&) {
    ReportShellViewFailure(std::current_exception());
    QMetaObject::invokeMethod(
        this, [this, id, text] { Guarded([&] { ReopenEditor(id, text); }); }, Qt::QueuedConnection);
  }
}

// The failure is shown in a modal box from a queued call: an editor opened under it
// would lose the focus to it and end at once, so the editor waits for the box to close.
// Nothing opens once the window has closed, nor over another edit, nor for an item gone
// from the list or the disk, which no name could correct.
void TCustomShellListView::ReopenEditor(const QByteArray& id, const QString& text) {
  if (!isVisible() || OpenEditor()) return;
  if (QApplication::activeModalWidget()) {
    QTimer::singleShot(kReopenPollMs, this,
                       [this, id, text] { Guarded([&] { ReopenEditor(id, text); }); });
    return;
  }
  int row = RowOfLocalID(reinterpret_cast<PCItemIDList>(id.constData()));
  if (row < 0 || !StillOnDisk(*m_items[row]) || !BeginLabelEdit(row) || !m_editor) return;
  m_editor->setText(text);
  SelectNameBeforeExtension(m_editor);
}

// A name that leads to another file by now than when its editor opened (another desk
// renamed the document and gave its name to another one) is not renamed.
void TCustomShellListView::CheckEditedFileUnchanged(const TShellFolder& item, const QString& text) const {
  if (!m_editedIdentity || IDBytes(item.LocalID()) != m_editedId) return;
  int change = fileops::CheckIdentity(item.FileSystemPath(), *m_editedIdentity);
  if (change == ESTALE) throw EShellError(RenameReplacedText(text));
  if (change == ENOENT) throw EShellError(RenameFailedText(nullptr, text, shell::Status::kNotFound));
}

void TCustomShellListView::InvokeItemVerb(TShellFolder* item, const char* verb) {
  if (!item) return;
  std::shared_ptr<IShellFolder> parent = item->ParentFolderInterface();
  if (!parent) return;
  auto menu = std::dynamic_pointer_cast<shell::ContextMenu>(
      parent->GetUIObjectOf(item->LocalID(), shell::Iid::kContextMenu));
  if (menu) menu->InvokeCommand(verb);
}

// The window's default button takes a plain Enter when it is enabled and can take the
// focus, and the focus is not on another button.
bool TCustomShellListView::ClickDefaultButton() {
  for (QPushButton* button : window()->findChildren<QPushButton*>()) {
    if (!button->isDefault() || !button->isEnabled() || !button->isVisible()) continue;
    if (!(button->focusPolicy() & Qt::TabFocus)) continue;
    if (qobject_cast<QPushButton*>(QApplication::focusWidget())) continue;
    button->click();
    return true;
  }
  return false;
}

// Shortcuts have already run (Qt offers them before the key press). Returns true when
// the key was consumed before it reached the list control or the caption editor.
bool TCustomShellListView::RunKeyPath(QKeyEvent* event) {
  int key = event->key();
  Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
  if (IsEnter(key) && !(modifiers & kShiftCtrlAlt)) {
    if (EnterSelectedFolder()) {
      m_keysDown.remove(key);  // its release belongs to the folder left behind
      return true;
    }
    if (ClickDefaultButton()) return true;
  }
  if (OnKeyDown) {
    OnKeyDown(this, key, modifiers);
    if (key == 0) return true;
  }
  if (!m_autoNavigate) return false;
  if (IsEnter(key) && (modifiers & Qt::AltModifier)) {
    InvokeItemVerb(SelectedShellFolder(), "properties");
    return true;
  }
  NavigateKey(key, modifiers);
  return false;
}

// A plain Enter on a selected folder, with no caption editor open, shows that folder.
bool TCustomShellListView::EnterSelectedFolder() {
  TShellFolder* item = m_autoNavigate && !OpenEditor() ? SelectedShellFolder() : nullptr;
  if (!item || !item->IsContainer()) return false;
  IDListHolder target(DuplicateID(item->FullID()));
  OpenFolderID(target.get());
  return true;
}

void TCustomShellListView::NavigateKey(int key, Qt::KeyboardModifiers) {
  if (IsEnter(key)) {
    TShellFolder* item = SelectedShellFolder();
    if (!item) return;
    if (item->IsContainer()) {
      IDListHolder target(DuplicateID(item->FullID()));
      OpenFolderID(target.get());
    } else {
      item->OpenDefault();
    }
  } else if (key == Qt::Key_Backspace && !LabelEditing()) {
    GoUp();
  } else if (key == Qt::Key_F5) {
    ReloadList();
  }
}

void TCustomShellListView::keyPressEvent(QKeyEvent* event) {
  m_keysDown.insert(event->key(), event->modifiers());
  m_selectionFromFolderChange = false;
  bool consumed = false;
  Guarded([&] { consumed = RunKeyPath(event); });
  if (consumed) {
    event->accept();
    return;
  }
  if (OpensContextMenu(event)) {
    QContextMenuEvent request(QContextMenuEvent::Keyboard, QPoint(), QCursor::pos(), event->modifiers());
    contextMenuEvent(&request);
    return;
  }
  if (StartsFromTheTop(event)) setCurrentIndex(QModelIndex());
  QTreeView::keyPressEvent(event);
}

// Shift+F10 asks for the context menu, like the keyboard's menu key.
bool TCustomShellListView::OpensContextMenu(const QKeyEvent* event) const {
  return event->key() == Qt::Key_F10 && (event->modifiers() & kShiftCtrlAlt) == Qt::ShiftModifier;
}

// With no row selected, the first Up, Down, Home or Page Up selects the first row, as in
// a list that has no focused row yet: the row that merely holds the focus frame after
// the list gained the focus does not count as a starting point.
bool TCustomShellListView::StartsFromTheTop(const QKeyEvent* event) const {
  static constexpr int kKeys[] = {Qt::Key_Up, Qt::Key_Down, Qt::Key_Home, Qt::Key_PageUp};
  return std::ranges::find(kKeys, event->key()) != std::end(kKeys) &&
         (event->modifiers() & kShiftCtrlAlt) == 0 && !selectionModel()->hasSelection();
}

void TCustomShellListView::keyReleaseEvent(QKeyEvent* event) {
  ReportKeyRelease(event);
  QTreeView::keyReleaseEvent(event);
}

// A held key is reported once, at its last release, as the keyboard's own key-up.
void TCustomShellListView::ReportKeyRelease(const QKeyEvent* event) {
  if (event->isAutoRepeat()) return;
  int key = event->key();
  if (OnKeyUp) Guarded([&] { OnKeyUp(this, key, event->modifiers()); });
  m_keysDown.remove(event->key());
}

std::optional<Qt::KeyboardModifiers> TCustomShellListView::PressOf(int key) const {
  auto press = m_keysDown.constFind(key);
  if (press == m_keysDown.cend()) return std::nullopt;
  return *press;
}

// Presses made before another window (a box, a dialog, a popup menu) took the keyboard
// do not pair with releases that come after it.
bool TCustomShellListView::event(QEvent* event) {
  if (event->type() == QEvent::WindowDeactivate) m_keysDown.clear();
  if (m_watcher && (event->type() == QEvent::WindowActivate || event->type() == QEvent::WindowDeactivate)) {
    Guarded([&] { m_watcher->SetPolling(event->type() == QEvent::WindowActivate); });
  }
  return QTreeView::event(event);
}

void TCustomShellListView::focusOutEvent(QFocusEvent* event) {
  if (event->reason() == Qt::PopupFocusReason) m_keysDown.clear();
  QTreeView::focusOutEvent(event);
}

bool TCustomShellListView::EditorKeyPress(QKeyEvent* event) {
  m_keysDown.insert(event->key(), event->modifiers());
  bool consumed = false;
  Guarded([&] { consumed = RunKeyPath(event); });
  // A reload closes the editor: the key has nothing left to edit.
  return consumed || !OpenEditor();
}

void TCustomShellListView::EditorKeyRelease(QKeyEvent* event) { ReportKeyRelease(event); }

// The focus moves to the list before the press arrives, which may have ended an edit
// already.
void TCustomShellListView::mousePressEvent(QMouseEvent* event) {
  m_pressEndsEdit = LabelEditing() || m_editEndWatch.isActive();
  m_pressOnFolderChangeSelection = std::exchange(m_selectionFromFolderChange, false);
  QTreeView::mousePressEvent(event);
}

void TCustomShellListView::mouseDoubleClickEvent(QMouseEvent* event) {
  QTreeView::mouseDoubleClickEvent(event);
  Guarded([&] {
    if (m_autoNavigate) OpenSelectedItem();
    if (OnDblClick) OnDblClick(this);
  });
}

// Double-click opens a document by its path (Enter by its id list).
void TCustomShellListView::OpenSelectedItem() {
  TShellFolder* item = SelectedShellFolder();
  if (!item) return;
  if (item->IsContainer()) {
    IDListHolder target(DuplicateID(item->FullID()));
    OpenFolderID(target.get());
  } else {
    if (!shell::OpenDefaultPath(item->FileSystemPath())) throw EShellError(OpenFailedText(item->ItemName()));
  }
}

void TCustomShellListView::mouseMoveEvent(QMouseEvent* event) {
  if (OnMouseMove) {
    QPoint at = event->position().toPoint();
    Guarded([&] { OnMouseMove(this, event->modifiers(), at.x(), at.y()); });
  }
  QTreeView::mouseMoveEvent(event);
}

void TCustomShellListView::contextMenuEvent(QContextMenuEvent* event) {
  setFocus(Qt::PopupFocusReason);
  QPoint position = event->globalPos();
  int selected = SelectedItem();
  if (event->reason() == QContextMenuEvent::Keyboard) {
    if (selected >= 0) {
      QRect first = visualRect(m_model->index(selected, 0));
      QRect last = visualRect(m_model->index(selected, std::max(0, m_model->columnCount() - 1)));
      position = viewport()->mapToGlobal(first.united(last).center());
    } else {
      position = viewport()->mapToGlobal(QPoint(0, 0));
    }
  } else if (!viewport()->rect().contains(viewport()->mapFromGlobal(position))) {
    QTreeView::contextMenuEvent(event);
    return;
  }
  event->accept();
  Guarded([&] {
    if (m_autoContextMenus && selected >= 0) {
      ShowShellMenu(position);
      return;
    }
    bool handled = false;
    if (OnContextPopup) OnContextPopup(this, position, handled);
    if (!handled && m_popupMenu) {
      m_popupMenu->popup(position);
      // Opened from the keyboard, the menu starts on its first item, as menus opened by a
      // key do; a screen reader then hears that item at once.
      if (event->reason() == QContextMenuEvent::Keyboard) ActivateFirstItem(m_popupMenu);
    }
  });
}

// The row pressed is current: the drag takes that document alone, as the commands take
// one document, whatever else is selected. Its icon follows the pointer. Whatever the
// target makes of the drop, the rows follow the folder's change by themselves.
void TCustomShellListView::startDrag(Qt::DropActions) {
  QModelIndex current = currentIndex();
  if (!current.isValid() || !RowIsDocument(current.row()) ||
      !selectionModel()->isRowSelected(current.row())) {
    return;
  }
  auto* drag = new QDrag(this);  // Qt deletes it once the drag is over
  drag->setMimeData(DocumentDragData(m_items[current.row()]->FileSystemPath()).release());
  QIcon icon = m_model->data(m_model->index(current.row(), 0), Qt::DecorationRole).value<QIcon>();
  drag->setPixmap(
      icon.pixmap(iconSize().isValid() ? iconSize() : QSize(kDragIconSize, kDragIconSize)));
  if (OnStartDrag) Guarded([&] { OnStartDrag(this); });
  drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
  if (OnEndDrag) Guarded([&] { OnEndDrag(this); });
}

// The item's own menu when AutoContextMenus is on: its verbs and the in-place rename.
void TCustomShellListView::ShowShellMenu(QPoint position) {
  QMenu menu(this);
  QAction* open = menu.addAction(QCoreApplication::translate("ShellMenu", "Open"));
  QAction* rename =
      m_readOnly ? nullptr : menu.addAction(QCoreApplication::translate("ShellMenu", "Rename"));
  menu.addSeparator();
  menu.addAction(QCoreApplication::translate("ShellMenu", "Properties"));
  QAction* chosen = menu.exec(position);
  if (!chosen) return;
  if (chosen == rename) {
    BeginLabelEdit(SelectedItem());
  } else {
    InvokeItemVerb(SelectedShellFolder(), chosen == open ? "open" : "properties");
  }
}

}  // namespace velloria
