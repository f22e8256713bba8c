// Grid benchmark: a 179 x 383 category grid over a real STAMPE.DBF of many records,
// timed for a full paint, a one-row move and a page move, with the records each costs;
// the baseline draws the same 22 texts straight onto an image with QPainter.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>

#include "platform/fonts.h"
#include "ui/dbgrid.h"
#include "xbase/xbase_table.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRecords = 100000;
constexpr int kRounds = 300;

// A dBase III table with one 40-character DESCRIZIO field.
QByteArray MakeTable(int records) {
  QByteArray data(32, '\0');
  data[0] = 0x03;
  quint32 count = records;
  quint16 header = 32 + 32 + 1, record = 41;
  std::memcpy(data.data() + 4, &count, 4);
  std::memcpy(data.data() + 8, &header, 2);
  std::memcpy(data.data() + 10, &record, 2);
  QByteArray field(32, '\0');
  std::memcpy(field.data(), "DESCRIZIO", 9);
  field[11] = 'C';
  field[16] = 40;
  data += field;
  data += '\r';
  for (int i = 0; i < records; ++i) {
    data += ' ';
    data += QByteArray("Categoria " + QByteArray::number(i + 1)).leftJustified(40, ' ');
  }
  data += '\x1a';
  return data;
}

double MicrosPer(int rounds, const std::function<void()>& work) {
  Clock::time_point start = Clock::now();
  for (int i = 0; i < rounds; ++i) work();
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / rounds;
}

void SendKey(QWidget* target, int key) {
  QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(target, &event);
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  velloria::RegisterTahoma();
  QTemporaryDir folder;
  QFile file(folder.filePath("STAMPE.DBF"));
  if (!file.open(QIODevice::WriteOnly) || file.write(MakeTable(kRecords)) < 0) {
    std::fprintf(stderr, "grid_bench: cannot write %s\n", qPrintable(file.fileName()));
    return 1;
  }
  file.close();

  velloria::xbase::TXbTable table("TbArchivio");
  table.SetTableType(velloria::xbase::TXBaseTableType::ttXBNTX);
  table.SetDatabaseName(folder.path().toStdString());
  table.SetTableName("STAMPE.DBF");
  velloria::TDataSource source;
  source.SetDataSet(&table);

  QWidget window;
  window.setFont(velloria::WindowFont());
  auto* grid = new velloria::TDBGrid(&window);
  grid->setGeometry(2, 15, 179, 383);
  grid->BeginLayout();
  grid->SetTitleFont(velloria::WindowFont());
  grid->SetOptions({velloria::dgTitles, velloria::dgColLines, velloria::dgRowLines,
                    velloria::dgTabs, velloria::dgCancelOnExit});
  velloria::TColumn* column = grid->Columns().Add();
  column->SetFieldName("DESCRIZIO");
  column->Title().SetCaption("Categoria");
  column->SetWidth(158);
  grid->SetDataSource(&source);
  grid->EndLayout();
  window.show();
  QApplication::setActiveWindow(&window);
  grid->setFocus();

  Clock::time_point start = Clock::now();
  table.Open();
  QApplication::processEvents();
  QImage first = grid->viewport()->grab().toImage();
  double openMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  std::uint64_t openFetches = table.RecordFetches();

  std::uint64_t before = table.RecordFetches();
  double paintUs = MicrosPer(kRounds, [&] { grid->viewport()->grab(); });
  double fetchesPerPaint = double(table.RecordFetches() - before) / kRounds;
  before = table.RecordFetches();
  double downUs = MicrosPer(kRounds, [&] {
    SendKey(grid, Qt::Key_Down);
    grid->viewport()->grab();
  });
  double fetchesPerDown = double(table.RecordFetches() - before) / kRounds;
  before = table.RecordFetches();
  double pageUs = MicrosPer(kRounds, [&] {
    SendKey(grid, Qt::Key_PageDown);
    grid->viewport()->grab();
  });
  double fetchesPerPage = double(table.RecordFetches() - before) / kRounds;

  QStringList texts;
  for (int i = 0; i < grid->VisibleRowCount(); ++i) texts << QString("Categoria %1").arg(i + 1);
  QImage canvas(grid->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
  int pitch = grid->DataRowHeight() + 1;
  double baselineUs = MicrosPer(kRounds, [&] {
    QPainter painter(&canvas);
    painter.setFont(velloria::WindowFont());
    painter.fillRect(canvas.rect(), Qt::white);
    for (int i = 0; i < texts.size(); ++i) {
      QRect cell(0, (i + 1) * pitch, 158, pitch - 1);
      painter.fillRect(cell, QColor(255, 251, 240));
      painter.drawText(cell.adjusted(2, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop, texts[i]);
    }
  });

  std::printf("table of %d records, grid of %d visible rows, table buffers %d\n", kRecords,
              grid->VisibleRowCount(), table.BufferCount());
  std::printf("open and first paint      %8.2f ms   %llu record fetches\n", openMs,
              static_cast<unsigned long long>(openFetches));
  std::printf("full repaint              %8.1f us   %.2f fetches per paint\n", paintUs,
              fetchesPerPaint);
  std::printf("Down and repaint          %8.1f us   %.2f fetches per move\n", downUs,
              fetchesPerDown);
  std::printf("Page Down and repaint     %8.1f us   %.2f fetches per page\n", pageUs,
              fetchesPerPage);
  std::printf("baseline: same texts drawn straight with QPainter %8.1f us\n", baselineUs);
  return first.isNull() ? 1 : 0;
}
