// The real krtcfg-sim on a real pseudo-terminal, driven by RTCom over the
// POSIX serial back end.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/posix_port.hpp"
#include "link/rt_com.hpp"
#include "sim/models.hpp"
#include "sim/trend_record.hpp"
#include "support/temp_dir.hpp"

extern char** environ;

namespace krt::sim {
namespace {

using Clock = std::chrono::steady_clock;

const char* const kSimProgram = KRTCFG_BINARY_DIR "/sim/krtcfg-sim";

// One simulator process; it is stopped (and if need be killed) when the
// object goes, so a failing test never leaves one behind.
class SimProcess {
 public:
  explicit SimProcess(const std::vector<std::string>& args) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<std::string> all = {kSimProgram};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, kSimProgram, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    out_ = out[0];
    if (pid_ > 0) device_path_ = ReadLine(std::chrono::seconds(10));
  }

  ~SimProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      if (!WaitExit(std::chrono::seconds(5))) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
      }
    }
    if (out_ >= 0) close(out_);
  }
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  const std::string& DevicePath() const { return device_path_; }

  // Waits for the process to end; its exit status, or nullopt on time-out.
  std::optional<int> WaitExit(std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (pid_ > 0) {
      int status = 0;
      const pid_t r = waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        pid_ = -1;
        exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        break;
      }
      if (Clock::now() > end) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return exit_status_;
  }

  std::optional<int> Stop() {
    if (pid_ > 0) kill(pid_, SIGTERM);
    return WaitExit(std::chrono::seconds(5));
  }

 private:
  std::string ReadLine(std::chrono::milliseconds limit) {
    std::string line;
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char c = 0;
      if (read(out_, &c, 1) != 1) break;
      if (c == '\n') return line;
      line.push_back(c);
    }
    return {};
  }

  pid_t pid_ = -1;
  int out_ = -1;
  std::string device_path_;
  std::optional<int> exit_status_;
};

// RTCom on a fresh POSIX port, aimed at the simulator's device end.
struct Host {
  explicit Host(const std::string& path) : com(port, [](int) { return std::string(); }) { com.device_path = path; }
  link::PosixPort port;
  link::RTCom com;
};

// Another program can open the port at once: nothing is left held.
void ExpectPortFree(const std::string& path) {
  link::PosixPort other;
  EXPECT_EQ(other.Open(path, 57600), 1) << other.LastError();
  other.Close();
}

Bytes ModelImage(const char* name) {
  return DefaultImage(*FindSimModel(name));
}

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(SimEndToEnd, DownloadUploadAndTrendOnOneDevice) {
  test::TempDir dir;
  const std::string received = dir.File("received.cfg");
  SimProcess sim({"--model", "RT610N", "--received", received});
  ASSERT_FALSE(sim.DevicePath().empty());
  Host host(sim.DevicePath());

  // A download of another image: status, 'P' "CONFIG" with two blocks, status.
  Bytes image = ModelImage("RT610N");
  image[100] ^= 0x5A;
  int errorCode = -1;
  EXPECT_EQ(host.com.WriteConfig(image, 2048, &errorCode), link::kComOk);
  EXPECT_EQ(errorCode, -1);
  EXPECT_EQ(test::ReadWholeFile(received), std::string(image.begin(), image.end()));
  ExpectPortFree(sim.DevicePath());

  // The device now serves what it was given.
  Bytes uploaded;
  EXPECT_EQ(host.com.ReadConfig(uploaded), link::kComOk);
  EXPECT_EQ(uploaded, image);
  ExpectPortFree(sim.DevicePath());

  Bytes trend;
  int modelIndex = -1;
  EXPECT_EQ(host.com.ReadTrend(trend, &modelIndex), link::kComOk);
  EXPECT_EQ(modelIndex, 5);
  EXPECT_EQ(trend, SyntheticTrendRecord(5, 1));
  ExpectPortFree(sim.DevicePath());

  EXPECT_EQ(sim.Stop(), 0);
}

TEST(SimEndToEnd, UploadsTheDefaultImageOfTheModel) {
  SimProcess sim({"--model", "RT610J", "--block-size", "300"});
  ASSERT_FALSE(sim.DevicePath().empty());
  Host host(sim.DevicePath());
  Bytes image;
  EXPECT_EQ(host.com.ReadConfig(image), link::kComOk);
  EXPECT_EQ(image, ModelImage("RT610J"));
  ExpectPortFree(sim.DevicePath());
}

enum class Operation { kUpload, kDownload, kTrend };

struct FaultCase {
  const char* name;
  std::vector<std::string> args;
  Operation operation;
  int result;
  int error_code;  // from WriteConfig, -1 when not set
  double min_seconds;
  double max_seconds;
};

class SimEndToEndFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(SimEndToEndFaults, HostSeesTheFaultAndThePortIsFreeAfterwards) {
  const FaultCase& c = GetParam();
  SimProcess sim(c.args);
  ASSERT_FALSE(sim.DevicePath().empty());
  Host host(sim.DevicePath());
  const auto start = Clock::now();
  Bytes bytes = {0xAB};
  int errorCode = -1;
  int modelIndex = -1;
  int result = 1;
  switch (c.operation) {
    case Operation::kUpload:
      result = host.com.ReadConfig(bytes);
      break;
    case Operation::kDownload:
      bytes = ModelImage("KRT610");
      result = host.com.WriteConfig(bytes, 2048, &errorCode);
      break;
    case Operation::kTrend:
      result = host.com.ReadTrend(bytes, &modelIndex);
      break;
  }
  EXPECT_EQ(result, c.result);
  EXPECT_EQ(errorCode, c.error_code);
  const double seconds = SecondsSince(start);
  EXPECT_GE(seconds, c.min_seconds);
  EXPECT_LE(seconds, c.max_seconds);
  if (result != link::kComOk && c.operation != Operation::kDownload) {
    EXPECT_EQ(bytes, Bytes{0xAB});
  }
  // A vanished device takes its device end with it.
  if (std::filesystem::exists(sim.DevicePath())) ExpectPortFree(sim.DevicePath());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimEndToEndFaults,
    ::testing::Values(
        FaultCase{"NakOnceThenSuccess", {"--nak", "1"}, Operation::kDownload, link::kComOk, -1, 0, 3},
        FaultCase{"DeviceError5", {"--device-error", "5"}, Operation::kDownload, link::kComDeviceError, 5, 0, 3},
        FaultCase{"WrongChecksumOnceThenSuccess", {"--corrupt-crc", "1"}, Operation::kUpload, link::kComOk, -1, 0, 3},
        FaultCase{"WrongChecksumThrice", {"--corrupt-crc", "3"}, Operation::kUpload, link::kComFailed, -1, 0, 3},
        FaultCase{"NoiseBeforeSmallBlocks",
                  {"--noise", "7", "--block-size", "100"},
                  Operation::kTrend,
                  link::kComOk,
                  -1,
                  0,
                  5},
        FaultCase{"ErrorFrameEndsTheUpload",
                  {"--error-frame", "--fault-on", "G"},
                  Operation::kTrend,
                  link::kComFailed,
                  -1,
                  0,
                  3},
        FaultCase{"NoShortTrend", {"--model", "KRT410"}, Operation::kTrend, link::kComNoTrend, -1, 0, 3},
        FaultCase{
            "UnknownTypeCodeRefusesDownload", {"--type-code", "30"}, Operation::kDownload, link::kComFailed, -1, 0, 3},
        FaultCase{"NakStormOnTheDownload",
                  {"--nak", "3", "--fault-on", "P"},
                  Operation::kDownload,
                  link::kComFailed,
                  -1,
                  0,
                  3},
        // A device that disappears is noticed at once, not after the waits.
        FaultCase{
            "VanishesInTheMiddleOfAReplyBlock", {"--vanish-mid-block"}, Operation::kUpload, link::kComFailed, -1, 0, 3},
        FaultCase{"VanishesInTheMiddleOfADataBlock",
                  {"--vanish-mid-block", "--fault-on", "P"},
                  Operation::kDownload,
                  link::kComFailed,
                  -1,
                  0,
                  3},
        FaultCase{"GarbageInsteadOfAnAnswer",
                  {"--babble", "--fault-on", "P"},
                  Operation::kDownload,
                  link::kComFailed,
                  -1,
                  0,
                  3},
        // Each bad header drains the line; garbage without end still ends the upload.
        FaultCase{
            "GarbageInsteadOfAReply", {"--babble", "--fault-on", "G"}, Operation::kUpload, link::kComFailed, -1, 0, 8},
        // The one slow case: three silences of 3 s, each followed by 2 s of sleep.
        FaultCase{"Silent", {"--silent"}, Operation::kUpload, link::kComFailed, -1, 14, 18}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

TEST(SimEndToEnd, LinkPointsAtTheDeviceAndGoesAtExit) {
  test::TempDir dir;
  const std::string link = dir.File("krt0");
  SimProcess sim({"--link", link});
  ASSERT_FALSE(sim.DevicePath().empty());
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), sim.DevicePath());
  Host host(link);
  Bytes image;
  EXPECT_EQ(host.com.ReadConfig(image), link::kComOk);
  EXPECT_EQ(image.size(), 2048u);
  EXPECT_EQ(sim.Stop(), 0);
  EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST(SimEndToEnd, HelpAndBadOptions) {
  SimProcess help({"--help"});
  EXPECT_EQ(help.DevicePath(), "Usage: krtcfg-sim [options]");
  EXPECT_EQ(help.WaitExit(std::chrono::seconds(5)), 0);
  SimProcess bad({"--model", "KRT999"});
  EXPECT_EQ(bad.DevicePath(), "");
  EXPECT_EQ(bad.WaitExit(std::chrono::seconds(5)), 2);
}

}  // namespace
}  // namespace krt::sim
