#include "link/transfer.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>

#include "support/fake_port.hpp"

namespace krt::link {
namespace {

using test::B;
using test::Block;
using test::Cat;
using test::FakeDevice;
using test::FakePort;
using test::Hex;

const Bytes kAckB{0x06};
const Bytes kNakB{0x15};
const Bytes kEnqB{0x05};
const Bytes kEotB{0x04};
const Bytes kStatusRequest{0x02, 0x00, 0xFF, 0x53, 0x00, 0x00, 0x03, 0xEA, 0xF9};
const Bytes kGetConfig{0x02, 0x00, 0xFF, 0x47, 0x00, 0x06, 0x43, 0x4F, 0x4E, 0x46, 0x49, 0x47, 0x03, 0x10, 0xA9};
const Bytes kPutConfig{0x02, 0x00, 0xFF, 0x50, 0x00, 0x06, 0x43, 0x4F, 0x4E, 0x46, 0x49, 0x47, 0x03, 0x98, 0xC5};
const Bytes kGetTrend{0x02, 0x00, 0xFF, 0x47, 0x00, 0x05, 0x54, 0x52, 0x45, 0x4E, 0x44, 0x03, 0x85, 0xA7};
const Bytes kErrorFrame{0x02, 0x00, 0xFF, 0x2A, 0x00, 0x00, 0x17, 0x09, 0x4E};
// Type code 20 (0x14) and fifteen zero bytes.
const Bytes kStatusReply{0x02, 0x00, 0xFF, 0x73, 0x00, 0x10, 0x14, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                         0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x17, 0x08, 0x48};
const Bytes kStatusData{0x14, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

Bytes Pattern(std::size_t n, std::uint8_t seed = 0) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + seed);
  return b;
}
Bytes Slice(const Bytes& b, std::size_t from, std::size_t n) {
  return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from), b.begin() + static_cast<std::ptrdiff_t>(from + n));
}
Bytes WithCrc(Bytes frame, std::uint16_t crc) {
  frame[frame.size() - 2] = static_cast<std::uint8_t>(crc >> 8);
  frame[frame.size() - 1] = static_cast<std::uint8_t>(crc);
  return frame;
}
// A frame with a checksum that is off by one.
Bytes Corrupt(Bytes frame) {
  frame.back() ^= 0x01;
  return frame;
}

struct Outcome {
  int result = -1;
  int length = -1;
  Bytes reply;
};
using Op = std::function<Outcome(CTransfer&)>;

Op Status(int capacity = 16) {
  return [capacity](CTransfer& t) {
    std::uint8_t buffer[64] = {};
    Outcome o;
    o.result = t.Transact('S', nullptr, 0, 's', buffer, capacity, &o.length, nullptr);
    o.reply.assign(buffer, buffer + std::max(o.length, 0));
    return o;
  };
}
Op Get(const char* area, int capacity) {
  return [area = B(area), capacity](CTransfer& t) {
    Bytes buffer(static_cast<std::size_t>(capacity));
    Outcome o;
    o.result =
        t.Transact('G', area.data(), static_cast<int>(area.size()), 'g', buffer.data(), capacity, &o.length, nullptr);
    o.reply.assign(buffer.begin(), buffer.begin() + std::max(o.length, 0));
    return o;
  };
}
Op Put(Bytes payload) {
  return [payload = std::move(payload)](CTransfer& t) {
    const Bytes area = B("CONFIG");
    Outcome o;
    o.result = t.Send('P', area.data(), 6, 'p', payload.data(), static_cast<int>(payload.size()), nullptr);
    return o;
  };
}
// A request that is the whole message.
Op Whole() {
  return [](CTransfer& t) {
    Outcome o;
    o.result = t.Send('X', nullptr, 0, 0, nullptr, 0, nullptr);
    return o;
  };
}

struct Case {
  const char* name;
  Op op;
  std::function<void(FakePort&)> script;
  int result;
  int length;               // -1: not looked at
  Bytes reply;              // compared when length > 0
  std::int64_t elapsed_ms;  // virtual time the host spent
  std::vector<int> sleeps;  // every Sleep of the host, in order
};

