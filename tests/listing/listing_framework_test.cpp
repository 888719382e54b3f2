// Header, rows, value forms, choice lookups and format conditions.

#include <gtest/gtest.h>

#include <cwchar>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>

#include "listing/listing.hpp"
#include "listing/listing_test_image.hpp"

namespace krt::listing {
namespace {

using krt::test::TestImage;

struct HeaderCase {
  const char* name;
  const char* title;
  int formatMajor, formatMinor, lcdMajor, lcdMinor;
  const char* expected;
};

TEST(ListingHeader, Cases) {
  const HeaderCase cases[] = {
      {"example", "KRT610 Configuration", 3, 2, 2, 15, "KRT610 Configuration,LCD Ver. 2.1x\n\nGroup,Item,Data\n"},
      {"format 1.0 ignores the words", "KRT410 Configuration", 1, 0, 2, 15,
       "KRT410 Configuration,LCD Ver. 1.0x\n\nGroup,Item,Data\n"},
      {"format 1.0 ignores odd words", "KRT410 Configuration", 1, 0, -7, -99,
       "KRT410 Configuration,LCD Ver. 1.0x\n\nGroup,Item,Data\n"},
      {"format 1.1 uses the words", "KRT411 Configuration", 1, 1, 3, 40,
       "KRT411 Configuration,LCD Ver. 3.4x\n\nGroup,Item,Data\n"},
      {"minor 19 truncates", "RT610X Configuration", 3, 2, 2, 19,
       "RT610X Configuration,LCD Ver. 2.1x\n\nGroup,Item,Data\n"},
      {"minor -5 truncates towards zero", "RT610X Configuration", 3, 2, 2, -5,
       "RT610X Configuration,LCD Ver. 2.0x\n\nGroup,Item,Data\n"},
      {"minor -15", "RT610L Configuration", 3, 0, 1, -15, "RT610L Configuration,LCD Ver. 1.-1x\n\nGroup,Item,Data\n"},
      {"zero header", "RT610J Configuration", 2, 2, 0, 0, "RT610J Configuration,LCD Ver. 0.0x\n\nGroup,Item,Data\n"},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    TestImage image;
    image.Format(c.formatMajor, c.formatMinor).Lcd(c.lcdMajor, c.lcdMinor);
    std::string out = "before\n";
    WriteListingHeader(image, c.title, out);
    EXPECT_EQ(out, std::string("before\n") + c.expected);
  }
}

TEST(ListingRow, ColumnsAndAbsentData) {
  struct RowCase {
    std::string_view group, item;
    std::optional<std::string_view> data, unit;
    const char* expected;
  };
  const RowCase cases[] = {
      {"Back light brightness", "", "5", std::nullopt, "Back light brightness,,5\n"},
      {"", "Transfer rate", "38400", "bps", ",Transfer rate,38400,bps\n"},
      {"", "Transfer rate", std::nullopt, "bps", ",Transfer rate,(null),bps\n"},
      {"Language", "", std::nullopt, std::nullopt, "Language,,(null)\n"},
      {"G", "I", "", "", "G,I,,\n"},
  };
  for (const RowCase& c : cases) {
    SCOPED_TRACE(c.expected);
    std::string out;
    WriteRow(c.group, c.item, out, c.data, c.unit);
    EXPECT_EQ(out, c.expected);
  }
}

TEST(FormatText, ExactLengthOfShortAndLongTexts) {
  EXPECT_EQ(FormatText("MV%d 100%% symbol", 2), "MV2 100% symbol");
  EXPECT_EQ(FormatText("%s", ""), "");
  for (std::size_t length :
       {std::size_t{255}, std::size_t{256}, std::size_t{1023}, std::size_t{1024}, std::size_t{5000}}) {
    SCOPED_TRACE(length);
    const std::string long_text(length, 'x');
    const std::string formatted = FormatText("<%s>", long_text.c_str());
    EXPECT_EQ(formatted.size(), length + 2);
    EXPECT_EQ(formatted, "<" + long_text + ">");
  }
}

TEST(FormatText, FailureRaisesRuntimeErrorWithEmptyMessage) {
  // A wide character the C locale cannot convert makes printf fail.
  const wchar_t unconvertible[] = {static_cast<wchar_t>(0x3042), 0};
  try {
    (void)FormatText("%ls", unconvertible);
    FAIL() << "no error raised";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "");
  }
}

TEST(AppendDecimal, MatchesPrintf) {
  const int values[] = {
      0, 7, 12, 123, -1, -5, -32768, 65535, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()};
  for (int value : values) {
    for (int width : {0, 1, 2, 3, 12}) {
      SCOPED_TRACE(testing::Message() << value << " width " << width);
      std::string out = "x";
      AppendDecimal(out, value, width);
      EXPECT_EQ(out, "x" + FormatText("%0*d", width, value));
    }
  }
}

TEST(LookupChoice, SearchesOnlyTheCountedPrefix) {
  EXPECT_EQ(LookupChoice(choices::kMvSymbol, 4, 3), "CL");
  EXPECT_EQ(LookupChoice(choices::kMvSymbol, 4, 4), std::nullopt);
  EXPECT_EQ(LookupChoice(choices::kMvSymbol, 11, 4), "HI");
  EXPECT_EQ(LookupChoice(choices::kMvSymbol, 11, 10), "None");
  EXPECT_EQ(LookupChoice(choices::kMvSymbol, 0, 0), std::nullopt);
  EXPECT_EQ(LookupChoice(choices::kMvSymbol, 99, 10), "None");  // a count past the end stops at the end
  const Choice duplicates[] = {{1, "first"}, {1, "second"}, {2, nullptr}};
  EXPECT_EQ(LookupChoice(duplicates, 1), "first");
  EXPECT_EQ(LookupChoice(duplicates, 2), std::nullopt);  // an unset text reads as absent
}

TEST(ChoiceTables, KeysAndTexts) {
  struct ChoiceCase {
    std::span<const Choice> table;
    std::int32_t key;
    std::optional<std::string_view> expected;
  };
  const ChoiceCase cases[] = {
      {choices::kBrightness, 0, "1"},      {choices::kBrightness, 4, "5"},
      {choices::kBrightness, 5, {}},       {choices::kMvNumber, 0, {}},
      {choices::kMvNumber, 2, "2"},        {choices::kLoopVariableSet, 1, "SV/PV/OP"},
      {choices::kScaleDivisions, 1, {}},   {choices::kScaleDivisions, 10, "10"},
      {choices::kPercentDecimals, 0, {}},  {choices::kEnable, 0, "Disable"},
      {choices::kEnable, 1, "Enable"},     {choices::kEnable, -1, {}},
      {choices::kRecording, 1, "Start"},   {choices::kStoringInterval, 3600, "60 min"},
      {choices::kStoringInterval, 45, {}}, {choices::kStoringInterval, 60, "1 min"},
      {choices::kUnitMode, 2, "%"},        {choices::kIndicator, 0, "OFF"},
      {choices::kLanguage, 1, "English"},  {choices::kTransferRate, 3, "38400"},
      {choices::kTransferRate, 4, {}},     {choices::kParity, 2, "Odd"},
      {choices::kMvSymbol, 6, "100"},      {choices::kMvSymbol, 7, "0"},
  };
  for (const ChoiceCase& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(LookupChoice(c.table, c.key), c.expected);
  }
}

TEST(ValueForms, Table) {
  TestImage image;
  image.Byte(43, 249).Byte(44, 1).Byte(45, 3).Word(98, 1);
  struct FormCase {
    const char* name;
    std::function<std::string()> text;
    const char* expected;
  };
  const auto choice = [](std::span<const Choice> t, std::size_t n, int key) {
    return std::string(LookupChoice(t, n, key).value_or("(null)"));
  };
  const auto s = [](std::string_view v) { return std::string(v); };
  const FormCase cases[] = {
      {"missing choice", [&] { return choice(choices::kMvSymbol, 4, 4); }, "(null)"},
      {"colour 249", [&] { return ColourText(image, 43); }, "1"},
      {"colour 1", [&] { return ColourText(image, 44); }, "18"},
      {"colour 3 absent", [&] { return ColourText(image, 45); }, "1"},
      {"colour 125", [] { return std::to_string(ColourNumber(125)); }, "17"},
      {"colour 2", [] { return std::to_string(ColourNumber(2)); }, "7"},
      {"colour 0", [] { return std::to_string(ColourNumber(0)); }, "1"},
      {"view 5 pulse", [&] { return s(ViewName(ViewVariant::kPulse, 5)); },
       "\x90\xdd\x92\xe8\x83\x81\x83\x6a\x83\x85\x81\x5b"},
      {"view 5 mixing", [&] { return s(ViewName(ViewVariant::kMixing, 5)); },
       "\x90\xdd\x92\xe8\x83\x81\x83\x6a\x83\x85\x81\x5b"},
      {"view 5 totaliser", [&] { return s(ViewName(ViewVariant::kTotaliser, 5)); },
       "\x90\xdd\x92\xe8\x83\x81\x83\x6a\x83\x85\x81\x5b"},
      {"view 5 table", [&] { return s(ViewName(ViewVariant::kParameterTable, 5)); }, "User's parameter table"},
      {"view 4 table", [&] { return s(ViewName(ViewVariant::kParameterTable, 4)); }, "User's parameter table"},
      {"view 4 pulse", [&] { return s(ViewName(ViewVariant::kPulse, 4)); },
       "\x83\x70\x83\x8b\x83\x58\x89\x89\x8e\x5a\x95\x5c\x8e\xa6"},
      {"view 4 mixing", [&] { return s(ViewName(ViewVariant::kMixing, 4)); },
       "\x8d\xac\x8d\x87\x92\xb2\x90\xdf\x8b\x40\x94\x5c\x95\x5c\x8e\xa6"},
      {"view 4 totaliser", [&] { return s(ViewName(ViewVariant::kTotaliser, 4)); },
       "\x90\xcf\x8e\x5a\x8b\x40\x94\x5c\x95\x5c\x8e\xa6"},
      {"view 0", [&] { return s(ViewName(ViewVariant::kMixing, 0)); }, "Digital"},
      {"view 1", [&] { return s(ViewName(ViewVariant::kPulse, 1)); }, "Bargraph"},
      {"view 2", [&] { return s(ViewName(ViewVariant::kTotaliser, 2)); }, "Dual-loop bargraph"},
      {"view 3", [&] { return s(ViewName(ViewVariant::kParameterTable, 3)); }, "Short trend"},
      {"view 6", [&] { return s(ViewName(ViewVariant::kParameterTable, 6)); },
       "\x83\x76\x83\x8d\x83\x4f\x83\x89\x83\x7e\x83\x93\x83\x4f"},
      {"view 7", [&] { return s(ViewName(ViewVariant::kPulse, 7)); },
       "\x83\x60\x83\x85\x81\x5b\x83\x6a\x83\x93\x83\x4f"},
      {"view 8 pulse", [&] { return s(ViewName(ViewVariant::kPulse, 8)); }, "Digital"},
      {"view 8 mixing", [&] { return s(ViewName(ViewVariant::kMixing, 8)); }, "Digital"},
      {"view 8 totaliser", [&] { return s(ViewName(ViewVariant::kTotaliser, 8)); }, "Digital"},
      {"view 8 table", [&] { return s(ViewName(ViewVariant::kParameterTable, 8)); }, "Digital"},
      {"view -1 pulse", [&] { return s(ViewName(ViewVariant::kPulse, -1)); }, "Digital"},
      {"view -1 mixing", [&] { return s(ViewName(ViewVariant::kMixing, -1)); }, "Digital"},
      {"view -1 totaliser", [&] { return s(ViewName(ViewVariant::kTotaliser, -1)); }, "Digital"},
      {"view -1 table", [&] { return s(ViewName(ViewVariant::kParameterTable, -1)); }, "Digital"},
      {"variable 0", [&] { return s(VariableName(0, 1)); }, "None"},
      {"variable 1", [&] { return s(VariableName(1, 1)); }, "PV1"},
      {"variable 3 plain", [&] { return s(VariableName(3, 0)); }, "SP1"},
      {"variable 3 alt", [&] { return s(VariableName(3, 1)); }, "SV1"},
      {"variable 3 alt 2", [&] { return s(VariableName(3, 2)); }, "SV1"},
      {"variable 4 alt", [&] { return s(VariableName(4, -1)); }, "SV2"},
      {"variable 5 plain", [&] { return s(VariableName(5, 0)); }, "MV1"},
      {"variable 5 alt", [&] { return s(VariableName(5, 1)); }, "OP1"},
      {"variable 6 alt", [&] { return s(VariableName(6, 1)); }, "OP2"},
      {"variable 7 alt", [&] { return s(VariableName(7, 1)); }, "FN1"},
      {"variable 10", [&] { return s(VariableName(10, 0)); }, "FN4"},
      {"variable 11", [&] { return s(VariableName(11, 0)); }, ""},
      {"variable -1", [&] { return s(VariableName(-1, 1)); }, ""},
      {"decimal", [] { return Decimal(-32768); }, "-32768"},
  };
  for (const FormCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.text(), c.expected);
  }
}

