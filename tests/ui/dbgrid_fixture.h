// Test fixture for the data-bound grid: a window holding the grid configured as the
// main window configures it (plus a line edit to take the focus), a data source and a
// dataset, with helpers that send real mouse, wheel and key events and grab pixels.
#pragma once

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dataset/data_source.h"
#include "platform/fonts.h"
#include "tests/dataset/memory_dataset.h"
#include "ui/dbgrid.h"

namespace velloria::testing {

// One call of the grid's draw handler, with what the handler saw.
struct DrawCall {
  QRect rect;
  TGridDrawState state;
  std::string text;  // DESCRIZIO of the active record while the handler ran
  QColor fontColor;
  QColor brushColor;
};

class GridFixture : public ::testing::Test {
 protected:
  // The grid of the main window: 179 x 383 with a sunken edge.
  static constexpr QSize kGridSize{179, 383};

  void SetUp() override {
    RegisterTahoma();
    m_window = std::make_unique<QWidget>();
    m_window->setFont(WindowFont());
    m_window->resize(400, 420);
    grid = new TDBGrid(m_window.get());
    grid->setGeometry(QRect(QPoint(2, 15), kGridSize));
    other = new QLineEdit(m_window.get());
    other->setGeometry(200, 10, 100, 20);
    grid->BeginLayout();
    grid->SetTitleFont(WindowFont());
    grid->SetOptions({dgTitles, dgColLines, dgRowLines, dgTabs, dgCancelOnExit});
    TColumn* column = grid->Columns().Add();
    column->SetFieldName("DESCRIZIO");
    column->Title().SetCaption("Categoria");
    column->SetWidth(158);
    grid->SetDataSource(&source);
    grid->EndLayout();
    grid->OnDrawColumnCell = [this](TDBGrid* sender, const QRect& rect, int, TColumn* column,
                                    TGridDrawState state) {
      DrawCall call{rect, state, {}, sender->Canvas().FontColor, sender->Canvas().BrushColor};
      if (TField* field = column->Field(); field != nullptr && !data->IsEmpty()) {
        call.text = field->AsString();
      }
      draws.push_back(call);
      if (paintOver) {
        sender->Canvas().BrushColor = kCream;
        sender->Canvas().FillRect(rect);
      }
    };
    grid->OnCellClick = [this](TColumn*) { clicks.push_back(ActiveText()); };
    grid->OnDblClick = [this](TDBGrid*) { ++doubleClicks; };
  }

  void TearDown() override {
    grid->OnDrawColumnCell = nullptr;
    m_window.reset();
  }

  // Binds an in-memory dataset of `rows` rows and opens it.
  MemoryDataSet* OpenData(int rows) {
    auto dataSet = std::make_unique<MemoryDataSet>(rows);
    memory = dataSet.get();
    Bind(std::move(dataSet));
    data->Open();
    return memory;
  }
  // Binds `dataSet` (closed) to the grid's data source; the fixture owns it.
  void Bind(std::unique_ptr<TDataSet> dataSet) {
    m_data = std::move(dataSet);
    data = m_data.get();
    source.SetDataSet(data);
  }

  // Shows the window, makes it active and gives the grid the focus.
  void ShowFocused() {
    m_window->show();
    QApplication::setActiveWindow(m_window.get());
    grid->setFocus();
    QApplication::processEvents();
  }

  QImage Grab() {
    draws.clear();
    return grid->viewport()->grab().toImage();
  }

  QPoint CellCenter(int row) const { return grid->CellRect(0, row).center(); }

  void Send(QEvent* event, QObject* target = nullptr) {
    QApplication::sendEvent(target != nullptr ? target : grid->viewport(), event);
  }
  void Mouse(QEvent::Type type, QPoint point, Qt::MouseButton button) {
    QPointF local(point);
    QMouseEvent event(type, local, grid->viewport()->mapToGlobal(local), button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
    Send(&event);
  }
  void Press(QPoint point, Qt::MouseButton button = Qt::LeftButton) {
    Mouse(QEvent::MouseButtonPress, point, button);
  }
  void Release(QPoint point, Qt::MouseButton button = Qt::LeftButton) {
    Mouse(QEvent::MouseButtonRelease, point, button);
  }
  void Click(QPoint point, Qt::MouseButton button = Qt::LeftButton) {
    Press(point, button);
    Release(point, button);
  }
  void DoubleClick(QPoint point) {
    Click(point);
    Mouse(QEvent::MouseButtonDblClick, point, Qt::LeftButton);
    Release(point);
  }
  void Wheel(int notches) {
    QPointF at(CellCenter(1));
    QWheelEvent event(at, grid->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    Send(&event);
  }
  void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    Send(&event, grid);
  }

  int ThumbPosition() const { return grid->verticalScrollBar()->value(); }
  int ActiveRow() const { return memory->ActiveRow(); }
  std::string ActiveText() const { return data->FieldByName("DESCRIZIO").AsString(); }

  static inline const QColor kCream{255, 251, 240};

  TDataSource source;
  TDBGrid* grid = nullptr;
  QLineEdit* other = nullptr;
  TDataSet* data = nullptr;
  MemoryDataSet* memory = nullptr;
  std::vector<DrawCall> draws;
  std::vector<std::string> clicks;
  int doubleClicks = 0;
  bool paintOver = false;

 private:
  std::unique_ptr<TDataSet> m_data;
  std::unique_ptr<QWidget> m_window;
};

}  // namespace velloria::testing
