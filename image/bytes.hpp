#pragma once
// Bounds-checked access to big-endian (stored) and little-endian (working)
// fields of byte buffers. Reads outside the buffer give 0, writes outside it
// are dropped: callers check lengths first, these helpers make a slip harmless.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace krt {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

inline bool InRange(ByteView b, std::size_t off, std::size_t n) {
  return off <= b.size() && n <= b.size() - off;
}

inline std::uint8_t U8(ByteView b, std::size_t off) { return InRange(b, off, 1) ? b[off] : 0; }
inline std::int8_t I8(ByteView b, std::size_t off) { return static_cast<std::int8_t>(U8(b, off)); }

inline std::uint16_t BeU16(ByteView b, std::size_t off) {
  if (!InRange(b, off, 2)) return 0;
  return static_cast<std::uint16_t>((b[off] << 8) | b[off + 1]);
}
inline std::int16_t BeI16(ByteView b, std::size_t off) { return static_cast<std::int16_t>(BeU16(b, off)); }
inline std::uint32_t BeU32(ByteView b, std::size_t off) {
  if (!InRange(b, off, 4)) return 0;
  return (std::uint32_t{b[off]} << 24) | (std::uint32_t{b[off + 1]} << 16) | (std::uint32_t{b[off + 2]} << 8) |
         std::uint32_t{b[off + 3]};
}

inline std::uint16_t LeU16(ByteView b, std::size_t off) {
  if (!InRange(b, off, 2)) return 0;
  return static_cast<std::uint16_t>(b[off] | (b[off + 1] << 8));
}
inline std::int16_t LeI16(ByteView b, std::size_t off) { return static_cast<std::int16_t>(LeU16(b, off)); }

inline void SetU8(std::span<std::uint8_t> b, std::size_t off, std::uint8_t v) {
  if (InRange(b, off, 1)) b[off] = v;
}
inline void SetBeU16(std::span<std::uint8_t> b, std::size_t off, std::uint16_t v) {
  if (!InRange(b, off, 2)) return;
  b[off] = static_cast<std::uint8_t>(v >> 8);
  b[off + 1] = static_cast<std::uint8_t>(v);
}
inline void SetBeU32(std::span<std::uint8_t> b, std::size_t off, std::uint32_t v) {
  if (!InRange(b, off, 4)) return;
  for (int i = 0; i < 4; ++i) b[off + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}
inline void SetLeU16(std::span<std::uint8_t> b, std::size_t off, std::uint16_t v) {
  if (!InRange(b, off, 2)) return;
  b[off] = static_cast<std::uint8_t>(v);
  b[off + 1] = static_cast<std::uint8_t>(v >> 8);
}

// A text field of `width` bytes: up to its first NUL, never past the field
// (a field without NUL gives its whole width).
inline std::string_view TextField(ByteView b, std::size_t off, std::size_t width) {
  if (off >= b.size()) return {};
  std::size_t n = 0;
  const std::size_t limit = std::min(width, b.size() - off);
  while (n < limit && b[off + n] != 0) ++n;
  return {reinterpret_cast<const char*>(b.data() + off), n};
}

}  // namespace krt
