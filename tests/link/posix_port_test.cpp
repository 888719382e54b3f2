#include "link/posix_port.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <deque>
#include <map>
#include <thread>

#include "link/sys_calls.hpp"
#include "link/transfer.hpp"
#include "support/fake_port.hpp"
#include "support/temp_dir.hpp"

namespace krt::link {
namespace {

using test::Hex;

std::int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The device end of a pseudo-terminal; the port under test opens the other end.
class Pty {
 public:
  Pty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    EXPECT_GE(master_, 0);
    EXPECT_EQ(grantpt(master_), 0);
    EXPECT_EQ(unlockpt(master_), 0);
    char name[128] = {};
    EXPECT_EQ(ptsname_r(master_, name, sizeof name), 0);
    path_ = name;
  }
  ~Pty() { Hangup(); }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  const std::string& path() const { return path_; }
  void Hangup() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }
  void Send(ByteView bytes) {
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // Reads n bytes, waiting at most `ms` for them.
  Bytes Receive(std::size_t n, int ms = 2000) {
    Bytes out;
    const std::int64_t deadline = NowMs() + ms;
    while (out.size() < n && NowMs() < deadline) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(deadline - NowMs())) <= 0) break;
      std::uint8_t chunk[4096];
      const ssize_t got = read(master_, chunk, std::min(sizeof chunk, n - out.size()));
      if (got <= 0) break;
      out.insert(out.end(), chunk, chunk + got);
    }
    return out;
  }

 private:
  int master_ = -1;
  std::string path_;
};

// Waits on the port until n bytes are queued (or 2 s have passed).
bool AwaitQueued(Port& port, int n) {
  const std::int64_t deadline = NowMs() + 2000;
  while (NowMs() < deadline) {
    const int q = port.QueuedCount();
    if (q < 0) return false;
    if (q >= n) return true;
    port.WaitForInput(100);
  }
  return false;
}

TEST(PosixPort, OpensAndConfiguresARawLine) {
  Pty pty;
  PosixPort port;
  ASSERT_EQ(port.Open(pty.path(), 57600), 1) << port.LastError();
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(port.LastFailure(), PortFailure::kNone);
  termios t{};
  ASSERT_EQ(tcgetattr(port.fd(), &t), 0);
  EXPECT_EQ(cfgetospeed(&t), B57600);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  const int flags = fcntl(port.fd(), F_GETFD);
  EXPECT_TRUE(flags & FD_CLOEXEC);
  port.Close();
  EXPECT_FALSE(port.IsOpen());
}

TEST(PosixPort, RefusesWhatIsNotASerialPort) {
  test::TempDir dir;
  test::WriteWholeFile(dir.File("plain.txt"), "not a port");
  struct Case {
    std::string path;
    PortFailure failure;
    std::string message;
  } const cases[] = {
      {"/dev/null", PortFailure::kNotSerial, "/dev/null: not a serial port (not a terminal device)"},
      {dir.File("plain.txt"), PortFailure::kNotSerial,
       dir.File("plain.txt") + ": not a serial port (not a terminal device)"},
      {dir.File("ttyNONE"), PortFailure::kNotFound, dir.File("ttyNONE") + ": no such device"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    PosixPort port;
    EXPECT_EQ(port.Open(c.path, 57600), 0);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.LastFailure(), c.failure);
    EXPECT_EQ(port.LastError(), c.message);
  }
}

TEST(PosixPort, HeldExclusivelyUntilClosed) {
  Pty pty;
  PosixPort first;
  PosixPort second;
  ASSERT_EQ(first.Open(pty.path(), 57600), 1);
  EXPECT_EQ(second.Open(pty.path(), 57600), 0);
  EXPECT_FALSE(second.IsOpen());
  EXPECT_EQ(second.LastFailure(), PortFailure::kBusy);
  EXPECT_EQ(second.LastError(), pty.path() + ": the port is in use by another program");
  first.Close();
  EXPECT_EQ(second.Open(pty.path(), 57600), 1) << second.LastError();
}

