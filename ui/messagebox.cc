// The message box: construction and layout arithmetic, keys, copy to the clipboard,
// the modal run, and the test hook that answers boxes without showing them.
#include "ui/messagebox.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPointer>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <algorithm>
#include <array>
#include <deque>

namespace velloria {

namespace {

constexpr QChar kZeroWidthSpace(0x200B);
constexpr QChar kWordJoiner(0x2060);
constexpr QChar kNoBreakSpace(0x00A0);

// A quoted path of `text` keeps its blanks and hyphens from breaking a line.
QString WithPathKeptWhole(const QString& quoted) {
  if (!quoted.contains(QLatin1Char('/'))) return quoted;
  QString kept;
  for (QChar c : quoted) {
    if (c == QLatin1Char(' ')) {
      kept += kNoBreakSpace;
    } else {
      kept += c;
      if (c == QLatin1Char('-')) kept += kWordJoiner;
    }
  }
  return kept;
}

}  // namespace

QString WithBreaksAfterSeparators(const QString& text) {
  // Between quotes (the odd parts) stand the names; a path among them is kept whole.
  QStringList parts = text.split(QLatin1Char('"'));
  for (qsizetype i = 1; i < parts.size(); i += 2) parts[i] = WithPathKeptWhole(parts[i]);
  return parts.join(QLatin1Char('"')).replace(QLatin1Char('/'), QString(QLatin1Char('/')) + kZeroWidthSpace);
}

// The word-wrapped text of the box, drawn with the same flags it was measured with, so
// that the measured block always holds it. A path in it wraps at its separators.
class MessageText : public QWidget {
 public:
  MessageText(const QString& text, QWidget* parent)
      : QWidget(parent), m_text(text), m_shown(WithBreaksAfterSeparators(text)) {}
  const QString& text() const { return m_text; }
  const QString& shownText() const { return m_shown; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.drawText(rect(), kTextFlags, m_shown);
  }

 public:
  static constexpr int kTextFlags = Qt::AlignLeft | Qt::TextWordWrap | Qt::TextExpandTabs;

