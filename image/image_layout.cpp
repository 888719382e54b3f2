// The field table of the configuration image and everything derived from it.

#include "image/image_layout.hpp"

#include <algorithm>

namespace krt::image {
namespace {

using K = FieldKind;
namespace b = block;

constexpr std::size_t kUp = kOffUserParams;
constexpr std::size_t kUr = kOffUserParamRanges;
constexpr std::size_t kRecs = kUserParamCount;

// name, offset, kind, count, blocks, defaults, text default, repeat, stride
constexpr Field kFields[] = {
    // Header.
    {"magic", 0, K::kU32, 1, b::kHeader, {static_cast<std::int32_t>(kMagic)}},
    {"header_length", 4, K::kU16, 1, b::kHeader, {32}},
    {"model_code", 6, K::kU16, 1, b::kHeader, {}},
    {"format_major", 8, K::kI16, 1, b::kHeader, {3}},
    {"format_minor", 10, K::kI16, 1, b::kHeader, {2}},
    {"lcd_major", 12, K::kI16, 1, b::kHeader, {0}},
    {"lcd_minor", 14, K::kI16, 1, b::kHeader, {0}},
    {"header_reserved", 16, K::kU8, 16, b::kHeader, {}},

    // Display and operation settings.
    {"legacy_mv_symbol", 32, K::kI16, 4, b::kBase, {2, 3, 2, 3}},
    {"backlight", 40, K::kI16, 1, b::kBase, {4}},
    {"screen_saver", 42, K::kU8, 1, b::kBase, {0}},
    {"digital_color", 43, K::kU8, 10, b::kBase, {255, 255, 255, 255, 255, 255, 255, 255, 255, 255}},
    {"bargraph_color",
     53,
     K::kU8,
     14,
     b::kBase,
     {250, 249, 251, 250, 249, 251, 253, 111, 201, 253, 111, 201, 254, 254}},
    {"reserved_67", 67, K::kU8, 1, b::kNone, {}},
    {"storing_interval", 68, K::kI16, 1, b::kBase, {10}},
    {"trend_channel", 70, K::kI16, 8, b::kBase, {1, 3, 5, 0, 2, 4, 6, 0}},
    {"trend_color", 86, K::kU8, 8, b::kBase, {249, 251, 250, 254, 249, 251, 250, 254}},
    {"loop_display", 94, K::kI16, 2, b::kBase, {1, 2}},
    {"loop_variables", 98, K::kI16, 1, b::kBase, {0}},
    {"scale_divisions", 100, K::kI16, 1, b::kBase, {10}},
    {"percent_decimals", 102, K::kI16, 1, b::kBase, {1}},
    {"alarm_blinking", 104, K::kI16, 1, b::kBase, {1}},
    {"trend_recording", 106, K::kI16, 1, b::kBase, {1}},
    {"touch_tone", 108, K::kI16, 1, b::kBase, {1}},
    {"home_view", kOffHomeView, K::kI16, 1, b::kBase, {0}},
    {"home_loop", kOffHomeLoop, K::kU8, 1, b::kBase, {1}},
    {"reserved_113", 113, K::kU8, 1, b::kNone, {}},
    {"view_enable", 114, K::kI16, 4, b::kBase, {1, 1, 1, 1}},

    // Communication.
    {"node_address", 122, K::kU8, 1, b::kCommunication, {1}},
    {"reserved_123", 123, K::kU8, 1, b::kNone, {}},
    {"baud_code", 124, K::kI16, 1, b::kCommunication, {3}},
    {"comm_byte_126", 126, K::kU8, 1, b::kCommunication, {0}},
    {"reserved_127", 127, K::kU8, 1, b::kNone, {}},
    {"parity_code", 128, K::kI16, 1, b::kCommunication, {2}},
    {"comm_word_130", 130, K::kI16, 1, b::kCommunication, {0}},
    {"ip_address", 132, K::kU8, 4, b::kCommunication, {192, 168, 0, 1}},
    {"subnet_mask", 136, K::kU8, 4, b::kCommunication, {255, 255, 255, 0}},
    {"default_gateway", 140, K::kU8, 4, b::kCommunication, {0, 0, 0, 0}},
    {"tcp_port", 144, K::kU16, 1, b::kCommunication, {502}},
    {"linger_time", 146, K::kU16, 1, b::kCommunication, {180}},

    // MV symbols and unit modes.
    {"mv_symbol", 148, K::kI16, 4, b::kSymbol, {2, 3, 2, 3}},
    {"unit_mode", 156, K::kI16, 2, b::kSymbol, {0, 0}},

    // Pulse-calculation screen.
    {"pulse_color", 160, K::kU8, 10, b::kPulse, {255, 255, 255, 251, 249, 255, 247, 254, 251, 249}},
    {"pulse_view_enable", 170, K::kI16, 1, b::kPulse, {1}},
    {"pulse_home_view", 172, K::kI16, 1, b::kPulse, {0}},
    {"pulse_switch_color", 174, K::kU8, 6, b::kPulse, {247, 254, 247, 254, 247, 254}},
    {"reserved_180", 180, K::kU8, 3, b::kNone, {252, 252, 252}},
    {"pulse_show", 183, K::kU8, 10, b::kPulse, {}},
    {"reserved_193", 193, K::kU8, 7, b::kNone, {}},

    // Mixing-control screen.
    {"mixing_color", 200, K::kU8, 10, b::kMixing, {255, 255, 255, 255, 247, 254, 254, 254, 254, 254}},
    {"mixing_view_enable", 210, K::kI16, 1, b::kMixing, {1}},
    {"mixing_home_view", 212, K::kI16, 1, b::kMixing, {0}},
    {"mixing_show", 214, K::kU8, 10, b::kMixing, {}},
    {"reserved_224", 224, K::kU8, 16, b::kNone, {}},

    // Totaliser screen.
    {"totaliser_color", 240, K::kU8, 10, b::kTotaliser, {255, 255, 255, 255, 247, 254, 0, 0, 247, 254}},
    {"totaliser_view_enable", 250, K::kI16, 1, b::kTotaliser, {1}},
    {"totaliser_home_view", 252, K::kI16, 1, b::kTotaliser, {0}},
    {"totaliser_switch_color", 254, K::kU8, 6, b::kTotaliser, {247, 254, 247, 254, 247, 254}},
    {"totaliser_show", 260, K::kU8, 10, b::kTotaliser, {}},
    {"reserved_270", 270, K::kU8, 18, b::kNone, {}},

    // The user's parameter table: 40 UserParam records.
    {"user_params.enabled", kUp + 0, K::kU8, 1, b::kParameterTable, {0}, {}, kRecs, kUserParamSize},
    {"user_params.group_no", kUp + 1, K::kU8, 1, b::kParameterTable, {0}, {}, kRecs, kUserParamSize},
    {"user_params.item_no", kUp + 2, K::kU8, 1, b::kParameterTable, {0}, {}, kRecs, kUserParamSize},
    {"user_params.name", kUp + 3, K::kText, 11, b::kParameterTable, {}, "Name", kRecs, kUserParamSize},
    {"user_params.data_hi", kUp + 14, K::kI16, 1, b::kParameterTable, {10000}, {}, kRecs, kUserParamSize},
    {"user_params.data_lo", kUp + 16, K::kI16, 1, b::kParameterTable, {0}, {}, kRecs, kUserParamSize},
    {"user_params.data_decimals", kUp + 18, K::kI8, 1, b::kParameterTable, {2}, {}, kRecs, kUserParamSize},
    {"user_params.unit", kUp + 19, K::kText, 9, b::kParameterTable, {}, "Unit", kRecs, kUserParamSize},
    {"selected_loop_color", 1408, K::kU8, 1, b::kParameterTable, {2}},
    {"reserved_1409", 1409, K::kU8, 1, b::kNone, {}},
    {"language", 1410, K::kI16, 1, b::kLanguage, {0}},

    // 40 UserParamRange records, one for each UserParam.
    {"user_param_ranges.range_hi", kUr + 0, K::kI16, 1, b::kRange, {10000}, {}, kRecs, kUserParamRangeSize},
    {"user_param_ranges.range_lo", kUr + 2, K::kI16, 1, b::kRange, {0}, {}, kRecs, kUserParamRangeSize},
    {"user_param_ranges.range_decimals", kUr + 4, K::kI8, 1, b::kRange, {2}, {}, kRecs, kUserParamRangeSize},
    {"user_param_ranges.reserved", kUr + 5, K::kU8, 1, b::kNone, {}, {}, kRecs, kUserParamRangeSize},

    // Key settings.
    {"user_table_view_enable", 1652, K::kI16, 1, b::kKey, {1}},
    {"prg_indicator", kOffPrgIndicator, K::kI16, 1, b::kKey | b::kPrg, {1}},
    {"numeric_key_enable", 1656, K::kI16, 4, b::kKey, {1, 1, 1, 1}},
    {"reserved_1664", 1664, K::kU8, 384, b::kNone, {}},
};

static_assert(kUp + kRecs * kUserParamSize == 1408);
static_assert(kUr + kRecs * kUserParamRangeSize == 1652);

void SwapBytes(std::span<std::uint8_t> image, std::size_t off, std::size_t width) {
  if (!InRange(image, off, width)) return;
  std::reverse(image.begin() + static_cast<std::ptrdiff_t>(off),
               image.begin() + static_cast<std::ptrdiff_t>(off + width));
}

}  // namespace

std::span<const Field> FieldTable() {
  return kFields;
}

const Field* FindField(std::string_view name) {
  for (const Field& f : kFields) {
    if (f.name == name) return &f;
  }
  return nullptr;
}

int ImageSizeFor(std::int16_t major, std::int16_t minor) {
  const bool full = (major == 2 && minor >= 2) || major >= 3;
  return static_cast<int>(full ? kFullImageSize : kShortImageSize);
}

Bytes ConvertByteOrder(ByteView image) {
  Bytes out(kFullImageSize, 0);
  std::copy_n(image.begin(), std::min(image.size(), kFullImageSize), out.begin());
  for (const Field& f : kFields) {
    const std::size_t width = KindWidth(f.kind);
    if (width == 1) continue;
    for (std::size_t r = 0; r < f.repeat; ++r) {
      for (std::size_t i = 0; i < f.count; ++i) SwapBytes(out, f.offset + r * f.stride + i * width, width);
    }
  }
  return out;
}

void WriteFieldDefault(std::span<std::uint8_t> dst, const Field& f) {
  const std::size_t width = KindWidth(f.kind);
  for (std::size_t r = 0; r < f.repeat; ++r) {
    const std::size_t start = f.offset + r * f.stride;
    if (f.kind == FieldKind::kText) {
      // The text, then zeros to the end of the field.
      for (std::size_t i = 0; i < f.count; ++i) {
        SetU8(dst, start + i, i < f.text.size() ? static_cast<std::uint8_t>(f.text[i]) : 0);
      }
      continue;
    }
    for (std::size_t i = 0; i < f.count; ++i) {
      const std::size_t off = start + i * width;
      const auto v = static_cast<std::uint32_t>(i < kMaxFieldDefaults ? f.defaults[i] : 0);
      switch (width) {
        case 4:
          SetBeU32(dst, off, v);
          break;
        case 2:
          SetBeU16(dst, off, static_cast<std::uint16_t>(v));
          break;
        default:
          SetU8(dst, off, static_cast<std::uint8_t>(v));
          break;
      }
    }
  }
}

Bytes DefaultStoredImage() {
  Bytes out(kFullImageSize, 0);
  for (const Field& f : kFields) {
    if (f.blocks & block::kHeader) continue;
    WriteFieldDefault(out, f);
  }
  return out;
}

void WriteNewHeader(std::span<std::uint8_t> image, std::uint16_t modelCode) {
  for (std::size_t off = kOffHeaderLength; off < kHeaderSize; ++off) SetU8(image, off, 0);
  for (const Field& f : kFields) {
    if (f.blocks & block::kHeader) WriteFieldDefault(image, f);
  }
  SetBeU16(image, kOffModelCode, modelCode);
}

void CopyBlock(std::span<std::uint8_t> dst, ByteView src, std::uint16_t blockBit) {
  for (const Field& f : kFields) {
    if ((f.blocks & blockBit) == 0) continue;
    const std::size_t len = FieldLength(f);
    for (std::size_t r = 0; r < f.repeat; ++r) {
      const std::size_t off = f.offset + r * f.stride;
      if (!InRange(dst, off, len) || !InRange(src, off, len)) continue;
      std::copy_n(src.begin() + static_cast<std::ptrdiff_t>(off), len, dst.begin() + static_cast<std::ptrdiff_t>(off));
    }
  }
}

}  // namespace krt::image