void RunCase(const Case& c) {
  SCOPED_TRACE(c.name);
  FakePort port;
  c.script(port);
  CTransfer transfer(port);
  ASSERT_EQ(transfer.Open("/dev/fake", 57600), 1);
  const Outcome o = c.op(transfer);
  EXPECT_EQ(o.result, c.result);
  if (c.length >= 0) {
    EXPECT_EQ(o.length, c.length);
  }
  if (c.length > 0) {
    EXPECT_EQ(Hex(o.reply), Hex(c.reply));
  }
  EXPECT_EQ(port.ScriptErrors(), "");
  EXPECT_TRUE(port.ScriptDone());
  EXPECT_EQ(port.Now(), c.elapsed_ms);
  EXPECT_EQ(port.Sleeps(), c.sleeps);
  EXPECT_TRUE(port.IsOpen()) << "an exchange never closes the port";
}

const Bytes kUpload = Pattern(2048, 3);
const Bytes kUploadBlock0 = Block(0, 'g', Slice(kUpload, 0, 1024), 0x03);
const Bytes kUploadBlock1 = Block(1, 'g', Slice(kUpload, 1024, 1024), 0x17);
const Bytes kImage = Pattern(2048, 11);

TEST(CTransferWorkedExamples, Table) {
  const Case cases[] = {
      {"status query",
       Status(),
       [](FakePort& p) {
         p.Expect(kStatusRequest).Reply(kAckB).Expect(kEnqB).Reply(kStatusReply).Expect(kAckB).Expect(kEotB);
       },
       1,
       16,
       kStatusData,
       0,
       {}},
      {"upload in two blocks",
       Get("CONFIG", 8192),
       [](FakePort& p) {
         p.Expect(kGetConfig).Reply(kAckB).Expect(kEnqB).Reply(kUploadBlock0).Expect(kAckB).Reply(kUploadBlock1);
         p.Expect(kAckB).Expect(kEotB);
       },
       1,
       2048,
       kUpload,
       0,
       {}},
      {"download in two blocks",
       Put(kImage),
       [](FakePort& p) {
         p.Expect(kPutConfig).Reply(kAckB);
         p.Expect(Block(1, 'p', Slice(kImage, 0, 1024), 0x03)).Reply(kAckB);
         p.Expect(Block(2, 'p', Slice(kImage, 1024, 1024), 0x17)).Reply(Cat({kAckB, kEotB}));
       },
       1,
       -1,
       {},
       0,
       {}},
      {"trend request answered with an error frame",
       Get("TREND", 102400),
       [](FakePort& p) {
         p.Expect(kGetTrend).Reply(kAckB).Expect(kEnqB).Reply(kErrorFrame).Expect(kAckB).Expect(kEotB);
       },
       1,
       0,
       {},
       0,
       {}},
  };
  for (const Case& c : cases) RunCase(c);

  // The device's blocks and the host's data blocks of the examples, header and end byte.
  EXPECT_EQ(Hex(Slice(kUploadBlock0, 0, 6)), "02 00 FF 67 04 00");
  EXPECT_EQ(kUploadBlock0[1030], 0x03);
  EXPECT_EQ(Hex(Slice(kUploadBlock1, 0, 6)), "02 01 FE 67 04 00");
  EXPECT_EQ(kUploadBlock1[1030], 0x17);
}

TEST(CTransferWorkedExamples, DownloadBlocksOnTheLine) {
  FakePort port;
  FakeDevice device(port);
  CTransfer transfer(port);
  ASSERT_EQ(transfer.Open("/dev/fake", 57600), 1);
  const Bytes area = B("CONFIG");
  ASSERT_EQ(transfer.Send('P', area.data(), 6, 'p', kImage.data(), 2048, nullptr), 1);
  const auto& w = port.Writes();
  ASSERT_EQ(w.size(), 3u);
  EXPECT_EQ(Hex(w[0].bytes), Hex(kPutConfig));
  EXPECT_EQ(Hex(Slice(w[1].bytes, 0, 6)), "02 01 FE 70 04 00");
  EXPECT_EQ(w[1].bytes.size(), 1033u);
  EXPECT_EQ(w[1].bytes[1030], 0x03);
  EXPECT_EQ(Hex(Slice(w[2].bytes, 0, 6)), "02 02 FD 70 04 00");
  EXPECT_EQ(w[2].bytes[1030], 0x17);
  EXPECT_EQ(device.downloaded, kImage);
}

