// krtcfg-cli end to end: the real program against the real simulator on a
// pseudo-terminal.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.hpp"

namespace krt::cli {
namespace {

using test::ReadWholeFile;
using test::TempDir;
using test::WriteWholeFile;

const std::string kCli = KRTCFG_BINARY_DIR "/cli/krtcfg-cli";
const std::string kSim = KRTCFG_BINARY_DIR "/sim/krtcfg-sim";

std::vector<char*> Argv(std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return argv;
}

// The simulator, running until the object goes.
class Simulator {
 public:
  explicit Simulator(std::vector<std::string> options) {
    std::vector<std::string> args = {kSim};
    args.insert(args.end(), options.begin(), options.end());
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    auto argv = Argv(args);
    if (::posix_spawn(&pid_, kSim.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    // The first line is the device end's path.
    pollfd p{out[0], POLLIN, 0};
    char c = 0;
    while (pid_ > 0 && ::poll(&p, 1, 10000) == 1 && ::read(out[0], &c, 1) == 1 && c != '\n') path_ += c;
    stdout_ = out[0];
  }
  ~Simulator() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
    if (stdout_ >= 0) ::close(stdout_);
  }
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  const std::string& Path() const { return path_; }

 private:
  pid_t pid_ = -1;
  int stdout_ = -1;
  std::string path_;
};

struct Result {
  int code;
  std::string out;
  std::string err;
};

class CliEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(kCli)) << kCli;
    ASSERT_TRUE(std::filesystem::exists(kSim)) << kSim;
  }

  // Runs krtcfg-cli in the test's folder with its own settings file;
  // `whileRunning` is called with its process id.
  Result Cli(std::vector<std::string> options, const std::function<void(pid_t)>& whileRunning = {}) {
    std::vector<std::string> args = {kCli};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      if (std::string_view(*e).rfind("XDG_CONFIG_HOME=", 0) != 0) env.emplace_back(*e);
    }
    env.push_back("XDG_CONFIG_HOME=" + dir_.File("config"));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, dir_.File(".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, dir_.File(".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addchdir_np(&actions, dir_.Path().c_str());
    auto argv = Argv(args);
    auto envp = Argv(env);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, kCli.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return {-1, "", "spawn failed"};
    if (whileRunning) whileRunning(pid);
    int status = 0;
    ::waitpid(pid, &status, 0);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return {code, ReadWholeFile(dir_.File(".out")), ReadWholeFile(dir_.File(".err"))};
  }

  std::string File(const std::string& name) const { return dir_.File(name); }

  TempDir dir_;
};

std::string Slice(const std::string& file, std::size_t first, std::size_t last) {
  return file.substr(first, last - first + 1);
}

