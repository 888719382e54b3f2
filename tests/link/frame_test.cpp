#include "link/frame.hpp"

#include <gtest/gtest.h>

#include "support/fake_port.hpp"

namespace krt::link {
namespace {

using test::B;
using test::Block;
using test::Hex;

TEST(Crc16, CheckValues) {
  struct Case {
    const char* name;
    Bytes input;
    std::uint16_t crc;
  } const cases[] = {
      {"123456789", B("123456789"), 0xD64E},
      {"abc", B("abc"), 0xAEB5},
      {"status request", {0x02, 0x00, 0xFF, 0x53, 0x00, 0x00, 0x03}, 0xEAF9},
      {"error frame", {0x02, 0x00, 0xFF, 0x2A, 0x00, 0x00, 0x17}, 0x094E},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Crc16(c.input), c.crc);
  }
}

TEST(BuildBlock, WorkedExamples) {
  struct Case {
    const char* name;
    std::uint8_t sequence;
    std::uint8_t command;
    Bytes data;
    std::uint8_t end;
    Bytes frame;
  } const cases[] = {
      {"status request", 0, 'S', {}, kEtx, {0x02, 0x00, 0xFF, 0x53, 0x00, 0x00, 0x03, 0xEA, 0xF9}},
      {"get CONFIG",
       0,
       'G',
       B("CONFIG"),
       kEtx,
       {0x02, 0x00, 0xFF, 0x47, 0x00, 0x06, 0x43, 0x4F, 0x4E, 0x46, 0x49, 0x47, 0x03, 0x10, 0xA9}},
      {"put CONFIG",
       0,
       'P',
       B("CONFIG"),
       kEtx,
       {0x02, 0x00, 0xFF, 0x50, 0x00, 0x06, 0x43, 0x4F, 0x4E, 0x46, 0x49, 0x47, 0x03, 0x98, 0xC5}},
      {"get TREND",
       0,
       'G',
       B("TREND"),
       kEtx,
       {0x02, 0x00, 0xFF, 0x47, 0x00, 0x05, 0x54, 0x52, 0x45, 0x4E, 0x44, 0x03, 0x85, 0xA7}},
      {"error frame", 0, '*', {}, kEtb, {0x02, 0x00, 0xFF, 0x2A, 0x00, 0x00, 0x17, 0x09, 0x4E}},
      {"status reply",
       0,
       's',
       {0x14, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       kEtb,
       {0x02, 0x00, 0xFF, 0x73, 0x00, 0x10, 0x14, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x17, 0x08, 0x48}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Hex(Block(c.sequence, c.command, c.data, c.end)), Hex(c.frame));
  }
}

TEST(BuildBlock, FullBlockHeaderAndSequenceComplement) {
  const Bytes data(1024, 0x5A);
  const Bytes frame = Block(255, 'p', data, kEtx);
  ASSERT_EQ(frame.size(), 1033u);
  EXPECT_EQ(Hex({frame.data(), 6}), "02 FF 00 70 04 00");
  EXPECT_EQ(frame[1030], kEtx);
  const std::uint16_t crc = Crc16({frame.data(), 1031});
  EXPECT_EQ(frame[1031], crc >> 8);
  EXPECT_EQ(frame[1032], crc & 0xFF);
}

}  // namespace
}  // namespace krt::link