// Every row of the failure table, and the edges around it.
TEST(CTransferProtocol, Cases) {
  const Bytes one{0xA5};
  const Bytes putOne = Block(1, 'p', one, 0x17);
  const Bytes data1024 = Pattern(1024, 5);
  const Bytes data1025 = Pattern(1025, 9);
  const Bytes small = Pattern(40, 1);
  const Bytes smallReply = Block(0, 's', small, 0x17);
  const Bytes wrongInverted = Cat({Bytes{0x02, 0x00, 0x00, 0x73, 0x00, 0x28}, small, Bytes{0x17, 0x00, 0x00}});
  const Bytes wrongSequence = Block(1, 's', small, 0x17);
  Bytes tooLong = Cat({Bytes{0x02, 0x00, 0xFF, 0x73, 0x04, 0x01}, small});
  const Bytes twoBlocks0 = Block(0, 'g', data1024, 0x03);
  const Bytes twoBlocks1 = Block(1, 'g', data1024, 0x17);
  Bytes wrongEnd = Block(0, 's', small, 0x17);
  wrongEnd[6 + small.size()] = 0x00;
  wrongEnd = WithCrc(wrongEnd, Crc16({wrongEnd.data(), 7 + small.size()}));

  const Case cases[] = {
      // --- host blocks: silence, NAK, other bytes ---
      {"status: silent device, three attempts with 2000 ms sleeps",
       Status(),
       [](FakePort& p) { p.Expect(kStatusRequest).Expect(kStatusRequest).Expect(kStatusRequest); },
       0,
       0,
       {},
       3 * 3000 + 3 * 2000,
       {2000, 2000, 2000}},
      {"status: silence once, then an answer",
       Status(),
       [&](FakePort& p) {
         p.Expect(kStatusRequest).Expect(kStatusRequest).Reply(kAckB).Expect(kEnqB).Reply(kStatusReply);
         p.Expect(kAckB).Expect(kEotB);
       },
       1,
       16,
       kStatusData,
       5000,
       {2000}},
      {"status: third NAK of the request fails",
       Status(),
       [](FakePort& p) {
         p.Expect(kStatusRequest).Reply(kNakB).Expect(kStatusRequest).Reply(kNakB).Expect(kStatusRequest).Reply(kNakB);
       },
       0,
       0,
       {},
       0,
       {}},
      {"status: two NAKs then ACK",
       Status(),
       [](FakePort& p) {
         p.Expect(kStatusRequest).Reply(kNakB).Expect(kStatusRequest).Reply(kNakB).Expect(kStatusRequest).Reply(kAckB);
         p.Expect(kEnqB).Reply(kStatusReply).Expect(kAckB).Expect(kEotB);
       },
       1,
       16,
       kStatusData,
       0,
       {}},
      {"status: an answer byte other than ACK or NAK fails at once",
       Status(),
       [](FakePort& p) { p.Expect(kStatusRequest).Reply(B("?")); },
       0,
       0,
       {},
       0,
       {}},
      {"download: silent after the request",
       Put(one),
       [](FakePort& p) { p.Expect(kPutConfig).Expect(kPutConfig).Expect(kPutConfig); },
       0,
       -1,
       {},
       15000,
       {2000, 2000, 2000}},
      {"download: NAK on a data block, then ACK",
       Put(data1025),
       [&](FakePort& p) {
         const Bytes b1 = Block(1, 'p', Slice(data1025, 0, 1024), 0x03);
         p.Expect(kPutConfig).Reply(kAckB).Expect(b1).Reply(kNakB).Expect(b1).Reply(kAckB);
         p.Expect(Block(2, 'p', Slice(data1025, 1024, 1), 0x17)).Reply(Cat({kAckB, kEotB}));
       },
       1,
       -1,
       {},
       0,
       {}},
      {"download: third NAK of a data block fails",
       Put(data1025),
       [&](FakePort& p) {
         const Bytes b1 = Block(1, 'p', Slice(data1025, 0, 1024), 0x03);
         p.Expect(kPutConfig).Reply(kAckB);
         p.Expect(b1).Reply(kNakB).Expect(b1).Reply(kNakB).Expect(b1).Reply(kNakB);
       },
       0,
       -1,
       {},
       0,
       {}},
      {"download: NAK then EOT after the last block completes",
       Put(one),
       [&](FakePort& p) {
         p.Expect(kPutConfig).Reply(kAckB).Expect(putOne).Reply(Cat({kNakB, kEotB}));
       },
       1,
       -1,
       {},
       0,
       {}},
      {"download: no EOT after the last block's ACK fails",
       Put(one),
       [&](FakePort& p) { p.Expect(kPutConfig).Reply(kAckB).Expect(putOne).Reply(kAckB); },
       0,
       -1,
       {},
       3000,
       {}},
      {"download: another byte instead of EOT sends the last block again",
       Put(one),
       [&](FakePort& p) {
         p.Expect(kPutConfig).Reply(kAckB).Expect(putOne).Reply(Cat({kAckB, B("x")}));
         p.Expect(putOne).Reply(Cat({kAckB, kEotB}));
       },
       1,
       -1,
       {},
       0,
       {}},
      {"download: another byte instead of EOT, three times",
       Put(one),
       [&](FakePort& p) {
         p.Expect(kPutConfig).Reply(kAckB);
         for (int i = 0; i < 3; ++i) p.Expect(putOne).Reply(Cat({kAckB, B("x")}));
       },
       0,
       -1,
       {},
       0,
       {}},
      {"download: silence after a data block, 2000 ms, sent again",
       Put(one),
       [&](FakePort& p) {
         p.Expect(kPutConfig).Reply(kAckB).Expect(putOne).Expect(putOne).Reply(Cat({kAckB, kEotB}));
       },
       1,
       -1,
       {},
       5000,
       {2000}},
      {"download: 1024 bytes travel as one block ending in ETB",
       Put(data1024),
       [&](FakePort& p) {
         p.Expect(kPutConfig).Reply(kAckB).Expect(Block(1, 'p', data1024, 0x17)).Reply(Cat({kAckB, kEotB}));
       },
       1,
       -1,
       {},
       0,
       {}},
      {"download: 1025 bytes travel as 1024 (ETX) and 1 (ETB)",
       Put(data1025),
       [&](FakePort& p) {
         p.Expect(kPutConfig).Reply(kAckB).Expect(Block(1, 'p', Slice(data1025, 0, 1024), 0x03)).Reply(kAckB);
         p.Expect(Block(2, 'p', Slice(data1025, 1024, 1), 0x17)).Reply(Cat({kAckB, kEotB}));
       },
       1,
       -1,
       {},
       0,
       {}},
      {"download: no data sends the request alone, still ETX",
       Put({}),
       [](FakePort& p) { p.Expect(kPutConfig).Reply(kAckB); },
       1,
       -1,
       {},
       0,
       {}},
      {"whole-message request: ACK then EOT",
       Whole(),
       [](FakePort& p) {
         p.Expect(Block(0, 'X', {}, 0x17)).Reply(Cat({kAckB, kEotB}));
       },
       1,
       -1,
       {},
       0,
       {}},
      // --- reply blocks ---
      {"reply: no STX within 12 s",
       Status(),
       [](FakePort& p) { p.Expect(kStatusRequest).Reply(kAckB).Expect(kEnqB); },
       0,
       0,
       {},
       12000,
       {}},
      {"reply: noise before STX is discarded",
       Status(),
       [&](FakePort& p) {
         p.Expect(kStatusRequest).Reply(kAckB).Expect(kEnqB).Reply(Cat({Bytes{0x41, 0xFF, 0x00, 0x17}, kStatusReply}));
         p.Expect(kAckB).Expect(kEotB);
       },
       1,
       16,
       kStatusData,
       0,
       {}},
      {"reply: wrong checksum, NAK, good copy",
       Status(),
       [&](FakePort& p) {
         p.Expect(kStatusRequest).Reply(kAckB).Expect(kEnqB).Reply(Corrupt(kStatusReply));
         p.Expect(kNakB).Reply(kStatusReply).Expect(kAckB).Expect(kEotB);
       },
       1,
       16,
       kStatusData,
       0,
       {}},
      {"reply: wrong checksum three times",
       Status(),
       [&](FakePort& p) {
         p.Expect(kStatusRequest).Reply(kAckB).Expect(kEnqB).Reply(Corrupt(kStatusReply));
         p.Expect(kNakB).Reply(Corrupt(kStatusReply)).Expect(kNakB).Reply(Corrupt(kStatusReply)).Expect(kNakB);
       },
       0,
       -1,
       {},
       0,
       {}},
      {"reply: inverted sequence wrong, drain, good block later",
       Status(64),
       [&](FakePort& p) {
         p.Expect(kStatusRequest).Reply(kAckB).Expect(kEnqB).Reply(wrongInverted).Reply(smallReply, 500);
         p.Expect(kAckB).Expect(kEotB);
       },
       1,
       40,
       small,
       500,
       {100}},
      {"reply: unexpected sequence, drain, good block later",
       Status(64),
       [&](FakePort& p) {
         p.Expect(kStatusRequest).Reply(kAckB).Expect(kEnqB).Reply(wrongSequence).Reply(smallReply, 500);
         p.Expect(kAckB).Expect(kEotB);
       },
       1,
       40,
       small,
       500,
       {100}},
      {"reply: length 1025, drain, good block later",
       Status(64),
       [&](FakePort& p) {
         p.Expect(kStatusRequest).Reply(kAckB).Expect(kEnqB).Reply(tooLong).Reply(smallReply, 500);
         p.Expect(kAckB).Expect(kEotB);
       },
       1,
       40,
       small,
       500,
       {100}},
      {"reply: bad header three times fails",
       Status(64),
       [&](FakePort& p) {
         p.Expect(kStatusRequest).Reply(kAckB).Expect(kEnqB);
         p.Reply(wrongInverted).Reply(wrongInverted, 1000).Reply(wrongInverted, 2000);
       },
       0,
       0,
       {},
       2100,
       {100, 100, 100}},
      {"reply: a drain gives up on input that never falls quiet", Status(64),
       [&](FakePort& p) {
         p.Expect(kStatusRequest).Reply(kAckB).Expect(kEnqB).Reply(wrongInverted);
         for (int t = 50; t <= 3000; t += 50) p.Reply({0x55}, t);
         p.Reply(smallReply, 3500).Expect(kAckB).Expect(kEotB);
       },
       1, 40, small, 3500, std::vector<int>(20, 100)},
      {"reply: header missing, drain, wait again",
       Status(64),
       [&](FakePort& p) {
         p.Expect(kStatusRequest).Reply(kAckB).Expect(kEnqB).Reply({0x02, 0x00}).Reply(smallReply, 3500);
         p.Expect(kAckB).Expect(kEotB);
       },
       1,
       40,
       small,
       3500,
       {100}},
      {"reply: end byte neither ETX nor ETB, wait again without NAK",
       Status(64),
       [&](FakePort& p) {
         p.Expect(kStatusRequest).Reply(kAckB).Expect(kEnqB).Reply(wrongEnd).Reply(smallReply, 200);
         p.Expect(kAckB).Expect(kEotB);
       },
       1,
       40,
       small,
       200,
       {}},
      {"reply: trailer missing, wait again",
       Status(64),
       [&](FakePort& p) {
         p.Expect(kStatusRequest).Reply(kAckB).Expect(kEnqB).Reply(Slice(smallReply, 0, 46)).Reply(smallReply, 3200);
         p.Expect(kAckB).Expect(kEotB);
       },
       1,
       40,
       small,
       3200,
       {}},
      {"reply: unexpected command fails without ACK, NAK or EOT",
       Status(64),
       [&](FakePort& p) { p.Expect(kStatusRequest).Reply(kAckB).Expect(kEnqB).Reply(Block(0, 'g', small, 0x17)); },
       0,
       0,
       {},
       0,
       {}},
      {"reply: larger than the capacity, the overflow is acknowledged and dropped",
       Get("CONFIG", 1500),
       [&](FakePort& p) {
         p.Expect(kGetConfig).Reply(kAckB).Expect(kEnqB).Reply(twoBlocks0).Expect(kAckB).Reply(twoBlocks1);
         p.Expect(kAckB).Expect(kEotB);
       },
       1,
       1024,
       data1024,
       0,
       {}},
      {"reply: data then an error frame gives length 0",
       Get("CONFIG", 8192),
       [&](FakePort& p) {
         p.Expect(kGetConfig).Reply(kAckB).Expect(kEnqB).Reply(twoBlocks0).Expect(kAckB).Reply(kErrorFrame);
         p.Expect(kAckB).Expect(kEotB);
       },
       1,
       0,
       {},
       0,
       {}},
      {"reply: an error frame is taken whatever its sequence",
       Get("CONFIG", 8192),
       [&](FakePort& p) {
         p.Expect(kGetConfig).Reply(kAckB).Expect(kEnqB).Reply(Block(7, '*', {}, 0x17)).Expect(kAckB).Expect(kEotB);
       },
       1,
       0,
       {},
       0,
       {}},
  };
  for (const Case& c : cases) RunCase(c);
}