TEST_F(CliEndToEnd, UploadInspectDownloadAndTrend) {
  Simulator sim({"--model", "RT610X", "--received", File("received.cfg")});
  ASSERT_FALSE(sim.Path().empty());

  const Result up = Cli({"--port", sim.Path(), "upload", "device.cfg"});
  EXPECT_EQ(up.code, 0) << up.err;
  EXPECT_EQ(up.out, "Reading completed\nWriting completed\n");
  const std::string device = ReadWholeFile(File("device.cfg"));
  ASSERT_EQ(device.size(), 2048u);
  // The default image of an RT610X: model code 6200, format 3.2, LCD 0.0.
  EXPECT_EQ(device.substr(0, 16), std::string("\x49\x96\x02\xD2\x00\x20\x18\x38\x00\x03\x00\x02\x00\x00\x00\x00", 16));

  const Result info = Cli({"info", "device.cfg"});
  EXPECT_EQ(info.code, 0);
  EXPECT_EQ(info.out,
            "File : device.cfg\nDevice Model : RT610X\nFormat Ver. : 3.2\nLCD Ver. : 0.0x\nStored size : 2048 bytes\n");

  // A configuration of our own: the device's image with other values in
  // every block, under another LCD version. (Format 3.2 carries no screen
  // blocks, so 160 to 269 are not its own.)
  std::string own = device;
  own[13] = 1;
  own[15] = 50;
  for (std::size_t i = 40; i < 2048; ++i) own[i] = static_cast<char>(i * 13 + 5);
  WriteWholeFile(File("own.cfg"), own);
  const Result down = Cli({"--port", sim.Path(), "download", "own.cfg", "--verify"});
  EXPECT_EQ(down.code, 0) << down.err;
  EXPECT_EQ(down.out, "Reading completed\nWriting completed\nVerified: the device holds the 2048 bytes sent\n");
  const std::string received = ReadWholeFile(File("received.cfg"));
  ASSERT_EQ(received.size(), 2048u);
  EXPECT_EQ(Slice(received, 0, 31), Slice(device, 0, 31));        // the device's header
  EXPECT_EQ(Slice(received, 122, 147), Slice(device, 122, 147));  // and communication block
  for (const auto& [first, last] : std::vector<std::pair<std::size_t, std::size_t>>{
           {40, 66}, {114, 121}, {148, 159}, {288, 1408}, {1410, 1411}, {1652, 1663}}) {
    SCOPED_TRACE(std::to_string(first));
    EXPECT_EQ(Slice(received, first, last), Slice(own, first, last));
  }

  // Without OUT.csv the file is named after the record's oldest sample.
  const Result trend = Cli({"--port", sim.Path(), "trend"});
  EXPECT_EQ(trend.code, 0) << trend.err;
  ASSERT_EQ(trend.out.substr(0, 25), "Writing completed\nFile : ");
  const std::string name = trend.out.substr(25, trend.out.size() - 26);
  EXPECT_EQ(name.size(), 19u) << name;  // 20120307_143826.csv
  const std::string csv = ReadWholeFile(File(name));
  EXPECT_FALSE(csv.empty());
  EXPECT_NE(csv.find("\r\n"), std::string::npos);
  // The same name again is refused without --force.
  EXPECT_EQ(Cli({"--port", sim.Path(), "trend"}).code, 73);
  EXPECT_EQ(ReadWholeFile(File(name)), csv);
}

TEST_F(CliEndToEnd, DeviceError) {
  Simulator sim({"--model", "KRT610", "--device-error", "5"});
  ASSERT_FALSE(sim.Path().empty());
  const Result up = Cli({"--port", sim.Path(), "upload", "krt610.cfg"});
  ASSERT_EQ(up.code, 0) << up.err;
  const Result down = Cli({"--port", sim.Path(), "download", "krt610.cfg"});
  EXPECT_EQ(down.code, 76);
  EXPECT_EQ(down.out, "Reading completed\n");
  EXPECT_EQ(down.err, "Failed to write\nDevice error (Error code: 05)\n");
}

TEST_F(CliEndToEnd, MissingPort) {
  const Result r = Cli({"--port", File("no-such-tty"), "upload", "x.cfg"});
  EXPECT_EQ(r.code, 69);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.substr(0, 45), "Failed to read\nFailed to initialize COM port\n");
  EXPECT_FALSE(std::filesystem::exists(File("x.cfg")));
}

// The one slow case: a device that never answers takes the protocol's full
// set of attempts. Ctrl-C ends the same wait at once.
TEST_F(CliEndToEnd, SilentDevice) {
  Simulator sim({"--model", "RT610X", "--silent"});
  ASSERT_FALSE(sim.Path().empty());

  const auto start = std::chrono::steady_clock::now();
  const Result interrupted = Cli({"--port", sim.Path(), "upload", "x.cfg"}, [](pid_t pid) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ::kill(pid, SIGINT);
  });
  EXPECT_EQ(interrupted.code, 130);
  EXPECT_EQ(interrupted.err, "krtcfg-cli: cancelled; the port is released\n");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));

  const Result r = Cli({"--port", sim.Path(), "upload", "x.cfg"});
  EXPECT_EQ(r.code, 75);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Failed to read\nFailed to communicate\n");
  EXPECT_FALSE(std::filesystem::exists(File("x.cfg")));
}

}  // namespace
}  // namespace krt::cli
