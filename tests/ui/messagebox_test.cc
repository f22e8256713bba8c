// Tests of the message box: layout arithmetic, the values returned by keys, the close
// box and termination, focus and accelerators, and the Ctrl+C text. Real widgets, offscreen.
#include "ui/messagebox.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTextLayout>
#include <QTimer>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

namespace velloria {
namespace {

// Sends a key press to the widget that has the box's focus, as the keyboard would.
void PressKey(TMessageForm* form, int key, Qt::KeyboardModifiers mods = Qt::NoModifier,
              const QString& text = QString()) {
  QWidget* target = form->focusWidget() ? form->focusWidget() : form;
  QKeyEvent press(QEvent::KeyPress, key, mods, text);
  QApplication::sendEvent(target, &press);
}

// Shows a box modally and, once it is open, runs `action` on it; returns the box's value.
int ShowAndThen(const QString& text, TMsgDlgType kind, TMsgDlgButtons buttons,
                std::function<void(TMessageForm*)> action) {
  QTimer::singleShot(0, [action] {
    auto* form = qobject_cast<TMessageForm*>(QApplication::activeModalWidget());
    ASSERT_NE(form, nullptr);
    action(form);
  });
  return ShowMessageDialog(text, kind, buttons);
}

int Round(int a, int b, int c) { return (2 * a * b + c) / (2 * c); }

struct AverageChar {
  int w, h;
};

AverageChar AverageCharOf(const QFont& font) {
  QFontMetrics metrics(font);
  return {metrics.horizontalAdvance(
              QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52,
          metrics.height()};
}

TEST(MessageBoxKeys, InformationOkAnswersOneToEnterAndEscapeAndTwoToCloseBox) {
  auto enter = [](TMessageForm* f) { PressKey(f, Qt::Key_Return); };
  auto escape = [](TMessageForm* f) { PressKey(f, Qt::Key_Escape); };
  auto closeBox = [](TMessageForm* f) { f->close(); };
  EXPECT_EQ(ShowAndThen("Cartella non valida.", mtInformation, {mbOK}, enter), mrOk);
  EXPECT_EQ(ShowAndThen("Cartella non valida.", mtInformation, {mbOK}, escape), mrOk);
  EXPECT_EQ(ShowAndThen("Cartella non valida.", mtInformation, {mbOK}, closeBox), mrCancel);
}

TEST(MessageBoxKeys, ConfirmationYesNo) {
  auto enter = [](TMessageForm* f) { PressKey(f, Qt::Key_Return); };
  auto escape = [](TMessageForm* f) { PressKey(f, Qt::Key_Escape); };
  auto closeBox = [](TMessageForm* f) { f->close(); };
  auto letterN = [](TMessageForm* f) { PressKey(f, Qt::Key_N, Qt::NoModifier, "n"); };
  // Only plain Enter and Escape count, also on the focused Yes (where a window system
  // delivers them; offscreen the box itself has the focus).
  auto modifiedKeys = [](TMessageForm* f) {
    QWidget* yes = f->findChild<QPushButton*>("Yes");
    for (Qt::KeyboardModifier modifier : {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier}) {
      for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QKeyEvent press(QEvent::KeyPress, key, modifier);
        QApplication::sendEvent(yes, &press);
        EXPECT_TRUE(f->isVisible()) << "modifiers " << modifier << ", key " << key;
      }
    }
    PressKey(f, Qt::Key_Escape);
  };
  EXPECT_EQ(ShowAndThen("Cancellare?", mtConfirmation, {mbYes, mbNo}, enter), mrYes);
  EXPECT_EQ(ShowAndThen("Cancellare?", mtConfirmation, {mbYes, mbNo}, escape), mrNo);
  EXPECT_EQ(ShowAndThen("Cancellare?", mtConfirmation, {mbYes, mbNo}, closeBox), mrCancel);
  EXPECT_EQ(ShowAndThen("Cancellare?", mtConfirmation, {mbYes, mbNo}, letterN), mrNo);
  EXPECT_EQ(ShowAndThen("Cancellare?", mtConfirmation, {mbYes, mbNo}, modifiedKeys), mrNo);
}

TEST(MessageBoxKeys, EnterPressesTheFocusedButtonNotTheDefault) {
  auto focusCancelThenEnter = [](TMessageForm* f) {
    f->findChild<QPushButton*>("Cancel")->setFocus();
    PressKey(f, Qt::Key_Return);
  };
  EXPECT_EQ(ShowAndThen("Cancellare?", mtConfirmation, {mbOK, mbCancel}, focusCancelThenEnter),
            mrCancel);
}

TEST(MessageBoxKeys, TerminationClosesTheOpenBoxWithTwoAndLaterBoxesAtOnce) {
  auto terminate = [](TMessageForm*) { TMessageForm::CloseAll(mrCancel); };
  EXPECT_EQ(ShowAndThen("Cancellare?", mtConfirmation, {mbYes, mbNo}, terminate), mrCancel);
  EXPECT_TRUE(TMessageForm::IsTerminating());
  auto queued = std::make_shared<BoxAnswerForTesting>();
  QueueBoxAnswerForTesting(queued);
  EXPECT_EQ(ShowMessageDialog("Dopo la chiusura", mtInformation, {mbOK}), mrCancel);
  EXPECT_FALSE(queued->answered);
  TMessageForm::ResumeAfterTerminationForTesting();
  queued.reset();
}

// The test hook: answers are taken oldest first, one dropped unused answers nothing, and
// with none queued the box is shown again.
TEST(MessageBoxHook, QueuedAnswersAnswerTheNextBoxesInOrderWithoutShowingThem) {
  auto first = std::make_shared<BoxAnswerForTesting>();
  first->result = mrNo;
  auto dropped = std::make_shared<BoxAnswerForTesting>();
  auto second = std::make_shared<BoxAnswerForTesting>();
  second->result = mrRetry;
  for (const auto& answer : {first, dropped, second}) QueueBoxAnswerForTesting(answer);
  dropped.reset();
  EXPECT_EQ(ShowMessageDialog("Cancellare?", mtConfirmation, {mbYes, mbNo}), mrNo);
  EXPECT_EQ(ShowMessageDialog("Di nuovo?", mtWarning, {mbAbort, mbRetry, mbIgnore}), mrRetry);
  EXPECT_EQ(first->text, "Cancellare?");
  EXPECT_EQ(first->title, "Confirm");
  EXPECT_EQ(first->buttons, (QStringList{"Yes", "No"}));
  EXPECT_EQ(second->kind, mtWarning);
  EXPECT_EQ(second->buttons, (QStringList{"Abort", "Retry", "Ignore"}));
  auto click = [](TMessageForm* form) { form->buttons().front()->click(); };
  EXPECT_EQ(ShowAndThen("Mostrata", mtInformation, {mbOK}, click), mrOk);
}

TEST(MessageBoxLoop, TimersKeepFiringWhileTheBoxIsOpen) {
  int ticks = 0;
  QTimer timer;
  timer.setInterval(5);
  QObject::connect(&timer, &QTimer::timeout, [&ticks] {
    if (++ticks == 3) {
      auto* form = qobject_cast<TMessageForm*>(QApplication::activeModalWidget());
      if (form) form->close();
    }
  });
  timer.start();
  EXPECT_EQ(ShowMessageDialog("Attendere", mtInformation, {mbOK}), mrCancel);
  EXPECT_GE(ticks, 3);
}

TEST(MessageBoxBuild, CaptionsIconsDefaultCancelAndFocus) {
  auto info = BuildMessageDialog("Cartella non valida.", mtInformation, {mbOK});
  EXPECT_EQ(info->windowTitle(), "Information");
  EXPECT_NE(info->findChild<QLabel*>("Image"), nullptr);
  ASSERT_EQ(info->buttons().size(), 1u);
  EXPECT_EQ(info->defaultButton(), info->buttons()[0]);
  EXPECT_EQ(info->cancelButton(), info->buttons()[0]);

  auto confirm = BuildMessageDialog("Cancellare?", mtConfirmation, {mbNo, mbYes});
  EXPECT_EQ(confirm->windowTitle(), "Confirm");
  ASSERT_EQ(confirm->buttons().size(), 2u);
  QPushButton* yes = confirm->buttons()[0];
  QPushButton* no = confirm->buttons()[1];
  EXPECT_EQ(yes->text(), "&Yes");
  EXPECT_LT(yes->x(), no->x());
  EXPECT_EQ(confirm->defaultButton(), yes);
  EXPECT_EQ(confirm->cancelButton(), no);
  confirm->show();
  EXPECT_EQ(confirm->focusWidget(), yes);

  auto custom = BuildMessageDialog("Testo", mtCustom, {mbAbort, mbRetry, mbIgnore});
  EXPECT_EQ(custom->windowTitle(), QApplication::applicationName());
  EXPECT_EQ(custom->findChild<QLabel*>("Image"), nullptr);
  EXPECT_EQ(custom->defaultButton()->objectName(), "Retry");
  EXPECT_EQ(custom->cancelButton(), nullptr);
}

TEST(MessageBoxBuild, ShortTextWithIconLaysOutInAverageCharacterUnits) {
  auto form = BuildMessageDialog("Ok.", mtInformation, {mbOK});
  AverageChar c = AverageCharOf(form->font());
  int hMargin = Round(8, c.w, 4), vMargin = Round(8, c.h, 8), vSpacing = Round(10, c.h, 8);
  int buttonWidth = Round(50, c.w, 4), buttonHeight = Round(14, c.h, 8);

  QWidget* message = form->findChild<QWidget*>("Message");
  QLabel* image = form->findChild<QLabel*>("Image");
  QPushButton* ok = form->buttons()[0];
  EXPECT_EQ(image->geometry(), QRect(hMargin, vMargin, 32, 32));
  EXPECT_EQ(message->y(), vMargin);
  EXPECT_GT(message->x(), image->geometry().right());
  // The text area is 32 high because of the icon; the button row follows it.
  EXPECT_EQ(ok->geometry(), QRect((form->width() - buttonWidth) / 2, 32 + vMargin + vSpacing,
                                  buttonWidth, buttonHeight));
  EXPECT_EQ(form->height(), 32 + buttonHeight + vSpacing + 2 * vMargin);
  EXPECT_GE(form->width(), buttonWidth + 2 * hMargin);
}

TEST(MessageBoxBuild, LongTextWrapsAtHalfTheScreenWidthAndTheBoxGrows) {
  int halfScreen = QGuiApplication::primaryScreen()->geometry().width() / 2;
  QString longText;
  for (int i = 0; i < 40; ++i) longText += QStringLiteral("Impossibile trovare la cartella ");
  auto shortBox = BuildMessageDialog("Breve.", mtError, {mbOK});
  auto longBox = BuildMessageDialog(longText, mtError, {mbOK});
  QWidget* message = longBox->findChild<QWidget*>("Message");
  int lineHeight = QFontMetrics(longBox->font()).height();
  EXPECT_LE(message->width(), halfScreen);
  EXPECT_GT(message->width(), halfScreen * 3 / 4);
  EXPECT_GE(message->height(), 5 * lineHeight);
  EXPECT_EQ(longBox->height() - shortBox->height(), message->height() - 32);
  // Centred on the screen.
  QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(longBox->x(), screen.width() / 2 - longBox->width() / 2);
  EXPECT_EQ(longBox->y(), screen.height() / 2 - longBox->height() / 2);
}

// A long path wraps only after a separator, never inside a folder's name (at its blanks or
// hyphens); the text the box gives (to Ctrl+C, to screen readers) is the text as written.
TEST(MessageBoxBuild, ALongPathWrapsAtItsSeparatorsOnly) {
  QString path = QStringLiteral("/srv/gest");
  for (int i = 1; i <= 14; ++i) path += QStringLiteral("/Cartella %1 dell-ufficio").arg(i);
  const QString head = "Impossibile cancellare il documento \"";
  const QString text = head + path + "/Lettera.doc\": è aperto da qualcuno su un altro computer.";
  auto form = BuildMessageDialog(text, mtWarning, {mbOK});
  QWidget* message = form->findChild<QWidget*>("Message");
  ASSERT_NE(message, nullptr);
  EXPECT_EQ(form->messageText(), text);
  EXPECT_TRUE(form->copyText().contains(text));

  // The lines as the box draws them: its font, its width, word wrap.
  QString shown = WithBreaksAfterSeparators(text);
  QTextLayout layout(shown, form->font());
  layout.beginLayout();
  QStringList lines;
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(message->width());
    lines << shown.mid(line.textStart(), line.textLength())
                 .remove(QChar(0x200B))
                 .remove(QChar(0x2060))
                 .replace(QChar(0x00A0), QLatin1Char(' '));
  }
  layout.endLayout();
  ASSERT_GE(lines.size(), 3);
  EXPECT_LE(lines.size() * QFontMetrics(form->font()).height(), message->height());
  EXPECT_EQ(lines.join(QString()), text);
  qsizetype end = 0;
  for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
    end += lines[i].size();
    bool insidePath = end > head.size() && end < head.size() + path.size();
    EXPECT_TRUE(!insidePath || text[end - 1] == QLatin1Char('/')) << lines[i].toStdString();
  }
}