TEST(CTransferProtocol, WriteTimesShowTheRetrySleep) {
  FakePort port;
  port.Expect(kStatusRequest).Expect(kStatusRequest).Expect(kStatusRequest);
  CTransfer transfer(port);
  ASSERT_EQ(transfer.Open("/dev/fake", 57600), 1);
  std::uint8_t buffer[16];
  int length = -1;
  EXPECT_EQ(transfer.Transact('S', nullptr, 0, 's', buffer, 16, &length, nullptr), 0);
  ASSERT_EQ(port.Writes().size(), 3u);
  EXPECT_EQ(port.Writes()[1].at_ms, 5000);
  EXPECT_EQ(port.Writes()[2].at_ms, 10000);
}

TEST(CTransferProtocol, SequenceNumbersWrapInLongMessages) {
  // 300 blocks each way: the sequence byte passes 255 and starts again at 0.
  FakePort port;
  FakeDevice device(port);
  device.trend = Pattern(300, 17);
  device.block_size = 1;
  CTransfer transfer(port);
  ASSERT_EQ(transfer.Open("/dev/fake", 57600), 1);

  Bytes reply(400);
  int length = 0;
  const Bytes trend = B("TREND");
  ASSERT_EQ(transfer.Transact('G', trend.data(), 5, 'g', reply.data(), 400, &length, nullptr), 1);
  EXPECT_EQ(length, 300);
  EXPECT_EQ(Slice(reply, 0, 300), device.trend);

  const Bytes payload = Pattern(300 * 1024 + 7, 29);
  const Bytes area = B("CONFIG");
  const std::size_t before = port.Writes().size();
  ASSERT_EQ(transfer.Send('P', area.data(), 6, 'p', payload.data(), static_cast<int>(payload.size()), nullptr), 1);
  EXPECT_EQ(device.downloaded, payload);
  const auto& w = port.Writes();
  ASSERT_EQ(w.size() - before, 1u + 301u);
  // Data block k carries sequence k modulo 256.
  EXPECT_EQ(Hex(Slice(w[before + 255].bytes, 0, 4)), "02 FF 00 70");
  EXPECT_EQ(Hex(Slice(w[before + 256].bytes, 0, 4)), "02 00 FF 70");
  EXPECT_EQ(Hex(Slice(w[before + 257].bytes, 0, 4)), "02 01 FE 70");
  EXPECT_EQ(Hex(Slice(w.back().bytes, 0, 6)), "02 2D D2 70 00 07");
}

