// Accessibility of the program's window and boxes, seen as a screen reader sees them
// through Qt's accessibility interfaces: the category grid's rows and current row, the
// document list's rows, the message box's text, icon and buttons; and texts that fit their
// controls in the font actually used.
#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QKeyEvent>
#include <QStringList>
#include <functional>
#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

#include <gtest/gtest.h>

#include "app/application.h"
#include "app/main_window.h"
#include "dataset/dataset.h"
#include "platform/fonts.h"
#include "shellview/shell_list_view.h"
#include "tests/app/office_fixture.h"
#include "ui/accessible_factory.h"
#include "ui/dbgrid.h"
#include "ui/messagebox.h"

namespace velloria {
namespace {

using Visitor = std::function<void(QAccessibleInterface*, int depth)>;

void Walk(QAccessibleInterface* node, const Visitor& visit, int depth = 0) {
  if (node == nullptr || !node->isValid()) return;
  visit(node, depth);
  for (int i = 0; i < node->childCount(); ++i) Walk(node->child(i), visit, depth + 1);
}

QAccessibleInterface* FindInterface(QAccessibleInterface* root,
                                    const std::function<bool(QAccessibleInterface*)>& match) {
  QAccessibleInterface* found = nullptr;
  Walk(root, [&](QAccessibleInterface* node, int) {
    if (found == nullptr && match(node)) found = node;
  });
  return found;
}

QStringList ChildNames(QAccessibleInterface* node) {
  QStringList names;
  for (int i = 0; i < node->childCount(); ++i) names << node->child(i)->text(QAccessible::Name);
  return names;
}

QStringList SubtreeNames(QAccessibleInterface* root, QAccessible::Role role) {
  QStringList names;
  Walk(root, [&](QAccessibleInterface* node, int) {
    if (node->role() == role) names << node->text(QAccessible::Name);
  });
  return names;
}

class Accessibility : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallAccessibleFactory();
    RegisterTahoma();
  }
  void TearDown() override { TApplication::instance()->resumeAfterTerminationForTesting(); }

  // Two accounting categories with folders and one without, and a teaching category.
  std::unique_ptr<TfrmMain> startOffice() {
    office.writeTable({{"Contabilità", "CONTAB", 1},
                       {"Didattica", "DIDA", 2},
                       {"Lettere ai fornitori", "LETT", 1},
                       {"Senza cartella", "NESSUNA", 1}});
    office.makeFolder("CONTAB", {"Fattura.doc", "Lettera.doc"});
    office.makeFolder("DIDA", {"Scuola.doc"});
    office.makeFolder("LETT", {"Saluti.doc"});
    auto form = std::make_unique<TfrmMain>(
        std::vector<std::string>{"velloria", "1", "5", office.dataPath(), ""});
    EXPECT_FALSE(form->startupFailed());
    form->show();
    EXPECT_TRUE(testing::WaitFor([&] { return form->documentList()->ItemCount() == 2; }));
    return form;
  }
  static QAccessibleInterface* Of(QObject* object) {
    return QAccessible::queryAccessibleInterface(object);
  }

  testing::TempOffice office;
};

