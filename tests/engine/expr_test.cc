// Tests of the expression language: compiles texts against a small in-memory table and
// evaluates them on its record image, through the same calls the work areas make.
#include "engine/expr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "base/dbf_field.h"

namespace dbf = velloria::dbf;

namespace xb {
namespace {

// A one-record table: fields laid out one after the other behind the deletion byte.
class TestTable : public RecordView {
 public:
  TestTable& Add(const std::string& name, char type, int width, int decimals = 0) {
    fields_.push_back(FieldInfo{name, type, static_cast<int>(record_.size()), width, decimals});
    record_.resize(record_.size() + width, ' ');
    return *this;
  }
  TestTable& Set(const std::string& name, const std::string& bytes) {
    const FieldInfo& field = fields_[FieldIndex(name)];
    std::memset(&record_[field.offset], ' ', field.width);
    std::memcpy(&record_[field.offset], bytes.data(), std::min<size_t>(bytes.size(), field.width));
    return *this;
  }
  void SetDeleted(bool deleted) { record_[0] = deleted ? '*' : ' '; }
  void SetRecNo(uint32_t recno) { recno_ = recno; }
  void Truncate(size_t size) { record_.resize(size); }
  void Load(const uint8_t* image) { std::copy_n(image, record_.size(), record_.begin()); }

  int FieldCount() const override { return static_cast<int>(fields_.size()); }
  int FieldIndex(std::string_view name) const override {
    for (size_t i = 0; i < fields_.size(); ++i) {
      if (strncasecmp(fields_[i].name.c_str(), std::string(name).c_str(), 11) == 0 &&
          fields_[i].name.size() == name.size()) {
        return static_cast<int>(i);
      }
    }
    return -1;
  }
  const FieldInfo& Field(int index) const override { return fields_[index]; }
  const uint8_t* Record() const override { return record_.data(); }
  int RecordSize() const override { return static_cast<int>(record_.size()); }
  uint32_t RecNo() const override { return recno_; }

