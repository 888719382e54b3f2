#pragma once
// Short-trend records for the tests, written byte by byte at the record's
// offsets in stored (big-endian) order.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "image/bytes.hpp"

namespace krt::test {

inline void PutWord(Bytes& r, std::size_t off, int value) {
  r.at(off) = static_cast<std::uint8_t>((static_cast<std::uint16_t>(value) >> 8) & 0xFF);
  r.at(off + 1) = static_cast<std::uint8_t>(value & 0xFF);
}

inline void PutBytes(Bytes& r, std::size_t off, std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) r.at(off + i) = static_cast<std::uint8_t>(bytes[i]);
}

// Time stamp i: eight words at 6634 + 16 i; words 2 and 7 are not read.
inline void PutStamp(Bytes& r, int i, int year, int month, int day, int hour, int minute, int second) {
  const std::size_t at = 6634 + 16 * static_cast<std::size_t>(i);
  PutWord(r, at + 0, year);
  PutWord(r, at + 2, month);
  PutWord(r, at + 4, 0xFFFF);
  PutWord(r, at + 6, day);
  PutWord(r, at + 8, hour);
  PutWord(r, at + 10, minute);
  PutWord(r, at + 12, second);
  PutWord(r, at + 14, 0xFFFF);
}

// Sample of loop 1 channel c (0..3) at ring index i.
inline void PutLoop1Sample(Bytes& r, int c, int i, int sample) {
  PutWord(r, 226 + 800 * static_cast<std::size_t>(c) + 2 * static_cast<std::size_t>(i), sample);
}

inline Bytes EmptyRecord() {
  return Bytes(13034, 0);
}

// The worked record: interval 10, latest index 5, 8 samples (ring indexes
// 398, 399, 0..5), paused; loop 1 PV1, SP1 (direct), MV1, FN1 with units,
// ranges and decimal points 0..3; loop 2 unused. Each of the eight entries
// holds the same sample in all four loop-1 channels, 10 s apart from
// 2012-03-07 14:38:26.
inline constexpr int kWorkedSamples[8] = {-398, 0, 10000, 5555, -1, 32767, -32768, 25};
inline constexpr int kWorkedRing[8] = {398, 399, 0, 1, 2, 3, 4, 5};

inline Bytes WorkedRecord() {
  Bytes r = EmptyRecord();
  PutWord(r, 0, 1);       // storing status: pause
  PutWord(r, 2, 0x1234);  // reserved words, not read
  PutWord(r, 4, 0x5678);
  PutWord(r, 6, 0);   // alt_names
  PutWord(r, 8, 4);   // sp1_direct
  PutWord(r, 10, 0);  // sp2_direct
  // Loop 1 channel descriptions at 12: units at 12 + 9c.
  PutBytes(r, 12, "U11");
  PutBytes(r, 21, "U12");
  PutBytes(r, 30, "U13");
  PutBytes(r, 39, "U14");
  // Decimal points at 48 + c.
  r[48] = 0;
  r[49] = 1;
  r[50] = 2;
  r[51] = 3;
  // Tags at 52 + 11c; only the function channel's tag is printed.
  PutBytes(r, 52, "TAG11");
  PutBytes(r, 85, "TAG14");
  // Ranges at 96 + 4c (lower) and 98 + 4c (upper).
  PutWord(r, 96, 0);
  PutWord(r, 98, 1000);
  PutWord(r, 100, -500);
  PutWord(r, 102, 500);
  PutWord(r, 104, 100);
  PutWord(r, 106, 200);
  PutWord(r, 108, 0);
  PutWord(r, 110, 10000);
  PutWord(r, 212, 10);  // interval
  PutWord(r, 214, 5);   // latest index
  PutWord(r, 216, 8);   // sample count
  // Loop 1 sources at 218: PV1, SP1, MV1, FN1.
  PutWord(r, 218, 1);
  PutWord(r, 220, 3);
  PutWord(r, 222, 5);
  PutWord(r, 224, 7);
  int second = 26;
  int minute = 38;
  for (int k = 0; k < 8; ++k) {
    for (int c = 0; c < 4; ++c) PutLoop1Sample(r, c, kWorkedRing[k], kWorkedSamples[k]);
    PutStamp(r, kWorkedRing[k], 2012, 3, 7, 14, minute, second);
    second += 10;
    if (second >= 60) {
      second -= 60;
      ++minute;
    }
  }
  // Entries outside the valid ones hold stale data that must not appear.
  for (int c = 0; c < 4; ++c) PutLoop1Sample(r, c, 6, 7777);
  PutStamp(r, 6, 2011, 1, 1, 0, 0, 0);
  PutStamp(r, 397, 2011, 1, 1, 0, 0, 0);
  return r;
}

}  // namespace krt::test
