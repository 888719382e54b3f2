// The simulated device, fed bytes in-process: every command as on the line,
// damaged host blocks, time-outs and each injected fault.

#include "sim/device.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "link/frame.hpp"

namespace krt::sim {
namespace {

Bytes Hex(const std::string& text) {
  Bytes out;
  std::istringstream in(text);
  std::string token;
  while (in >> token) out.push_back(static_cast<std::uint8_t>(std::stoul(token, nullptr, 16)));
  return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Pattern(std::size_t n, std::uint8_t salt = 0) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + salt + (i >> 8));
  return b;
}

Bytes Slice(const Bytes& b, std::size_t off, std::size_t n) {
  return Bytes(b.begin() + static_cast<std::ptrdiff_t>(off), b.begin() + static_cast<std::ptrdiff_t>(off + n));
}

// A whole block with its checksum, for data too long to write out; the frame
// code is checked against the documented examples in the link tests.
Bytes Block(std::uint8_t seq, std::uint8_t cmd, const Bytes& data, std::uint8_t end) {
  Bytes b(data.size() + link::kBlockOverhead);
  link::BuildBlock(seq, cmd, data, end, b.data());
  return b;
}

Bytes WithBadChecksum(Bytes block) {
  block.back() ^= 0xFF;
  return block;
}

// The host's requests exactly as documented.
const Bytes kStatusRequest = Hex("02 00 FF 53 00 00 03 EA F9");
const Bytes kGetConfig = Hex("02 00 FF 47 00 06 43 4F 4E 46 49 47 03 10 A9");
const Bytes kPutConfig = Hex("02 00 FF 50 00 06 43 4F 4E 46 49 47 03 98 C5");
const Bytes kGetTrend = Hex("02 00 FF 47 00 05 54 52 45 4E 44 03 85 A7");
// The documented status reply of a KRT610 (type code 0x14).
const Bytes kStatusReply = Hex("02 00 FF 73 00 10 14 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 17 08 48");
const Bytes kAck = {0x06};
const Bytes kNak = {0x15};
const Bytes kEnq = {0x05};
const Bytes kAckEot = {0x06, 0x04};
const Bytes kNakEot = {0x15, 0x04};
const Bytes kNothing = {};

const Bytes kImage = Pattern(2048);
const Bytes kDownload = Pattern(2048, 99);
const Bytes kRecord = Pattern(13034, 3);
// The two data blocks of a 2048-byte download; headers as documented.
const Bytes kData1 = Concat({Hex("02 01 FE 70 04 00"), Slice(kDownload, 0, 1024)});
const Bytes kData2 = Concat({Hex("02 02 FD 70 04 00"), Slice(kDownload, 1024, 1024)});
const Bytes kDataBlock1 = Block(1, 'p', Slice(kDownload, 0, 1024), 0x03);
const Bytes kDataBlock2 = Block(2, 'p', Slice(kDownload, 1024, 1024), 0x17);

DeviceSetup MakeSetup(FaultOptions faults = {}) {
  DeviceSetup s;
  s.type_code = 20;
  s.config_image = kImage;
  s.trend_record = kRecord;
  s.faults = std::move(faults);
  return s;
}

// A device and its clock; every send moves time on by a millisecond.
class Line {
 public:
  explicit Line(DeviceSetup setup) : device(std::move(setup)) {}
  Bytes Send(const Bytes& bytes) {
    now += SimTime(1000);
    device.Receive(bytes, now);
    return device.TakeOutput();
  }
  Bytes Wait(SimTime d) {
    now += d;
    device.Advance(now);
    return device.TakeOutput();
  }
  SimulatedDevice device;
  SimTime now{0};
};

// One step of a scripted exchange: optionally let time pass, send bytes,
// expect the device's answer exactly.
struct Step {
  Bytes send;
  Bytes expect;
  SimTime wait_before{0};
};

void Play(Line& line, const std::vector<Step>& steps) {
  for (std::size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE("step " + std::to_string(i));
    Bytes got;
    if (steps[i].wait_before.count() != 0) got = line.Wait(steps[i].wait_before);
    if (!steps[i].send.empty()) {
      const Bytes more = line.Send(steps[i].send);
      got.insert(got.end(), more.begin(), more.end());
    }
    EXPECT_EQ(got, steps[i].expect);
  }
}

// ---------------------------------------------------------------- commands

TEST(SimulatedDevice, AnswersTheStatusQueryAsDocumented) {
  Line line(MakeSetup());
  Play(line, {{kStatusRequest, kAck}, {kEnq, kStatusReply}, {kAckEot, kNothing}});
  EXPECT_EQ(line.device.NextDeadline(), std::nullopt);
}

TEST(SimulatedDevice, UploadsItsImageInTwoBlocks) {
  Line line(MakeSetup());
  Play(line, {{kGetConfig, kAck},
              {kEnq, Block(0, 'g', Slice(kImage, 0, 1024), 0x03)},
              {kAck, Block(1, 'g', Slice(kImage, 1024, 1024), 0x17)},
              {kAckEot, kNothing}});
  // The same blocks, their frames written out.
  Line again(MakeSetup());
  again.Send(kGetConfig);
  const Bytes first = again.Send(kEnq);
  ASSERT_EQ(first.size(), 1033u);
  EXPECT_EQ(Slice(first, 0, 6), Hex("02 00 FF 67 04 00"));
  EXPECT_EQ(first[1030], 0x03);
  const Bytes second = again.Send(kAck);
  ASSERT_EQ(second.size(), 1033u);
  EXPECT_EQ(Slice(second, 0, 6), Hex("02 01 FE 67 04 00"));
  EXPECT_EQ(second[1030], 0x17);
}

TEST(SimulatedDevice, KeepsADownloadAndServesItAfterwards) {
  Line line(MakeSetup());
  EXPECT_EQ(Slice(kDataBlock1, 0, kData1.size()), kData1);
  EXPECT_EQ(Slice(kDataBlock2, 0, kData2.size()), kData2);
  Play(line, {{kPutConfig, kAck}, {kDataBlock1, kAck}, {kDataBlock2, kAckEot}});
  EXPECT_EQ(line.device.TakeDownload(), kDownload);
  EXPECT_EQ(line.device.TakeDownload(), std::nullopt);
  EXPECT_EQ(line.device.ErrorCode(), 0);
  Play(line, {{kStatusRequest, kAck}, {kEnq, kStatusReply}, {kAckEot, kNothing}});
  Play(line, {{kGetConfig, kAck}, {kEnq, Block(0, 'g', Slice(kDownload, 0, 1024), 0x03)}});
}

TEST(SimulatedDevice, UploadsTheShortTrendRecordInThirteenBlocks) {
  Line line(MakeSetup());
  EXPECT_EQ(line.Send(kGetTrend), kAck);
  Bytes received;
  Bytes block = line.Send(kEnq);
  for (int i = 0; i < 13; ++i) {
    SCOPED_TRACE(i);
    const std::size_t n = i < 12 ? 1024 : 13034 - 12 * 1024;
    ASSERT_EQ(block.size(), n + 9);
    EXPECT_EQ(block[1], i);
    EXPECT_EQ(block[2], 255 - i);
    EXPECT_EQ(block[3], 'g');
    EXPECT_EQ(block[6 + n], i < 12 ? 0x03 : 0x17);
    received.insert(received.end(), block.begin() + 6, block.begin() + 6 + static_cast<std::ptrdiff_t>(n));
    block = line.Send(kAck);
  }
  EXPECT_EQ(block, kNothing);
  EXPECT_EQ(received, kRecord);
}

TEST(SimulatedDevice, WithoutShortTrendAnswersTheTrendRequestWithAnErrorFrame) {
  DeviceSetup setup = MakeSetup();
  setup.type_code = 10;
  setup.has_trend = false;
  Line line(std::move(setup));
  Play(line, {{kGetTrend, kAck}, {kEnq, Hex("02 00 FF 2A 00 00 17 09 4E")}, {kAckEot, kNothing}});
}

TEST(SimulatedDevice, SplitsRepliesIntoTheChosenBlockSize) {
  DeviceSetup setup = MakeSetup();
  setup.block_size = 100;
  Line line(std::move(setup));
  line.Send(kGetConfig);
  Bytes block = line.Send(kEnq);
  for (std::size_t i = 0; i < 21; ++i) {
    SCOPED_TRACE(i);
    const std::size_t n = i < 20 ? 100 : 48;
    EXPECT_EQ(block, Block(static_cast<std::uint8_t>(i), 'g', Slice(kImage, i * 100, n), i < 20 ? 0x03 : 0x17));
    block = line.Send(kAck);
  }
  EXPECT_EQ(block, kNothing);
}

// ------------------------------------------------------ the host's mistakes

struct ScriptCase {
  const char* name;
  std::vector<Step> steps;
  int error_code;                 // status byte 2 afterwards
  std::optional<Bytes> download;  // what the device keeps
};

class HostMistakes : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(HostMistakes, DeviceAnswersLikeADevice) {
  Line line(MakeSetup());
  Play(line, GetParam().steps);
  EXPECT_EQ(line.device.ErrorCode(), GetParam().error_code);
  EXPECT_EQ(line.device.TakeDownload(), GetParam().download);
}

const SimTime kMs{1000};

INSTANTIATE_TEST_SUITE_P(
    Cases, HostMistakes,
    ::testing::Values(
        ScriptCase{"RequestWithWrongChecksumThenGoodCopy",
                   {{WithBadChecksum(kStatusRequest), kNak}, {kStatusRequest, kAck}, {kEnq, kStatusReply}},
                   0,
                   std::nullopt},
        ScriptCase{"UnknownCommand", {{Block(0, 'X', {}, 0x03), kNak}}, 0, std::nullopt},
        ScriptCase{"UnknownArea", {{Block(0, 'G', {'F', 'O', 'O'}, 0x03), kNak}}, 0, std::nullopt},
        ScriptCase{"RequestNotNumberedZero", {{Block(1, 'S', {}, 0x03), kNak}}, 0, std::nullopt},
        ScriptCase{"EndByteNeitherEtxNorEtb", {{Block(0, 'S', {}, 0x05), kNak}}, 0, std::nullopt},
        ScriptCase{"DataWithoutPutRequest", {{kDataBlock2, kNak}}, 0, std::nullopt},
        ScriptCase{"StrayControlBytesAreIgnored",
                   {{Hex("06 04 05 15 00 FF"), kNothing}, {kStatusRequest, kAck}},
                   0,
                   std::nullopt},
        ScriptCase{
            "DamagedDataBlockThenGoodCopy",
            {{kPutConfig, kAck}, {WithBadChecksum(kDataBlock1), kNak}, {kDataBlock1, kAck}, {kDataBlock2, kAckEot}},
            0,
            kDownload},
        ScriptCase{"DamagedLastBlockEndsWithNakEotAndAnError",
                   {{kPutConfig, kAck}, {kDataBlock1, kAck}, {WithBadChecksum(kDataBlock2), kNakEot}},
                   kErrorImageRejected,
                   std::nullopt},
        ScriptCase{"RepeatedDataBlockIsAcknowledgedOnce",
                   {{kPutConfig, kAck}, {kDataBlock1, kAck}, {kDataBlock1, kAck}, {kDataBlock2, kAckEot}},
                   0,
                   kDownload},
        ScriptCase{"SkippedSequenceIsRefused",
                   {{kPutConfig, kAck}, {Block(2, 'p', Slice(kDownload, 0, 1024), 0x03), kNak}},
                   0,
                   std::nullopt},
        ScriptCase{"DownloadTooLargeIsRefused",
                   {{kPutConfig, kAck},
                    {Block(1, 'p', Pattern(1024), 0x03), kAck},
                    {Block(2, 'p', Pattern(1024), 0x03), kAck},
                    {Block(3, 'p', Pattern(1024), 0x03), kAck},
                    {Block(4, 'p', Pattern(1024), 0x03), kAck},
                    {Block(5, 'p', Pattern(1024), 0x03), kAck},
                    {Block(6, 'p', Pattern(1024), 0x03), kAck},
                    {Block(7, 'p', Pattern(1024), 0x03), kAck},
                    {Block(8, 'p', Pattern(1024), 0x03), kAck},
                    {Block(9, 'p', Pattern(1), 0x17), kNakEot}},
                   kErrorImageRejected,
                   std::nullopt},
        ScriptCase{"HostNakSendsTheReplyBlockAgain",
                   {{kStatusRequest, kAck}, {kEnq, kStatusReply}, {kNak, kStatusReply}, {kAckEot, kNothing}},
                   0,
                   std::nullopt},
        ScriptCase{"NewRequestAbandonsADownload",
                   {{kPutConfig, kAck}, {kDataBlock1, kAck}, {kStatusRequest, kAck}, {kDataBlock2, kNak}},
                   0,
                   std::nullopt},
        // The length of a damaged header cannot be trusted: NAK once the line is quiet.
        ScriptCase{"DamagedHeaderIsNakedWhenQuiet",
                   {{Hex("02 00 00 53 00 00 03 EA F9"), kNothing},
                    {{}, kNothing, 10 * kMs},
                    {{}, kNak, 20 * kMs},
                    {kStatusRequest, kAck}},
                   0,
                   std::nullopt},
        ScriptCase{"LengthAbove1024IsNakedWhenQuiet",
                   {{Hex("02 00 FF 53 04 01 00 00"), kNothing}, {Hex("00 00"), kNothing}, {{}, kNak, 25 * kMs}},
                   0,
                   std::nullopt},
        ScriptCase{"BlockBrokenOffIsForgotten",
                   {{Hex("02 00 FF 53 00"), kNothing}, {{}, kNothing, 600 * kMs}, {kStatusRequest, kAck}},
                   0,
                   std::nullopt},
        // Without ACK the reply block goes out again each second, four times in all.
        ScriptCase{"UnansweredReplyIsSentAgainThenGivenUp",
                   {{kStatusRequest, kAck},
                    {kEnq, kStatusReply},
                    {{}, kNothing, 990 * kMs},
                    {{}, kStatusReply, 20 * kMs},
                    {{}, kStatusReply, 1000 * kMs},
                    {{}, kStatusReply, 1000 * kMs},
                    {{}, kNothing, 1000 * kMs},
                    {kAck, kNothing}},
                   0,
                   std::nullopt}),
    [](const ::testing::TestParamInfo<ScriptCase>& info) { return std::string(info.param.name); });

// ------------------------------------------------------------------ faults

struct FaultCase {
  const char* name;
  FaultOptions faults;
  std::vector<Step> steps;
  int error_code;
  std::optional<Bytes> download;
  bool vanished;
};

FaultOptions With(void (*set)(FaultOptions&)) {
  FaultOptions f;
  set(f);
  return f;
}

class Faults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(Faults, AreInjectedAsAsked) {
  Line line(MakeSetup(GetParam().faults));
  Play(line, GetParam().steps);
  EXPECT_EQ(line.device.ErrorCode(), GetParam().error_code);
  EXPECT_EQ(line.device.TakeDownload(), GetParam().download);
  EXPECT_EQ(line.device.Vanished(), GetParam().vanished);
}

const std::array<std::uint8_t, 16> kStatusBytes = {0x14, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const Bytes kStatusData(kStatusBytes.begin(), kStatusBytes.end());

INSTANTIATE_TEST_SUITE_P(
    Cases, Faults,
    ::testing::Values(
        FaultCase{"NakOnceThenGoodCopy",
                  With([](FaultOptions& f) { f.nak_blocks = 1; }),
                  {{kStatusRequest, kNak}, {kStatusRequest, kAck}, {kEnq, kStatusReply}},
                  0,
                  std::nullopt,
                  false},
        FaultCase{"NakOnlyWhereAsked",
                  With([](FaultOptions& f) {
                    f.nak_blocks = 2;
                    f.commands = "P";
                  }),
                  {{kStatusRequest, kAck},
                   {kEnq, kStatusReply},
                   {kAckEot, kNothing},
                   {kPutConfig, kNak},
                   {kPutConfig, kNak},
                   {kPutConfig, kAck},
                   {kDataBlock1, kAck},
                   {kDataBlock2, kAckEot}},
                  0,
                  kDownload,
                  false},
        FaultCase{"Silent",
                  With([](FaultOptions& f) { f.silent = true; }),
                  {{kStatusRequest, kNothing}, {kEnq, kNothing}, {kGetConfig, kNothing}, {{}, kNothing, 5000 * kMs}},
                  0,
                  std::nullopt,
                  false},
        FaultCase{"SilentOnlyForUploads",
                  With([](FaultOptions& f) {
                    f.silent = true;
                    f.commands = "G";
                  }),
                  {{kStatusRequest, kAck}, {kEnq, kStatusReply}, {kAckEot, kNothing}, {kGetConfig, kNothing}},
                  0,
                  std::nullopt,
                  false},
        FaultCase{"SilentAfterRequest",
                  With([](FaultOptions& f) { f.silent_after_request = true; }),
                  {{kStatusRequest, kAck}, {kEnq, kNothing}, {{}, kNothing, 5000 * kMs}},
                  0,
                  std::nullopt,
                  false},
        FaultCase{"SilentAfterDownloadRequest",
                  With([](FaultOptions& f) { f.silent_after_request = true; }),
                  {{kPutConfig, kAck}, {kDataBlock1, kNothing}, {kDataBlock2, kNothing}},
                  0,
                  std::nullopt,
                  false},
        FaultCase{"CorruptChecksumOnce",
                  With([](FaultOptions& f) { f.corrupt_crc_blocks = 1; }),
                  {{kStatusRequest, kAck}, {kEnq, WithBadChecksum(kStatusReply)}, {kNak, kStatusReply}},
                  0,
                  std::nullopt,
                  false},
        FaultCase{"NoiseBeforeEveryBlock",
                  With([](FaultOptions& f) { f.noise_bytes = 3; }),
                  {{kStatusRequest, kAck},
                   {kEnq, Concat({Hex("FF 00 55"), kStatusReply})},
                   {kNak, Concat({Hex("AA 06 15"), kStatusReply})}},
                  0,
                  std::nullopt,
                  false},
        FaultCase{"ErrorFrameEndsTheReply",
                  With([](FaultOptions& f) { f.error_frame = true; }),
                  {{kStatusRequest, kAck},
                   {kEnq, Block(0, 's', kStatusData, 0x03)},
                   {kAck, Block(1, '*', {}, 0x17)},
                   {kAckEot, kNothing}},
                  0,
                  std::nullopt,
                  false},
        FaultCase{"DeviceErrorAfterDownloadKeepsTheOldImage",
                  With([](FaultOptions& f) { f.device_error = 5; }),
                  {{kPutConfig, kAck},
                   {kDataBlock1, kAck},
                   {kDataBlock2, kAckEot},
                   {kStatusRequest, kAck},
                   {kEnq, Block(0, 's', Hex("14 00 05 00 00 00 00 00 00 00 00 00 00 00 00 00"), 0x17)},
                   {kAckEot, kNothing},
                   {kGetConfig, kAck},
                   {kEnq, Block(0, 'g', Slice(kImage, 0, 1024), 0x03)}},
                  0,  // an upload since then was accepted
                  std::nullopt,
                  false},
        FaultCase{"VanishInTheMiddleOfAReplyBlock",
                  With([](FaultOptions& f) { f.vanish_mid_block = true; }),
                  {{kStatusRequest, kAck}, {kEnq, Slice(kStatusReply, 0, 12)}, {kStatusRequest, kNothing}},
                  0,
                  std::nullopt,
                  true},
        FaultCase{"VanishInTheMiddleOfADataBlock",
                  With([](FaultOptions& f) { f.vanish_mid_block = true; }),
                  {{kPutConfig, kAck}, {kDataBlock1, kNothing}, {kStatusRequest, kNothing}},
                  0,
                  std::nullopt,
                  true}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

TEST(SimulatedDevice, ErrorFrameAfterDataCarriesTheNextSequence) {
  FaultOptions f;
  f.error_frame = true;
  Line line(MakeSetup(f));
  line.Send(kStatusRequest);
  line.Send(kEnq);
  EXPECT_EQ(line.Send(kAck), Block(1, '*', {}, 0x17));
  EXPECT_EQ(Slice(Block(1, '*', {}, 0x17), 0, 7), Hex("02 01 FE 2A 00 00 17"));
}

TEST(SimulatedDevice, BabblesAfterTheRequestUntilTheNextOne) {
  FaultOptions f;
  f.babble = true;
  f.commands = "G";
  Line line(MakeSetup(f));
  const int requests = line.device.RequestCount();
  EXPECT_EQ(line.Send(kGetConfig), kAck);
  ASSERT_TRUE(line.device.Babbling());
  // Each STX in the garbage is followed by a wrong inverted sequence byte.
  EXPECT_EQ(line.device.BabbleBytes(10), Hex("02 11 11 47 55 AA 13 37 02 11"));
  EXPECT_EQ(line.Send(kEnq), kNothing);
  EXPECT_TRUE(line.device.Babbling());
  EXPECT_EQ(line.Send(kStatusRequest), kAck);
  EXPECT_FALSE(line.device.Babbling());
  EXPECT_EQ(line.device.RequestCount(), requests + 2);
  EXPECT_EQ(line.device.BabbleBytes(4), kNothing);
  EXPECT_EQ(line.Send(kEnq), kStatusReply);
}

TEST(SimulatedDevice, ReportsItsTypeCodeAndErrorInTheStatus) {
  DeviceSetup setup = MakeSetup();
  setup.type_code = 180;
  setup.faults.device_error = 7;
  Line line(std::move(setup));
  Play(line, {{kPutConfig, kAck}, {kDataBlock1, kAck}, {kDataBlock2, kAckEot}, {kStatusRequest, kAck}});
  EXPECT_EQ(line.Send(kEnq), Block(0, 's', Hex("B4 00 07 00 00 00 00 00 00 00 00 00 00 00 00 00"), 0x17));
}

}  // namespace
}  // namespace krt::sim
