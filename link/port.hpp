#pragma once
// The few port operations the protocol needs. The POSIX back end implements
// them on a real terminal device; tests use a scripted fake that owns time.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace krt::link {

enum class Purge { kAll, kReceive };

// Why the last Open failed, for callers that add advice of their own (for
// example about the group that may use serial ports).
enum class PortFailure {
  kNone,
  kNotFound,    // no such device
  kPermission,  // the user may not open it
  kBusy,        // held by another program
  kNotSerial,   // not a terminal device
  kSettings,    // opened, but the line settings were refused
  kOther,
};

class Port {
 public:
  virtual ~Port() = default;

  // Opens `device` and applies raw 8N1 at `baudRate`. 1 when the port is
  // held and configured, 0 otherwise; IsOpen() tells whether a port is held
  // even though its settings were refused.
  virtual int Open(const std::string& device, int baudRate) = 0;
  virtual bool IsOpen() const = 0;
  virtual void Close() = 0;

  virtual void PurgeQueues(Purge which) = 0;
  // Bytes that can be read without waiting; -1 when the device is gone.
  virtual int QueuedCount() = 0;
  // Reads exactly n bytes that are already queued.
  virtual bool Read(std::uint8_t* buffer, std::size_t n) = 0;
  virtual bool Write(std::span<const std::uint8_t> bytes) = 0;
  virtual void Flush() = 0;

  virtual void Sleep(int milliseconds) = 0;
  // Waits until input arrives that QueuedCount() has not yet seen, or
  // `milliseconds` have passed, whichever is first (input already counted
  // does not end the wait). A back end that cannot wait for input just sleeps.
  virtual void WaitForInput(int milliseconds) { Sleep(milliseconds); }
  // A monotonic clock in milliseconds; the protocol measures its waits with
  // it. A back end whose Sleep is not real time must override it too.
  virtual std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  }

  // Why the last Open failed, in plain words (empty when unknown).
  virtual std::string LastError() const { return {}; }
  virtual PortFailure LastFailure() const { return PortFailure::kNone; }
};

}  // namespace krt::link
