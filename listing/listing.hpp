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

// printf-style formatting into a new string of exactly the formatted length,
// however long. Throws std::runtime_error("") when formatting fails.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Texts shared by several sections (Japanese ones as Shift-JIS bytes).
namespace labels {
inline constexpr std::string_view kNull = "(null)";
inline constexpr std::string_view kPulseScreen =
    "\x83\x70\x83\x8b\x83\x58\x89\x89\x8e\x5a\x95\x5c\x8e\xa6";  // パルス演算表示
inline constexpr std::string_view kMixingScreen =
    "\x8d\xac\x8d\x87\x92\xb2\x90\xdf\x8b\x40\x94\x5c\x95\x5c\x8e\xa6";  // 混合調節機能表示
inline constexpr std::string_view kTotaliserScreen =
    "\x90\xcf\x8e\x5a\x8b\x40\x94\x5c\x95\x5c\x8e\xa6";  // 積算機能表示
inline constexpr std::string_view kSettingsMenu = "\x90\xdd\x92\xe8\x83\x81\x83\x6a\x83\x85\x81\x5b";  // 設定メニュー
inline constexpr std::string_view kProgramming =
    "\x83\x76\x83\x8d\x83\x4f\x83\x89\x83\x7e\x83\x93\x83\x4f";  // プログラミング
inline constexpr std::string_view kTuning = "\x83\x60\x83\x85\x81\x5b\x83\x6a\x83\x93\x83\x4f";  // チューニング
inline constexpr std::string_view kShown = "\x95\x5c\x8e\xa6";                                   // 表示
inline constexpr std::string_view kHidden = "\x94\xf1\x95\x5c\x8e\xa6";                          // 非表示
inline constexpr std::string_view kUserParameterTable = "User's parameter table";
}  // namespace labels

// One row: "group,item,data\n", or "group,item,data,unit\n" when a unit is
// given. An absent data text is written as "(null)".
void WriteRow(std::string_view group, std::string_view item, std::string& out, std::optional<std::string_view> data,
              std::optional<std::string_view> unit = std::nullopt);

// "<title>,LCD Ver. <major>.<minor>x\n\nGroup,Item,Data\n"
void WriteListingHeader(ByteView working, std::string_view title, std::string& out);

// One section writer of the listing (see sections.hpp).
using SectionWriter = void (*)(ByteView working, std::string& out);

// The whole listing of a model: the working copy of `storedImage`, the header
// with `title`, then `sections` in order. Returns 0; it has no failure result.
int WriteModelListing(ByteView storedImage, std::string_view title, std::span<const SectionWriter> sections,
                      std::string& out);

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

// The header words the sections test.
inline std::int16_t FormatMajor(ByteView working) {
  return LeI16(working, 8);
}
inline std::int16_t FormatMinor(ByteView working) {
  return LeI16(working, 10);
}
inline std::uint16_t ModelCode(ByteView working) {
  return LeU16(working, 6);
}
inline std::int16_t LcdMajor(ByteView working) {
  return LeI16(working, 12);
}

// Decimal text of a number, "%d".
std::string Decimal(int value);
// Appends `value` as printf would with "%0*d" and width `minDigits`.
void AppendDecimal(std::string& out, int value, int minDigits = 1);
// Colour form: ColourNumber of the byte at `offset`, in decimal.
std::string ColourText(ByteView working, std::size_t offset);

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
