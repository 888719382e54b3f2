// krtcfg-cli against a device that misbehaves: every fault the simulator can
// inject, crossed with upload, download and trend upload, end to end over a
// pseudo-terminal. Each cell checks the exact message and exit code, the
// time taken against the protocol's waits, that no file was created or
// changed, and that the port is free the moment the tool has ended.
//
// A silent device costs the protocol's full 15 s, so the cells run side by
// side: the suite starts every selected cell at once (the quick ones a few
// at a time, so that their timing is not crowded out) and each test waits
// for its own. Run alone (as ctest does), a test starts only its own cell.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <map>
#include <mutex>
#include <ostream>
#include <semaphore>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "image/bytes.hpp"
#include "image/config_data.hpp"
#include "image/image_layout.hpp"
#include "link/posix_port.hpp"
#include "link/transfer.hpp"
#include "support/temp_dir.hpp"

namespace krt::cli {
namespace {

using Clock = std::chrono::steady_clock;
using test::ReadWholeFile;
using test::TempDir;
using test::WriteWholeFile;

const std::string kCli = KRTCFG_BINARY_DIR "/cli/krtcfg-cli";
const std::string kSim = KRTCFG_BINARY_DIR "/sim/krtcfg-sim";

// ---- What each cell expects --------------------------------------------

enum class Op { kUpload, kDownload, kTrend };

const char* OpName(Op op) {
  switch (op) {
    case Op::kUpload:
      return "upload";
    case Op::kDownload:
      return "download";
    case Op::kTrend:
      return "trend";
  }
  return "";
}

// How long the tool may take, by the waits the protocol goes through.
enum class Timing {
  kPrompt,       // no wait at all: NAKs, bad blocks and a closed line are answered at once
  kSilence,      // three answer waits, each followed by the retry sleep
  kNoReply,      // the request is acknowledged, then the wait for a block start runs out
  kEndlessTalk,  // three reply headers found bad, each followed by a drain that is cut short
};

struct Window {
  int min_ms;
  int max_ms;
};

// Starting the tool on a loaded machine (and under AddressSanitizer) takes
// time of its own; it must stay below one answer wait, so that a prompt
// cell that waited for a time-out shows.
constexpr int kStartSlackMs = 2500;
static_assert(kStartSlackMs < link::kAnswerWaitMs);

Window WindowFor(Timing timing) {
  using namespace link;
  switch (timing) {
    case Timing::kPrompt:
      return {0, kStartSlackMs};
    case Timing::kSilence: {
      const int nominal = kMaxAttempts * (kAnswerWaitMs + kRetrySleepMs);
      return {nominal, nominal + kStartSlackMs};
    }
    case Timing::kNoReply:
      return {kStxWaitMs, kStxWaitMs + kStartSlackMs};
    case Timing::kEndlessTalk:
      // A drain looks at the line for at least 100 ms and gives up once its
      // bound has passed. On a terminal it usually ends sooner: when the
      // driver's input buffer is full the count stops growing, which reads
      // as a quiet line.
      return {kMaxAttempts * kQuietMs, kMaxAttempts * (kDrainLimitMs + kQuietMs) + kStartSlackMs};
  }
  return {0, 0};
}

// When a run that has not ended is taken for hung.
int LimitFor(Timing timing) {
  return WindowFor(timing).max_ms + 10000;
}

constexpr const char* kReadFailed = "Failed to read\nFailed to communicate\n";
constexpr const char* kWriteFailed = "Failed to write\nFailed to communicate\n";
constexpr const char* kDeviceError05 = "Failed to write\nDevice error (Error code: 05)\n";

struct Cell {
  const char* fault;
  Op op;
  std::vector<std::string> sim;  // the fault's options for krtcfg-sim
  int exit_code;                 // 0: the operation succeeds in spite of the fault
  const char* err;               // standard error, exactly
  Timing timing;
  bool line_survives = true;  // false: the device takes its line with it

