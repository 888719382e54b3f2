// The user's parameter table: a header line and one line per entry, with
// the range columns in the formats that carry ranges.

#include <initializer_list>

#include "listing/listing.hpp"
#include "listing/sections.hpp"

namespace krt::listing {

namespace {

constexpr int kEntries = 40;
constexpr std::size_t kEntryBase = 288;
constexpr std::size_t kEntrySize = 28;
constexpr std::size_t kRangeBase = 1412;
constexpr std::size_t kRangeSize = 6;
constexpr std::size_t kNameWidth = 11;
constexpr std::size_t kUnitWidth = 9;

constexpr std::string_view kShortHeader =
    "User's parameter table,Setting,Parameter,GROUP,ITEM,DATA Hi limit,DATA Lo limit,DATA decimal place,"
    "DATA engineering unit\n";
constexpr std::string_view kRangeHeader =
    "User's parameter table,Setting,Parameter,GROUP,ITEM,Range Hi limit,Range Lo limit,Decimal place,"
    "Engineering unit,DATA Hi limit,DATA Lo limit,DATA decimal place\n";

// "a,b,c"
void AppendNumbers(std::string& out, std::initializer_list<int> values) {
  bool first = true;
  for (int v : values) {
    if (!first) out.push_back(',');
    AppendDecimal(out, v);
    first = false;
  }
}

}  // namespace

void WriteUserParameterTable(ByteView working, std::string& out) {
  const int major = FormatMajor(working);
  if (major < 3) return;
  const int minor = FormatMinor(working);
  const bool withRanges = !(major == 3 && (minor == 0 || minor == 1));

  out.append(withRanges ? kRangeHeader : kShortHeader);
  for (int k = 0; k < kEntries; ++k) {
    const std::size_t entry = kEntryBase + kEntrySize * static_cast<std::size_t>(k);
    const std::string_view setting = LookupChoice(choices::kEnable, U8(working, entry)).value_or(labels::kNull);
    // Names and units stop at their NUL and never run past their field.
    const std::string_view name = TextField(working, entry + 3, kNameWidth);
    const std::string_view unit = TextField(working, entry + 19, kUnitWidth);
    const int dataHi = LeI16(working, entry + 14);
    const int dataLo = LeI16(working, entry + 16);
    const int dataDecimals = I8(working, entry + 18);

    out.push_back(',');
    out.append(setting);
    out.push_back(',');
    out.append(name);
    out.push_back(',');
    AppendDecimal(out, U8(working, entry + 1), 2);
    out.push_back(',');
    AppendDecimal(out, U8(working, entry + 2), 2);
    out.push_back(',');
    if (withRanges) {
      const std::size_t range = kRangeBase + kRangeSize * static_cast<std::size_t>(k);
      AppendNumbers(out, {LeI16(working, range), LeI16(working, range + 2), I8(working, range + 4)});
      out.push_back(',');
      out.append(unit);
      out.push_back(',');
      AppendNumbers(out, {dataHi, dataLo, dataDecimals});
    } else {
      AppendNumbers(out, {dataHi, dataLo, dataDecimals});
      out.push_back(',');
      out.append(unit);
    }
    out.push_back('\n');
  }
}

}  // namespace krt::listing
