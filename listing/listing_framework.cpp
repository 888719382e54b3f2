// Rows, header, value forms and format conditions shared by the sections.

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <stdexcept>

#include "image/image_layout.hpp"
#include "listing/listing.hpp"

namespace krt::listing {

// A C variadic on purpose: its printf format attribute lets -Wformat check every caller's
// arguments against the format, which a template pack passed on to vsnprintf would not.
std::string FormatText(const char* format, ...) {  // NOLINT(cert-dcl50-cpp)
  // Most rows are short: one pass into a stack buffer, a second only when the
  // text is longer.
  std::array<char, 256> small;
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int needed = std::vsnprintf(small.data(), small.size(), format, args);
  va_end(args);
  if (needed < 0) {
    va_end(again);
    throw std::runtime_error("");
  }
  if (static_cast<std::size_t>(needed) < small.size()) {
    va_end(again);
    return std::string(small.data(), static_cast<std::size_t>(needed));
  }
  std::string text(static_cast<std::size_t>(needed), '\0');
  const int written = std::vsnprintf(text.data(), text.size() + 1, format, again);
  va_end(again);
  if (written < 0) throw std::runtime_error("");
  text.resize(std::min(text.size(), static_cast<std::size_t>(written)));
  return text;
}

void WriteRow(std::string_view group, std::string_view item, std::string& out, std::optional<std::string_view> data,
              std::optional<std::string_view> unit) {
  out.append(group);
  out.push_back(',');
  out.append(item);
  out.push_back(',');
  out.append(data.value_or(labels::kNull));
  if (unit) {
    out.push_back(',');
    out.append(*unit);
  }
  out.push_back('\n');
}

void WriteListingHeader(ByteView working, std::string_view title, std::string& out) {
  int major = LcdMajor(working);
  int minor = LeI16(working, 14) / 10;  // tenths, truncated towards zero
  if (FormatMajor(working) == 1 && FormatMinor(working) == 0) {
    major = 1;
    minor = 0;
  }
  out.append(title);
  out.append(FormatText(",LCD Ver. %d.%dx\n\n", major, minor));
  out.append("Group,Item,Data\n");
}

int WriteModelListing(ByteView storedImage, std::string_view title, std::span<const SectionWriter> sections,
                      std::string& out) {
  const Bytes working = image::ConvertByteOrder(storedImage);
  WriteListingHeader(working, title, out);
  for (SectionWriter section : sections) section(working, out);
  return 0;
}

std::optional<std::string_view> LookupChoice(std::span<const Choice> table, std::size_t count, std::int32_t key) {
  const std::size_t n = std::min(count, table.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (table[i].key == key) {
      if (table[i].text == nullptr) return std::nullopt;
      return std::string_view(table[i].text);
    }
  }
  return std::nullopt;
}

namespace {

constexpr std::array<std::uint8_t, 18> kColourCodes = {249, 190, 198, 251, 250, 226, 2,   254, 229,
                                                       252, 4,   111, 253, 201, 247, 255, 125, 1};

constexpr std::array<std::string_view, 8> kViewNames = {
    "Digital",      "Bargraph", "Dual-loop bargraph", "Short trend", "", labels::kSettingsMenu, labels::kProgramming,
    labels::kTuning};

constexpr std::array<std::string_view, 11> kVariableNames = {"None", "PV1", "PV2", "SP1", "SP2", "MV1",
                                                             "MV2",  "FN1", "FN2", "FN3", "FN4"};
constexpr std::array<std::string_view, 4> kAltVariableNames = {"SV1", "SV2", "OP1", "OP2"};

bool SvOpWords(ByteView working) {
  return LeI16(working, 98) == 1;
}

}  // namespace

int ColourNumber(std::uint8_t code) {
  const auto it = std::find(kColourCodes.begin(), kColourCodes.end(), code);
  if (it == kColourCodes.end()) return 1;
  return static_cast<int>(it - kColourCodes.begin()) + 1;
}

std::string_view ViewName(ViewVariant variant, int code) {
  if (code < 0 || code >= static_cast<int>(kViewNames.size())) return kViewNames[0];
  if (code == 4) {
    switch (variant) {
      case ViewVariant::kPulse:
        return labels::kPulseScreen;
      case ViewVariant::kMixing:
        return labels::kMixingScreen;
      case ViewVariant::kTotaliser:
        return labels::kTotaliserScreen;
      case ViewVariant::kParameterTable:
        return labels::kUserParameterTable;
    }
  }
  if (code == 5 && variant == ViewVariant::kParameterTable) return labels::kUserParameterTable;
  return kViewNames[static_cast<std::size_t>(code)];
}

std::string_view VariableName(int code, int altNames) {
  if (code < 0 || code >= static_cast<int>(kVariableNames.size())) return {};
  if (altNames != 0 && code >= 3 && code <= 6) return kAltVariableNames[static_cast<std::size_t>(code - 3)];
  return kVariableNames[static_cast<std::size_t>(code)];
}

std::string_view SetPointWord(ByteView working) {
  return SvOpWords(working) ? "SV" : "SP";
}
std::string_view OutputWord(ByteView working) {
  return SvOpWords(working) ? "OP" : "MV";
}

std::string Decimal(int value) {
  std::string text;
  AppendDecimal(text, value);
  return text;
}

void AppendDecimal(std::string& out, int value, int minDigits) {
  // A listing holds a few hundred numbers; to_chars spares a printf pass for each.
  std::array<char, 16> digits;
  const long long magnitude = value < 0 ? -static_cast<long long>(value) : value;
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), magnitude);
  const auto length = static_cast<std::size_t>(result.ptr - digits.data());
  // Like "%0*d": the width counts the sign, the zeros go after it.
  const std::size_t width = length + (value < 0 ? 1 : 0);
  if (value < 0) out.push_back('-');
  if (minDigits > 0 && width < static_cast<std::size_t>(minDigits)) {
    out.append(static_cast<std::size_t>(minDigits) - width, '0');
  }
  out.append(digits.data(), length);
}

std::string ColourText(ByteView working, std::size_t offset) {
  return Decimal(ColourNumber(U8(working, offset)));
}

bool ExtendedSymbols(ByteView working) {
  const int major = FormatMajor(working);
  return (major == 1 && FormatMinor(working) == 1) || major >= 2;
}

bool FlowFamily(ByteView working) {
  return FormatMajor(working) == 2;
}

bool PulseVariant(ByteView working) {
  const int minor = FormatMinor(working);
  return FlowFamily(working) && ModelCode(working) == 1200 && (minor == 0 || minor == 2);
}

bool MixingVariant(ByteView working) {
  const int minor = FormatMinor(working);
  const int model = ModelCode(working);
  return FlowFamily(working) && ((minor == 1 && model == 1200) || (minor == 2 && model == 2200));
}

bool TotaliserVariant(ByteView working) {
  return FlowFamily(working) && FormatMinor(working) == 3;
}

bool TableFormat(ByteView working) {
  return FormatMajor(working) >= 3;
}

}  // namespace krt::listing