  std::string Name() const { return std::string(fault) + "_" + OpName(op); }
};

std::ostream& operator<<(std::ostream& os, const Cell& cell) {
  return os << cell.Name();
}

// Standard output: download reads its file before it talks to the device.
std::string ExpectedOut(const Cell& cell) {
  if (cell.exit_code != 0) return cell.op == Op::kDownload ? "Reading completed\n" : "";
  return cell.op == Op::kTrend ? "Writing completed\n" : "Reading completed\nWriting completed\n";
}

// The device vanishes in the reply block of 'G' (upload, trend: the
// 13034-byte record, after a good status query) or in the first data block
// of 'P' (download, after the device's image and status were read).
const std::vector<std::string> kVanishInReply = {"--vanish-mid-block", "--fault-on", "G"};
const std::vector<std::string> kVanishInData = {"--vanish-mid-block", "--fault-on", "P"};

const Cell kCells[] = {
    // A device that never answers: three attempts of 3 s wait and 2 s sleep.
    {"silent", Op::kUpload, {"--silent"}, 75, kReadFailed, Timing::kSilence},
    {"silent", Op::kDownload, {"--silent"}, 75, kWriteFailed, Timing::kSilence},
    {"silent", Op::kTrend, {"--silent"}, 75, kReadFailed, Timing::kSilence},
    // Silent only for the download request, after the status query and the
    // upload of the device's own image went well.
    {"silent_on_put", Op::kDownload, {"--silent", "--fault-on", "P"}, 75, kWriteFailed, Timing::kSilence},
    // The request is acknowledged, then no reply block ever starts.
    {"silent_after_request", Op::kUpload, {"--silent-after-request"}, 75, kReadFailed, Timing::kNoReply},
    {"silent_after_request", Op::kDownload, {"--silent-after-request"}, 75, kWriteFailed, Timing::kNoReply},
    {"silent_after_request", Op::kTrend, {"--silent-after-request"}, 75, kReadFailed, Timing::kNoReply},
    // Every host block refused: the third NAK ends it.
    {"nak_storm", Op::kUpload, {"--nak", "1000"}, 75, kReadFailed, Timing::kPrompt},
    {"nak_storm", Op::kDownload, {"--nak", "1000"}, 75, kWriteFailed, Timing::kPrompt},
    {"nak_storm", Op::kTrend, {"--nak", "1000"}, 75, kReadFailed, Timing::kPrompt},
    {"nak_storm_on_put", Op::kDownload, {"--nak", "1000", "--fault-on", "P"}, 75, kWriteFailed, Timing::kPrompt},
    // Two refusals are within the three attempts.
    {"nak_twice", Op::kUpload, {"--nak", "2"}, 0, "", Timing::kPrompt},
    {"nak_twice", Op::kDownload, {"--nak", "2"}, 0, "", Timing::kPrompt},
    {"nak_twice", Op::kTrend, {"--nak", "2"}, 0, "", Timing::kPrompt},
    // Every reply block damaged: NAKed, sent again, given up on the third.
    {"corrupt_crc", Op::kUpload, {"--corrupt-crc", "1000"}, 75, kReadFailed, Timing::kPrompt},
    {"corrupt_crc", Op::kDownload, {"--corrupt-crc", "1000"}, 75, kWriteFailed, Timing::kPrompt},
    {"corrupt_crc", Op::kTrend, {"--corrupt-crc", "1000"}, 75, kReadFailed, Timing::kPrompt},
    {"corrupt_crc_twice", Op::kUpload, {"--corrupt-crc", "2"}, 0, "", Timing::kPrompt},
    {"corrupt_crc_twice", Op::kDownload, {"--corrupt-crc", "2"}, 0, "", Timing::kPrompt},
    {"corrupt_crc_twice", Op::kTrend, {"--corrupt-crc", "2"}, 0, "", Timing::kPrompt},
    // Line noise before every reply block is skipped on the way to STX.
    {"noise", Op::kUpload, {"--noise", "2000"}, 0, "", Timing::kPrompt},
    {"noise", Op::kDownload, {"--noise", "2000"}, 0, "", Timing::kPrompt},
    {"noise", Op::kTrend, {"--noise", "2000"}, 0, "", Timing::kPrompt},
    // Replies that end in an error frame deliver nothing: no image, no
    // status, no record.
    {"error_frame", Op::kUpload, {"--error-frame"}, 75, kReadFailed, Timing::kPrompt},
    {"error_frame", Op::kDownload, {"--error-frame"}, 75, kWriteFailed, Timing::kPrompt},
    {"error_frame", Op::kTrend, {"--error-frame"}, 75, kReadFailed, Timing::kPrompt},
    // The device's error code is its verdict on a download; an upload never
    // asks for it and the trend upload reads only the type code.
    {"device_error", Op::kUpload, {"--device-error", "5"}, 0, "", Timing::kPrompt},
    {"device_error", Op::kDownload, {"--device-error", "5"}, 76, kDeviceError05, Timing::kPrompt},
    {"device_error", Op::kTrend, {"--device-error", "5"}, 0, "", Timing::kPrompt},
    // The line goes in the middle of a block: a hang-up, noticed at once.
    {"vanish_mid_block", Op::kUpload, kVanishInReply, 75, kReadFailed, Timing::kPrompt, false},
    {"vanish_mid_block", Op::kDownload, kVanishInData, 75, kWriteFailed, Timing::kPrompt, false},
    {"vanish_mid_block", Op::kTrend, kVanishInReply, 75, kReadFailed, Timing::kPrompt, false},
    // Garbage without end after the request: every drain is cut off.
    {"babble", Op::kUpload, {"--babble"}, 75, kReadFailed, Timing::kEndlessTalk},
    {"babble", Op::kDownload, {"--babble"}, 75, kWriteFailed, Timing::kEndlessTalk},
    {"babble", Op::kTrend, {"--babble"}, 75, kReadFailed, Timing::kEndlessTalk},
};

// ---- Running the programs ------------------------------------------------

std::vector<char*> Argv(std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return argv;
}

// The environment without the variables that would change what the tool
// prints or where it keeps its settings.
std::vector<std::string> CliEnvironment(const std::string& configHome) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string_view v(*e);
    if (v.rfind("XDG_CONFIG_HOME=", 0) == 0 || v.rfind("KRTCFG_TRACE=", 0) == 0) continue;
    env.emplace_back(v);
  }
  env.push_back("XDG_CONFIG_HOME=" + configHome);
  return env;
}

