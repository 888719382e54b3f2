#pragma once
// The simulated device on a pseudo-terminal: the host opens the device end
// like a serial port, the simulator serves the other end.

#include <csignal>
#include <string>

#include "sim/device.hpp"

namespace krt::sim {

// 10 bits a byte at 57600 baud.
inline constexpr std::int64_t kByteTimeNs = 10'000'000'000LL / 57600;

class PseudoTerminal {
 public:
  PseudoTerminal() = default;
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  // Creates the pair, sets the device end raw and keeps it open, so the
  // line survives the host closing and reopening it. False with a message.
  bool Open(std::string& error);
  void Close();

  const std::string& DevicePath() const { return device_path_; }
  int Controller() const { return controller_; }

 private:
  int controller_ = -1;
  int device_keep_ = -1;
  std::string device_path_;
};

struct ServeOptions {
  bool pace = false;
  bool verbose = false;
  std::string received_file;
};

// Serves the host until `stop` becomes non-zero or the device vanishes.
// `waitMask` is the signal mask while waiting (the stop signals unblocked).
// 0 on a clean end, 1 when the line failed.
int Serve(SimulatedDevice& device, PseudoTerminal& pty, const ServeOptions& options,
          const volatile std::sig_atomic_t& stop, const sigset_t* waitMask);

}  // namespace krt::sim