TEST(PosixPort, ReadsBytesTheMomentTheyArrive) {
  Pty pty;
  PosixPort port;
  ASSERT_EQ(port.Open(pty.path(), 57600), 1);
  EXPECT_EQ(port.QueuedCount(), 0);
  pty.Send(Bytes{0x02, 0x00, 0xFF, 0x73});
  const std::int64_t start = NowMs();
  port.WaitForInput(5000);
  EXPECT_LT(NowMs() - start, 1000) << "the wait ends when bytes come";
  ASSERT_TRUE(AwaitQueued(port, 4));
  std::uint8_t got[4] = {};
  ASSERT_TRUE(port.Read(got, 4));
  EXPECT_EQ(Hex(got), "02 00 FF 73");
  EXPECT_EQ(port.QueuedCount(), 0);
}

TEST(PosixPort, WritesReachTheDevice) {
  Pty pty;
  PosixPort port;
  ASSERT_EQ(port.Open(pty.path(), 57600), 1);
  Bytes big(3000);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i);
  std::thread reader([&] { EXPECT_EQ(pty.Receive(big.size()), big); });
  EXPECT_TRUE(port.Write(big));
  port.Flush();
  reader.join();
}

TEST(PosixPort, PurgeDiscardsInput) {
  Pty pty;
  PosixPort port;
  ASSERT_EQ(port.Open(pty.path(), 57600), 1);
  pty.Send(Bytes{1, 2, 3, 4, 5});
  ASSERT_TRUE(AwaitQueued(port, 5));
  port.PurgeQueues(Purge::kReceive);
  EXPECT_EQ(port.QueuedCount(), 0);
  pty.Send(Bytes{9});
  ASSERT_TRUE(AwaitQueued(port, 1));
  std::uint8_t b = 0;
  ASSERT_TRUE(port.Read(&b, 1));
  EXPECT_EQ(b, 9);
}

TEST(PosixPort, HangupMeansTheDeviceIsGone) {
  Pty pty;
  PosixPort port;
  ASSERT_EQ(port.Open(pty.path(), 57600), 1);
  pty.Hangup();
  const std::int64_t start = NowMs();
  port.WaitForInput(5000);
  EXPECT_LT(NowMs() - start, 1000) << "a hang-up ends the wait";
  EXPECT_EQ(port.QueuedCount(), -1);
  std::uint8_t b = 0;
  EXPECT_FALSE(port.Read(&b, 1));
  EXPECT_FALSE(port.Write(Bytes{0x06}));
  EXPECT_TRUE(port.IsOpen()) << "the caller still closes it";
  port.Close();
}

TEST(PosixPort, UnsupportedBaudRateRefusesTheSettings) {
  Pty pty;
  PosixPort port;
  EXPECT_EQ(port.Open(pty.path(), 12345), 0);
  EXPECT_TRUE(port.IsOpen()) << "held until closed, like any refused settings";
  EXPECT_EQ(port.LastFailure(), PortFailure::kSettings);
  port.Close();
}

// The protocol over a real terminal: a status query answered by a thread
// acting as the device is read as soon as its bytes arrive.
TEST(PosixPort, StatusQueryWithoutPollingDelays) {
  Pty pty;
  PosixPort port;
  CTransfer transfer(port);
  ASSERT_EQ(transfer.Open(pty.path(), 57600), 1);
  const Bytes reply{0x02, 0x00, 0xFF, 0x73, 0x00, 0x10, 0x14, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x17, 0x08, 0x48};
  std::thread device([&] {
    EXPECT_EQ(Hex(pty.Receive(9)), "02 00 FF 53 00 00 03 EA F9");
    pty.Send(Bytes{0x06});
    EXPECT_EQ(Hex(pty.Receive(1)), "05");
    pty.Send(reply);
    EXPECT_EQ(Hex(pty.Receive(2)), "06 04");
  });
  std::uint8_t status[16] = {};
  int length = 0;
  const std::int64_t start = NowMs();
  EXPECT_EQ(transfer.Transact('S', nullptr, 0, 's', status, 16, &length, nullptr), 1);
  EXPECT_LT(NowMs() - start, 500);
  device.join();
  EXPECT_EQ(length, 16);
  EXPECT_EQ(status[0], 0x14);
  transfer.Close();
  EXPECT_FALSE(port.IsOpen());
}

