#pragma once
// Framework of the configuration listing: rows, value forms, choice and
// colour tables, view and variable names, and the format conditions the
// sections share. Every function reads the host-order working image.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "image/bytes.hpp"

namespace krt::listing {

// printf-style formatting into a new string of exactly the formatted length.
// Throws std::runtime_error("") when formatting fails.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// One row: "group,item,data\n", or "group,item,data,unit\n" when a unit is
// given. An absent data text is written as "(null)".
void WriteRow(std::string_view group, std::string_view item, std::string& out, std::optional<std::string_view> data,
              std::optional<std::string_view> unit = std::nullopt);

// "<title>,LCD Ver. <major>.<minor>x\n\nGroup,Item,Data\n"
void WriteListingHeader(ByteView working, std::string_view title, std::string& out);

struct Choice {
  std::int32_t key;
  const char* text;
};
// The text of the first of the first `count` pairs whose key equals `key`.
std::optional<std::string_view> LookupChoice(std::span<const Choice> table, std::size_t count, std::int32_t key);
inline std::optional<std::string_view> LookupChoice(std::span<const Choice> table, std::int32_t key) {
  return LookupChoice(table, table.size(), key);
}

// The choice tables of the listing.
namespace choices {
extern const Choice kBrightness[5];
extern const Choice kMvSymbol[11];
extern const Choice kMvNumber[2];
extern const Choice kLoopVariableSet[2];
extern const Choice kScaleDivisions[9];
extern const Choice kPercentDecimals[2];
extern const Choice kEnable[2];
extern const Choice kRecording[2];
extern const Choice kStoringInterval[12];
extern const Choice kUnitMode[3];
extern const Choice kDisplayFlag[2];  // 表示 / 非表示
extern const Choice kIndicator[2];
extern const Choice kLanguage[2];
extern const Choice kTransferRate[4];
extern const Choice kParity[3];
}  // namespace choices

// 1-based position of `code` in the display colour code table, 1 when absent.
int ColourNumber(std::uint8_t code);

enum class ViewVariant { kPulse, kMixing, kTotaliser, kParameterTable };
std::string_view ViewName(ViewVariant variant, int code);
// Trend-channel source name; codes 3..6 become SV1/SV2/OP1/OP2 with altNames.
std::string_view VariableName(int code, int altNames);

// Loop-variable words from offset 98: "SV"/"OP" when it equals 1, else "SP"/"MV".
std::string_view SetPointWord(ByteView working);
std::string_view OutputWord(ByteView working);

// Format conditions on the working image.
bool ExtendedSymbols(ByteView working);
bool FlowFamily(ByteView working);
bool PulseVariant(ByteView working);
bool MixingVariant(ByteView working);
bool TotaliserVariant(ByteView working);
bool TableFormat(ByteView working);

}  // namespace krt::listing
