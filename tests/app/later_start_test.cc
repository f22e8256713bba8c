// A later start while the window runs: on the same office (however its path is spelled)
// the window takes the new category type, caller code and idle close; on another office
// the window stays as it was and the later start tells the user and ends with 1; arguments
// that do not read as a start's only bring the window forward.
#include "app/later_start.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTimer>

#include <gtest/gtest.h>

#include "app/application.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "platform/fonts.h"
#include "platform/instance_request.h"
#include "tests/app/office_fixture.h"

namespace velloria {
namespace {

class LaterStart : public ::testing::Test {
 protected:
  void SetUp() override {
    m_office.writeTable({{"Contabilità", "CONTAB", 1}, {"Didattica", "DIDA", 2}, {"Vuota", "NESSUNA", 2}});
    m_office.makeFolder("CONTAB", {"Fattura.doc"});
    m_office.makeFolder("DIDA", {"Registro.doc"});
    QDir(m_office.root()).mkpath("DATI/FG/AGENZIA");
    testing::TempOffice::writeFile(m_office.root() + "/DATI/FG/AGENZIA/PrevCors.DBF", "");
    RegisterTahoma();
    m_form = std::make_unique<TfrmMain>(std::vector<std::string>{"velloria", "1", "5", m_office.dataPath(), ""});
    ASSERT_FALSE(m_form->startupFailed());
  }
  void TearDown() override { TApplication::instance()->resumeAfterTerminationForTesting(); }

  // What the running window answers to `arguments`, once it has taken them.
  std::string answer(const std::vector<std::string>& arguments) {
    std::string line = AnswerLaterStart(*m_form, arguments);
    QCoreApplication::processEvents();
    return line;
  }
  int shownType() { return m_form->categoryTable()->FieldByName("TIPO").AsInteger(); }
  QString shownFolder() const { return QDir(m_form->documentList()->Root()).dirName(); }
  bool idleCloseRuns() const { return m_form->inactivityTimerForTesting()->isActive(); }

  testing::TempOffice m_office;
  std::unique_ptr<TfrmMain> m_form;
};

TEST_F(LaterStart, SameOfficeTakesTheNewTypeCodeAndIdleClose) {
  ASSERT_EQ(shownFolder(), "CONTAB");
  EXPECT_FALSE(idleCloseRuns());

  EXPECT_EQ(answer({"2", "14", m_office.dataPath(), ""}), kRaiseAnswer);
  EXPECT_EQ(shownType(), 2);
  EXPECT_EQ(shownFolder(), "DIDA");
  EXPECT_EQ(m_form->windowTitle().toStdString(), ComposeCaption(14, ExecutableDateText()));
  EXPECT_TRUE(idleCloseRuns());

  // The same type keeps the category the user chose; code 5 stops the idle close.
  m_form->documentList()->ClearRoot();
  EXPECT_EQ(answer({"2", "5", m_office.dataPath()}), kRaiseAnswer);
  EXPECT_EQ(m_form->documentList()->Root(), QString());
  EXPECT_FALSE(idleCloseRuns());

  // A type without categories shows no folder rather than another type's documents.
  EXPECT_EQ(answer({"7", "5", m_office.dataPath()}), kRaiseAnswer);
  EXPECT_TRUE(m_form->categoryTable()->IsEmpty());
  EXPECT_EQ(m_form->documentList()->Root(), QString());
}

TEST_F(LaterStart, SameOfficeSpelledAnotherWayIsTheSameOffice) {
  testing::TempOffice elsewhere;
  ASSERT_TRUE(QFile::link(m_office.root(), elsewhere.root() + "/link"));
  EXPECT_TRUE(IsSameOffice(m_form->stampeFolder(), (elsewhere.root() + "/link/Stampe").toStdString()));
  EXPECT_EQ(answer({"2", "5", (elsewhere.root() + "/link/DATI").toStdString()}), kRaiseAnswer);
  EXPECT_EQ(shownFolder(), "DIDA");
}

TEST_F(LaterStart, AnotherOfficeIsRefusedAndTheLaterStartSaysSo) {
  testing::TempOffice other;
  const std::string line = answer({"2", "14", other.dataPath(), ""});
  EXPECT_EQ(DecodeOtherOfficeAnswer(line), m_form->stampeFolder());
  EXPECT_EQ(shownType(), 1);
  EXPECT_EQ(shownFolder(), "CONTAB");
  EXPECT_FALSE(idleCloseRuns());

  testing::NextBoxAnswer box(mrOk);
  EXPECT_EQ(EndLaterStart(line), 1);
  ASSERT_TRUE(box.answered());
  EXPECT_TRUE(box.text().contains(QString::fromStdString(m_form->stampeFolder())));
  EXPECT_TRUE(box.text().startsWith("Il programma è già aperto"));
  EXPECT_EQ(box.asked().kind, mtInformation);
}

TEST_F(LaterStart, ArgumentsThatDoNotReadAsAStartOnlyRaiseTheWindow) {
  testing::NextBoxAnswer box(mrOk);
  EXPECT_EQ(answer({"due", "5", m_office.dataPath()}), kRaiseAnswer);
  EXPECT_EQ(answer({"2", "5", "D"}), kRaiseAnswer);
  EXPECT_EQ(answer({}), kRaiseAnswer);
  EXPECT_EQ(shownType(), 1);
  EXPECT_EQ(shownFolder(), "CONTAB");
  EXPECT_EQ(EndLaterStart(std::string(kRaiseAnswer)), 0);
  EXPECT_EQ(EndLaterStart(""), 0);  // a running instance that did not answer
  EXPECT_FALSE(box.answered());
}

}  // namespace
}  // namespace velloria
