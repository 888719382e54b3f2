#include "link/sys_calls.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace krt::link {

int SysCalls::Open(const char* path, int flags) {
  return ::open(path, flags);
}
int SysCalls::Close(int fd) {
  return ::close(fd);
}
ssize_t SysCalls::Read(int fd, void* buffer, size_t n) {
  return ::read(fd, buffer, n);
}
ssize_t SysCalls::Write(int fd, const void* buffer, size_t n) {
  return ::write(fd, buffer, n);
}
int SysCalls::Poll(pollfd* fds, nfds_t count, int timeoutMs) {
  return ::poll(fds, count, timeoutMs);
}
int SysCalls::Ioctl(int fd, unsigned long request, int* value) {
  return value != nullptr ? ::ioctl(fd, request, value) : ::ioctl(fd, request);
}
int SysCalls::Flock(int fd, int operation) {
  return ::flock(fd, operation);
}
int SysCalls::IsATty(int fd) {
  return ::isatty(fd);
}
int SysCalls::TcGetAttr(int fd, termios* settings) {
  return ::tcgetattr(fd, settings);
}
int SysCalls::TcSetAttr(int fd, int when, const termios* settings) {
  return ::tcsetattr(fd, when, settings);
}
int SysCalls::TcFlush(int fd, int queues) {
  return ::tcflush(fd, queues);
}
int SysCalls::TcDrain(int fd) {
  return ::tcdrain(fd);
}

SysCalls& RealSysCalls() {
  static SysCalls real;
  return real;
}

}  // namespace krt::link