TEST_F(Accessibility, GridIsAOneColumnTableWithItsHeaderTheCurrentRowAndEachRowsType) {
  auto form = startOffice();
  auto* grid = form->findChild<TDBGrid*>("DBGrid");
  ASSERT_NE(grid, nullptr);
  QAccessibleInterface* gridInterface = FindInterface(Of(form.get()), [&](QAccessibleInterface* n) {
    return n->object() == grid;
  });
  ASSERT_NE(gridInterface, nullptr) << "the grid is not in the window's accessible tree";
  EXPECT_EQ(gridInterface->role(), QAccessible::Table);
  EXPECT_EQ(gridInterface->text(QAccessible::Name), "Elenco delle Categorie di Modelli");
  EXPECT_TRUE(gridInterface->text(QAccessible::Description).contains("Ctrl+Tab"));

  // Only the type 1 categories whose folder exists, in table order, under their header.
  QAccessibleTableInterface* table = gridInterface->tableInterface();
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->columnCount(), 1);
  ASSERT_EQ(table->rowCount(), 2);
  EXPECT_EQ(table->columnDescription(0), "Categoria");
  EXPECT_EQ(ChildNames(gridInterface), QStringList({"Categoria", "Contabilità", "Lettere ai fornitori"}));
  EXPECT_EQ(gridInterface->child(0)->role(), QAccessible::ColumnHeader);
  QAccessibleInterface* first = table->cellAt(0, 0);
  QAccessibleInterface* second = table->cellAt(1, 0);
  EXPECT_EQ(first->role(), QAccessible::Cell);
  EXPECT_EQ(first->parent(), gridInterface);
  EXPECT_EQ(gridInterface->indexOfChild(second), 2);
  EXPECT_EQ(gridInterface->child(2), second);
  EXPECT_EQ(second->tableCellInterface()->columnHeaderCells(), QList{gridInterface->child(0)});
  EXPECT_EQ(second->tableCellInterface()->rowIndex(), 1);
  // The type in words, and which category the document list shows.
  EXPECT_EQ(first->text(QAccessible::Description), "Contabilità, categoria mostrata");
  EXPECT_EQ(second->text(QAccessible::Description), "Contabilità");
  EXPECT_EQ(table->selectedRows(), QList<int>{0});
  EXPECT_TRUE(first->state().selected);
  EXPECT_FALSE(second->state().selected);
  EXPECT_EQ(gridInterface->childAt(second->rect().center().x(), second->rect().center().y()), second);

  form->activateWindow();
  grid->setFocus();
  ASSERT_TRUE(testing::WaitFor([&] { return grid->hasFocus(); }));
  QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
  QApplication::sendEvent(grid, &down);
  EXPECT_EQ(table->selectedRows(), QList<int>{1});
  EXPECT_FALSE(first->state().selected);
  EXPECT_TRUE(second->state().selected);
  EXPECT_EQ(gridInterface->focusChild(), second);
  EXPECT_EQ(second->text(QAccessible::Name), "Lettere ai fornitori");
}

// What a screen reader is told: the events raised through Qt's accessibility layer,
// recorded by type with the name of the object they concern, while alive. Qt passes
// events on only while the platform's accessibility is active, as with a screen reader.
class AccessibleEventLog {
 public:
  AccessibleEventLog() {
    Platform()->setActive(true);
    s_log = this;
    m_previous = QAccessible::installUpdateHandler(&AccessibleEventLog::Record);
  }
  ~AccessibleEventLog() {
    QAccessible::installUpdateHandler(m_previous);
    s_log = nullptr;
    Platform()->setActive(false);
  }
  void clear() { m_events.clear(); }
  bool contains(QAccessible::Event type, const QString& name) const {
    return m_events.contains(qMakePair(type, name));
  }

 private:
  static QPlatformAccessibility* Platform() {
    return QGuiApplicationPrivate::platformIntegration()->accessibility();
  }
  static void Record(QAccessibleEvent* event) {
    QAccessibleInterface* target = event->accessibleInterface();
    if (s_log) s_log->m_events << qMakePair(event->type(), target ? target->text(QAccessible::Name) : QString());
  }
  static inline AccessibleEventLog* s_log = nullptr;
  QAccessible::UpdateHandler m_previous = nullptr;
  QList<QPair<QAccessible::Event, QString>> m_events;
};

TEST_F(Accessibility, GridTellsScreenReadersWhichRowBecameCurrent) {
  AccessibleEventLog log;
  auto form = startOffice();
  auto* grid = form->findChild<TDBGrid*>("DBGrid");
  ASSERT_NE(Of(grid), nullptr);
  form->activateWindow();
  grid->setFocus();
  ASSERT_TRUE(testing::WaitFor([&] { return grid->hasFocus(); }));
  log.clear();
  QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
  QApplication::sendEvent(grid, &down);
  EXPECT_TRUE(testing::WaitFor([&] { return log.contains(QAccessible::Focus, "Lettere ai fornitori"); }));
  EXPECT_TRUE(log.contains(QAccessible::Selection, "Lettere ai fornitori"));

  // A move made while the focus is elsewhere selects the row without taking the focus.
  form->documentList()->setFocus();
  log.clear();
  grid->DataSource()->DataSet()->First();
  EXPECT_TRUE(testing::WaitFor([&] { return log.contains(QAccessible::Selection, "Contabilità"); }));
  EXPECT_FALSE(log.contains(QAccessible::Focus, "Contabilità"));
}

TEST_F(Accessibility, GridWithoutRecordsHasNoRows) {
  auto form = startOffice();
  auto* grid = form->findChild<TDBGrid*>("DBGrid");
  grid->DataSource()->DataSet()->SetFilter("TIPO = 7");
  QAccessibleInterface* gridInterface = Of(grid);
  EXPECT_EQ(gridInterface->tableInterface()->rowCount(), 0);
  EXPECT_EQ(gridInterface->childCount(), 1) << "only the header";
  EXPECT_EQ(gridInterface->tableInterface()->cellAt(0, 0), nullptr);
  EXPECT_EQ(gridInterface->focusChild(), nullptr);
}