// Exit code of a process that ended, or 128 + the signal that ended it.
int ExitCode(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The simulator, until the object goes. Its log (--verbose) goes to a file.
class Simulator {
 public:
  Simulator(std::vector<std::string> options, const std::string& logFile) {
    std::vector<std::string> args = {kSim, "--verbose"};
    args.insert(args.end(), options.begin(), options.end());
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    auto argv = Argv(args);
    if (::posix_spawn(&pid_, kSim.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    stdout_ = out[0];
    // The first line is the device end's path; a loaded machine may be slow to start it.
    pollfd p{stdout_, POLLIN, 0};
    char c = 0;
    while (pid_ > 0 && ::poll(&p, 1, 20000) == 1 && ::read(stdout_, &c, 1) == 1 && c != '\n') path_ += c;
  }
  ~Simulator() { Stop(); }
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  const std::string& Path() const { return path_; }

  // True while the simulator runs.
  bool Running() {
    if (pid_ <= 0 || exited_) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) != pid_) return true;
    exited_ = true;
    exit_code_ = ExitCode(status);
    return false;
  }
  // Waits up to `ms` for the simulator to end on its own.
  bool EndsWithin(int ms) {
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (Running()) {
      if (Clock::now() >= until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }
  // Stops it (SIGTERM); its exit code, 0 after a clean end.
  int Stop() {
    if (pid_ > 0 && Running()) {
      ::kill(pid_, SIGTERM);
      int status = 0;
      ::waitpid(pid_, &status, 0);
      exited_ = true;
      exit_code_ = ExitCode(status);
    }
    if (stdout_ >= 0) ::close(stdout_);
    stdout_ = -1;
    return exit_code_;
  }

 private:
  pid_t pid_ = -1;
  int stdout_ = -1;
  bool exited_ = false;
  int exit_code_ = -1;
  std::string path_;
};

struct CliRun {
  int code = -1;
  std::string out;
  std::string err;
  int elapsed_ms = 0;
  bool hung = false;  // still running at its time limit, and killed
};

CliRun RunCli(std::vector<std::string> options, const std::string& cwd, const std::string& configHome,
              const std::string& outFile, const std::string& errFile, int limitMs) {
  std::vector<std::string> args = {kCli};
  args.insert(args.end(), options.begin(), options.end());
  std::vector<std::string> env = CliEnvironment(configHome);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  auto argv = Argv(args);
  auto envp = Argv(env);
  CliRun run;
  pid_t pid = -1;
  const auto start = Clock::now();
  const int spawned = ::posix_spawn(&pid, kCli.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    run.err = "cannot start " + kCli;
    return run;
  }
  // A tool that hangs is stopped, so that its cell fails instead of the suite stalling.
  const auto limit = start + std::chrono::milliseconds(limitMs);
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() >= limit) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      run.hung = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  run.elapsed_ms =
      static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
  run.code = ExitCode(status);
  run.out = ReadWholeFile(outFile);
  run.err = ReadWholeFile(errFile);
  return run;
}

// Every file of a folder (not its sub-folders) with its contents.
using Snapshot = std::map<std::string, std::string>;

Snapshot TakeSnapshot(const std::filesystem::path& folder) {
  Snapshot files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    if (!entry.is_directory()) files[entry.path().filename().string()] = ReadWholeFile(entry.path().string());
  }
  return files;
}

std::string Describe(const Snapshot& files) {
  std::ostringstream text;
  for (const auto& [name, contents] : files) text << name << " (" << contents.size() << " bytes) ";
  return text.str();
}

// Whether the port can be taken again, tried the moment the tool has ended.
struct PortCheck {
  bool checked = false;
  bool exclusive_left = false;  // the terminal still refuses other openers
  int posix_open = 0;           // PosixPort::Open's result
  std::string posix_error;
  int open_ms = 0;
};

PortCheck CheckPortFree(const std::string& path) {
  PortCheck check;
  check.checked = true;
  // Exclusive mode outlives the descriptor that set it, and root is exempt
  // from it: ask the terminal directly.
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    int exclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0) check.exclusive_left = exclusive != 0;
    ::close(fd);
  }
  link::PosixPort port;
  const auto start = Clock::now();
  check.posix_open = port.Open(path, 57600);
  check.open_ms = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
  check.posix_error = port.LastError();
  port.Close();
  return check;
}

