#pragma once
// Byte format of the configuration image: sizes, header offsets and the
// byte-order conversion between stored (big-endian) and working (host) order.
// The field table itself lives in image_layout.cpp; the default image, the
// byte-order conversion and the block copies are all derived from it.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "image/bytes.hpp"

namespace krt::image {

inline constexpr std::size_t kFullImageSize = 2048;
inline constexpr std::size_t kShortImageSize = 1024;
inline constexpr std::size_t kHeaderSize = 32;
inline constexpr std::uint32_t kMagic = 0x499602D2;

// Header offsets.
inline constexpr std::size_t kOffMagic = 0;
inline constexpr std::size_t kOffHeaderLength = 4;
inline constexpr std::size_t kOffModelCode = 6;
inline constexpr std::size_t kOffFormatMajor = 8;
inline constexpr std::size_t kOffFormatMinor = 10;
inline constexpr std::size_t kOffLcdMajor = 12;
inline constexpr std::size_t kOffLcdMinor = 14;

// Body fields the load and merge rules single out.
inline constexpr std::size_t kOffLegacyMvSymbol = 32;
inline constexpr std::size_t kOffHomeView = 110;
inline constexpr std::size_t kOffHomeLoop = 112;
inline constexpr std::size_t kOffPrgIndicator = 1654;

// Record tables.
inline constexpr std::size_t kUserParamCount = 40;
inline constexpr std::size_t kOffUserParams = 288;
inline constexpr std::size_t kUserParamSize = 28;
inline constexpr std::size_t kOffUserParamRanges = 1412;
inline constexpr std::size_t kUserParamRangeSize = 6;

enum class FieldKind : std::uint8_t { kU32, kU16, kI16, kU8, kI8, kText };

// Blocks: groups of fields loaded and merged as a whole. A field may belong
// to more than one block (prg_indicator is in both PRG and key).
namespace block {
inline constexpr std::uint16_t kNone = 0;  // reserved bytes no block carries
inline constexpr std::uint16_t kHeader = 1u << 0;
inline constexpr std::uint16_t kBase = 1u << 1;
inline constexpr std::uint16_t kCommunication = 1u << 2;
inline constexpr std::uint16_t kSymbol = 1u << 3;
inline constexpr std::uint16_t kPulse = 1u << 4;
inline constexpr std::uint16_t kMixing = 1u << 5;
inline constexpr std::uint16_t kTotaliser = 1u << 6;
inline constexpr std::uint16_t kPrg = 1u << 7;
inline constexpr std::uint16_t kParameterTable = 1u << 8;
inline constexpr std::uint16_t kLanguage = 1u << 9;
inline constexpr std::uint16_t kRange = 1u << 10;
inline constexpr std::uint16_t kKey = 1u << 11;
}  // namespace block

inline constexpr std::size_t kMaxFieldDefaults = 14;

// One line of the field table: `count` elements of `kind` from `offset`; a
// record field repeats `repeat` times, `stride` bytes apart.
struct Field {
  std::string_view name;
  std::size_t offset;
  FieldKind kind;
  std::size_t count;  // elements; for a text, its width in bytes
  std::uint16_t blocks;
  std::array<std::int32_t, kMaxFieldDefaults> defaults{};  // per element, unlisted ones 0
  std::string_view text{};                                 // default of a text field
  std::size_t repeat = 1;
  std::size_t stride = 0;
};

constexpr std::size_t KindWidth(FieldKind kind) {
  switch (kind) {
    case FieldKind::kU32:
      return 4;
    case FieldKind::kU16:
    case FieldKind::kI16:
      return 2;
    default:
      return 1;
  }
}
// Bytes of one occurrence of the field (one record's worth for record fields).
constexpr std::size_t FieldLength(const Field& f) {
  return KindWidth(f.kind) * f.count;
}

// Every field of the image, header and both record tables included, each
// byte of the 2048 covered exactly once.
std::span<const Field> FieldTable();
// The field of that name, or nullptr.
const Field* FindField(std::string_view name);

// 1024 bytes below format 2.2, 2048 from 2.2 on (words compared as signed 16-bit).
int ImageSizeFor(std::int16_t major, std::int16_t minor);

// Swaps every 16- and 32-bit field of a 2048-byte image; its own inverse.
// A shorter input is treated as if padded with zeros to 2048 bytes; bytes
// beyond 2048 are not part of an image and are dropped.
Bytes ConvertByteOrder(ByteView image);

// The default image in stored order with an all-zero header.
Bytes DefaultStoredImage();

// The header of a new image: bytes 4 to 31 zeroed, then magic, header length,
// `modelCode`, format 3.2 and LCD 0.0 written in stored order.
void WriteNewHeader(std::span<std::uint8_t> image, std::uint16_t modelCode);

// Copies the bytes of every field of `blockBit` from `src` to `dst` at the
// same offsets. A field lying wholly or partly beyond either buffer is
// skipped whole, so no field is ever left half-written.
void CopyBlock(std::span<std::uint8_t> dst, ByteView src, std::uint16_t blockBit);

// Writes the field's default into `dst` in stored order (every record).
void WriteFieldDefault(std::span<std::uint8_t> dst, const Field& field);

}  // namespace krt::image
