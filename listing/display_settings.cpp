// The first section of every listing: the LCD operator screen's settings.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "listing/listing.hpp"
#include "listing/sections.hpp"

namespace krt::listing {
namespace {

constexpr std::size_t kOffLoopVariables = 98;

std::int16_t Word(ByteView w, std::size_t offset) {
  return LeI16(w, offset);
}

void WriteChoiceRow(std::string_view group, std::string_view item, std::string& out, std::span<const Choice> table,
                    std::size_t count, std::int32_t key) {
  WriteRow(group, item, out, LookupChoice(table, count, key));
}

void WriteColourRow(std::string_view group, std::string_view item, std::string& out, ByteView w, std::size_t offset) {
  WriteRow(group, item, out, ColourText(w, offset));
}

// The first row of a group carries its label, the rows after it carry "".
std::string_view GroupLabel(std::string_view label, bool first) {
  return first ? label : std::string_view{};
}

void WriteMvSymbols(ByteView w, std::string& out) {
  // Format 1.0 keeps the symbols in the legacy words and knows only O, C, OP, CL.
  const bool extended = ExtendedSymbols(w);
  const std::size_t base = extended ? 148 : 32;
  const std::size_t count = extended ? 11 : 4;
  struct Symbol {
    const char* format;
    int mv;
  };
  constexpr Symbol kSymbols[] = {
      {"MV%d 100%% symbol", 1}, {"MV%d 0%% symbol", 1}, {"MV%d 100%% symbol", 2}, {"MV%d 0%% symbol", 2}};
  for (std::size_t i = 0; i < std::size(kSymbols); ++i) {
    WriteChoiceRow(GroupLabel("MV 0/100% symbol", i == 0), FormatText(kSymbols[i].format, kSymbols[i].mv), out,
                   choices::kMvSymbol, count, Word(w, base + 2 * i));
  }
}

void WriteLoopAndGraph(ByteView w, std::string& out) {
  WriteChoiceRow("Loop display (MV/OP)", FormatText("LP%d display (MV)", 1), out, choices::kMvNumber, 2, Word(w, 94));
  WriteChoiceRow("", FormatText("LP%d display (MV)", 2), out, choices::kMvNumber, 2, Word(w, 96));
  WriteChoiceRow("Loop variables", "", out, choices::kLoopVariableSet, 2, Word(w, kOffLoopVariables));
  WriteChoiceRow("Graph scale divisions", "", out, choices::kScaleDivisions, 9, Word(w, 100));
  WriteChoiceRow("Decimals (% display)", "", out, choices::kPercentDecimals, 2, Word(w, 102));
  WriteChoiceRow("Alarm blinking", "", out, choices::kEnable, 2, Word(w, 104));
}

enum class Name { kPv, kSetPoint, kOutput, kFn };

std::string_view NameWord(ByteView w, Name name) {
  switch (name) {
    case Name::kPv:
      return "PV";
    case Name::kSetPoint:
      return SetPointWord(w);
    case Name::kOutput:
      return OutputWord(w);
    case Name::kFn:
      return "FN";
  }
  return {};
}

struct ColourRow {
  Name name;
  int number;
  const char* suffix;
  std::uint16_t offset;
};

// The set-point colours are stored after the output colours but listed before them.
constexpr ColourRow kBargraphColours[] = {
    {Name::kPv, 1, " Normal", 53},       {Name::kPv, 1, " Hi limit", 54},     {Name::kPv, 1, " Lo limit", 55},
    {Name::kPv, 2, " Normal", 56},       {Name::kPv, 2, " Hi limit", 57},     {Name::kPv, 2, " Lo limit", 58},
    {Name::kSetPoint, 1, " Normal", 65}, {Name::kSetPoint, 2, " Normal", 66}, {Name::kOutput, 1, " Normal", 59},
    {Name::kOutput, 1, " Hi limit", 60}, {Name::kOutput, 1, " Lo limit", 61}, {Name::kOutput, 2, " Normal", 62},
    {Name::kOutput, 2, " Hi limit", 63}, {Name::kOutput, 2, " Lo limit", 64},
};

constexpr ColourRow kDigitalColours[] = {
    {Name::kPv, 1, "", 43},     {Name::kPv, 2, "", 44},     {Name::kSetPoint, 1, "", 45}, {Name::kSetPoint, 2, "", 46},
    {Name::kOutput, 1, "", 47}, {Name::kOutput, 2, "", 48}, {Name::kFn, 1, "", 49},       {Name::kFn, 2, "", 50},
    {Name::kFn, 3, "", 51},     {Name::kFn, 4, "", 52},
};

void WriteColourGroup(ByteView w, std::string_view group, std::span<const ColourRow> rows, std::string& out) {
  bool first = true;
  for (const ColourRow& row : rows) {
    const std::string word(NameWord(w, row.name));
    WriteColourRow(GroupLabel(group, first), FormatText("%s%d%s", word.c_str(), row.number, row.suffix), out, w,
                   row.offset);
    first = false;
  }
}

void WriteShortTrend(ByteView w, std::string& out) {
  WriteChoiceRow("Trend recording", "", out, choices::kRecording, 2, Word(w, 106));
  WriteChoiceRow("Storing interval", "", out, choices::kStoringInterval, 12, Word(w, 68));
  // Channel names switch to SV/OP on any non-zero set, unlike the item words above.
  const int altNames = Word(w, kOffLoopVariables);
  for (int loop = 1; loop <= 2; ++loop) {
    for (int channel = 1; channel <= 4; ++channel) {
      const std::size_t offset = 70 + 8 * (loop - 1) + 2 * (channel - 1);
      WriteRow(GroupLabel("Trend channel", loop == 1 && channel == 1), FormatText("LP%d CH%d", loop, channel), out,
               VariableName(Word(w, offset), altNames));
    }
  }
  for (int loop = 1; loop <= 2; ++loop) {
    for (int channel = 1; channel <= 4; ++channel) {
      const std::size_t offset = 86 + 4 * (loop - 1) + (channel - 1);
      WriteColourRow(GroupLabel("Trend graph color", loop == 1 && channel == 1), FormatText("LP%d CH%d", loop, channel),
                     out, w, offset);
    }
  }
}

// Where a flow-family image keeps its own screen's home view and view switch.
struct FlowScreen {
  ViewVariant variant;
  std::size_t homeOffset;
  std::string_view viewLabel;
  std::size_t enableOffset;
};

std::optional<FlowScreen> FlowScreenOf(ByteView w) {
  const std::uint16_t model = ModelCode(w);
  switch (FormatMinor(w)) {
    case 0:
      return FlowScreen{ViewVariant::kPulse, 172, labels::kPulseScreen, 170};
    case 1:
      // Format 2.1 keeps this screen in the mixing block but names it as the pulse screen.
      return FlowScreen{ViewVariant::kPulse, 212, labels::kPulseScreen, 210};
    case 2:
      if (model == 1200) return FlowScreen{ViewVariant::kPulse, 172, labels::kPulseScreen, 170};
      if (model == 2200) return FlowScreen{ViewVariant::kMixing, 212, labels::kMixingScreen, 210};
      return std::nullopt;
    case 3:
      return FlowScreen{ViewVariant::kTotaliser, 252, labels::kTotaliserScreen, 250};
    default:
      return std::nullopt;
  }
}

void WriteHome(ByteView w, const std::optional<FlowScreen>& screen, std::string& out) {
  if (!FlowFamily(w)) {
    WriteRow("Home", "Registered view", out, ViewName(ViewVariant::kParameterTable, Word(w, 110)));
  } else if (screen) {
    WriteRow("Home", "Registered view", out, ViewName(screen->variant, Word(w, screen->homeOffset)));
  }
  WriteRow("", "Registered loop number", out, Decimal(U8(w, 112)));
}

void WriteOperationViews(ByteView w, const std::optional<FlowScreen>& screen, std::string& out) {
  WriteChoiceRow("Select operation view", "Digital", out, choices::kEnable, 2, Word(w, 114));
  WriteChoiceRow("", "Bargraph", out, choices::kEnable, 2, Word(w, 116));
  WriteChoiceRow("", "Dual-loop bargraph", out, choices::kEnable, 2, Word(w, 118));
  WriteChoiceRow("", "Short trend", out, choices::kEnable, 2, Word(w, 120));
  const std::int16_t major = FormatMajor(w);
  if (major > 3 || (major == 3 && FormatMinor(w) >= 2)) {
    WriteChoiceRow("", "User's parameter table", out, choices::kEnable, 2, Word(w, 1652));
  }
  if (FlowFamily(w) && screen) {
    WriteChoiceRow("", screen->viewLabel, out, choices::kEnable, 2, Word(w, screen->enableOffset));
  }
}

}  // namespace

void WriteDisplaySettings(ByteView w, std::string& out) {
  WriteChoiceRow("Back light brightness", "", out, choices::kBrightness, 5, Word(w, 40));
  WriteRow("Screen saver (time)", "", out, Decimal(U8(w, 42)), "min (0=OFF)");
  WriteMvSymbols(w, out);
  WriteLoopAndGraph(w, out);
  if (FlowFamily(w)) WriteFunctionScreens(w, out);
  WriteColourGroup(w, "Bargraph color", kBargraphColours, out);
  WriteColourGroup(w, "Digital display color", kDigitalColours, out);
  WriteShortTrend(w, out);
  if (TableFormat(w)) WriteColourRow("Selected loop color", "", out, w, 1408);
  WriteChoiceRow("Touch tone", "", out, choices::kEnable, 2, Word(w, 108));
  const std::optional<FlowScreen> screen = FlowFamily(w) ? FlowScreenOf(w) : std::nullopt;
  WriteHome(w, screen, out);
  WriteOperationViews(w, screen, out);
  if (ExtendedSymbols(w)) {
    WriteChoiceRow("Select unit mode", "Digital", out, choices::kUnitMode, 3, Word(w, 156));
    WriteChoiceRow("", "Bargraph", out, choices::kUnitMode, 3, Word(w, 158));
  }
}

}  // namespace krt::listing
