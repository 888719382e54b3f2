#pragma once
// The system calls of the serial back end, in one place, so tests can make
// any of them fail (EINTR, EAGAIN, EIO, short writes) without hardware.
// Each behaves like the call it is named after: -1 and errno on failure.

#include <poll.h>
#include <sys/types.h>
#include <termios.h>

namespace krt::link {

class SysCalls {
 public:
  virtual ~SysCalls() = default;
  virtual int Open(const char* path, int flags);
  virtual int Close(int fd);
  virtual ssize_t Read(int fd, void* buffer, size_t n);
  virtual ssize_t Write(int fd, const void* buffer, size_t n);
  virtual int Poll(pollfd* fds, nfds_t count, int timeoutMs);
  // ioctl with an int argument (TIOCINQ, TIOCMBIC) or none (TIOCEXCL, TIOCNXCL).
  virtual int Ioctl(int fd, unsigned long request, int* value);
  virtual int Flock(int fd, int operation);
  virtual int IsATty(int fd);
  virtual int TcGetAttr(int fd, termios* settings);
  virtual int TcSetAttr(int fd, int when, const termios* settings);
  virtual int TcFlush(int fd, int queues);
  virtual int TcDrain(int fd);
};

// The real calls; the object has no state.
SysCalls& RealSysCalls();

}  // namespace krt::link