// ---- One cell --------------------------------------------------------------

// A variant of a cell: without an output file, or with one already there
// (upload and trend replace it only with --force; the simulator's --received
// file for a download).
enum class Variant { kFresh, kExisting };

const char* VariantName(Variant v) {
  return v == Variant::kFresh ? "no earlier file" : "earlier file";
}

constexpr const char* kSentinel = "an earlier file that must stay as it is\n";

struct RunOutcome {
  Variant variant = Variant::kFresh;
  std::string setup_error;  // the run could not be made
  CliRun cli;
  Snapshot work_before, work_after;      // the tool's folder
  Snapshot device_before, device_after;  // the folder of the simulator's --received file
  std::string output_name;               // in work/ (upload, trend) or device/ (download)
  PortCheck port;
  bool sim_alive_after = false;
  bool sim_ended_by_itself = false;
  int sim_exit = -1;
  std::string sim_log;
};

struct CellOutcome {
  std::vector<RunOutcome> runs;
  std::string reference;  // what a successful run writes
  std::string reference_error;
};

// The device's image (a default RT610X image under LCD version 1.5) and the
// file a download sends (the default image under LCD version 2.0).
std::string DeviceImage() {
  Bytes image = data::ConfigDataRt610X().Image();
  SetBeU16(image, image::kOffLcdMajor, 1);
  SetBeU16(image, image::kOffLcdMinor, 5);
  return {image.begin(), image.end()};
}

std::string OwnImage() {
  Bytes image = data::ConfigDataRt610X().Image();
  SetBeU16(image, image::kOffLcdMajor, 2);
  SetBeU16(image, image::kOffLcdMinor, 0);
  return {image.begin(), image.end()};
}