TEST(CTransferProtocol, CancelFlagEndsTheWait) {
  struct CaseC {
    const char* name;
    std::function<void(FakePort&)> script;
    std::int64_t elapsed_ms;
  } const cases[] = {
      {"silent device", [](FakePort& p) { p.Expect(kStatusRequest); }, 0},
      {"no reply block", [](FakePort& p) { p.Expect(kStatusRequest).Reply(kAckB).Expect(kEnqB); }, 0},
  };
  for (const CaseC& c : cases) {
    SCOPED_TRACE(c.name);
    FakePort port;
    c.script(port);
    CancelFlag cancel{0};
    // The user gives up as soon as the host has written its last scripted bytes.
    port.SetReaction([&](ByteView) {
      if (port.ScriptDone()) cancel = 1;
    });
    CTransfer transfer(port);
    ASSERT_EQ(transfer.Open("/dev/fake", 57600), 1);
    std::uint8_t buffer[16];
    int length = -1;
    EXPECT_EQ(transfer.Transact('S', nullptr, 0, 's', buffer, 16, &length, &cancel), 0);
    EXPECT_EQ(port.ScriptErrors(), "");
    EXPECT_EQ(port.Now(), c.elapsed_ms);
  }
}

TEST(CTransferProtocol, DeviceGoneEndsTheExchangeAtOnce) {
  struct CaseG {
    const char* name;
    std::size_t gone_after_writes;
    bool upload;
  } const cases[] = {
      {"before the answer to the request", 1, true},
      {"while the reply block is awaited", 2, true},
      {"before the answer to a data block", 2, false},
  };
  for (const CaseG& c : cases) {
    SCOPED_TRACE(c.name);
    FakePort port;
    FakeDevice device(port);
    device.config = Pattern(2048);
    port.VanishAfterWrites(c.gone_after_writes);
    CTransfer transfer(port);
    ASSERT_EQ(transfer.Open("/dev/fake", 57600), 1);
    Bytes buffer(4096);
    int length = 0;
    const Bytes area = B("CONFIG");
    const Bytes image = Pattern(2048);
    const int result = c.upload ? transfer.Transact('G', area.data(), 6, 'g', buffer.data(), 4096, &length, nullptr)
                                : transfer.Send('P', area.data(), 6, 'p', image.data(), 2048, nullptr);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(port.Writes().size(), c.gone_after_writes);
    EXPECT_EQ(port.Now(), 0) << "no waiting on a vanished device";
    EXPECT_TRUE(port.Sleeps().empty());
  }
}

