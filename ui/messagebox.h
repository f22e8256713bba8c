// The program's message box: a modal box built on the fly with an optional system icon,
// a word-wrapped text and a row of buttons, laid out in units of the system message font.
// GUI thread only.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

class QLabel;
class QPushButton;

namespace velloria {

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// In their fixed order, which is also their order in the box from left to right.
enum TMsgDlgBtn {
  mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp
};
inline constexpr int kMsgDlgBtnCount = 11;

// Values a box returns: the button that closed it, 2 for the close box and termination.
enum TModalResult {
  mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5,
  mrYes = 6, mrNo = 7, mrAll = 8, mrNoToAll = 9, mrYesToAll = 10
};

// A set of buttons.
class TMsgDlgButtons {
 public:
  TMsgDlgButtons(std::initializer_list<TMsgDlgBtn> buttons);
  bool contains(TMsgDlgBtn button) const { return (m_bits >> button) & 1u; }
  int count() const;

 private:
  unsigned m_bits = 0;
};

// The box's caption and value of each button kind.
QString ButtonCaption(TMsgDlgBtn button);
int ButtonResult(TMsgDlgBtn button);
QString KindCaption(TMsgDlgType kind);  // the custom kind gives the application's name

class MessageText;

class TMessageForm : public QDialog {
  Q_OBJECT

 public:
  ~TMessageForm() override;

  // The box's content as Ctrl+C puts it on the clipboard: caption, text and button
  // captions (without "&") between lines of 27 dashes, every line ending in CR LF.
  QString copyText() const;

  int helpContext() const { return m_helpContext; }
  void setHelpContext(int context) { m_helpContext = context; }
  QString messageText() const;
  // A second text below the message that says what it concerns (a file, say), selectable
  // so that it can be copied; the box grows to hold it. Call before the box is shown.
  void setDetail(const QString& detail);
  QString detailText() const;
  TMsgDlgType kind() const { return m_kind; }
  QPushButton* defaultButton() const { return m_defaultButton; }
  // Makes `button` (one of the box's) the default button, which Enter answers and which has
  // the focus when the box opens. Call before the box is shown.
  void setDefaultButton(TMsgDlgBtn button);
  QPushButton* cancelButton() const { return m_cancelButton; }
  const std::vector<QPushButton*>& buttons() const { return m_buttons; }

  // Application termination: closes every open box with `result`; from then on a box
  // about to be shown returns 2 at once. The test hook withdraws it.
  static void CloseAll(int result);
  static void ResumeAfterTerminationForTesting();
  static bool IsTerminating();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void reject() override;
  void showEvent(QShowEvent* event) override;

 private:
  friend std::unique_ptr<TMessageForm> BuildMessageDialog(const QString&, TMsgDlgType,
                                                          TMsgDlgButtons);
  TMessageForm();
  bool handleKey(QKeyEvent* event);
  bool pressMnemonic(QChar letter);
  void copyToClipboard();
  void showHelp();

  TMsgDlgType m_kind = mtCustom;
  MessageText* m_message = nullptr;
  QLabel* m_detail = nullptr;
  QPushButton* m_defaultButton = nullptr;
  QPushButton* m_cancelButton = nullptr;
  std::vector<QPushButton*> m_buttons;
  int m_helpContext = 0;
};

// Builds the box, laid out and centred on the screen but not shown.
std::unique_ptr<TMessageForm> BuildMessageDialog(const QString& text, TMsgDlgType kind,
                                                 TMsgDlgButtons buttons);

// Runs a built box modally (other windows disabled, timers keep firing, the arrow cursor
// shown) and returns the value of the button that closed it. The box is destroyed also
// when showing it fails.
int ExecMessageForm(std::unique_ptr<TMessageForm> form);

// Builds, shows, destroys the box; returns the value of the button that closed it.
int ShowMessageDialog(const QString& text, TMsgDlgType kind, TMsgDlgButtons buttons,
                      int helpContext = 0);
// As ShowMessageDialog, with `detail` below the text when it is not empty.
int ShowMessageDialogWithDetail(const QString& text, const QString& detail, TMsgDlgType kind,
                                TMsgDlgButtons buttons);
// A command the program refuses, saying why in `text`: a warning with the program's title
// and OK.
void ShowRefusal(const QString& text);
// A question whose safe answer is No (to go ahead despite a warning): a warning with the
// program's title, Yes and No, No the default and focused button. Returns the value of
// the button that closed it.
int AskDespiteWarning(const QString& text);

// `text` as the box draws it: a zero-width break opportunity after each "/", and within a
// quoted path no line break at a blank or hyphen, so that a path wraps at its separators
// rather than inside a folder's name.
QString WithBreaksAfterSeparators(const QString& text);

// Shows a box with an OK button that does not block the other windows and destroys itself
// when closed; for a note that must not stop the work. Nothing is shown while the
// application terminates or (for tests) an answer is queued, which then takes the box.
void ShowModelessMessage(const QString& text, TMsgDlgType kind);

// Test hook (every test hook's name ends in ForTesting): an answer queued for a later
// box. While a queued answer lives, a box about to be run is not shown: it returns
// `result` and leaves what it asked in the answer. Answers are taken oldest first; one
// destroyed before a box came is dropped. Termination still returns 2 without taking one.
struct BoxAnswerForTesting {
  int result = mrOk;
  bool answered = false;
  TMsgDlgType kind = mtCustom;
  QString title, text, detail;
  QStringList buttons;  // captions without "&", left to right
  std::function<void()> whileAsked;  // run before the answer is given, as a user's delay
};
void QueueBoxAnswerForTesting(const std::shared_ptr<BoxAnswerForTesting>& answer);

}  // namespace velloria