TEST(LoopVariableWords, OnlyOneSelectsSvAndOp) {
  struct WordCase {
    int value;
    const char* setPoint;
    const char* output;
  };
  const WordCase cases[] = {{0, "SP", "MV"}, {1, "SV", "OP"}, {2, "SP", "MV"}, {-1, "SP", "MV"}, {257, "SP", "MV"}};
  for (const WordCase& c : cases) {
    SCOPED_TRACE(c.value);
    TestImage image;
    image.Word(98, c.value);
    EXPECT_EQ(SetPointWord(image), c.setPoint);
    EXPECT_EQ(OutputWord(image), c.output);
  }
}

TEST(FormatConditions, Table) {
  struct ConditionCase {
    int major, minor, model;
    bool extended, flow, pulse, mixing, totaliser, table;
  };
  const ConditionCase cases[] = {
      {1, 0, 100, false, false, false, false, false, false}, {1, 1, 100, true, false, false, false, false, false},
      {1, 2, 100, false, false, false, false, false, false}, {0, 1, 100, false, false, false, false, false, false},
      {2, 0, 1200, true, true, true, false, false, false},   {2, 0, 2200, true, true, false, false, false, false},
      {2, 1, 1200, true, true, false, true, false, false},   {2, 1, 2200, true, true, false, false, false, false},
      {2, 2, 1200, true, true, true, false, false, false},   {2, 2, 2200, true, true, false, true, false, false},
      {2, 2, 3200, true, true, false, false, false, false},  {2, 3, 4200, true, true, false, false, true, false},
      {2, 3, 1200, true, true, false, false, true, false},   {2, 4, 1200, true, true, false, false, false, false},
      {3, 0, 200, true, false, false, false, false, true},   {3, 2, 6200, true, false, false, false, false, true},
      {4, 0, 200, true, false, false, false, false, true},   {-1, 1, 200, false, false, false, false, false, false},
  };
  for (const ConditionCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.major << "." << c.minor << " model " << c.model);
    TestImage image;
    image.Format(c.major, c.minor).Model(c.model);
    EXPECT_EQ(ExtendedSymbols(image), c.extended);
    EXPECT_EQ(FlowFamily(image), c.flow);
    EXPECT_EQ(PulseVariant(image), c.pulse);
    EXPECT_EQ(MixingVariant(image), c.mixing);
    EXPECT_EQ(TotaliserVariant(image), c.totaliser);
    EXPECT_EQ(TableFormat(image), c.table);
  }
}

}  // namespace
}  // namespace krt::listing
