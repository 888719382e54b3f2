#pragma once
// Block frame of the serial protocol, shared by the host side and the
// device simulator.

#include <cstddef>
#include <cstdint>
#include <span>

namespace krt::link {

inline constexpr std::uint8_t kStx = 0x02;
inline constexpr std::uint8_t kEtx = 0x03;  // a block that more blocks follow
inline constexpr std::uint8_t kEtb = 0x17;  // the last block of a message
inline constexpr std::uint8_t kEnq = 0x05;
inline constexpr std::uint8_t kAck = 0x06;
inline constexpr std::uint8_t kNak = 0x15;
inline constexpr std::uint8_t kEot = 0x04;
inline constexpr std::uint8_t kErrorCommand = '*';

inline constexpr std::size_t kMaxBlockData = 1024;
inline constexpr std::size_t kBlockOverhead = 9;
inline constexpr std::size_t kMaxBlockSize = kMaxBlockData + kBlockOverhead;

// CRC-16/GENIBUS: poly 0x1021, init 0xFFFF, no reflection, final XOR 0xFFFF.
std::uint16_t Crc16(std::span<const std::uint8_t> bytes);

// Writes one block into `out` (at least 9 + data.size() bytes, data at most
// 1024 bytes) and returns its length.
std::size_t BuildBlock(std::uint8_t sequence, std::uint8_t command, std::span<const std::uint8_t> data,
                       std::uint8_t endByte, std::uint8_t* out);

}  // namespace krt::link
