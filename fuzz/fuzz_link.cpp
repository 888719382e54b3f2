// What a device sends while the host awaits a reply, an acknowledgement or
// a status: the input plays the device on a port with a virtual clock, and
// one protocol or command operation runs against it.
//
// Input: three bytes of set-up, then segments of device bytes.
//   byte 0: bits 0-2 the operation, bit 3 frames traced (operations 0-4),
//           bit 4 the port cannot be opened, bit 5 its settings are refused
//           operations: 0 status query, 1 'G' "CONFIG", 2 'G' "TREND" into
//           byte 2 bytes, 3 'P' "CONFIG" with byte 2 * 16 data bytes, 4 a
//           request that is the whole message, 5 RTCom::ReadConfig,
//           6 RTCom::WriteConfig (byte 2 even: 2048 bytes, odd: 1024),
//           7 RTCom::ReadTrend
//   byte 1: 0 no cancel flag; n: a cancel flag, set after n * 250 ms
//   byte 2: a size for the operation (reply capacity, data length, image size)
//   segment: two bytes (bits 15-14 kind, bits 13-0 length), one byte delay
//            in 50 ms steps, then the bytes. Each host write releases the
//            next segment; kinds: 0 all bytes at once after the delay,
//            1 one byte every `delay` ms, 2 like 0 and then the device
//            vanishes, 3 like 0 but sent with the segment before it.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.hpp"
#include "image/bytes.hpp"
#include "link/frame.hpp"
#include "link/port.hpp"
#include "link/rt_com.hpp"
#include "link/trace.hpp"
#include "link/transfer.hpp"

namespace {

using krt::Bytes;
namespace link = krt::link;

// However the device behaves, the host must have given up this long after
// the line last saw a byte in either direction.
constexpr std::int64_t kQuietLimitMs = 5 * 60 * 1000;
// Port calls per input; far more means the host spins without waiting.
constexpr long kCallLimit = 20'000'000;

struct Segment {
  int kind = 0;
  int delay = 0;
  Bytes bytes;
};

std::vector<Segment> ReadSegments(krt::fuzz::Reader& in) {
  std::vector<Segment> segments;
  while (!in.Empty()) {
    const std::uint16_t head = in.Word();
    Segment s;
    s.kind = head >> 14;
    s.delay = in.Byte();
    const std::string_view bytes = in.Take(head & 0x3FFF);
    s.bytes.assign(bytes.begin(), bytes.end());
    segments.push_back(std::move(s));
  }
  return segments;
}

// The device side of the line, played from the input, and the clock.
class ScriptedPort : public link::Port {
 public:
  ScriptedPort(std::vector<Segment> segments, bool failOpen, bool refuseSettings)
      : segments_(std::move(segments)), fail_open_(failOpen), refuse_settings_(refuseSettings) {}

  void CancelAt(link::CancelFlag* flag, std::int64_t atMs) {
    cancel_ = flag;
    cancel_at_ = atMs;
  }
  int opens = 0;