 private:
  QString m_text;
  QString m_shown;
};

namespace {

struct ButtonKind {
  const char* name;
  const char* caption;
  int result;
};

// Captions are written in English and translated for the system language (context
// "MessageBox").
constexpr std::array<ButtonKind, kMsgDlgBtnCount> kButtons = {{
    {"Yes", QT_TRANSLATE_NOOP("MessageBox", "&Yes"), mrYes},
    {"No", QT_TRANSLATE_NOOP("MessageBox", "&No"), mrNo},
    {"OK", QT_TRANSLATE_NOOP("MessageBox", "OK"), mrOk},
    {"Cancel", QT_TRANSLATE_NOOP("MessageBox", "Cancel"), mrCancel},
    {"Abort", QT_TRANSLATE_NOOP("MessageBox", "&Abort"), mrAbort},
    {"Retry", QT_TRANSLATE_NOOP("MessageBox", "&Retry"), mrRetry},
    {"Ignore", QT_TRANSLATE_NOOP("MessageBox", "&Ignore"), mrIgnore},
    {"All", QT_TRANSLATE_NOOP("MessageBox", "&All"), mrAll},
    {"NoToAll", QT_TRANSLATE_NOOP("MessageBox", "N&o to All"), mrNoToAll},
    {"YesToAll", QT_TRANSLATE_NOOP("MessageBox", "Yes to &All"), mrYesToAll},
    {"Help", QT_TRANSLATE_NOOP("MessageBox", "&Help"), mrNone},
}};

constexpr int kIconSize = 32;
constexpr int kDashCount = 27;

std::vector<TMessageForm*>& OpenForms() {
  static std::vector<TMessageForm*> forms;
  return forms;
}

bool& Terminating() {
  static bool terminating = false;
  return terminating;
}

// a * b / c rounded to the nearest integer, halves away from zero, for a, b >= 0, c > 0.
int MulDiv(int a, int b, int c) {
  long long product = static_cast<long long>(a) * b;
  return static_cast<int>((2 * product + c) / (2LL * c));
}

QString WithoutAmpersands(QString caption) { return caption.remove(QLatin1Char('&')); }

// Single-line width of the button's caption plus 8, measured once per button kind.
int CaptionWidth(TMsgDlgBtn button, const QFontMetrics& metrics) {
  static std::array<int, kMsgDlgBtnCount> widths = [] {
    std::array<int, kMsgDlgBtnCount> empty;
    empty.fill(-1);
    return empty;
  }();
  if (widths[button] < 0) {
    widths[button] = metrics.horizontalAdvance(WithoutAmpersands(ButtonCaption(button))) + 8;
  }
  return widths[button];
}

QStyle::StandardPixmap KindIcon(TMsgDlgType kind) {
  switch (kind) {
    case mtWarning: return QStyle::SP_MessageBoxWarning;
    case mtError: return QStyle::SP_MessageBoxCritical;
    case mtInformation: return QStyle::SP_MessageBoxInformation;
    case mtConfirmation: return QStyle::SP_MessageBoxQuestion;
    case mtCustom: break;
  }
  return QStyle::SP_CustomBase;
}

// The box's lengths in pixels, from the average character size of its font.
struct Layout {
  int hMargin, vMargin, hSpacing, vSpacing, buttonWidth, buttonHeight, buttonSpacing;
};

Layout LayoutFor(const QFontMetrics& metrics, TMsgDlgButtons buttons) {
  static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  int w = metrics.horizontalAdvance(letters) / 52;
  int h = metrics.height();
  Layout layout{MulDiv(8, w, 4),  MulDiv(8, h, 8),  MulDiv(10, w, 4), MulDiv(10, h, 8),
                MulDiv(50, w, 4), MulDiv(14, h, 8), MulDiv(4, w, 4)};
  for (int b = 0; b < kMsgDlgBtnCount; ++b) {
    auto button = static_cast<TMsgDlgBtn>(b);
    if (buttons.contains(button)) {
      layout.buttonWidth = std::max(layout.buttonWidth, CaptionWidth(button, metrics));
    }
  }
  return layout;
}

QPushButton* ChosenOrNull(const std::vector<QPushButton*>& buttons, TMsgDlgBtn kind) {
  for (QPushButton* button : buttons) {
    if (button->objectName() == QLatin1String(kButtons[kind].name)) return button;
  }
  return nullptr;
}

QPushButton* FirstChosen(const std::vector<QPushButton*>& buttons,
                         std::initializer_list<TMsgDlgBtn> preference) {
  for (TMsgDlgBtn kind : preference) {
    if (QPushButton* button = ChosenOrNull(buttons, kind)) return button;
  }
  return nullptr;
}

bool NoModifiers(const QKeyEvent* event) {
  return (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) == 0;
}

std::deque<std::weak_ptr<BoxAnswerForTesting>>& QueuedAnswers() {
  static std::deque<std::weak_ptr<BoxAnswerForTesting>> answers;
  return answers;
}

// The oldest queued answer still alive, taken from the queue; null when none is.
std::shared_ptr<BoxAnswerForTesting> TakeQueuedAnswer() {
  auto& answers = QueuedAnswers();
  while (!answers.empty()) {
    std::shared_ptr<BoxAnswerForTesting> answer = answers.front().lock();
    answers.pop_front();
    if (answer) return answer;
  }
  return nullptr;
}

// Fills the answer with what the box asks and returns its value.
int AnswerWithoutShowing(const TMessageForm& form, BoxAnswerForTesting& answer) {
  answer.answered = true;
  answer.kind = form.kind();
  answer.title = form.windowTitle();
  answer.text = form.messageText();
  answer.detail = form.detailText();
  for (QPushButton* button : form.buttons()) answer.buttons << WithoutAmpersands(button->text());
  if (answer.whileAsked) answer.whileAsked();
  return answer.result;
}

}  // namespace

TMsgDlgButtons::TMsgDlgButtons(std::initializer_list<TMsgDlgBtn> buttons) {
  for (TMsgDlgBtn button : buttons) m_bits |= 1u << button;
}

int TMsgDlgButtons::count() const { return __builtin_popcount(m_bits); }

QString ButtonCaption(TMsgDlgBtn button) {
  return QCoreApplication::translate("MessageBox", kButtons[button].caption);
}

int ButtonResult(TMsgDlgBtn button) { return kButtons[button].result; }

QString KindCaption(TMsgDlgType kind) {
  switch (kind) {
    case mtWarning: return QCoreApplication::translate("MessageBox", "Warning");
    case mtError: return QCoreApplication::translate("MessageBox", "Error");
    case mtInformation: return QCoreApplication::translate("MessageBox", "Information");
    case mtConfirmation: return QCoreApplication::translate("MessageBox", "Confirm");
    case mtCustom: break;
  }
  return QApplication::applicationName();
}

TMessageForm::TMessageForm()
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setLayoutDirection(QApplication::layoutDirection());
  setFont(QApplication::font("QMessageBox"));
  installEventFilter(this);
  OpenForms().push_back(this);
}