TEST_F(Accessibility, DocumentListRowsCarryTheDocumentNames) {
  auto form = startOffice();
  QAccessibleInterface* list = Of(form->documentList());
  ASSERT_NE(list, nullptr);
  QAbstractItemModel* model = form->documentList()->model();
  QStringList cells;
  Walk(list, [&](QAccessibleInterface* node, int depth) {
    if (depth > 0 && node->role() != QAccessible::ColumnHeader) cells << node->text(QAccessible::Name);
  });
  for (int row = 0; row < model->rowCount(); ++row) {
    QString shown = model->index(row, 0).data().toString();
    EXPECT_TRUE(cells.contains(shown)) << shown.toStdString() << " missing from "
                                       << cells.join('|').toStdString();
  }
  EXPECT_EQ(model->rowCount(), 2);
}

TEST_F(Accessibility, MessageBoxShowsItsTextAndNamedButtons) {
  auto box = BuildMessageDialog("Eliminare il documento?", mtConfirmation, {mbYes, mbNo});
  box->show();
  QAccessibleInterface* dialog = Of(box.get());
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->role(), QAccessible::AlertMessage);
  EXPECT_EQ(dialog->text(QAccessible::Name), "Confirm");
  EXPECT_EQ(SubtreeNames(dialog, QAccessible::StaticText), QStringList({"Eliminare il documento?"}));
  EXPECT_EQ(SubtreeNames(dialog, QAccessible::Button), QStringList({"Yes", "No"}));
  QAccessibleInterface* yes = FindInterface(dialog, [](QAccessibleInterface* n) {
    return n->role() == QAccessible::Button && n->text(QAccessible::Name) == "Yes";
  });
  ASSERT_NE(yes, nullptr);
  EXPECT_TRUE(yes->state().focusable);
  EXPECT_TRUE(yes->state().defaultButton);
  EXPECT_EQ(SubtreeNames(dialog, QAccessible::Graphic), QStringList({"Confirm"}));
}

// Texts of the fixed layout fit their controls, inside the parent's edge, in the font
// actually used, and the grid's rows are as tall as that font.
TEST_F(Accessibility, EveryTextFitsItsControlInTheFontUsed) {
  auto form = startOffice();
  QStringList clipped;
  // `room`: the width the control gives its text, cut by its parent's edge.
  auto check = [&](QWidget* widget, const QString& text, int room) {
    QRect parentArea = widget->parentWidget()->contentsRect();
    room -= std::max(0, widget->geometry().right() - parentArea.right());
    int needed = widget->fontMetrics().horizontalAdvance(text);
    if (needed > room) clipped << QString("%1 \"%2\" needs %3 of %4").arg(widget->objectName(), text).arg(needed).arg(room);
  };
  for (QLabel* label : form->findChildren<QLabel*>()) {
    // A hidden note is laid out when it shows.
    if (!label->text().isEmpty() && label->isVisibleTo(form.get())) check(label, label->text(), label->contentsRect().width());
  }
  for (QPushButton* button : form->findChildren<QPushButton*>()) check(button, button->text(), button->width() - 8);
  for (QGroupBox* box : form->findChildren<QGroupBox*>()) check(box, box->title(), box->width());
  EXPECT_TRUE(clipped.isEmpty()) << clipped.join("; ").toStdString();

  auto* grid = form->findChild<TDBGrid*>("DBGrid");
  EXPECT_GE(grid->DataRowHeight(), QFontMetrics(grid->font()).height() + 3);
  EXPECT_GE(grid->TitleRowHeight(), QFontMetrics(grid->TitleFont()).height() + 3);
}

// Every control a user can reach or that shows something carries a name: the focusable
// ones, buttons, texts, pictures, lists and groups, and the leaves of plain widgets.
TEST_F(Accessibility, EveryControlOfTheWindowHasAName) {
  auto form = startOffice();
  const QList<QAccessible::Role> namedRoles = {
      QAccessible::Button,   QAccessible::StaticText, QAccessible::Graphic, QAccessible::Grouping,
      QAccessible::List,     QAccessible::Table,      QAccessible::Tree};
  const QList<QAccessible::Role> rowRoles = {QAccessible::Cell, QAccessible::ListItem,
                                             QAccessible::TreeItem, QAccessible::ColumnHeader};
  QStringList unnamed;
  Walk(Of(form.get()), [&](QAccessibleInterface* node, int depth) {
    QAccessible::Role role = node->role();
    bool leafWidget = role == QAccessible::Client && depth > 0 && node->childCount() == 0;
    bool control = node->state().focusable || namedRoles.contains(role) || leafWidget;
    if (control && !rowRoles.contains(role) && node->text(QAccessible::Name).trimmed().isEmpty()) {
      unnamed << (node->object() != nullptr ? node->object()->objectName() : QString("?"));
    }
  });
  EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(", ").toStdString();
}