// ---------------------------------------------------------------------------
// System calls that fail on purpose.

enum class Call { kOpen, kRead, kWrite, kPoll, kInq, kModemLines, kTcGetAttr, kTcSetAttr, kTcDrain };

class FaultySys : public SysCalls {
 public:
  // errno values the next calls fail with, in order; 0 lets a call through.
  std::map<Call, std::deque<int>> plan;
  std::size_t max_write = SIZE_MAX;  // longer writes are cut short
  bool slow_baud_on_read_back = false;

  bool Planned() const {
    for (const auto& [call, errors] : plan) {
      if (!errors.empty()) return true;
    }
    return false;
  }

  int Open(const char* path, int flags) override { return Inject(Call::kOpen) ? -1 : SysCalls::Open(path, flags); }
  ssize_t Read(int fd, void* buffer, size_t n) override {
    return Inject(Call::kRead) ? -1 : SysCalls::Read(fd, buffer, n);
  }
  ssize_t Write(int fd, const void* buffer, size_t n) override {
    return Inject(Call::kWrite) ? -1 : SysCalls::Write(fd, buffer, std::min(n, max_write));
  }
  int Poll(pollfd* fds, nfds_t count, int timeoutMs) override {
    return Inject(Call::kPoll) ? -1 : SysCalls::Poll(fds, count, timeoutMs);
  }
  int Ioctl(int fd, unsigned long request, int* value) override {
    if (request == TIOCINQ && Inject(Call::kInq)) return -1;
    if (request == TIOCMBIC && Inject(Call::kModemLines)) return -1;
    return SysCalls::Ioctl(fd, request, value);
  }
  int TcGetAttr(int fd, termios* settings) override {
    if (Inject(Call::kTcGetAttr)) return -1;
    const int r = SysCalls::TcGetAttr(fd, settings);
    if (r == 0 && slow_baud_on_read_back && ++getattr_calls_ == 2) cfsetospeed(settings, B9600);
    return r;
  }
  int TcSetAttr(int fd, int when, const termios* settings) override {
    return Inject(Call::kTcSetAttr) ? -1 : SysCalls::TcSetAttr(fd, when, settings);
  }
  int TcDrain(int fd) override { return Inject(Call::kTcDrain) ? -1 : SysCalls::TcDrain(fd); }

 private:
  bool Inject(Call call) {
    auto it = plan.find(call);
    if (it == plan.end() || it->second.empty()) return false;
    const int error = it->second.front();
    it->second.pop_front();
    if (error == 0) return false;
    errno = error;
    return true;
  }
  int getattr_calls_ = 0;
};