RunOutcome RunOnce(Op op, const std::vector<std::string>& faults, Variant variant, bool lineSurvives, int limitMs) {
  RunOutcome r;
  r.variant = variant;
  TempDir root;
  const auto work = root.Path() / "work";
  const auto device = root.Path() / "device";
  const auto simFolder = root.Path() / "sim";
  for (const auto& folder : {work, device, simFolder, root.Path() / "config"})
    std::filesystem::create_directory(folder);

  WriteWholeFile((simFolder / "device.cfg").string(), DeviceImage());
  std::vector<std::string> simOptions = {"--model",    "RT610X",
                                         "--image",    (simFolder / "device.cfg").string(),
                                         "--received", (device / "received.cfg").string()};
  simOptions.insert(simOptions.end(), faults.begin(), faults.end());

  std::vector<std::string> command;
  switch (op) {
    case Op::kUpload:
      r.output_name = "out.cfg";
      command = {"upload", r.output_name};
      break;
    case Op::kDownload:
      r.output_name = "received.cfg";
      WriteWholeFile((work / "in.cfg").string(), OwnImage());
      command = {"download", "in.cfg"};
      break;
    case Op::kTrend:
      r.output_name = "trend.csv";
      command = {"trend", r.output_name};
      break;
  }
  if (variant == Variant::kExisting) {
    WriteWholeFile(((op == Op::kDownload ? device : work) / r.output_name).string(), kSentinel);
    if (op != Op::kDownload) command.push_back("--force");
  }
  r.work_before = TakeSnapshot(work);
  r.device_before = TakeSnapshot(device);

  Simulator sim(simOptions, (simFolder / "sim.log").string());
  if (sim.Path().empty()) {
    r.setup_error = "the simulator did not start";
    r.sim_log = ReadWholeFile((simFolder / "sim.log").string());
    return r;
  }
  command.insert(command.begin(), {"--port", sim.Path()});
  r.cli = RunCli(command, work.string(), (root.Path() / "config").string(), (root.Path() / "cli.out").string(),
                 (root.Path() / "cli.err").string(), limitMs);
  if (lineSurvives) {
    r.port = CheckPortFree(sim.Path());
    r.sim_alive_after = sim.Running();
  } else {
    r.sim_ended_by_itself = sim.EndsWithin(5000);
  }
  r.sim_exit = sim.Stop();
  r.sim_log = ReadWholeFile((simFolder / "sim.log").string());
  r.work_after = TakeSnapshot(work);
  r.device_after = TakeSnapshot(device);
  return r;
}

// Lets only a few quick runs go at once, so their timing is their own.
class Gate {
 public:
  explicit Gate(std::counting_semaphore<>* semaphore) : semaphore_(semaphore) {
    if (semaphore_ != nullptr) semaphore_->acquire();
  }
  ~Gate() {
    if (semaphore_ != nullptr) semaphore_->release();
  }
  Gate(const Gate&) = delete;
  Gate& operator=(const Gate&) = delete;

 private:
  std::counting_semaphore<>* semaphore_;
};

// Starts cells in the background and hands out their outcomes.
class Matrix {
 public:
  static Matrix& Instance() {
    static Matrix matrix;
    return matrix;
  }

  void Start(const Cell& cell) {
    const std::lock_guard lock(mutex_);
    if (started_.count(cell.Name()) != 0) return;
    started_[cell.Name()] = std::async(std::launch::async, [this, cell] { return RunCell(cell); }).share();
  }

  CellOutcome Outcome(const Cell& cell) {
    Start(cell);
    std::shared_future<CellOutcome> future;
    {
      const std::lock_guard lock(mutex_);
      future = started_[cell.Name()];
    }
    return future.get();
  }

 private:
  CellOutcome RunCell(const Cell& cell) {
    CellOutcome outcome;
    if (cell.exit_code == 0) {
      const Reference& ref = ReferenceFor(cell.op);
      outcome.reference = ref.contents;
      outcome.reference_error = ref.error;
    }
    // The variants side by side, each with its own simulator.
    std::counting_semaphore<>* gate = cell.timing == Timing::kPrompt ? &quick_ : nullptr;
    std::vector<std::future<RunOutcome>> runs;
    for (Variant v : {Variant::kFresh, Variant::kExisting}) {
      runs.push_back(std::async(std::launch::async, [&cell, v, gate] {
        const Gate pass(gate);
        return RunOnce(cell.op, cell.sim, v, cell.line_survives, LimitFor(cell.timing));
      }));
    }
    for (auto& run : runs) outcome.runs.push_back(run.get());
    return outcome;
  }

  struct Reference {
    std::once_flag once;
    std::string contents;
    std::string error;
  };

  // What the operation writes when nothing goes wrong on the line.
  Reference& ReferenceFor(Op op) {
    Reference& ref = references_[static_cast<int>(op)];
    std::call_once(ref.once, [&] {
      if (op == Op::kUpload) {
        ref.contents = DeviceImage();
        return;
      }
      RunOutcome clean;
      {
        const Gate pass(&quick_);
        clean = RunOnce(op, {}, Variant::kFresh, true, LimitFor(Timing::kPrompt));
      }
      const Snapshot& folder = op == Op::kDownload ? clean.device_after : clean.work_after;
      const auto it = folder.find(clean.output_name);
      if (clean.cli.code != 0 || it == folder.end()) {
        ref.error =
            "a run without faults failed: " + std::to_string(clean.cli.code) + " " + clean.cli.err + clean.setup_error;
        return;
      }
      ref.contents = it->second;
    });
    return ref;
  }