TEST(MessageBoxBuild, ButtonsWidenToTheWidestCaption) {
  auto form = BuildMessageDialog("?", mtConfirmation, {mbYes, mbNoToAll, mbYesToAll});
  QFontMetrics metrics(form->font());
  int widest = metrics.horizontalAdvance("Yes to All") + 8;
  for (QPushButton* button : form->buttons()) {
    EXPECT_GE(button->width(), widest);
    EXPECT_EQ(button->width(), form->buttons()[0]->width());
  }
}

TEST(MessageBoxCopy, CtrlCPutsCaptionTextAndButtonsBetweenDashLines) {
  const QString dashes(27, '-');
  const QString expected = dashes + "\r\nInformation\r\n" + dashes + "\r\nCartella non valida.\r\n" +
                           dashes + "\r\nOK   \r\n" + dashes + "\r\n";
  auto copyThenClose = [](TMessageForm* f) {
    PressKey(f, Qt::Key_C, Qt::ControlModifier, "\x03");
    f->close();
  };
  QGuiApplication::clipboard()->setText("prima");
  ShowAndThen("Cartella non valida.", mtInformation, {mbOK}, copyThenClose);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), expected);

  auto form = BuildMessageDialog("Sicuro?", mtConfirmation, {mbYes, mbNoToAll});
  EXPECT_TRUE(form->copyText().contains("\r\nYes   No to All   \r\n"));
}