TEST(PosixPortFaults, OpenFailures) {
  struct Case {
    const char* name;
    std::map<Call, std::deque<int>> plan;
    bool slow_baud;
    int result;
    bool held;
    PortFailure failure;
    std::string message_start;  // after "<path>: "
  } const cases[] = {
      {"interrupted open is retried", {{Call::kOpen, {EINTR, EINTR}}}, false, 1, true, PortFailure::kNone, ""},
      {"interrupted tcsetattr is retried", {{Call::kTcSetAttr, {EINTR}}}, false, 1, true, PortFailure::kNone, ""},
      {"permission", {{Call::kOpen, {EACCES}}}, false, 0, false, PortFailure::kPermission, "permission denied"},
      {"operation not permitted",
       {{Call::kOpen, {EPERM}}},
       false,
       0,
       false,
       PortFailure::kPermission,
       "permission denied"},
      {"busy", {{Call::kOpen, {EBUSY}}}, false, 0, false, PortFailure::kBusy, "the port is in use"},
      {"device missing", {{Call::kOpen, {ENXIO}}}, false, 0, false, PortFailure::kNotFound, "no such device"},
      {"settings refused",
       {{Call::kTcSetAttr, {EIO}}},
       false,
       0,
       true,
       PortFailure::kSettings,
       "the port refused the line settings (57600 baud, 8 data bits, no parity, 1 stop bit)"},
      {"settings unreadable",
       {{Call::kTcGetAttr, {EIO}}},
       false,
       0,
       true,
       PortFailure::kSettings,
       "the port refused the line settings"},
      {"baud rate did not take", {}, true, 0, true, PortFailure::kSettings, "the port refused the line settings"},
      {"modem lines: EINVAL tolerated", {{Call::kModemLines, {EINVAL}}}, false, 1, true, PortFailure::kNone, ""},
      {"modem lines: ENOTTY tolerated", {{Call::kModemLines, {ENOTTY}}}, false, 1, true, PortFailure::kNone, ""},
      {"modem lines: EIO refused",
       {{Call::kModemLines, {EIO}}},
       false,
       0,
       true,
       PortFailure::kSettings,
       "the port refused the line settings"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Pty pty;
    FaultySys sys;
    sys.plan = c.plan;
    sys.slow_baud_on_read_back = c.slow_baud;
    PosixPort port(sys);
    EXPECT_EQ(port.Open(pty.path(), 57600), c.result);
    EXPECT_EQ(port.IsOpen(), c.held);
    EXPECT_EQ(port.LastFailure(), c.failure);
    if (!c.message_start.empty()) {
      EXPECT_EQ(port.LastError().rfind(pty.path() + ": " + c.message_start, 0), 0u) << port.LastError();
    }
    EXPECT_FALSE(sys.Planned()) << "every planned failure was met";
  }
}

TEST(PosixPortFaults, InterruptedAndShortWritesDeliverEverything) {
  Pty pty;
  FaultySys sys;
  PosixPort port(sys);
  ASSERT_EQ(port.Open(pty.path(), 57600), 1);
  sys.max_write = 5;
  sys.plan[Call::kWrite] = {EINTR, 0, EAGAIN, 0, EINTR};
  sys.plan[Call::kTcDrain] = {EINTR};
  const Bytes block = test::Block(1, 'p', Bytes(40, 0x33), 0x17);
  std::thread reader([&] { EXPECT_EQ(Hex(pty.Receive(block.size())), Hex(block)); });
  EXPECT_TRUE(port.Write(block));
  port.Flush();
  reader.join();
  EXPECT_FALSE(sys.Planned());
}

TEST(PosixPortFaults, InterruptedReadsAndPolls) {
  Pty pty;
  FaultySys sys;
  PosixPort port(sys);
  ASSERT_EQ(port.Open(pty.path(), 57600), 1);
  sys.plan[Call::kPoll] = {EINTR};
  sys.plan[Call::kRead] = {EINTR, EAGAIN};
  pty.Send(Bytes{0x06, 0x04});
  ASSERT_TRUE(AwaitQueued(port, 2));
  std::uint8_t got[2] = {};
  ASSERT_TRUE(port.Read(got, 2));
  EXPECT_EQ(Hex(got), "06 04");
}

TEST(PosixPortFaults, InputErrorsMeanTheDeviceIsGone) {
  struct Case {
    const char* name;
    Call call;
    int error;
  } const cases[] = {
      {"queued count EIO", Call::kInq, EIO},
      {"read EIO", Call::kRead, EIO},
      {"read ENXIO", Call::kRead, ENXIO},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Pty pty;
    FaultySys sys;
    PosixPort port(sys);
    ASSERT_EQ(port.Open(pty.path(), 57600), 1);
    sys.plan[c.call] = {c.error};
    port.WaitForInput(10);
    EXPECT_EQ(port.QueuedCount(), -1);
    EXPECT_FALSE(port.Write(Bytes{0x05}));
    EXPECT_EQ(port.LastError().rfind("the device is gone", 0), 0u) << port.LastError();
  }
}

TEST(PosixPortFaults, WriteErrorMeansTheDeviceIsGone) {
  Pty pty;
  FaultySys sys;
  PosixPort port(sys);
  ASSERT_EQ(port.Open(pty.path(), 57600), 1);
  sys.plan[Call::kWrite] = {EIO};
  EXPECT_FALSE(port.Write(Bytes{0x05}));
  EXPECT_EQ(port.QueuedCount(), -1);
}

}  // namespace
}  // namespace krt::link