TEST(CTransferProtocol, WriteFailureFails) {
  FakePort port;
  CTransfer transfer(port);
  ASSERT_EQ(transfer.Open("/dev/fake", 57600), 1);
  port.SetGone(true);
  std::uint8_t buffer[16];
  int length = -1;
  EXPECT_EQ(transfer.Transact('S', nullptr, 0, 's', buffer, 16, &length, nullptr), 0);
  EXPECT_EQ(port.Writes().size(), 0u);
  EXPECT_EQ(port.Now(), 0);
}

TEST(CTransferProtocol, NoPortHeld) {
  FakePort port;
  CTransfer transfer(port);
  std::uint8_t buffer[16];
  int length = -1;
  EXPECT_EQ(transfer.Transact('S', nullptr, 0, 's', buffer, 16, &length, nullptr), 0);
  EXPECT_EQ(length, 0);
  const Bytes area = B("CONFIG");
  EXPECT_EQ(transfer.Send('P', area.data(), 6, 'p', area.data(), 6, nullptr), 0);
  EXPECT_EQ(port.open_calls, 0) << "constructing opens no port";
  EXPECT_TRUE(port.Writes().empty());
}

TEST(CTransferProtocol, RequestLongerThanABlockIsRefused) {
  FakePort port;
  CTransfer transfer(port);
  ASSERT_EQ(transfer.Open("/dev/fake", 57600), 1);
  const Bytes big(1025, 0);
  std::uint8_t buffer[16];
  int length = -1;
  EXPECT_EQ(transfer.Transact('G', big.data(), 1025, 'g', buffer, 16, &length, nullptr), 0);
  EXPECT_EQ(transfer.Send('P', big.data(), 1025, 'p', big.data(), 1, nullptr), 0);
  EXPECT_TRUE(port.Writes().empty());
}