TMessageForm::~TMessageForm() { std::erase(OpenForms(), this); }

QString TMessageForm::messageText() const { return m_message ? m_message->text() : QString(); }

QString TMessageForm::detailText() const { return m_detail ? m_detail->text() : QString(); }

// The detail goes below the message, aligned with it, one half line apart; the buttons move
// down (and to the middle again when the box widens).
void TMessageForm::setDetail(const QString& detail) {
  QFontMetrics metrics(font());
  QRect screen = QGuiApplication::primaryScreen()->geometry();
  QRect message = m_message->geometry();
  QRect bounds = metrics.boundingRect(QRect(0, 0, std::max(message.width(), screen.width() / 2), 0),
                                      MessageText::kTextFlags | Qt::TextWrapAnywhere, detail);
  int gap = metrics.height() / 2;
  int rightMargin = width() - message.right() - 1;
  int widen = std::max(0, message.left() + bounds.width() + rightMargin - width());
  int grow = bounds.height() + gap;
  m_detail = new QLabel(detail, this);
  m_detail->setObjectName(QStringLiteral("Detail"));
  m_detail->setWordWrap(true);
  m_detail->setTextInteractionFlags(Qt::TextSelectableByMouse);
  m_detail->setGeometry(message.left(), message.bottom() + 1 + gap, bounds.width(), bounds.height());
  for (QPushButton* button : m_buttons) button->move(button->x() + widen / 2, button->y() + grow);
  setFixedSize(width() + widen, height() + grow);
  move(screen.width() / 2 - width() / 2, screen.height() / 2 - height() / 2);
}

void TMessageForm::setDefaultButton(TMsgDlgBtn button) {
  QPushButton* chosen = ChosenOrNull(m_buttons, button);
  if (!chosen) return;
  if (m_defaultButton) m_defaultButton->setDefault(false);
  m_defaultButton = chosen;
  m_defaultButton->setDefault(true);
}

void TMessageForm::CloseAll(int result) {
  Terminating() = true;
  for (TMessageForm* form : OpenForms()) {
    if (form->isVisible()) form->done(result);
  }
}

void TMessageForm::ResumeAfterTerminationForTesting() { Terminating() = false; }

bool TMessageForm::IsTerminating() { return Terminating(); }

QString TMessageForm::copyText() const {
  const QString dashes(kDashCount, QLatin1Char('-'));
  const QString crlf = QStringLiteral("\r\n");
  QString captions;
  for (QPushButton* button : m_buttons) captions += WithoutAmpersands(button->text()) + "   ";
  QString detail = m_detail ? detailText() + crlf : QString();
  return dashes + crlf + windowTitle() + crlf + dashes + crlf + messageText() + crlf + detail +
         dashes + crlf + captions + crlf + dashes + crlf;
}

void TMessageForm::copyToClipboard() {
  QApplication::beep();
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->clear();
  clipboard->setText(copyText());
}

void TMessageForm::showHelp() {
  // The program ships no help file, so every help context leads here.
  ShowMessageDialog(QCoreApplication::translate("MessageBox", "No help is available for this message."),
                    mtInformation, {mbOK});
}

