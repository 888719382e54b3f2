#include "link/frame.hpp"

#include <cstring>

namespace krt::link {

std::uint16_t Crc16(std::span<const std::uint8_t> bytes) {
  std::uint16_t reg = 0xFFFF;
  for (std::uint8_t b : bytes) {
    reg ^= static_cast<std::uint16_t>(b << 8);
    for (int i = 0; i < 8; ++i) {
      reg = (reg & 0x8000) ? static_cast<std::uint16_t>((reg << 1) ^ 0x1021) : static_cast<std::uint16_t>(reg << 1);
    }
  }
  return static_cast<std::uint16_t>(~reg);
}

std::size_t BuildBlock(std::uint8_t sequence, std::uint8_t command, std::span<const std::uint8_t> data,
                       std::uint8_t endByte, std::uint8_t* out) {
  const std::size_t n = data.size();
  out[0] = kStx;
  out[1] = sequence;
  out[2] = static_cast<std::uint8_t>(sequence ^ 0xFF);
  out[3] = command;
  out[4] = static_cast<std::uint8_t>(n >> 8);
  out[5] = static_cast<std::uint8_t>(n);
  if (n != 0) std::memcpy(out + 6, data.data(), n);
  out[6 + n] = endByte;
  const std::uint16_t crc = Crc16({out, 7 + n});
  out[7 + n] = static_cast<std::uint8_t>(crc >> 8);
  out[8 + n] = static_cast<std::uint8_t>(crc);
  return n + kBlockOverhead;
}

}  // namespace krt::link