TEST(CTransferProtocol, EveryExchangeStartsWithAPurge) {
  FakePort port;
  FakeDevice device(port);
  CTransfer transfer(port);
  ASSERT_EQ(transfer.Open("/dev/fake", 57600), 1);
  // Left-overs of an earlier exchange are not read as part of the next one.
  port.Deliver(kStatusReply);
  std::uint8_t buffer[16];
  int length = -1;
  EXPECT_EQ(transfer.Transact('S', nullptr, 0, 's', buffer, 16, &length, nullptr), 1);
  EXPECT_EQ(port.purge_calls, 1);
  EXPECT_EQ(Hex(port.Writes()[0].bytes), Hex(kStatusRequest));
}

TEST(CTransferProgress, ReportsBytesMoved) {
  FakePort port;
  FakeDevice device(port);
  device.config = Pattern(2500);
  CTransfer transfer(port);
  std::vector<std::size_t> seen;
  transfer.SetProgress([&](std::size_t n) { seen.push_back(n); });
  ASSERT_EQ(transfer.Open("/dev/fake", 57600), 1);
  Bytes buffer(8192);
  int length = 0;
  const Bytes area = B("CONFIG");
  ASSERT_EQ(transfer.Transact('G', area.data(), 6, 'g', buffer.data(), 8192, &length, nullptr), 1);
  EXPECT_EQ(seen, (std::vector<std::size_t>{1024, 2048, 2500}));
  seen.clear();
  ASSERT_EQ(transfer.Send('P', area.data(), 6, 'p', buffer.data(), 2048, nullptr), 1);
  EXPECT_EQ(seen, (std::vector<std::size_t>{1024, 2048}));
}