bool TMessageForm::pressMnemonic(QChar letter) {
  for (QPushButton* button : m_buttons) {
    const QString& text = button->text();
    int amp = text.indexOf(QLatin1Char('&'));
    if (amp >= 0 && amp + 1 < text.size() && text[amp + 1].toLower() == letter.toLower()) {
      button->setFocus();
      button->click();
      return true;
    }
  }
  return false;
}

// Enter and Escape held with Shift, Ctrl or Alt are taken here and press nothing: the
// focused button would otherwise click on any Enter.
bool TMessageForm::handleKey(QKeyEvent* event) {
  int key = event->key();
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    auto* focused = qobject_cast<QPushButton*>(focusWidget());
    QPushButton* target = focused ? focused : m_defaultButton;
    if (target && NoModifiers(event)) target->click();
    return true;
  }
  if (key == Qt::Key_Escape) {
    if (m_cancelButton && NoModifiers(event)) m_cancelButton->click();
    return true;
  }
  Qt::KeyboardModifiers mods = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier |
                                                      Qt::AltModifier);
  if (key == Qt::Key_C && mods == Qt::ControlModifier) {
    copyToClipboard();
    return true;
  }
  if ((mods & (Qt::ControlModifier | Qt::AltModifier)) == 0 && event->text().size() == 1 &&
      event->text()[0].isLetterOrNumber()) {
    return pressMnemonic(event->text()[0]);
  }
  return false;
}

bool TMessageForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && handleKey(static_cast<QKeyEvent*>(event))) return true;
  return QDialog::eventFilter(watched, event);
}

void TMessageForm::reject() { done(mrCancel); }

void TMessageForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Enter answers the focused button: the default one starts with the focus (Riprova before
  // an Annulla laid out first), else the first.
  QPushButton* first = m_defaultButton ? m_defaultButton : (m_buttons.empty() ? nullptr : m_buttons.front());
  if (first) first->setFocus(Qt::TabFocusReason);
}

std::unique_ptr<TMessageForm> BuildMessageDialog(const QString& text, TMsgDlgType kind,
                                                 TMsgDlgButtons buttons) {
  std::unique_ptr<TMessageForm> form(new TMessageForm);
  form->m_kind = kind;
  QFontMetrics metrics(form->font());
  Layout layout = LayoutFor(metrics, buttons);
  QRect screen = QGuiApplication::primaryScreen()->geometry();

  QRect textRect = metrics.boundingRect(QRect(0, 0, screen.width() / 2, 0),
                                        MessageText::kTextFlags, WithBreaksAfterSeparators(text));
  const bool hasIcon = kind != mtCustom;
  int iconTextWidth = textRect.width() + (hasIcon ? kIconSize + layout.hSpacing : 0);
  int iconTextHeight = hasIcon ? std::max(textRect.height(), kIconSize) : textRect.height();
  int n = buttons.count();
  int rowWidth = n > 0 ? n * layout.buttonWidth + (n - 1) * layout.buttonSpacing : 0;
  int clientWidth = std::max(iconTextWidth, rowWidth) + 2 * layout.hMargin;
  int clientHeight =
      iconTextHeight + layout.buttonHeight + layout.vSpacing + 2 * layout.vMargin;
  form->setFixedSize(clientWidth, clientHeight);
  form->move(screen.width() / 2 - clientWidth / 2, screen.height() / 2 - clientHeight / 2);
  form->setWindowTitle(KindCaption(kind));

  if (hasIcon) {
    auto* image = new QLabel(form.get());
    image->setObjectName(QStringLiteral("Image"));
    image->setGeometry(layout.hMargin, layout.vMargin, kIconSize, kIconSize);
    image->setPixmap(form->style()->standardIcon(KindIcon(kind)).pixmap(kIconSize, kIconSize));
  }

  form->m_message = new MessageText(text, form.get());
  form->m_message->setObjectName(QStringLiteral("Message"));
  int textLeft = iconTextWidth - textRect.width() + layout.hMargin;
  if (form->layoutDirection() == Qt::RightToLeft) {
    textLeft = clientWidth - textLeft - textRect.width();
  }
  form->m_message->setGeometry(textLeft, layout.vMargin, textRect.width(), textRect.height());

  int x = (clientWidth - rowWidth) / 2;
  int y = iconTextHeight + layout.vMargin + layout.vSpacing;
  for (int b = 0; b < kMsgDlgBtnCount; ++b) {
    auto kind_of = static_cast<TMsgDlgBtn>(b);
    if (!buttons.contains(kind_of)) continue;
    auto* button = new QPushButton(ButtonCaption(kind_of), form.get());
    button->setObjectName(QLatin1String(kButtons[b].name));
    button->setGeometry(x, y, layout.buttonWidth, layout.buttonHeight);
    button->installEventFilter(form.get());
    TMessageForm* owner = form.get();
    if (kind_of == mbHelp) {
      QObject::connect(button, &QPushButton::clicked, owner, [owner] { owner->showHelp(); });
    } else {
      int result = kButtons[b].result;
      QObject::connect(button, &QPushButton::clicked, owner, [owner, result] { owner->done(result); });
    }
    form->m_buttons.push_back(button);
    x += layout.buttonWidth + layout.buttonSpacing;
  }
  form->m_defaultButton = FirstChosen(form->m_buttons, {mbOK, mbYes, mbRetry});
  form->m_cancelButton = FirstChosen(form->m_buttons, {mbCancel, mbNo, mbOK});
  if (form->m_defaultButton) form->m_defaultButton->setDefault(true);
  return form;
}