// A detail longer than the message widens the box; it sits below the message and above the
// buttons, inside the box, and is copied with the rest.
TEST(MessageBoxDetail, TheDetailGoesBetweenTextAndButtonsAndIsCopied) {
  QString detail = QStringLiteral("Il file /srv/ufficio/uno/due/tre/quattro/Stampe/STAMPE.DBF è in uso.");
  std::unique_ptr<TMessageForm> form = BuildMessageDialog(QStringLiteral("Errore."), mtInformation, {mbOK});
  QSize before = form->size();
  form->setDetail(detail);
  auto* message = form->findChild<QWidget*>(QStringLiteral("Message"));
  auto* shown = form->findChild<QLabel*>(QStringLiteral("Detail"));
  ASSERT_NE(shown, nullptr);
  EXPECT_GT(form->width(), before.width());
  EXPECT_GT(shown->y(), message->geometry().bottom());
  QPushButton* ok = form->buttons().front();
  EXPECT_GT(ok->y(), shown->geometry().bottom());
  EXPECT_TRUE(form->rect().contains(ok->geometry()));
  EXPECT_TRUE(form->rect().contains(shown->geometry()));
  EXPECT_EQ(form->detailText(), detail);
  EXPECT_TRUE(form->copyText().contains(QStringLiteral("Errore.\r\n") + detail + QStringLiteral("\r\n")));
}

// The modeless note shows at once, leaves the caller going and closes itself with OK.
TEST(MessageBoxDetail, AModelessNoteDoesNotBlockAndDeletesItselfWhenClosed) {
  ShowModelessMessage(QStringLiteral("Nota."), mtWarning);
  TMessageForm* note = nullptr;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* form = qobject_cast<TMessageForm*>(widget); form && form->messageText() == "Nota.") note = form;
  }
  ASSERT_NE(note, nullptr);
  EXPECT_TRUE(note->isVisible());
  EXPECT_EQ(note->windowModality(), Qt::NonModal);
  QPointer<TMessageForm> alive(note);
  note->buttons().front()->click();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(alive.isNull());
}

}  // namespace
}  // namespace velloria