TEST(CTransferTrace, FramesAsHex) {
  FakePort port;
  port.Expect(kStatusRequest)
      .Reply(kAckB)
      .Expect(kEnqB)
      .Reply(Cat({B("zz"), kStatusReply}))
      .Expect(kAckB)
      .Expect(kEotB);
  CTransfer transfer(port);
  std::vector<std::string> lines;
  transfer.SetTrace(Trace([&](const std::string& line) { lines.push_back(line); }));
  ASSERT_EQ(transfer.Open("/dev/fake", 57600), 1);
  std::uint8_t buffer[16];
  int length = -1;
  ASSERT_EQ(transfer.Transact('S', nullptr, 0, 's', buffer, 16, &length, nullptr), 1);
  transfer.Close();

  // Each line: "krtcfg HH:MM:SS.mmm " and then what moved.
  std::vector<std::string> bodies;
  for (const std::string& line : lines) {
    ASSERT_GE(line.size(), 20u);
    EXPECT_EQ(line.substr(0, 7), "krtcfg ");
    EXPECT_EQ(line[9], ':');
    EXPECT_EQ(line[15], '.');
    EXPECT_EQ(line.back(), '\n');
    bodies.push_back(line.substr(20, line.size() - 21));
  }
  const std::vector<std::string> expected = {
      "-- open /dev/fake at 57600 baud: ok",
      "TX 02 00 FF 53 00 00 03 EA F9",
      "RX 06",
      "TX 05",
      "RX 7A 7A (discarded before STX)",
      "RX 02 00 FF 73 00 10 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 17 08 48",
      "TX 06",
      "TX 04",
      "-- close",
  };
  EXPECT_EQ(bodies, expected);
}

}  // namespace
}  // namespace krt::link

namespace krt::link {
namespace {

TEST(CTransferTrace, OnlyWithKrtcfgTraceOne) {
  struct Case {
    const char* value;  // nullptr: not set
    bool on;
  } const cases[] = {{nullptr, false}, {"0", false}, {"", false}, {"yes", false}, {"1", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value != nullptr ? c.value : "(unset)");
    if (c.value != nullptr) {
      setenv("KRTCFG_TRACE", c.value, 1);
    } else {
      unsetenv("KRTCFG_TRACE");
    }
    EXPECT_EQ(Trace::FromEnvironment().On(), c.on);
  }
  unsetenv("KRTCFG_TRACE");
}

}  // namespace
}  // namespace krt::link
