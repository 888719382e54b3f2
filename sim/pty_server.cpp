#include "sim/pty_server.hpp"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "store/atomic_file.hpp"

namespace krt::sim {
namespace {

std::string Errno(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

std::int64_t NowNs() {
  using namespace std::chrono;
  return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

struct TimedByte {
  std::uint8_t byte;
  std::int64_t due_ns;  // when it has fully crossed the line
};

// Garbage is queued in pieces; a new request drops what was not yet sent.
constexpr std::size_t kBabbleChunk = 256;
// A line without a host end gives POLLHUP at once; look again after this.
constexpr int kHangupRetryMs = 10;

class Server {
 public:
  Server(SimulatedDevice& device, PseudoTerminal& pty, const ServeOptions& options)
      : device_(device), pty_(pty), options_(options), start_ns_(NowNs()), requests_(device.RequestCount()) {}

  int Run(const volatile std::sig_atomic_t& stop, const sigset_t* waitMask) {
    const int fd = pty_.Controller();
    while (stop == 0) {
      const std::int64_t now = Elapsed();
      if (!ReadInput(now)) return 1;
      DeliverInput(now);
      if (const auto deadline = device_.NextDeadline(); deadline && ToNs(*deadline) <= now) {
        device_.Advance(ToSim(now));
        CollectOutput(now);
      }
      if (!WriteOutput(now)) return 1;
      // Garbage is due no sooner than a byte time from now, so it waits below.
      if (device_.Babbling() && out_.empty()) QueueBabble(now);
      if (device_.Vanished() && out_.empty()) return 0;

      pollfd p{fd, POLLIN, 0};
      if (write_blocked_) p.events |= POLLOUT;
      const std::int64_t wait = WaitNs(now);
      timespec ts{};
      timespec* timeout = nullptr;
      if (wait >= 0) {
        ts.tv_sec = static_cast<time_t>(wait / 1'000'000'000);
        ts.tv_nsec = static_cast<long>(wait % 1'000'000'000);
        timeout = &ts;
      }
      const int r = ppoll(&p, 1, timeout, waitMask);
      if (r < 0 && errno != EINTR) {
        (void)std::fprintf(stderr, "krtcfg-sim: %s\n", Errno("poll").c_str());
        return 1;
      }
      hangup_ = r > 0 && (p.revents & (POLLHUP | POLLERR)) != 0 && (p.revents & POLLIN) == 0;
    }
    return 0;
  }

 private:
  std::int64_t Elapsed() const { return NowNs() - start_ns_; }
  static SimTime ToSim(std::int64_t ns) { return SimTime(ns / 1000); }
  static std::int64_t ToNs(SimTime t) { return t.count() * 1000; }

  bool ReadInput(std::int64_t now) {
    std::uint8_t buffer[4096];
    for (;;) {
      const ssize_t n = read(pty_.Controller(), buffer, sizeof buffer);
      if (n > 0) {
        for (ssize_t i = 0; i < n; ++i) {
          // Without pacing every byte is there at once.
          in_free_ = options_.pace ? std::max(in_free_, now) + kByteTimeNs : now;
          in_.push_back({buffer[i], in_free_});
        }
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      // EAGAIN: all read. EIO: no host end is open at the moment.
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EIO) {
        (void)std::fprintf(stderr, "krtcfg-sim: %s\n", Errno("read").c_str());
        return false;
      }
      return true;
    }
  }

  void DeliverInput(std::int64_t now) {
    while (!in_.empty() && in_.front().due_ns <= now && !device_.Vanished()) {
      // Bytes due at the same moment go in together.
      const std::int64_t due = in_.front().due_ns;
      Bytes batch;
      while (!in_.empty() && in_.front().due_ns == due) {
        batch.push_back(in_.front().byte);
        in_.pop_front();
      }
      device_.Receive(batch, ToSim(due));
      CollectOutput(due);
    }
  }

  void CollectOutput(std::int64_t at) {
    if (device_.RequestCount() != requests_) {
      // A new request: what was not yet sent belongs to an abandoned exchange.
      requests_ = device_.RequestCount();
      out_.clear();
    }
    for (std::uint8_t b : device_.TakeOutput()) QueueByte(b, at, options_.pace);
    if (auto image = device_.TakeDownload(); image && !options_.received_file.empty()) {
      if (WriteFileAtomically(options_.received_file, ByteView(*image)) != kFileOk) {
        (void)std::fprintf(stderr, "krtcfg-sim: cannot write %s\n", options_.received_file.c_str());
      }
    }
    for (const std::string& line : device_.TakeLog()) {
      if (options_.verbose) (void)std::fprintf(stderr, "krtcfg-sim: %s\n", line.c_str());
    }
  }

  void QueueByte(std::uint8_t b, std::int64_t at, bool pace) {
    out_free_ = pace ? std::max(out_free_, at) + kByteTimeNs : at;
    out_.push_back({b, out_free_});
  }

  void QueueBabble(std::int64_t now) {
    // A device cannot talk faster than its line, paced or not.
    for (std::uint8_t b : device_.BabbleBytes(kBabbleChunk)) QueueByte(b, now, true);
  }

  bool WriteOutput(std::int64_t now) {
    write_blocked_ = false;
    std::uint8_t buffer[4096];
    while (!out_.empty() && out_.front().due_ns <= now) {
      std::size_t n = 0;
      for (auto it = out_.begin(); it != out_.end() && it->due_ns <= now && n < sizeof buffer; ++it) {
        buffer[n++] = it->byte;
      }
      const ssize_t w = write(pty_.Controller(), buffer, n);
      if (w < 0) {
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
          write_blocked_ = true;
          return true;
        }
        if (errno == EIO) {
          // Nobody holds the device end; a line without a listener loses bytes.
          out_.erase(out_.begin(), out_.begin() + static_cast<std::ptrdiff_t>(n));
          continue;
        }
        (void)std::fprintf(stderr, "krtcfg-sim: %s\n", Errno("write").c_str());
        return false;
      }
      out_.erase(out_.begin(), out_.begin() + w);
    }
    return true;
  }

  // Nanoseconds until something is due; -1 to wait for input only.
  std::int64_t WaitNs(std::int64_t now) const {
    std::int64_t next = -1;
    auto consider = [&next, now](std::int64_t t) {
      const std::int64_t d = std::max<std::int64_t>(0, t - now);
      next = next < 0 ? d : std::min(next, d);
    };
    if (!in_.empty()) consider(in_.front().due_ns);
    if (!out_.empty() && !write_blocked_) consider(out_.front().due_ns);
    if (const auto deadline = device_.NextDeadline()) consider(ToNs(*deadline));
    if (hangup_) consider(now + std::int64_t{kHangupRetryMs} * 1'000'000);
    return next;
  }

  SimulatedDevice& device_;
  PseudoTerminal& pty_;
  const ServeOptions& options_;
  std::int64_t start_ns_;
  int requests_;
  std::deque<TimedByte> in_;
  std::deque<TimedByte> out_;
  std::int64_t in_free_ = 0;
  std::int64_t out_free_ = 0;
  bool write_blocked_ = false;
  bool hangup_ = false;
};

}  // namespace

PseudoTerminal::~PseudoTerminal() {
  Close();
}

bool PseudoTerminal::Open(std::string& error) {
  Close();
  controller_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (controller_ < 0) {
    error = Errno("cannot create a pseudo-terminal");
    return false;
  }
  if (grantpt(controller_) != 0 || unlockpt(controller_) != 0) {
    error = Errno("cannot unlock the pseudo-terminal");
    Close();
    return false;
  }
  char name[256];
  if (ptsname_r(controller_, name, sizeof name) != 0) {
    error = Errno("cannot name the pseudo-terminal");
    Close();
    return false;
  }
  device_path_ = name;
  // Held open for the whole run: when the host closes its end the line
  // would otherwise hang up, and the host could not reopen it cleanly.
  device_keep_ = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (device_keep_ < 0) {
    error = Errno("cannot open the device end");
    Close();
    return false;
  }
  // Raw until the host sets its own modes: no echo of the host's bytes back
  // to it, no line editing, every byte value passed.
  termios t{};
  if (tcgetattr(device_keep_, &t) == 0) {
    cfmakeraw(&t);
    cfsetispeed(&t, B57600);
    cfsetospeed(&t, B57600);
    tcsetattr(device_keep_, TCSANOW, &t);
  }
  return true;
}

void PseudoTerminal::Close() {
  if (device_keep_ >= 0) close(device_keep_);
  if (controller_ >= 0) close(controller_);
  device_keep_ = -1;
  controller_ = -1;
}

int Serve(SimulatedDevice& device, PseudoTerminal& pty, const ServeOptions& options,
          const volatile std::sig_atomic_t& stop, const sigset_t* waitMask) {
  Server server(device, pty, options);
  return server.Run(stop, waitMask);
}

}  // namespace krt::sim
