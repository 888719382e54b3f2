#pragma once
// Byte format of the configuration image: sizes, header offsets and the
// byte-order conversion between stored (big-endian) and working (host) order.
// The field table itself lives in image_layout.cpp.

#include <cstdint>

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

// 1024 bytes below format 2.2, 2048 from 2.2 on (words compared as signed 16-bit).
int ImageSizeFor(std::int16_t major, std::int16_t minor);

// Swaps every 16- and 32-bit field of a 2048-byte image; its own inverse.
// A shorter input is treated as if padded with zeros to 2048 bytes.
Bytes ConvertByteOrder(ByteView image);

// The default image in stored order with an all-zero header.
Bytes DefaultStoredImage();

}  // namespace krt::image
