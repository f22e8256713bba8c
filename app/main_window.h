// TfrmMain, the program's only window: the category grid on the left with the
// "Visualizza" button and the colour legend, the document list on the right, the list's
// context menu and the inactivity timer. Creating it runs the start-up steps.
#pragma once

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "app/category_transfer.h"
#include "app/startup.h"
#include "dataset/data_source.h"
#include "shellview/shell_list_view.h"
#include "ui/dbgrid.h"
#include "xbase/xbase_env.h"
#include "xbase/xbase_table.h"

class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QMimeData;
class QMenu;
class QPushButton;
class QTimer;

namespace velloria {

class FilterBar;
class SearchResults;
struct SearchFolder;
class ShownCategory;

inline constexpr int kInactivityIntervalMs = 60000;
// How long before the idle close the window says that it is about to close.
inline constexpr int kIdleNoteLeadMs = 10000;
inline constexpr const char* kIdleNoteText =
    "La finestra si chiuderà tra 10 secondi per inattività. Muovere il mouse o premere un "
    "tasto per lasciarla aperta.";
inline constexpr const char* kLeadingBlanksRemovedMessage =
    "Gli spazi all'inizio del nome sono stati tolti: il nuovo nome è \"%1\".";
inline constexpr const char* kStartupFailureMessage =
    "Si è verificato un errore. Impossibile continuare.";

// The client area of a window that wants `wanted`, on a screen whose free area (without
// panels) is `available`, with a window frame of `frame` around it: as much of `wanted`
// as fits with its frame, centred, frame and all, wholly inside `available`.
QRect FitClientToScreen(const QRect& available, const QMargins& frame, const QSize& wanted);

class TfrmMain : public QWidget {
  Q_OBJECT

 public:
  // Builds the window's components, then runs FormCreate with the process arguments
  // (`argv[0]` is the program). A start-up failure has been shown and the application
  // asked to terminate when the constructor returns with startupFailed() true.
  explicit TfrmMain(const std::vector<std::string>& argv, QWidget* parent = nullptr);
  // Closes the table after the grid has let go of it.
  ~TfrmMain() override;

  bool startupFailed() const { return m_startupFailed; }
  const StartupArguments& arguments() const { return m_arguments; }
  const std::string& stampeFolder() const { return m_stampeFolder; }
  // The rename toggle is armed (its next Enter starts a rename) while no caption editor
  // is open in the document list, however the last edit ended.
  bool renameArmed() const { return !SLVDoc->LabelEditing(); }
  // Test hook: the idle-close timer, which tests restart with a short interval.
  QTimer* inactivityTimerForTesting() const { return TChiudi; }
  // Test hook: the timer that shows the note before the idle close.
  QTimer* idleNoteTimerForTesting() const { return m_idleNoteTimer; }
  // The note saying that the idle close is near; hidden until then.
  QLabel* idleNote() const { return m_idleNote; }
  TShellListView* documentList() const { return SLVDoc; }
  TDBGrid* categoryGrid() const { return DBGrid; }
  xbase::TXbTable* categoryTable() const { return TbArchivio.get(); }
  ShownCategory* shownCategory() const { return m_shownCategory.get(); }
  FilterBar* filterBar() const { return m_filterBar; }

 public slots:
  // A later start asked for this window: show it, raise it and give it the focus.
  void bringToFront();
  // A later start on this window's office: its arguments replace the running ones; a new
  // category type filters the grid anew and shows its first category.
  void takeLaterStart(const StartupArguments& arguments);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // A new font lays the left panel out again so that its texts fit.
  void changeEvent(QEvent* event) override;
  // The document list takes the room a larger window gives.
  void resizeEvent(QResizeEvent* event) override;
  // Closing drops an open name edit, as the idle close does.
  void closeEvent(QCloseEvent* event) override;
  // The first show keeps the window's frame, once the window manager has given it one,
  // on the screen's free area.
  void showEvent(QShowEvent* event) override;
  // While the idle note shows, any mouse or key activity over the window keeps it open.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void createComponents();
  void createLeftPanel();
  void createCategoryGrid();
  void createLegend();
  void fitLayoutToFont();
  int legendWidthFrom(int squareLeft) const;
  QRect groupCaptionRect() const;
  int groupCaptionWidth() const;
  int bottomRowOverflow(int buttonHeight) const;
  int legendLabelHeight() const;
  void placeLegendRow(QWidget* square, QLabel* label, int row, int squareLeft, int raise);
  void createDataComponents();
  void createPopupMenu();
  void createFilterBar();
  void createSearch();
  void startSearch();
  void showFound(const SearchFolder& folder, const std::string& path);
  void wireEvents();
  void fitFirstSizeToScreen(const QMargins& frame);
  void keepFrameOnScreen();
  void createIdleNote();
  void placeIdleNote();
  void showIdleNote();
  void hideIdleNote();

  void FormCreate(const std::vector<std::string>& argv);
  void runStartupSteps(const std::vector<std::string>& argv);
  void failStartup(const QString& detail);
  void warnAboutShare();

  void restartInactivityTimer();
  void armInactivityTimerForCaller();
  void BVisualizzaClick();
  void DBGridCellClick();
  void TChiudiTimer();
  void Apri1Click();
  void Cancella1Click();
  void Duplica1Click();
  void Annulla1Click();
  void TransferClick(TransferKind kind);
  std::string selectedDocument() const;
  std::string activeCategoryFolder() const;
  bool acceptsDropOnActiveCategory(const QMimeData& data) const;
  void dropOnActiveCategory(const QMimeData& data, Qt::DropAction action);
  void transferDocument(const std::string& document, const std::string& folder, TransferKind kind);
  void SLVDocKeyUp(int key);

  // Components, in the order of the window's definition.
  TShellListView* SLVDoc = nullptr;
  QFrame* Panel1 = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  TDBGrid* DBGrid = nullptr;
  QPushButton* BVisualizza = nullptr;
  QWidget* Shape1 = nullptr;
  QLabel* Label1 = nullptr;
  QWidget* Shape2 = nullptr;
  QLabel* Label2 = nullptr;
  std::unique_ptr<xbase::TXBaseEnv> XBaseEnv1;
  std::unique_ptr<xbase::TXbTable> TbArchivio;
  std::unique_ptr<TDataSource> DSStampe;
  QMenu* PopupMenu = nullptr;
  QAction* Apri1 = nullptr;
  QAction* Cancella1 = nullptr;
  QAction* Duplica1 = nullptr;
  QAction* CopiaIn1 = nullptr;   // the category chooser, then a copy there
  QAction* SpostaIn1 = nullptr;  // the category chooser, then a move there
  QAction* Rinomina1 = nullptr;
  QAction* Annulla1 = nullptr;  // Ctrl+Z, named after the command it takes back
  QTimer* TChiudi = nullptr;
  QTimer* m_idleNoteTimer = nullptr;
  QLabel* m_idleNote = nullptr;
  std::unique_ptr<ShownCategory> m_shownCategory;  // the category line below SLVDoc
  FilterBar* m_filterBar = nullptr;                // the filter field above SLVDoc
  SearchResults* m_searchResults = nullptr;        // the window of the search in every category

  bool m_startupFailed = false;
  int m_laidOutPanelWidth = 0;   // the left panel's width the grid's column was fitted to
  bool m_idleCloseArmed = false;  // the start armed the idle close; activity restarts it
  bool m_shownOnce = false;
  StartupArguments m_arguments;
  std::string m_stampeFolder;
};

}  // namespace velloria