  int Open(const std::string& device, int baudRate) override {
    Count();
    FUZZ_CHECK(!open_);
    FUZZ_CHECK(!device.empty() && baudRate == 57600);
    ++opens;
    if (fail_open_) return 0;
    open_ = true;
    quiet_since_ = now_;
    return refuse_settings_ ? 0 : 1;
  }
  bool IsOpen() const override { return open_; }
  void Close() override {
    Count();
    open_ = false;
  }
  void PurgeQueues(link::Purge) override {
    Count();
    FUZZ_CHECK(open_);
    head_ = arrived_;
    seen_ = 0;
  }
  int QueuedCount() override {
    Count();
    FUZZ_CHECK(open_);
    if (Gone()) return -1;
    seen_ = arrived_ - head_;
    return static_cast<int>(seen_);
  }
  bool Read(std::uint8_t* buffer, std::size_t n) override {
    Count();
    FUZZ_CHECK(open_);
    if (Gone()) return false;
    // The host reads only what it was told is queued.
    FUZZ_CHECK(n <= seen_ && head_ + n <= arrived_);
    for (std::size_t i = 0; i < n; ++i) buffer[i] = stream_[head_++].byte;
    seen_ -= n;
    return true;
  }
  bool Write(std::span<const std::uint8_t> bytes) override {
    Count();
    FUZZ_CHECK(open_);
    FUZZ_CHECK(!bytes.empty() && bytes.size() <= link::kMaxBlockSize);
    if (Gone()) return false;
    quiet_since_ = now_;
    Release();
    return true;
  }
  void Flush() override { Count(); }
  void Sleep(int milliseconds) override {
    Count();
    FUZZ_CHECK(milliseconds >= 0 && milliseconds <= 60'000);
    Advance(now_ + milliseconds);
  }
  void WaitForInput(int milliseconds) override {
    Count();
    FUZZ_CHECK(milliseconds >= 0 && milliseconds <= 60'000);
    std::int64_t until = now_ + milliseconds;
    // Input the host has not counted yet ends the wait.
    if (head_ + seen_ < arrived_) {
      until = now_;
    } else if (arrived_ < stream_.size()) {
      until = std::min(until, stream_[arrived_].at);
    }
    Advance(until);
  }
  std::int64_t NowMs() override {
    Count();
    return now_;
  }
  std::string LastError() const override { return fail_open_ ? "No such device" : "Settings refused"; }
  link::PortFailure LastFailure() const override {
    return fail_open_ ? link::PortFailure::kNotFound : link::PortFailure::kSettings;
  }

 private:
  struct Pending {
    std::int64_t at;
    std::uint8_t byte;
  };

  bool Gone() const { return gone_at_ >= 0 && now_ >= gone_at_; }

  void Count() { FUZZ_CHECK(++calls_ < kCallLimit); }

  void Advance(std::int64_t until) {
    now_ = std::max(now_, until);
    while (arrived_ < stream_.size() && stream_[arrived_].at <= now_) {
      quiet_since_ = std::max(quiet_since_, stream_[arrived_].at);
      ++arrived_;
    }
    // A host that keeps waiting on a line gone quiet never ends.
    FUZZ_CHECK(!open_ || now_ - quiet_since_ <= kQuietLimitMs);
    if (cancel_ != nullptr && now_ >= cancel_at_) cancel_->store(1);
  }

  // The next segment, and those sent along with it.
  void Release() {
    std::int64_t at = std::max(now_, stream_.empty() ? now_ : stream_.back().at);
    bool first = true;
    while (next_ < segments_.size() && (first || segments_[next_].kind == 3)) {
      const Segment& s = segments_[next_++];
      first = false;
      if (s.kind == 1) {
        for (std::uint8_t b : s.bytes) stream_.push_back({at += s.delay, b});
        continue;
      }
      at += 50 * std::int64_t{s.delay};
      for (std::uint8_t b : s.bytes) stream_.push_back({at, b});
      if (s.kind == 2 && gone_at_ < 0) gone_at_ = at + 1;
    }
    Advance(now_);  // bytes due at once are there before the host looks
  }

  std::vector<Segment> segments_;
  std::size_t next_ = 0;
  // Every byte the device sent, in order of arrival; [head_, arrived_) is
  // queued, what follows arrived_ is still on its way.
  std::vector<Pending> stream_;
  std::size_t head_ = 0;
  std::size_t arrived_ = 0;
  std::size_t seen_ = 0;  // queued bytes the host has been told of
  std::int64_t now_ = 0;
  std::int64_t quiet_since_ = 0;
  std::int64_t gone_at_ = -1;
  bool open_ = false;
  bool fail_open_;
  bool refuse_settings_;
  link::CancelFlag* cancel_ = nullptr;
  std::int64_t cancel_at_ = 0;
  long calls_ = 0;
};

constexpr std::uint8_t kConfig[] = {'C', 'O', 'N', 'F', 'I', 'G'};
constexpr std::uint8_t kTrend[] = {'T', 'R', 'E', 'N', 'D'};

Bytes Pattern(std::size_t n) {
  Bytes out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return out;
}

// Progress never counts beyond what the operation can move.
link::ProgressFn Progress(std::size_t limit) {
  return [limit](std::size_t done) { FUZZ_CHECK(done <= limit); };
}

void RunTransfer(ScriptedPort& port, int op, int size, const link::CancelFlag* cancel, bool trace) {
  link::CTransfer transfer(port);
  if (trace) transfer.SetTrace(link::Trace([](const std::string& line) { FUZZ_CHECK(!line.empty()); }));
  if (transfer.Open("/dev/fuzz", 57600) != 1) {
    transfer.Close();
    FUZZ_CHECK(!port.IsOpen());
    return;
  }
  switch (op) {
    case 0:
    case 1:
    case 2: {
      // Status, an upload of the configuration, a trend into a small buffer.
      const int capacity = op == 0 ? 16 : op == 1 ? 8192 : size;
      Bytes reply(static_cast<std::size_t>(capacity) + 1, 0xA5);
      const std::uint8_t* request = op == 0 ? nullptr : op == 1 ? kConfig : kTrend;
      const int requestLength = op == 0   ? 0
                                : op == 1 ? static_cast<int>(sizeof kConfig)
                                          : static_cast<int>(sizeof kTrend);
      transfer.SetProgress(Progress(static_cast<std::size_t>(capacity)));
      int length = -1;
      const int r = transfer.Transact(op == 0 ? 'S' : 'G', request, requestLength, op == 0 ? 's' : 'g', reply.data(),
                                      capacity, &length, cancel);
      FUZZ_CHECK(r == 0 || r == 1);
      FUZZ_CHECK(length >= 0 && length <= capacity);
      FUZZ_CHECK(reply[static_cast<std::size_t>(capacity)] == 0xA5);
      break;
    }
    case 3:
    case 4: {
      // A download in blocks; a request that is the whole message.
      const std::size_t n = op == 3 ? static_cast<std::size_t>(size) * 16 : 0;
      const Bytes payload = Pattern(n);
      transfer.SetProgress(Progress(n));
      const int r = op == 3
                        ? transfer.Send('P', kConfig, sizeof kConfig, 'p', payload.data(), static_cast<int>(n), cancel)
                        : transfer.Send('S', nullptr, 0, 0, nullptr, 0, cancel);
      FUZZ_CHECK(r == 0 || r == 1);
      break;
    }
    default:
      break;
  }
  transfer.Close();
  FUZZ_CHECK(!port.IsOpen());
}

void RunCommand(ScriptedPort& port, int op, int size, const link::CancelFlag* cancel) {
  link::RTCom com(port, [](int number) { return "/dev/ttyS" + std::to_string(number - 1); });
  com.SetCancelFlag(cancel);
  const Bytes untouched = {0xDE, 0xAD};
  switch (op) {
    case 5: {
      Bytes image = untouched;
      com.SetProgress(Progress(8192));
      const int r = com.ReadConfig(image);
      FUZZ_CHECK(r == link::kComOk || r == link::kComPortFailed || r == link::kComFailed);
      if (r != link::kComOk) FUZZ_CHECK(image == untouched);
      if (r == link::kComOk) FUZZ_CHECK(!image.empty() && image.size() <= 8192);
      break;
    }
    case 6: {
      const Bytes image = Pattern(size % 2 == 0 ? 2048 : 1024);
      int errorCode = -7;
      com.SetProgress(Progress(image.size()));
      const int r = com.WriteConfig(image, static_cast<int>(image.size()), &errorCode);
      FUZZ_CHECK(r == link::kComOk || r == link::kComPortFailed || r == link::kComFailed || r == link::kComDeviceError);
      if (r == link::kComDeviceError) {
        FUZZ_CHECK(errorCode >= 1 && errorCode <= 255);
      } else {
        FUZZ_CHECK(errorCode == -7);
      }
      break;
    }
    case 7: {
      Bytes trend = untouched;
      int model = -7;
      com.SetProgress(Progress(102400));
      const int r = com.ReadTrend(trend, &model);
      FUZZ_CHECK(r == link::kComOk || r == link::kComPortFailed || r == link::kComFailed || r == link::kComNoTrend);
      if (r != link::kComOk) FUZZ_CHECK(trend == untouched);
      if (r == link::kComOk) FUZZ_CHECK(!trend.empty() && trend.size() <= 102400);
      if (r == link::kComOk || r == link::kComNoTrend || r == link::kComPortFailed) {
        FUZZ_CHECK((model == -7) == (r != link::kComOk));
      }
      break;
    }
    default:
      break;
  }
  // Every operation lets the port go, whatever its outcome.
  FUZZ_CHECK(!port.IsOpen());
  FUZZ_CHECK(port.opens == 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  krt::fuzz::Reader in(data, size);
  const std::uint8_t setup = in.Byte();
  const std::uint8_t cancelAt = in.Byte();
  const int operationSize = in.Byte();
  const int op = setup & 7;
  ScriptedPort port(ReadSegments(in), (setup & 0x10) != 0, (setup & 0x20) != 0);
  link::CancelFlag flag{0};
  const link::CancelFlag* cancel = nullptr;
  if (cancelAt != 0) {
    port.CancelAt(&flag, 250 * std::int64_t{cancelAt});
    cancel = &flag;
  }
  if (op <= 4) {
    RunTransfer(port, op, operationSize, cancel, (setup & 0x08) != 0);
  } else {
    RunCommand(port, op, operationSize, cancel);
  }
  return 0;
}
