#pragma once
// A serial port on a POSIX terminal device: raw 8N1, no flow control, DTR
// and RTS dropped, held exclusively while open. Input waits use poll(), so
// bytes are taken the moment they arrive.

#include <cstdint>
#include <string>
#include <vector>

#include "link/port.hpp"

namespace krt::link {

class SysCalls;

class PosixPort : public Port {
 public:
  PosixPort();
  // Tests pass system calls that fail on purpose.
  explicit PosixPort(SysCalls& sys);
  ~PosixPort() override;
  PosixPort(const PosixPort&) = delete;
  PosixPort& operator=(const PosixPort&) = delete;

  int Open(const std::string& device, int baudRate) override;
  bool IsOpen() const override { return fd_ >= 0; }
  void Close() override;
  void PurgeQueues(Purge which) override;
  int QueuedCount() override;
  bool Read(std::uint8_t* buffer, std::size_t n) override;
  bool Write(std::span<const std::uint8_t> bytes) override;
  void Flush() override;
  void Sleep(int milliseconds) override;
  void WaitForInput(int milliseconds) override;
  std::string LastError() const override { return last_error_; }
  PortFailure LastFailure() const override { return last_failure_; }

  // The descriptor while open (tests look at its settings).
  int fd() const { return fd_; }

 private:
  int Fail(PortFailure failure, std::string text);
  int Refuse(const std::string& device, int baudRate, const std::string& why);
  // Moves what the driver holds into our own buffer; false when the device is gone.
  bool Pull();
  // Waits for the descriptor to become ready for `events`; false on time-out or hang-up.
  bool WaitReady(short events, int milliseconds);
  void MarkGone(int error);

  SysCalls& sys_;
  int fd_ = -1;
  bool gone_ = false;
  // Bytes already read from the driver but not yet taken by Read. Keeping
  // them here lets WaitForInput wait for bytes that are really new.
  std::vector<std::uint8_t> input_;
  std::size_t input_head_ = 0;
  std::string last_error_;
  PortFailure last_failure_ = PortFailure::kNone;
};

}  // namespace krt::link
