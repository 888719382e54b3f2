#pragma once
// The device side of the serial protocol as pure logic: it is fed the host's
// bytes with the time they arrived and produces the bytes a device would
// send back. No I/O, so every exchange and fault can be tested in-process.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/bytes.hpp"
#include "link/frame.hpp"

namespace krt::sim {

using SimTime = std::chrono::microseconds;

// Status byte 2 after a download whose last block arrived damaged or was
// refused: the device answered NAK EOT and kept its old image.
inline constexpr std::uint8_t kErrorImageRejected = 1;
// Largest download the device takes; more is refused with NAK.
inline constexpr std::size_t kMaxDownload = 8192;

// How long the device waits before it gives up on a host.
inline constexpr SimTime kBlockGapLimit{500'000};  // inside one host block
inline constexpr SimTime kQuietBeforeNak{20'000};  // after a damaged header
inline constexpr SimTime kAckWait{1'000'000};      // for ACK/NAK of a reply block
inline constexpr int kMaxTransmissions = 4;        // of one reply block

struct FaultOptions {
  int nak_blocks = 0;                 // NAK the next n good host blocks
  bool silent = false;                // answer nothing
  bool silent_after_request = false;  // ACK the request, then answer nothing
  int corrupt_crc_blocks = 0;         // damage the checksum of the next n reply blocks
  int noise_bytes = 0;                // before every reply block
  bool error_frame = false;           // end every reply with an error frame
  int device_error = 0;               // status byte 2 after a download
  bool vanish_mid_block = false;      // stop for good in the middle of a block
  bool babble = false;                // after the request, garbage without end
  // The request commands whose exchanges the faults above hit ('S', 'G', 'P').
  std::string commands = "SGP";
};

struct DeviceSetup {
  int type_code = 20;
  Bytes config_image;
  // The reply to 'G' "TREND"; without a short trend the device answers that
  // request with an error frame.
  Bytes trend_record;
  bool has_trend = true;
  std::size_t block_size = link::kMaxBlockData;
  FaultOptions faults;
};

class SimulatedDevice {
 public:
  explicit SimulatedDevice(DeviceSetup setup);

  // Host bytes that arrived at `now` (times never go back).
  void Receive(ByteView bytes, SimTime now);
  // Lets time pass: the device's own time-outs.
  void Advance(SimTime now);
  // When Advance has something to do next; nullopt when only input matters.
  std::optional<SimTime> NextDeadline() const;

  // Bytes the device sends, in order, since the last call.
  Bytes TakeOutput();
  // True while the device sends garbage on its own; BabbleBytes gives more.
  bool Babbling() const { return phase_ == Phase::kBabble; }
  Bytes BabbleBytes(std::size_t n);
  // The device has gone: once its output is sent, nothing more comes.
  bool Vanished() const { return phase_ == Phase::kVanished; }
  // Counts every request the device took up; output not yet sent from an
  // earlier exchange is stale once this changes.
  int RequestCount() const { return request_count_; }

  // A download completed and accepted since the last call.
  std::optional<Bytes> TakeDownload();
  // One line per exchange and refusal, for a verbose console.
  std::vector<std::string> TakeLog();

  const Bytes& ConfigImage() const { return setup_.config_image; }
  std::uint8_t ErrorCode() const { return error_code_; }
  std::array<std::uint8_t, 16> Status() const;

 private:
  enum class Phase {
    kIdle,
    kAwaitEnq,   // request acknowledged, reply ready
    kAwaitAck,   // a reply block sent
    kAwaitData,  // 'P' acknowledged, data blocks come
    kSilent,     // ignores the host until its next request
    kBabble,
    kVanished,
  };
  enum class Parse { kScan, kHeader, kBody, kDiscard };

  void ReceiveByte(std::uint8_t b, SimTime now);
  void OnControlByte(std::uint8_t b, SimTime now);
  void OnBlock();
  void OnDamagedBlock(const char* why);
  void OnRequest(std::uint8_t command, ByteView data, std::uint8_t endByte);
  void OnDataBlock(std::uint8_t sequence, ByteView data, std::uint8_t endByte);
  void FinishDownload(bool accepted);
  void SendReplyBlock(SimTime now);
  void StartReply(std::uint8_t replyCommand, const Bytes& payload, bool errorOnly);
  bool FaultsApply() const;
  bool TakeNakFault();
  void Put(std::uint8_t b) { out_.push_back(b); }
  void Log(std::string line);

  DeviceSetup setup_;
  Phase phase_ = Phase::kIdle;
  std::uint8_t exchange_command_ = 0;
  std::uint8_t error_code_ = 0;
  int request_count_ = 0;
  int nak_left_;
  int corrupt_left_;

  // Host block being parsed.
  Parse parse_ = Parse::kScan;
  Bytes block_;
  std::size_t block_need_ = 0;
  SimTime last_byte_{0};
  SimTime quiet_until_{0};

  // Reply being sent.
  std::uint8_t reply_command_ = 0;
  Bytes reply_;
  std::size_t reply_blocks_ = 0;  // data blocks, at least 1 unless errorOnly
  bool reply_error_end_ = false;  // an error frame follows the data blocks
  std::size_t reply_index_ = 0;
  int transmissions_ = 0;
  SimTime ack_deadline_{0};

  // Download being received.
  Bytes download_;
  std::uint8_t expected_sequence_ = 1;
  bool any_data_ = false;

  std::size_t babble_pos_ = 0;
  std::size_t noise_pos_ = 0;
  Bytes out_;
  std::optional<Bytes> completed_;
  std::vector<std::string> log_;
};

}  // namespace krt::sim