void QueueBoxAnswerForTesting(const std::shared_ptr<BoxAnswerForTesting>& answer) {
  QueuedAnswers().push_back(answer);
}

int ExecMessageForm(std::unique_ptr<TMessageForm> form) {
  if (Terminating()) return mrCancel;
  if (auto answer = TakeQueuedAnswer()) return AnswerWithoutShowing(*form, *answer);
  form->setWindowModality(Qt::ApplicationModal);
  QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
  struct RestoreCursor {
    ~RestoreCursor() { QGuiApplication::restoreOverrideCursor(); }
  } restore;
  QPointer<QWidget> previous = QApplication::activeWindow();
  form->exec();
  form->hide();
  // The window that had the keyboard gets it back, with its focused control: the box has
  // no parent window to which the window system would return it.
  if (previous && previous->isVisible()) previous->activateWindow();
  // A loop ended from outside (the application quitting) chose no button: as the close box.
  return form->result() == mrNone ? mrCancel : form->result();
}

int ShowMessageDialog(const QString& text, TMsgDlgType kind, TMsgDlgButtons buttons,
                      int helpContext) {
  std::unique_ptr<TMessageForm> form = BuildMessageDialog(text, kind, buttons);
  form->setHelpContext(helpContext);
  return ExecMessageForm(std::move(form));
}

int ShowMessageDialogWithDetail(const QString& text, const QString& detail, TMsgDlgType kind,
                                TMsgDlgButtons buttons) {
  std::unique_ptr<TMessageForm> form = BuildMessageDialog(text, kind, buttons);
  if (!detail.isEmpty()) form->setDetail(detail);
  return ExecMessageForm(std::move(form));
}

void ShowRefusal(const QString& text) {
  std::unique_ptr<TMessageForm> form = BuildMessageDialog(text, mtWarning, {mbOK});
  form->setWindowTitle(QApplication::applicationName());
  ExecMessageForm(std::move(form));
}

int AskDespiteWarning(const QString& text) {
  std::unique_ptr<TMessageForm> form = BuildMessageDialog(text, mtWarning, {mbYes, mbNo});
  form->setWindowTitle(QApplication::applicationName());
  form->setDefaultButton(mbNo);
  return ExecMessageForm(std::move(form));
}

void ShowModelessMessage(const QString& text, TMsgDlgType kind) {
  std::unique_ptr<TMessageForm> form = BuildMessageDialog(text, kind, {mbOK});
  if (Terminating()) return;
  if (auto answer = TakeQueuedAnswer()) {
    AnswerWithoutShowing(*form, *answer);
    return;
  }
  form->setAttribute(Qt::WA_DeleteOnClose);
  form->setWindowModality(Qt::NonModal);
  form->show();
  form.release();  // the box deletes itself when closed
}

}  // namespace velloria
