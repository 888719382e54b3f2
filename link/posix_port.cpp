#include "link/posix_port.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "link/sys_calls.hpp"

namespace krt::link {

namespace {

struct BaudRate {
  int rate;
  speed_t constant;
};
constexpr BaudRate kBaudRates[] = {
    {1200, B1200},     {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},
    {38400, B38400},   {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},
    {921600, B921600}, {1000000, B1000000}, {2000000, B2000000}, {4000000, B4000000},
};

// Input kept in our own buffer before the rest is left to the driver.
constexpr std::size_t kInputLimit = 65536;
// How long a write may wait for room in the driver's output queue.
constexpr int kWriteWaitMs = 5000;
// How long Read waits for bytes the driver counted but has not handed over.
constexpr int kReadWaitMs = 1000;

template <class F>
auto RetryOnSignal(F call) {
  decltype(call()) result;
  do {
    result = call();
  } while (result == -1 && errno == EINTR);
  return result;
}

std::int64_t MonotonicMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

PosixPort::PosixPort() : sys_(RealSysCalls()) {}

PosixPort::PosixPort(SysCalls& sys) : sys_(sys) {}

PosixPort::~PosixPort() {
  PosixPort::Close();
}

int PosixPort::Fail(PortFailure failure, std::string text) {
  last_failure_ = failure;
  last_error_ = std::move(text);
  return 0;
}

int PosixPort::Refuse(const std::string& device, int baudRate, const std::string& why) {
  // The port stays held, as after any refused settings; the caller closes it.
  return Fail(PortFailure::kSettings, device + ": the port refused the line settings (" + std::to_string(baudRate) +
                                          " baud, 8 data bits, no parity, 1 stop bit): " + why);
}

int PosixPort::Open(const std::string& device, int baudRate) {
  Close();
  last_error_.clear();
  last_failure_ = PortFailure::kNone;

  const int fd = RetryOnSignal([&] { return sys_.Open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); });
  if (fd < 0) {
    const int error = errno;
    switch (error) {
      case ENOENT:
      case ENODEV:
      case ENXIO:
        return Fail(PortFailure::kNotFound, device + ": no such device");
      case EACCES:
      case EPERM:
        return Fail(PortFailure::kPermission, device + ": permission denied (this user may not use the port)");
      case EBUSY:
        return Fail(PortFailure::kBusy, device + ": the port is in use by another program");
      default:
        return Fail(PortFailure::kOther, device + ": " + std::strerror(error));
    }
  }
  if (sys_.IsATty(fd) != 1) {
    sys_.Close(fd);
    return Fail(PortFailure::kNotSerial, device + ": not a serial port (not a terminal device)");
  }
  // Two programs on one port would garble each other's exchanges.
  if (RetryOnSignal([&] { return sys_.Flock(fd, LOCK_EX | LOCK_NB); }) != 0) {
    const int error = errno;
    sys_.Close(fd);
    if (error == EWOULDBLOCK) return Fail(PortFailure::kBusy, device + ": the port is in use by another program");
    return Fail(PortFailure::kOther, device + ": cannot lock the port: " + std::strerror(error));
  }
  if (sys_.Ioctl(fd, TIOCEXCL, nullptr) != 0) {
    const int error = errno;
    sys_.Close(fd);
    return Fail(PortFailure::kOther, device + ": cannot take the port for exclusive use: " + std::strerror(error));
  }
  fd_ = fd;
  gone_ = false;
  input_.clear();
  input_head_ = 0;

  const BaudRate* rate = nullptr;
  for (const BaudRate& r : kBaudRates) {
    if (r.rate == baudRate) rate = &r;
  }
  if (rate == nullptr) return Refuse(device, baudRate, "unsupported baud rate");

  termios settings{};
  if (sys_.TcGetAttr(fd_, &settings) != 0) return Refuse(device, baudRate, std::strerror(errno));
  cfmakeraw(&settings);
  settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
  settings.c_cflag |= CS8 | CLOCAL | CREAD;
  settings.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | ISTRIP);
  // One byte satisfies a read, so a read of 0 bytes can only mean hang-up.
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  cfsetispeed(&settings, rate->constant);
  cfsetospeed(&settings, rate->constant);
  if (RetryOnSignal([&] { return sys_.TcSetAttr(fd_, TCSANOW, &settings); }) != 0) {
    return Refuse(device, baudRate, std::strerror(errno));
  }
  // tcsetattr succeeds when any one change was taken; read back what stuck.
  termios applied{};
  if (sys_.TcGetAttr(fd_, &applied) != 0) return Refuse(device, baudRate, std::strerror(errno));
  if (cfgetospeed(&applied) != rate->constant ||
      (cfgetispeed(&applied) != rate->constant && cfgetispeed(&applied) != B0)) {
    return Refuse(device, baudRate, "the baud rate did not take");
  }
  if ((applied.c_cflag & CSIZE) != CS8 || (applied.c_cflag & (PARENB | CSTOPB | CRTSCTS)) != 0 ||
      (applied.c_iflag & (IXON | IXOFF | IXANY)) != 0) {
    return Refuse(device, baudRate, "the framing or flow control did not take");
  }
  int lines = TIOCM_DTR | TIOCM_RTS;
  if (sys_.Ioctl(fd_, TIOCMBIC, &lines) != 0 && errno != EINVAL && errno != ENOTTY) {
    // Pseudo-terminals refuse modem-line ioctls; a missing DTR line is not an error there.
    return Refuse(device, baudRate, std::string("cannot drop DTR and RTS: ") + std::strerror(errno));
  }
  sys_.TcFlush(fd_, TCIOFLUSH);
  return 1;
}