  std::mutex mutex_;
  std::map<std::string, std::shared_future<CellOutcome>> started_;
  std::counting_semaphore<> quick_{2};
  Reference references_[3];
};

class FaultMatrix : public ::testing::TestWithParam<Cell> {
 protected:
  // Starts every cell this run will look at, so the slow ones overlap.
  static void SetUpTestSuite() {
    if (!std::filesystem::exists(kCli) || !std::filesystem::exists(kSim)) return;
    const ::testing::TestSuite* suite = ::testing::UnitTest::GetInstance()->current_test_suite();
    if (suite == nullptr) return;
    std::vector<std::string> selected;
    for (int i = 0; i < suite->total_test_count(); ++i) {
      const ::testing::TestInfo* info = suite->GetTestInfo(i);
      if (!info->should_run()) continue;
      const std::string name = info->name();
      selected.push_back(name.substr(name.rfind('/') + 1));
    }
    // The slow cells first: they mostly wait.
    for (bool slow : {true, false}) {
      for (const Cell& cell : kCells) {
        if ((cell.timing != Timing::kPrompt) != slow) continue;
        if (std::find(selected.begin(), selected.end(), cell.Name()) != selected.end()) Matrix::Instance().Start(cell);
      }
    }
  }
};

TEST_P(FaultMatrix, Cell) {
  const Cell& cell = GetParam();
  ASSERT_TRUE(std::filesystem::exists(kCli)) << kCli;
  ASSERT_TRUE(std::filesystem::exists(kSim)) << kSim;
  const CellOutcome outcome = Matrix::Instance().Outcome(cell);
  const Window window = WindowFor(cell.timing);
  const bool succeeds = cell.exit_code == 0;
  ASSERT_EQ(outcome.reference_error, "");

  for (const RunOutcome& r : outcome.runs) {
    SCOPED_TRACE(VariantName(r.variant));
    SCOPED_TRACE("simulator log:\n" + r.sim_log);
    ASSERT_EQ(r.setup_error, "");

    EXPECT_FALSE(r.cli.hung) << "the tool hung and was killed after " << r.cli.elapsed_ms << " ms";
    EXPECT_EQ(r.cli.code, cell.exit_code) << r.cli.err;
    EXPECT_EQ(r.cli.err, cell.err);
    EXPECT_EQ(r.cli.out, ExpectedOut(cell));
    RecordProperty(r.variant == Variant::kFresh ? "elapsed_ms" : "elapsed_ms_earlier_file", r.cli.elapsed_ms);
    EXPECT_GE(r.cli.elapsed_ms, window.min_ms);
    EXPECT_LE(r.cli.elapsed_ms, window.max_ms);

    // The files: untouched after a failure, the faultless result after a success.
    const bool toWork = cell.op != Op::kDownload;
    Snapshot workExpected = r.work_before;
    Snapshot deviceExpected = r.device_before;
    if (succeeds) (toWork ? workExpected : deviceExpected)[r.output_name] = outcome.reference;
    EXPECT_TRUE(r.work_after == workExpected)
        << "the tool's folder holds " << Describe(r.work_after) << "; expected " << Describe(workExpected);
    EXPECT_TRUE(r.device_after == deviceExpected)
        << "the device's folder holds " << Describe(r.device_after) << "; expected " << Describe(deviceExpected);

    if (cell.line_survives) {
      EXPECT_EQ(r.port.posix_open, 1) << r.port.posix_error;
      EXPECT_LT(r.port.open_ms, 500);
      EXPECT_FALSE(r.port.exclusive_left) << "the terminal is still in exclusive mode";
      EXPECT_TRUE(r.sim_alive_after);
    } else {
      EXPECT_TRUE(r.sim_ended_by_itself) << "the device did not vanish";
    }
    EXPECT_EQ(r.sim_exit, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Cells, FaultMatrix, ::testing::ValuesIn(kCells),
                         [](const ::testing::TestParamInfo<Cell>& info) { return info.param.Name(); });

}  // namespace
}  // namespace krt::cli
