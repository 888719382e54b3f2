#pragma once
// Framed, checksummed messages between host and device with the
// ACK/NAK/ENQ/EOT handshake. Results: 1 success, 0 failure.

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "link/frame.hpp"
#include "link/port.hpp"
#include "link/trace.hpp"

namespace krt::link {

// Set to non-zero by another thread (or a signal handler) to give up.
using CancelFlag = std::atomic<int>;
// Called with the number of data bytes moved so far in the current message.
using ProgressFn = std::function<void(std::size_t bytesDone)>;

// The protocol's patience, in milliseconds of the port's clock.
inline constexpr int kPollMs = 10;
inline constexpr int kAnswerWaitMs = 300 * kPollMs;  // ReadExact: 300 polls
inline constexpr int kStxWaitMs = 1200 * kPollMs;    // WaitForStx: 1200 polls
inline constexpr int kRetrySleepMs = 2000;           // after a silent device
inline constexpr int kQuietMs = 100;                 // DrainInput: the line is quiet
inline constexpr int kDrainLimitMs = 2000;           // DrainInput gives up on endless input
inline constexpr int kMaxAttempts = 3;

class CTransfer {
 public:
  // Opens no port: a port is held only while an operation runs. Frames are
  // traced on standard error when KRTCFG_TRACE=1.
  explicit CTransfer(Port& port);
  ~CTransfer();
  CTransfer(const CTransfer&) = delete;
  CTransfer& operator=(const CTransfer&) = delete;

  virtual int Open(const std::string& device, int baudRate);
  virtual int Send(std::uint8_t requestCommand, const std::uint8_t* requestData, int requestLength,
                   std::uint8_t dataCommand, const std::uint8_t* payload, int dataLength, const CancelFlag* cancel);
  virtual int Transact(std::uint8_t requestCommand, const std::uint8_t* requestData, int requestLength,
                       std::uint8_t replyCommand, std::uint8_t* reply, int replyCapacity, int* replyLength,
                       const CancelFlag* cancel);
  virtual void Close();

  void SetProgress(ProgressFn progress) { progress_ = std::move(progress); }
  // Replaces the trace chosen from the environment (tests).
  void SetTrace(Trace trace) { trace_ = std::move(trace); }

 private:
  // How a host block is closed by the device.
  enum class Role {
    kFollowed,      // more blocks follow: ACK, or NAK to send it again
    kWholeMessage,  // a request that is the whole message: ACK or NAK, then EOT
    kLastData,      // the last data block: ACK or NAK, then EOT (anything else: again)
  };
  bool Cancelled(const CancelFlag* cancel) const;
  bool ReadExact(std::uint8_t* buffer, std::size_t n, const CancelFlag* cancel);
  bool WaitForStx(std::uint8_t* block, const CancelFlag* cancel);
  void DrainInput(const CancelFlag* cancel);
  bool WriteBytes(std::span<const std::uint8_t> bytes);
  bool WriteControl(std::uint8_t byte);
  // One answer byte from the device; false when none came.
  bool ReadAnswer(std::uint8_t& byte, const CancelFlag* cancel);
  // Sleeps, in slices when a cancel flag can cut it short.
  void Pause(int milliseconds, const CancelFlag* cancel);
  // Sends a host block, again after silence or NAK, at most three times.
  bool SendBlock(std::span<const std::uint8_t> block, Role role, const CancelFlag* cancel);
  void Report(std::size_t bytesDone);

  Port& port_;
  ProgressFn progress_;
  Trace trace_;
  // The device vanished or the port failed: nothing more can be exchanged.
  bool broken_ = false;
};

}  // namespace krt::link
