#pragma once
// A port for unit tests that never touches hardware and never sleeps.
//
// FakePort plays the device side of the line and owns a virtual clock:
//   - Deliver(bytes, delayMs) makes bytes readable delayMs after "now";
//   - Sleep and WaitForInput advance the clock instead of sleeping, so a
//     test can assert how long the host waited (Now(), SleptMs());
//   - every host write is recorded with its time (Writes(), Written());
//   - the device can be scripted step by step (Expect / Reply), or react to
//     each host write through a callback (SetReaction), or both;
//   - Open can fail (FailOpen, RefuseSettings) and the device can vanish
//     (SetGone: QueuedCount -1, Read and Write fail).
//
// FakeDevice sits on a FakePort and answers like a device: status query,
// 'G' "CONFIG" / 'G' "TREND" uploads of given bytes and 'P' "CONFIG"
// downloads, with a few faults to choose from. Tests of code that uses
// RTCom build one and inspect what it saw.
//
//   krt::test::FakePort port;
//   krt::test::FakeDevice device(port);
//   device.type_code = 20;
//   device.config = image;
//   krt::link::RTCom com(port, {});
//   com.device_path = "/dev/fake";
//   EXPECT_EQ(com.ReadConfig(out), krt::link::kComOk);

#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "image/bytes.hpp"
#include "link/port.hpp"

namespace krt::test {

// Bytes of a text ("CONFIG"), for readable tests.
Bytes B(std::string_view text);
Bytes Cat(std::initializer_list<Bytes> parts);
// A whole block (frame), built with the link's own frame code.
Bytes Block(std::uint8_t sequence, std::uint8_t command, ByteView data, std::uint8_t endByte);
std::string Hex(ByteView bytes);

class FakePort : public link::Port {
 public:
  struct HostWrite {
    std::int64_t at_ms;
    Bytes bytes;
  };
  // Sees each host write (after the script has seen it).
  using Reaction = std::function<void(ByteView hostBytes)>;

  FakePort() = default;
  FakePort(const FakePort&) = delete;
  FakePort& operator=(const FakePort&) = delete;

  // --- the device's side ---
  void Deliver(ByteView bytes, int delayMs = 0);
  void SetReaction(Reaction reaction) { reaction_ = std::move(reaction); }

  // Script: steps run in order. Expect(b) waits until the host has written
  // exactly b (a mismatch is recorded in ScriptErrors() and stops the
  // script); the Reply steps that follow an Expect are delivered as soon as
  // it matched. An Expect with no Reply after it is a silent device. Reply
  // steps before the first Expect are delivered on Open.
  FakePort& Expect(Bytes host);
  FakePort& Reply(Bytes device, int delayMs = 0);
  // True when every step ran; ScriptErrors() lists mismatches and host
  // bytes written after the script ended.
  bool ScriptDone() const { return step_ == steps_.size(); }
  const std::string& ScriptErrors() const { return errors_; }

  // Open fails with `error`: no port is held.
  void FailOpen(std::string error, link::PortFailure failure = link::PortFailure::kNotFound);
  // Open holds the port but refuses its settings.
  void RefuseSettings(std::string error);
  // The device vanishes (or comes back).
  void SetGone(bool gone) { gone_ = gone; }
  // The device vanishes right after the host's n-th write (counted from 1).
  void VanishAfterWrites(std::size_t n) { vanish_after_ = n; }

  // --- what the host did ---
  std::int64_t Now() const { return now_; }
  std::int64_t SleptMs() const { return slept_; }
  const std::vector<int>& Sleeps() const { return sleeps_; }
  const std::vector<HostWrite>& Writes() const { return writes_; }
  Bytes Written() const;  // all host bytes in order
  int open_calls = 0;
  int close_calls = 0;  // Close() calls that closed a held port
  int purge_calls = 0;
  std::string opened_device;
  int opened_baud = 0;

  // --- link::Port ---
  int Open(const std::string& device, int baudRate) override;
  bool IsOpen() const override { return open_; }
  void Close() override;
  void PurgeQueues(link::Purge which) override;
  int QueuedCount() override;
  bool Read(std::uint8_t* buffer, std::size_t n) override;
  bool Write(std::span<const std::uint8_t> bytes) override;
  void Flush() override {}
  void Sleep(int milliseconds) override;
  void WaitForInput(int milliseconds) override;
  std::int64_t NowMs() override { return now_; }
  std::string LastError() const override { return last_error_; }
  link::PortFailure LastFailure() const override { return last_failure_; }

 private:
  struct Pending {
    std::int64_t at_ms;
    std::uint8_t byte;
  };
  struct Step {
    bool expect;
    Bytes bytes;
    int delay_ms;
  };
  void RunReplies();
  void FeedScript(ByteView host);

  std::int64_t now_ = 0;
  std::int64_t slept_ = 0;
  std::vector<int> sleeps_;
  std::deque<Pending> input_;
  std::vector<HostWrite> writes_;
  Reaction reaction_;
  std::vector<Step> steps_;
  std::size_t step_ = 0;
  Bytes script_input_;
  std::string errors_;
  bool open_ = false;
  bool gone_ = false;
  std::size_t vanish_after_ = 0;
  bool fail_open_ = false;
  bool refuse_settings_ = false;
  std::string open_error_;
  link::PortFailure open_failure_ = link::PortFailure::kNone;
  std::string last_error_;
  link::PortFailure last_failure_ = link::PortFailure::kNone;
};

// A device on a FakePort. Set the public fields before the exchange; read
// the results after it. It takes the port's reaction (SetReaction) for
// itself; a script (Expect/Reply) on the same port still works alongside.
// Unknown requests are answered with an error frame.
class FakeDevice {
 public:
  explicit FakeDevice(FakePort& port);
  FakeDevice(const FakeDevice&) = delete;
  FakeDevice& operator=(const FakeDevice&) = delete;

  // --- how it behaves ---
  int type_code = 20;            // status byte 0 (20: KRT610, has short trend)
  int error_code = 0;            // status byte 2
  int error_after_download = 0;  // becomes error_code once a download is complete
  std::size_t status_length = 16;
  Bytes config;                   // the reply to 'G' "CONFIG"
  Bytes trend;                    // the reply to 'G' "TREND"
  std::size_t block_size = 1024;  // reply data per block
  int delay_ms = 0;               // before each thing it sends
  bool silent = false;            // answers nothing at all
  bool error_frame = false;       // answers every 'G' with an error frame
  int nak_next_blocks = 0;        // NAKs this many good host blocks first

  // --- what it saw ---
  std::vector<std::string> requests;  // "S", "G CONFIG", "G TREND", "P CONFIG", ...
  Bytes downloaded;                   // data of the last complete 'P' message
  int bad_blocks = 0;                 // host blocks with a wrong checksum or frame

 private:
  enum class State { kIdle, kAwaitEnq, kSending, kAwaitEot, kReceiving };
  void OnHost(ByteView bytes);
  bool Step();
  void OnBlock(std::uint8_t sequence, std::uint8_t command, ByteView data, std::uint8_t endByte);
  void Send(ByteView bytes);
  void SendBlock(std::size_t index);

  FakePort& port_;
  State state_ = State::kIdle;
  Bytes in_;
  std::vector<Bytes> reply_blocks_;
  std::size_t reply_index_ = 0;
  std::uint8_t expected_sequence_ = 0;
  Bytes receiving_;
};

}  // namespace krt::test