 private:
  std::vector<FieldInfo> fields_;
  std::vector<uint8_t> record_ = {' '};
  uint32_t recno_ = 7;
};

// The category table's layout with one record: TIPO 1, shown, born 12 May 1945.
TestTable CategoryTable() {
  TestTable table;
  table.Add("NAME", dbf::type::kCharacter, 10).Add("TIPO", dbf::type::kNumber, 1).Add("VISUALIZZA", dbf::type::kLogical, 1);
  table.Add("PRICE", dbf::type::kNumber, 8, 2).Add("BORN", dbf::type::kDate, 8).Add("EMPTYD", dbf::type::kDate, 8).Add("BLANKN", dbf::type::kNumber, 5);
  table.Set("NAME", "ROSSI").Set("TIPO", "1").Set("VISUALIZZA", "T");
  table.Set("PRICE", "   -1.50").Set("BORN", "19450512");
  return table;
}

// Compiles and evaluates; the result is given as EvalString's display text.
std::string Evaluate(const std::string& text, const RecordView& view,
                     const ExprSettings& settings = {}) {
  std::unique_ptr<CompiledExpr> compiled;
  std::string error;
  if (!CompiledExpr::Compile(text, view, &compiled, &error)) return "error: " + error;
  return compiled->EvalString(view, settings);
}

struct Case {
  const char* text;
  const char* expected;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.text; }

class ExprValueTest : public testing::TestWithParam<Case> {};

TEST_P(ExprValueTest, GivesExpectedValue) {
  const TestTable table = CategoryTable();
  EXPECT_EQ(Evaluate(GetParam().text, table), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Precedence, ExprValueTest,
    testing::Values(Case{"1+2*3", "7"}, Case{"(1+2)*3", "9"}, Case{"2^3^2", "64"},
                    Case{"2**3", "8"}, Case{"-2^2", "4"}, Case{"7%3", "1"}, Case{"10/4", "2.5"},
                    Case{"1/0", "0"}, Case{"5%0", "0"}, Case{"(-8)^0.5", "0"}, Case{".5+.5", "1"},
                    Case{"--3", "3"}, Case{"+4", "4"}, Case{".T. .OR. .F. .AND. .F.", "T"},
                    Case{".NOT. .T. .OR. .T.", "T"}, Case{"!.F. .AND. .F.", "F"},
                    Case{"1 < 2 = .T.", "T"}, Case{"NOT 1=2", "T"},
                    Case{"2+3 > 4 .and. 'a'$'cab'", "T"}));

INSTANTIATE_TEST_SUITE_P(
    ProgramQueries, ExprValueTest,
    testing::Values(
        Case{"TIPO=1 AND VISUALIZZA=TRUE", "T"}, Case{"tipo = 1 and visualizza = true", "T"},
        Case{"TIPO=2 AND VISUALIZZA=TRUE", "F"}, Case{"TIPO=1 AND VISUALIZZA=FALSE", "F"},
        Case{"TIPO=1.AND.VISUALIZZA", "T"}, Case{"VISUALIZZA= .T.", "T"},
        Case{"VISUALIZZA= .F.", "F"}, Case{".t. = VISUALIZZA", "T"}, Case{"VISUALIZZA <> .Y.", "F"},
        Case{"VISUALIZZA != .n.", "T"}, Case{"VISUALIZZA # FALSE", "T"}, Case{"1 < TIPO", "F"},
        Case{"0 < TIPO", "T"}, Case{"TIPO >= 1", "T"}, Case{"2 >= TIPO .AND. TIPO > 0.5", "T"},
        Case{"(NAME=\"ROSSI\") .and. (TIPO=1 AND VISUALIZZA=TRUE)", "T"},
        Case{"UPPER(NAME)=\"ROSSI     \"", "T"}, Case{"LEFT( DTOS(BORN), 4) = \"1945\"", "T"},
        Case{"DTOS(BORN) = \"19450512\"", "T"}));

INSTANTIATE_TEST_SUITE_P(
    StringsExactOff, ExprValueTest,
    testing::Values(Case{"'12345'='123'", "T"}, Case{"'123'='12345'", "F"},
                    Case{"'123'='123  '", "F"}, Case{"'abc'=''", "T"}, Case{"''='abc'", "F"},
                    Case{"'abc'<>'ab'", "F"}, Case{"'abc'!='abd'", "T"}, Case{"'ab'<'abc'", "T"},
                    Case{"'abc'<'ab'", "F"}, Case{"'abc'>='ab'", "T"}, Case{"'b'>'abc'", "T"},
                    Case{"'abc'=='ab'", "F"}, Case{"'abc'=='abc'", "T"}, Case{"'abc '=='abc'", "F"},
                    Case{"NAME='ROSSI'", "T"}, Case{"NAME='ROS'", "T"}, Case{"NAME=='ROSSI'", "F"},
                    Case{"NAME='ROSSIX'", "F"}, Case{"'OSS' $ NAME", "T"}, Case{"'' $ NAME", "F"},
                    Case{"'oss' $ NAME", "F"}, Case{"[a'b]+\"c\"", "a'bc"},
                    Case{"'ab '-'cd'", "abcd "}, Case{"NAME+'!'", "ROSSI     !"},
                    Case{"'\xe9' > 'z'", "T"}));

INSTANTIATE_TEST_SUITE_P(FieldDecoding, ExprValueTest,
                         testing::Values(Case{"PRICE", "   -1.50"}, Case{"PRICE*2", "-3"},
                                         Case{"BLANKN", "    0"}, Case{"BLANKN=0", "T"},
                                         Case{"EMPTY(BLANKN)", "T"}, Case{"EMPTY(EMPTYD)", "T"},
                                         Case{"BORN", "19450512"}, Case{"EMPTYD", "        "},
                                         Case{"EMPTYD < BORN", "T"}, Case{"BORN+1", "19450513"},
                                         Case{"BORN - STOD('19450101')", "131"},
                                         Case{"EMPTYD - BORN", "0"}, Case{"EMPTYD + 5", "        "},
                                         Case{"LEN(NAME)", "10"}, Case{"DELETED()", "F"},
                                         Case{"RECNO()", "7"}, Case{"VISUALIZZA", "T"}));

INSTANTIATE_TEST_SUITE_P(
    Functions, ExprValueTest,
    testing::Values(Case{"SUBSTR('hello',2,3)", "ell"}, Case{"SUBSTR('hello',-3)", "llo"},
                    Case{"SUBSTR('hello',-10,2)", "he"}, Case{"SUBSTR('hello',0,2)", "he"},
                    Case{"SUBSTR('hello',9)", ""}, Case{"SUBSTR('hello',2,-1)", ""},
                    Case{"SUBSTR('hello',4,99)", "lo"}, Case{"LEFT('hello',2)", "he"},
                    Case{"LEFT('hello',-1)", ""}, Case{"LEFT('hello',99)", "hello"},
                    Case{"RIGHT('hello',3)", "llo"}, Case{"RIGHT('hi',5)", "hi"},
                    Case{"RIGHT('hi',-2)", ""}, Case{"UPPER('ab\xe0\xff')", "AB\xc0\x9f"},
                    Case{"LOWER('AB\xc9')", "ab\xe9"}, Case{"TRIM(' a  ')", " a"},
                    Case{"RTRIM(' a  ')", " a"}, Case{"LTRIM(' a  ')", "a  "},
                    Case{"ALLTRIM('  a b  ')", "a b"}, Case{"ALLTRIM(NAME)+'.'", "ROSSI."},
                    Case{"AT('l','hello')", "3"}, Case{"AT('z','hello')", "0"},
                    Case{"AT('','hello')", "0"}, Case{"VAL(' 12.5abc')", "12.5"},
                    Case{"VAL('abc')", "0"}, Case{"VAL('-3')", "-3"}, Case{"LEN('')", "0"},
                    Case{"IIF(TIPO=1,'yes','no')", "yes"}, Case{"iif(.F., 1/0, 2)", "2"},
                    Case{"IF(.T., BORN, EMPTYD)", "19450512"}, Case{"EMPTY('  \t\r\n')", "T"},
                    Case{"EMPTY('')", "T"}, Case{"EMPTY(0)", "T"}, Case{"EMPTY(.F.)", "T"},
                    Case{"EMPTY('a')", "F"}, Case{"EMPTY(NAME)", "F"}, Case{"EMPTY(-1)", "F"},
                    Case{"YEAR(BORN)", "1945"}, Case{"MONTH(BORN)", "5"}, Case{"DAY(BORN)", "12"},
                    Case{"YEAR(EMPTYD)+MONTH(EMPTYD)+DAY(EMPTYD)", "0"},
                    Case{"DATE() > STOD('20200101')", "T"}));

INSTANTIATE_TEST_SUITE_P(
    StrAndDates, ExprValueTest,
    testing::Values(Case{"STR(3.14159,6,2)", "  3.14"}, Case{"STR(2.675,5,2)", " 2.68"},
                    Case{"STR(-2.5)", "        -3"}, Case{"STR(0.5)", "         1"},
                    Case{"STR(-0.4)", "         0"}, Case{"STR(12345,3)", "***"},
                    Case{"STR(10^20)", "**********"}, Case{"STR(99.99,4,1)", "****"},
                    Case{"STR(99.99,5,1)", "100.0"}, Case{"STR(0.05,4,2)", "0.05"},
                    Case{"STR(-0.05,5,1)", " -0.1"}, Case{"STR(TIPO)", "1"},
                    Case{"STR(PRICE)", "   -1.50"}, Case{"STR(5,0)", ""},
                    Case{"VAL(STR(123.45,8,2))", "123.45"}, Case{"STOD('20240229')+1", "20240301"},
                    Case{"STOD('20240301')-STOD('20240201')", "29"},
                    Case{"STOD('20230229')", "        "}, Case{"STOD('2023')", "        "},
                    Case{"DTOS(STOD('20231301'))", "        "},
                    Case{"STOD('00000000')", "        "}, Case{"STOD('99991231')+1", "        "},
                    Case{"DTOC(EMPTYD)", "  /  /  "}, Case{"DTOC(BORN)", "05/12/45"},
                    Case{"CTOD('05/12/45')", "19450512"}, Case{"CTOD('12/25/1999')", "19991225"},
                    Case{"CTOD('02/30/2000')", "        "}, Case{"CTOD('abc')", "        "},
                    Case{"CTOD('')", "        "}, Case{"CTOD('1/2')", "        "},
                    Case{"CTOD('1/2/12345')", "        "}, Case{"EMPTY(CTOD('13/13/13'))", "T"}));

struct SettingsCase {
  const char* text;
  bool exact;
  int epoch;
  bool century;
  int format;
  const char* expected;
};

void PrintTo(const SettingsCase& c, std::ostream* os) { *os << c.text; }

class ExprSettingsTest : public testing::TestWithParam<SettingsCase> {};

TEST_P(ExprSettingsTest, FollowsSettings) {
  const TestTable table = CategoryTable();
  const SettingsCase& c = GetParam();
  const ExprSettings settings{c.exact, c.epoch, c.century, c.format};
  EXPECT_EQ(Evaluate(c.text, table, settings), c.expected) << c.text;
}

INSTANTIATE_TEST_SUITE_P(ExactOn, ExprSettingsTest,
                         testing::Values(SettingsCase{"'123'='123  '", true, 1900, false, 0, "T"},
                                         SettingsCase{"'12345'='123'", true, 1900, false, 0, "F"},
                                         SettingsCase{"'abc'=''", true, 1900, false, 0, "F"},
                                         SettingsCase{"'   '=''", true, 1900, false, 0, "T"},
                                         SettingsCase{"'abc '=='abc'", true, 1900, false, 0, "F"},
                                         SettingsCase{"'abc'<'abc '", true, 1900, false, 0, "F"},
                                         SettingsCase{"'ab'<'abc'", true, 1900, false, 0, "T"},
                                         SettingsCase{"'ab\x01'<'ab'", true, 1900, false, 0, "T"},
                                         SettingsCase{"NAME='ROSSI'", true, 1900, false, 0, "T"},
                                         SettingsCase{"NAME='ROS'", true, 1900, false, 0, "F"},
                                         SettingsCase{"NAME<>'ROS'", true, 1900, false, 0, "T"}));

INSTANTIATE_TEST_SUITE_P(
    DateFormats, ExprSettingsTest,
    testing::Values(SettingsCase{"DTOS(CTOD('01/02/05'))", false, 1910, false, 0, "20050102"},
                    SettingsCase{"DTOS(CTOD('01/02/45'))", false, 1910, false, 0, "19450102"},
                    SettingsCase{"DTOS(CTOD('01/02/10'))", false, 1910, false, 0, "19100102"},
                    SettingsCase{"DTOS(CTOD('01/02/09'))", false, 1910, false, 0, "20090102"},
                    SettingsCase{"DTOS(CTOD('01/02/99'))", false, 1980, false, 0, "19990102"},
                    SettingsCase{"DTOS(CTOD('01/02/79'))", false, 1980, false, 0, "20790102"},
                    SettingsCase{"DTOS(CTOD('25/12/1999'))", false, 1900, true, 2, "19991225"},
                    SettingsCase{"DTOS(CTOD('25/12/1999'))", false, 1900, true, 0, "        "},
                    SettingsCase{"DTOS(CTOD('99.12.25'))", false, 1900, false, 1, "19991225"},
                    SettingsCase{"DTOC(BORN)", false, 1900, true, 4, "12.05.1945"},
                    SettingsCase{"DTOC(BORN)", false, 1900, false, 5, "12-05-45"},
                    SettingsCase{"DTOC(BORN)", false, 1900, true, 1, "1945.05.12"},
                    SettingsCase{"DTOC(EMPTYD)", false, 1900, true, 3, "  /  /    "},
                    SettingsCase{"DTOC(BORN)", false, 1900, true, 99, "05/12/1945"},
                    SettingsCase{"CTOD(DTOC(BORN)) = BORN", false, 1900, false, 6, "T"}));

TEST(ExprTypeTest, ReportsTypeCodes) {
  const TestTable table = CategoryTable();
  EXPECT_EQ(CompiledExpr::TypeOf("NAME", table), kExprString);
  EXPECT_EQ(CompiledExpr::TypeOf("TIPO+1", table), kExprNumeric);
  EXPECT_EQ(CompiledExpr::TypeOf("TIPO=1 AND VISUALIZZA=TRUE", table), kExprLogical);
  EXPECT_EQ(CompiledExpr::TypeOf("BORN", table), kExprDate);
  EXPECT_EQ(kExprLogical, 3);
}

class ExprErrorTest : public testing::TestWithParam<const char*> {};

TEST_P(ExprErrorTest, RefusesWithReason) {
  const TestTable table = CategoryTable();
  std::unique_ptr<CompiledExpr> compiled;
  std::string error;
  EXPECT_FALSE(CompiledExpr::Compile(GetParam(), table, &compiled, &error));
  EXPECT_EQ(compiled, nullptr);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(CompiledExpr::TypeOf(GetParam(), table), kExprError);
}

INSTANTIATE_TEST_SUITE_P(SyntaxAndTypes, ExprErrorTest,
                         testing::Values("", "   ", "1 +", "(1", "1)", "'abc", "[abc", "NAME + 1",
                                         "TIPO = 'a'", "NOSUCH = 1", "FOO(1)", "LEFT('a')",
                                         "LEFT('a', 1, 2)", "IIF(.T., 1, 'a')", "IIF(1, 2, 3)",
                                         ".X.", ".T", "A->NAME", "NOT 5", "-'a'", "1 = 1 = 1", "@",
                                         "TIPO=1 AND", "VISUALIZZA .AND. TIPO", "BORN + BORN",
                                         "1 - BORN", "'a' $ 1", "UPPER(1)", "EMPTY()", "DELETED(1)",
                                         "1 2", "TIPO=1 VISUALIZZA", "STR('1')", "1e", "TRUE.",
                                         "\"abc\"\"", ","));

TEST(ExprErrorTest, ExplainsWhereTheTextIsWrong) {
  const TestTable table = CategoryTable();
  std::unique_ptr<CompiledExpr> compiled;
  std::string error;
  ASSERT_FALSE(CompiledExpr::Compile("TIPO = 1 AND NOSUCH", table, &compiled, &error));
  EXPECT_NE(error.find("NOSUCH"), std::string::npos) << error;
  EXPECT_NE(error.find("position 14"), std::string::npos) << error;
  ASSERT_FALSE(CompiledExpr::Compile("TIPO = 'x'", table, &compiled, &error));
  EXPECT_NE(error.find("type mismatch"), std::string::npos) << error;
  const struct {
    std::string text;
    const char* reason;
  } cases[] = {{"A->NAME = 'x'", "not supported"},
               {"NAME = 'ROSSI", "unterminated string at position 8"},
               {"TIPO = 1" + std::string(400, '9'), "number out of range at position 8"},
               {"TIPO = .X.", "'.X.' at position 8"},
               {"LEFT(NAME)", "LEFT() takes 2 arguments"},
               {"SUBSTR(NAME, 'a')", "SUBSTR() argument 2 must be numeric"},
               {"IIF(.T., 1, 'a')", "branches differ"},
               {"NOSUCH(1)", "unknown function NOSUCH()"},
               {"TIPO = " + std::string(40, 'Z'), "unknown field"}};
  for (const auto& c : cases) {
    ASSERT_FALSE(CompiledExpr::Compile(c.text, table, &compiled, &error)) << c.text;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.text << ": " << error;
    EXPECT_LT(error.size(), 120u) << error;
  }
}

TEST(ExprErrorTest, DeepNestingIsRefusedNotOverflowed) {
  const TestTable table = CategoryTable();
  for (const std::string& text :
       {std::string(100000, '(') + "1" + std::string(100000, ')'), std::string(100000, '-') + "1",
        std::string(50000, '!') + ".T.", "1" + std::string() + [] {
          std::string chain;
          for (int i = 0; i < 100000; ++i) chain += "+1";
          return chain;
        }()}) {
    EXPECT_EQ(CompiledExpr::TypeOf(text, table), kExprError) << text.substr(0, 20);
  }
  // Long but reasonable texts still compile: a sum of 500 terms, a query of 300 alternatives.
  std::string sum = "1";
  for (int i = 0; i < 500; ++i) sum += "+1";
  EXPECT_EQ(Evaluate(sum, table), "501");
  std::string alternatives = "TIPO=0";
  for (int i = 0; i < 300; ++i) alternatives += " OR TIPO=" + std::to_string(i % 9 + 2);
  EXPECT_EQ(Evaluate(alternatives + " OR NAME='ROSSI'", table), "T");
}

TEST(ExprKeywordFieldTest, FieldNamedLikeAKeywordWins) {
  TestTable table;
  table.Add("AND", dbf::type::kCharacter, 3).Add("TRUE", dbf::type::kLogical, 1).Add("NOT", dbf::type::kNumber, 2).Add("OR", dbf::type::kLogical, 1);
  table.Set("AND", "x").Set("TRUE", "F").Set("NOT", " 5").Set("OR", "T");
  EXPECT_EQ(Evaluate("AND = 'x'", table), "T");
  EXPECT_EQ(Evaluate("TRUE", table), "F");
  EXPECT_EQ(Evaluate("true = .F.", table), "T");
  EXPECT_EQ(Evaluate("NOT + 1", table), "6");
  EXPECT_EQ(Evaluate("OR .AND. .NOT. TRUE", table), "T");
  // The keywords not shadowed by a field keep working beside them.
  EXPECT_EQ(Evaluate("FALSE = TRUE", table), "T");
  EXPECT_EQ(Evaluate("OR .and. NOT = 5", table), "T");
  EXPECT_NE(Evaluate("OR AND TRUE", table).find("error"), std::string::npos);
}

TEST(ExprFieldTest, DecodesLogicalAndNumericBytesLeniently) {
  TestTable table;
  table.Add("FLAG", dbf::type::kLogical, 1).Add("AMOUNT", dbf::type::kNumber, 10, 2).Add("WHEN", dbf::type::kDate, 8);
  const struct {
    const char* flag;
    bool expected;
  } flags[] = {{"T", true},  {"t", true},  {"Y", true},  {"y", true}, {"F", false},
               {"N", false}, {"?", false}, {" ", false}, {"1", false}};
  for (const auto& f : flags) {
    table.Set("FLAG", f.flag);
    EXPECT_EQ(Evaluate("FLAG", table), f.expected ? "T" : "F") << f.flag;
    EXPECT_EQ(Evaluate("FLAG = .T.", table), f.expected ? "T" : "F") << f.flag;
  }
  const struct {
    const char* bytes;
    const char* expected;
  } amounts[] = {{"      1.25", "1.25"},
                 {"     -0.50", "-0.5"},
                 {"          ", "0"},
                 {"**********", "0"},
                 {"  12abc   ", "12"},
                 {"1234567.89", "1234567.89"},
                 {"+3", "3"},
                 {"0.1", "0.1"}};
  for (const auto& a : amounts) {
    table.Set("AMOUNT", a.bytes);
    EXPECT_EQ(Evaluate("AMOUNT + 0", table), a.expected) << a.bytes;
  }
  table.Set("AMOUNT", "      0.10");
  EXPECT_EQ(Evaluate("AMOUNT = 0.1", table), "T");
  for (const char* bad : {"00000000", "2023021 ", "20231232", "ABCDEFGH"}) {
    table.Set("WHEN", bad);
    EXPECT_EQ(Evaluate("EMPTY(WHEN)", table), "T") << bad;
  }
}

TEST(ExprFieldTest, ReadsBinaryFieldTypes) {
  TestTable table;
  table.Add("COUNT", dbf::type::kInteger, 4).Add("RATE", dbf::type::kDouble, 8).Add("CASH", dbf::type::kCurrency, 8).Add("STAMP", dbf::type::kDateTime, 8);
  const int32_t count = -42;
  const double rate = 0.25;
  const int64_t cash = 123456;            // 12.3456
  const int32_t stamp[2] = {2460311, 0};  // 2024-01-01
  std::string bytes(reinterpret_cast<const char*>(&count), 4);
  table.Set("COUNT", bytes);
  table.Set("RATE", std::string(reinterpret_cast<const char*>(&rate), 8));
  table.Set("CASH", std::string(reinterpret_cast<const char*>(&cash), 8));
  table.Set("STAMP", std::string(reinterpret_cast<const char*>(stamp), 8));
  EXPECT_EQ(Evaluate("COUNT * 2", table), "-84");
  EXPECT_EQ(Evaluate("RATE + 1", table), "1.25");
  EXPECT_EQ(Evaluate("CASH", table), "12.3456");
  EXPECT_EQ(Evaluate("DTOS(STAMP)", table), "20240101");
  // A stored NaN reads 0, as the typed readers read it.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  table.Set("RATE", std::string(reinterpret_cast<const char*>(&nan), 8));
  EXPECT_EQ(Evaluate("RATE + 1", table), "1");
}

TEST(ExprFieldTest, RefusesFieldsOutsideTheRecordAndUnknownTypes) {
  TestTable table;
  table.Add("NAME", dbf::type::kCharacter, 4).Add("PIC", dbf::type::kGeneral, 10).Add("ODD", dbf::type::kInteger, 3);
  EXPECT_EQ(CompiledExpr::TypeOf("PIC", table), kExprError);
  EXPECT_EQ(CompiledExpr::TypeOf("ODD", table), kExprError);
  table.Truncate(3);  // NAME now ends past the record
  EXPECT_EQ(CompiledExpr::TypeOf("NAME", table), kExprError);
}

TEST(ExprEvalTest, ReadsTheCurrentRecordEachTime) {
  TestTable table = CategoryTable();
  std::unique_ptr<CompiledExpr> compiled;
  ASSERT_TRUE(CompiledExpr::Compile("TIPO=1 AND VISUALIZZA=TRUE AND .NOT. DELETED()", table,
                                    &compiled, nullptr));
  const ExprSettings settings;
  EXPECT_TRUE(compiled->EvalLogical(table, settings));
  table.Set("TIPO", "2");
  EXPECT_FALSE(compiled->EvalLogical(table, settings));
  table.Set("TIPO", "1");
  table.SetDeleted(true);
  EXPECT_FALSE(compiled->EvalLogical(table, settings));
  table.SetDeleted(false);
  table.Set("VISUALIZZA", "F");
  EXPECT_FALSE(compiled->EvalLogical(table, settings));
  EXPECT_EQ(compiled->Text(), "TIPO=1 AND VISUALIZZA=TRUE AND .NOT. DELETED()");
}

TEST(ExprEvalTest, TypedEvaluatorsAnswerEmptyForOtherTypes) {
  TestTable table = CategoryTable();
  std::unique_ptr<CompiledExpr> number, date, text;
  ASSERT_TRUE(CompiledExpr::Compile("PRICE * 4", table, &number, nullptr));
  ASSERT_TRUE(CompiledExpr::Compile("BORN + 1", table, &date, nullptr));
  ASSERT_TRUE(CompiledExpr::Compile("UPPER(LOWER(NAME))", table, &text, nullptr));
  const ExprSettings settings;
  EXPECT_DOUBLE_EQ(number->EvalNumeric(table, settings), -6.0);
  EXPECT_FALSE(number->EvalLogical(table, settings));
  EXPECT_EQ(date->EvalDate(table, settings), JulianFromYmd(1945, 5, 13));
  EXPECT_EQ(date->EvalNumeric(table, settings), 0);
  EXPECT_EQ(text->EvalString(table, settings), "ROSSI     ");
  EXPECT_EQ(text->EvalDate(table, settings), 0);
  // A view whose record is shorter than the compiled layout is never read.
  table.Truncate(5);
  EXPECT_EQ(number->EvalNumeric(table, settings), 0);
}

TEST(ExprDateTest, JulianRoundTripsAcrossTheCalendar) {
  int year, month, day;
  for (int64_t julian = JulianFromYmd(1, 1, 1); julian <= JulianFromYmd(9999, 12, 31);
       julian += 997) {
    ASSERT_TRUE(YmdFromJulian(julian, &year, &month, &day));
    EXPECT_EQ(JulianFromYmd(year, month, day), julian);
  }
  EXPECT_EQ(JulianFromYmd(2000, 1, 1), 2451545);
  EXPECT_EQ(JulianFromYmd(1900, 2, 29), 0);
  EXPECT_NE(JulianFromYmd(2000, 2, 29), 0);
  EXPECT_FALSE(YmdFromJulian(0, &year, &month, &day));
  EXPECT_EQ(DtosFromJulian(0), "        ");
}

}  // namespace
}  // namespace xb

namespace xb {
namespace {

// Queries run through a short-circuit program with tabulated one-byte tests; the same
// condition inside IIF() is evaluated as a plain tree. Both must agree on every record.
TEST(ExprQueryPathTest, FastQueriesAgreeWithTreeEvaluation) {
  TestTable table;
  table.Add("TIPO", dbf::type::kNumber, 1).Add("VISUALIZZA", dbf::type::kLogical, 1).Add("CODE", dbf::type::kNumber, 4).Add("RATE", dbf::type::kNumber, 5, 1);
  const char* queries[] = {"TIPO=1 AND VISUALIZZA=TRUE",
                           "VISUALIZZA",
                           ".NOT. VISUALIZZA .AND. TIPO <> 3",
                           "TIPO=1 .OR. TIPO=2 .OR. !VISUALIZZA",
                           "NOT (TIPO >= 2 AND TIPO < 7) OR VISUALIZZA = .F.",
                           "VISUALIZZA = .T. AND CODE = 12",
                           "CODE > -5 .AND. CODE <= 12",
                           "RATE = 1.5 OR TIPO = 0",
                           "CODE = 12.5",
                           ".NOT. (.NOT. VISUALIZZA)",
                           "TIPO=1 AND (VISUALIZZA OR CODE=-3)"};
  const char* tipos[] = {"1", "0", " ", "2", "7", "9", "-", "x", "\xff", "3"};
  const char* flags[] = {"T", "F", "?", "y", " "};
  const char* codes[] = {"  12", "12  ", " -3 ", "  -3", "12.5", "****", "    ", "0012"};
  const char* rates[] = {"  1.5", "1.50 ", "    0", "  -.5"};
  const ExprSettings settings;
  for (const char* text : queries) {
    std::unique_ptr<CompiledExpr> query, tree;
    ASSERT_TRUE(CompiledExpr::Compile(text, table, &query, nullptr)) << text;
    ASSERT_TRUE(
        CompiledExpr::Compile(std::string("IIF(") + text + ", 'T', 'F')", table, &tree, nullptr));
    for (const char* tipo : tipos)
      for (const char* flag : flags)
        for (const char* code : codes)
          for (const char* rate : rates) {
            table.Set("TIPO", tipo).Set("VISUALIZZA", flag).Set("CODE", code).Set("RATE", rate);
            ASSERT_EQ(query->EvalLogical(table, settings), tree->EvalString(table, settings) == "T")
                << text << " with TIPO '" << tipo << "' VISUALIZZA '" << flag << "' CODE '" << code
                << "' RATE '" << rate << "'";
          }
  }
}

}  // namespace
}  // namespace xb

namespace xb {
namespace {

// Scanning a block of records at once must give what testing each record as current gives.
TEST(ExprBlockTest, BlockScanAgreesWithRecordByRecord) {
  TestTable table;
  table.Add("TIPO", dbf::type::kNumber, 1).Add("VISUALIZZA", dbf::type::kLogical, 1).Add("NAME", dbf::type::kCharacter, 6);
  const int size = table.RecordSize();
  const size_t stride = size + 3;  // records need not be packed
  std::vector<uint8_t> block;
  const char* tipos = "1203 1x91";
  const char* flags = "TFyT?nTFT";
  for (int i = 0; i < 9; ++i) {
    table.Set("TIPO", std::string(1, tipos[i])).Set("VISUALIZZA", std::string(1, flags[i]));
    table.Set("NAME", i % 2 ? "rossi" : "BIANCHI");
    table.SetDeleted(i % 4 == 3);
    block.insert(block.end(), table.Record(), table.Record() + size);
    block.resize(block.size() + 3, '#');
  }
  const ExprSettings settings;
  for (const char* text : {"TIPO=1 AND VISUALIZZA=TRUE", "VISUALIZZA .AND. .NOT. DELETED()",
                           "RECNO() > 103 .OR. UPPER(NAME) = 'ROSSI'", "TIPO <> 1"}) {
    std::unique_ptr<CompiledExpr> compiled;
    ASSERT_TRUE(CompiledExpr::Compile(text, table, &compiled, nullptr)) << text;
    ASSERT_TRUE(compiled->ReadsRecordOnly());
    std::vector<uint8_t> matches(9, 7);
    compiled->EvalLogicalBlock(block.data(), 9, stride, 100, table, settings, matches.data());
    for (int i = 0; i < 9; ++i) {
      TestTable one = table;
      one.Load(&block[i * stride]);
      one.SetRecNo(100 + i);
      EXPECT_EQ(matches[i], compiled->EvalLogical(one, settings) ? 1 : 0) << text << " #" << i;
    }
  }
  // Unusable requests answer no match rather than reading out of bounds.
  std::unique_ptr<CompiledExpr> compiled;
  ASSERT_TRUE(CompiledExpr::Compile("TIPO=1", table, &compiled, nullptr));
  std::vector<uint8_t> matches(9, 7);
  compiled->EvalLogicalBlock(block.data(), 9, size - 1, 1, table, settings, matches.data());
  EXPECT_EQ(std::count(matches.begin(), matches.end(), 0), 9);
}

TEST(ExprBlockTest, MemoExpressionsNeedTheView) {
  TestTable table;
  table.Add("NOTES", dbf::type::kMemo, 10);
  std::unique_ptr<CompiledExpr> compiled;
  ASSERT_TRUE(CompiledExpr::Compile("EMPTY(NOTES)", table, &compiled, nullptr));
  EXPECT_FALSE(compiled->ReadsRecordOnly());
  EXPECT_TRUE(compiled->EvalLogical(table, ExprSettings{}));  // this view has no memo text
  uint8_t match = 7;
  compiled->EvalLogicalBlock(table.Record(), 1, table.RecordSize(), 1, table, ExprSettings{},
                             &match);
  EXPECT_EQ(match, 0);
}

}  // namespace
}  // namespace xb