void PosixPort::Close() {
  if (fd_ < 0) return;
  // Exclusive mode belongs to the terminal, not to this descriptor: hand it back.
  sys_.Ioctl(fd_, TIOCNXCL, nullptr);
  // No retry: Linux frees the descriptor even when close is interrupted.
  sys_.Close(fd_);
  fd_ = -1;
  gone_ = false;
  input_.clear();
  input_head_ = 0;
}

void PosixPort::MarkGone(int error) {
  if (gone_) return;
  gone_ = true;
  last_error_ = error != 0 ? std::string("the device is gone: ") + std::strerror(error) : "the device is gone";
}

void PosixPort::PurgeQueues(Purge which) {
  if (fd_ < 0) return;
  input_.clear();
  input_head_ = 0;
  sys_.TcFlush(fd_, which == Purge::kAll ? TCIOFLUSH : TCIFLUSH);
}

int PosixPort::QueuedCount() {
  if (fd_ < 0 || gone_) return -1;
  int inDriver = 0;
  if (sys_.Ioctl(fd_, TIOCINQ, &inDriver) != 0) {
    // A hung-up terminal answers every ioctl with EIO.
    MarkGone(errno);
    return -1;
  }
  return static_cast<int>(input_.size() - input_head_) + std::max(inDriver, 0);
}

bool PosixPort::Pull() {
  std::uint8_t chunk[4096];
  while (input_.size() - input_head_ < kInputLimit) {
    const ssize_t got = RetryOnSignal([&] { return sys_.Read(fd_, chunk, sizeof chunk); });
    if (got > 0) {
      if (input_head_ == input_.size()) {
        input_.clear();
        input_head_ = 0;
      }
      input_.insert(input_.end(), chunk, chunk + got);
      continue;
    }
    if (got == 0) {
      MarkGone(0);
      return false;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
    MarkGone(errno);
    return false;
  }
  return true;
}

bool PosixPort::WaitReady(short events, int milliseconds) {
  const std::int64_t deadline = MonotonicMs() + std::max(milliseconds, 0);
  for (;;) {
    pollfd p{fd_, events, 0};
    const int left = static_cast<int>(std::max<std::int64_t>(deadline - MonotonicMs(), 0));
    const int ready = sys_.Poll(&p, 1, left);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) {
      MarkGone(errno);
      return false;
    }
    if (ready == 0) return false;
    if ((p.revents & events) != 0) return true;
    if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
      MarkGone(EIO);
      return false;
    }
    if (MonotonicMs() >= deadline) return false;
  }
}

bool PosixPort::Read(std::uint8_t* buffer, std::size_t n) {
  if (fd_ < 0 || gone_) return false;
  std::size_t done = std::min(n, input_.size() - input_head_);
  if (done != 0) std::memcpy(buffer, input_.data() + input_head_, done);
  input_head_ += done;
  const std::int64_t deadline = MonotonicMs() + kReadWaitMs;
  while (done < n) {
    const ssize_t got = RetryOnSignal([&] { return sys_.Read(fd_, buffer + done, n - done); });
    if (got > 0) {
      done += static_cast<std::size_t>(got);
      continue;
    }
    if (got == 0) {
      MarkGone(0);
      return false;
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      MarkGone(errno);
      return false;
    }
    const std::int64_t left = deadline - MonotonicMs();
    if (left <= 0 || !WaitReady(POLLIN, static_cast<int>(left))) return false;
  }
  return true;
}

bool PosixPort::Write(std::span<const std::uint8_t> bytes) {
  if (fd_ < 0 || gone_) return false;
  std::size_t done = 0;
  const std::int64_t deadline = MonotonicMs() + kWriteWaitMs;
  while (done < bytes.size()) {
    const ssize_t put = RetryOnSignal([&] { return sys_.Write(fd_, bytes.data() + done, bytes.size() - done); });
    if (put > 0) {
      done += static_cast<std::size_t>(put);
      continue;
    }
    if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      MarkGone(errno);
      return false;
    }
    // The driver's output queue is full: wait for room, but not forever.
    const std::int64_t left = deadline - MonotonicMs();
    if (left <= 0 || !WaitReady(POLLOUT, static_cast<int>(left))) return false;
  }
  return true;
}

void PosixPort::Flush() {
  if (fd_ < 0 || gone_) return;
  RetryOnSignal([&] { return sys_.TcDrain(fd_); });
}

void PosixPort::Sleep(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void PosixPort::WaitForInput(int milliseconds) {
  if (fd_ < 0 || gone_) return;
  // Take what the driver holds first, so that poll() waits for bytes that are
  // new; bytes that came since the caller last looked end the wait at once.
  const std::size_t before = input_.size() - input_head_;
  if (!Pull()) return;
  const std::size_t buffered = input_.size() - input_head_;
  if (buffered > before) return;
  if (buffered >= kInputLimit) {
    Sleep(milliseconds);
    return;
  }
  WaitReady(POLLIN, milliseconds);
}

}  // namespace krt::link
