// TfrmMain, the program's only window: the category grid on the left with the
// "Visualizza" button and the colour legend, the document list on the right, the list's
// context menu and the inactivity timer. Creating it runs the start-up steps.
#pragma once

#include <QColor>
#include <QWidget>
#include <string>
#include <vector>

#include "app/startup.h"

class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QTimer;

namespace velloria {

// Colours of the category grid and its legend.
inline const QColor kSelectedRowColor(0, 0, 128);         // navy
inline const QColor kAccountingColor(166, 202, 240);      // sky blue, category type 1
inline const QColor kTeachingColor(192, 220, 192);        // money green, category type 2
inline const QColor kOtherRowColor(255, 251, 240);        // cream

inline constexpr int kInactivityIntervalMs = 60000;
inline constexpr const char* kStartupFailureMessage =
    "Si è verificato un errore. Impossibile continuare.";

class TfrmMain : public QWidget {
  Q_OBJECT

 public:
  // Builds the window's components, then runs FormCreate with the process arguments
  // (`argv[0]` is the program). A start-up failure has been shown and the application
  // asked to terminate when the constructor returns with startupFailed() true.
  explicit TfrmMain(const std::vector<std::string>& argv, QWidget* parent = nullptr);

  bool startupFailed() const { return m_startupFailed; }
  const StartupArguments& arguments() const { return m_arguments; }
  const std::string& stampeFolder() const { return m_stampeFolder; }
  bool renameArmed() const { return m_renameArmed; }
  QTimer* inactivityTimer() const { return TChiudi; }

 public slots:
  // A later start asked for this window: show it, raise it and give it the focus.
  void bringToFront();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void createComponents();
  void createLeftPanel();
  void createLegend();
  void createPopupMenu();
  void centreOnScreen();

  void FormCreate(const std::vector<std::string>& argv);
  void runStartupSteps(const std::vector<std::string>& argv);
  void LoadCatalogue();

  void restartInactivityTimer();
  void TChiudiTimer();
  void SLVDocKeyDown();
  void SLVDocMouseMove();
  void DBGridKeyDown();
  void DBGridMouseMove();

  // Components, in the order of the window's definition.
  QFrame* SLVDoc = nullptr;
  QFrame* Panel1 = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QFrame* DBGrid = nullptr;
  QPushButton* BVisualizza = nullptr;
  QWidget* Shape1 = nullptr;
  QLabel* Label1 = nullptr;
  QWidget* Shape2 = nullptr;
  QLabel* Label2 = nullptr;
  QMenu* PopupMenu = nullptr;
  QAction* Apri1 = nullptr;
  QAction* Cancella1 = nullptr;
  QAction* Duplica1 = nullptr;
  QTimer* TChiudi = nullptr;

  bool m_renameArmed = false;  // the rename toggle of the document list
  bool m_startupFailed = false;
  StartupArguments m_arguments;
  std::string m_stampeFolder;
};

}  // namespace velloria