// The window is the frame a screen reader names the program by; its left pane is a pane;
// the context menu opened from the keyboard is named, lies in the tree under the window
// and starts on its first item, which the screen reader hears.
TEST_F(Accessibility, WindowIsTheNamedFrameAndHoldsTheOpenContextMenu) {
  AccessibleEventLog log;
  auto form = startOffice();
  QAccessibleInterface* window = Of(form.get());
  EXPECT_EQ(window->role(), QAccessible::Window);
  EXPECT_EQ(window->text(QAccessible::Name), form->windowTitle().trimmed());
  EXPECT_TRUE(form->windowTitle().endsWith(' ')) << "the caption keeps its own form";
  EXPECT_EQ(Of(form->findChild<QWidget*>("Panel1"))->role(), QAccessible::Pane);
  int children = window->childCount();

  form->activateWindow();
  TShellListView* list = form->documentList();
  list->setFocus();
  ASSERT_TRUE(testing::WaitFor([&] { return list->hasFocus(); }));
  log.clear();
  QKeyEvent shiftF10(QEvent::KeyPress, Qt::Key_F10, Qt::ShiftModifier);
  QApplication::sendEvent(list, &shiftF10);
  auto* menu = form->findChild<QMenu*>("PopupMenu");
  ASSERT_TRUE(testing::WaitFor([&] { return menu->isVisible(); }));
  QAccessibleInterface* menuInterface = Of(menu);
  EXPECT_EQ(menuInterface->role(), QAccessible::PopupMenu);
  EXPECT_EQ(menuInterface->text(QAccessible::Name), "Comandi del documento");
  ASSERT_EQ(window->childCount(), children + 1);
  EXPECT_EQ(window->child(children), menuInterface);
  EXPECT_EQ(menuInterface->parent(), window);
  EXPECT_EQ(window->indexOfChild(menuInterface), children);

  QAccessibleInterface* first = menuInterface->child(0);
  EXPECT_EQ(ChildNames(menuInterface).mid(0, 3), QStringList({"Apri", "Cancella", "Duplica"}));
  EXPECT_EQ(menuInterface->focusChild(), first);
  EXPECT_TRUE(first->state().focused);
  EXPECT_EQ(menuInterface->indexOfChild(first), 0);
  EXPECT_EQ(first->actionInterface()->keyBindingsForAction(QAccessibleActionInterface::pressAction()),
            QStringList{QKeySequence(Qt::CTRL | Qt::Key_Return).toString(QKeySequence::NativeText)});
  EXPECT_TRUE(testing::WaitFor([&] { return log.contains(QAccessible::Focus, "Apri"); }));
  menu->hide();
  EXPECT_EQ(window->childCount(), children);
}

// The list is named after the category it shows and is renamed, with the change told,
// when Visualizza shows another; its first row is then current and selected.
TEST_F(Accessibility, DocumentListIsNamedAfterTheShownCategoryWithItsFirstRowCurrent) {
  AccessibleEventLog log;
  auto form = startOffice();
  TShellListView* list = form->documentList();
  QAccessibleInterface* listInterface = Of(list);
  EXPECT_EQ(listInterface->text(QAccessible::Name), "Documenti della categoria Contabilità");
  EXPECT_EQ(listInterface->text(QAccessible::Description), "Cartella: " + office.stampe() + "/CONTAB");
  EXPECT_EQ(list->currentIndex().row(), 0);
  EXPECT_EQ(list->selectionModel()->selectedRows(), QModelIndexList{list->model()->index(0, 0)});

  list->selectionModel()->select(list->model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  form->categoryTable()->Next();
  log.clear();
  form->findChild<QPushButton*>("BVisualizza")->click();
  EXPECT_TRUE(log.contains(QAccessible::NameChanged, "Documenti della categoria Lettere ai fornitori"));
  EXPECT_EQ(list->currentIndex().row(), 0);
  EXPECT_EQ(list->selectionModel()->selectedRows(), QModelIndexList{list->model()->index(0, 0)});
}

}  // namespace
}  // namespace velloria
