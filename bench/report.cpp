// The figures krtcfg is held to, measured and printed as one Markdown table:
// transfer time against wire time on the simulator paced at 57600 baud, CPU
// time of a configuration listing per model and of a 400-sample trend CSV,
// wall time of `krtcfg-cli info` as a whole process, and the peak memory of
// `krtcfg-cli upload`.
//
// Usage: bench_report [BUILD_FOLDER] [--repetitions N]
// BUILD_FOLDER holds sim/krtcfg-sim and cli/krtcfg-cli; by default the folder
// above the one this program lives in.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "bench/counting_port.hpp"
#include "image/bytes.hpp"
#include "image/config_data.hpp"
#include "link/posix_port.hpp"
#include "link/rt_com.hpp"
#include "sim/models.hpp"
#include "sim/trend_record.hpp"
#include "trend/trend.hpp"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// 10 bits a byte (start, 8 data, stop) at 57600 baud.
constexpr double kSecondsPerByte = 10.0 / 57600.0;

// Targets.
constexpr double kTransferRatioTarget = 1.05;
constexpr double kListingCpuTargetMs = 0.2;
constexpr double kTrendCsvCpuTargetMs = 1.0;
constexpr double kInfoWallTargetMs = 5.0;
constexpr double kUploadPeakTargetKiB = 8 * 1024;

// How long a CPU-time figure is averaged over, at the least.
constexpr double kCpuSampleSeconds = 0.3;
constexpr int kInfoRuns = 20;

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

using krt::bench::CountingPort;

std::vector<char*> Argv(std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return argv;
}

// The simulator, until the object goes.
class Simulator {
 public:
  Simulator(const std::string& program, std::vector<std::string> options) {
    std::vector<std::string> args = {program};
    args.insert(args.end(), options.begin(), options.end());
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    auto argv = Argv(args);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    stdout_ = out[0];
    char c = 0;
    pollfd p{stdout_, POLLIN, 0};
    while (pid_ > 0 && poll(&p, 1, 10000) > 0 && read(stdout_, &c, 1) == 1 && c != '\n') path_.push_back(c);
  }
  ~Simulator() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (stdout_ >= 0) close(stdout_);
  }
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  const std::string& Path() const { return path_; }

 private:
  pid_t pid_ = -1;
  int stdout_ = -1;
  std::string path_;
};

// A whole process: its exit code, wall time and peak resident memory.
struct ProcessRun {
  int code = -1;
  double wall_seconds = 0;
  long max_rss_kib = 0;
};

ProcessRun RunProcess(std::vector<std::string> args, const std::vector<std::string>& env) {
  ProcessRun run;
  std::vector<std::string> envCopy = env;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  auto argv = Argv(args);
  auto envp = Argv(envCopy);
  pid_t pid = -1;
  const auto start = Clock::now();
  const int spawned = posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return run;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return run;
  run.wall_seconds = std::chrono::duration<double>(Clock::now() - start).count();
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.max_rss_kib = usage.ru_maxrss;  // KiB on Linux
  return run;
}

// The rest of the first line of `file` that starts with `key`, after its colon.
std::string FirstLineWith(const char* file, const std::string& key) {
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) != 0) continue;
    const auto colon = line.find(':');
    if (colon == std::string::npos) return line;
    const auto text = line.find_first_not_of(" \t", colon + 1);
    return text == std::string::npos ? std::string() : line.substr(text);
  }
  return "unknown";
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

std::string Now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  char text[32];
  if (localtime_r(&now, &local) == nullptr || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local) == 0) {
    return {};
  }
  return text;
}

struct Row {
  std::string measure;
  std::string result;
  std::string target;
  bool met = false;
  bool measured = true;
};

// A temporary folder, removed with its contents when the object goes.
class Scratch {
 public:
  Scratch() {
    std::string pattern = (fs::temp_directory_path() / "krtcfg-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~Scratch() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

bool WriteFile(const std::string& path, const krt::Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// ---- Transfers ---------------------------------------------------------

void MeasureTransfers(const std::string& sim, int repetitions, std::vector<Row>& rows) {
  struct Transfer {
    const char* name;
    std::function<int(krt::link::RTCom&)> run;
  };
  const krt::Bytes image = krt::sim::DefaultImage(*krt::sim::FindSimModel("KRT610"));
  const std::vector<Transfer> transfers = {
      {"upload, 2048-byte image (G)",
       [](krt::link::RTCom& com) {
         krt::Bytes got;
         return com.ReadConfig(got);
       }},
      {"download, 2048-byte image (S, P, S)",
       [&image](krt::link::RTCom& com) {
         int error = 0;
         return com.WriteConfig(image, 2048, &error);
       }},
      {"trend upload, 13034-byte record (S, G)",
       [](krt::link::RTCom& com) {
         krt::Bytes got;
         int model = 0;
         return com.ReadTrend(got, &model);
       }},
  };

  const Simulator device(sim, {"--model", "KRT610", "--pace"});
  krt::link::PosixPort posix;
  CountingPort port(posix);
  krt::link::RTCom com(port, [](int) { return std::string(); });
  com.device_path = device.Path();
  for (const Transfer& t : transfers) {
    Row row{std::string("Transfer time / wire time: ") + t.name, "", "<= 1.05", false, false};
    if (device.Path().empty()) {
      row.result = "simulator did not start";
      rows.push_back(row);
      continue;
    }
    std::vector<double> seconds;
    std::size_t bytes = 0;
    bool failed = false;
    for (int i = 0; i < repetitions && !failed; ++i) {
      port.bytes = 0;
      const auto start = Clock::now();
      failed = t.run(com) != krt::link::kComOk;
      seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
      bytes = port.bytes;
    }
    if (failed) {
      row.result = "transfer failed";
    } else {
      const double measured = Median(seconds);
      const double wire = static_cast<double>(bytes) * kSecondsPerByte;
      const double ratio = measured / wire;
      row.result = Format("%.3f", ratio) + " (" + Format("%.1f", measured * 1000) + " ms for " + std::to_string(bytes) +
                   " bytes, wire " + Format("%.1f", wire * 1000) + " ms)";
      row.met = ratio <= kTransferRatioTarget;
      row.measured = true;
    }
    rows.push_back(row);
  }
}

// ---- CPU time ------------------------------------------------------------

// Average CPU seconds of one call, over at least kCpuSampleSeconds.
double AverageCpuSeconds(const std::function<void()>& once) {
  for (int i = 0; i < 10; ++i) once();  // warm caches and allocator
  long iterations = 0;
  const double start = ThreadCpuSeconds();
  double used = 0;
  do {
    for (int i = 0; i < 50; ++i) once();
    iterations += 50;
    used = ThreadCpuSeconds() - start;
  } while (used < kCpuSampleSeconds);
  return used / static_cast<double>(iterations);
}

void MeasureListings(std::vector<Row>& rows) {
  for (const krt::sim::SimModel& model : krt::sim::SimModels()) {
    // The image a device of the model holds, in its newest format version.
    const std::unique_ptr<data::ConfigData> config = model.make();
    if (config->LoadImage(krt::sim::DefaultImage(model)) != data::kLoadDone) {
      rows.push_back(
          {"CPU time of a full listing, " + std::string(model.name), "image refused", "< 0.2 ms", false, false});
      continue;
    }
    std::size_t size = 0;
    const double seconds = AverageCpuSeconds([&] {
      std::string out;
      config->WriteListing(out);
      size = out.size();
    });
    const double ms = seconds * 1000;
    rows.push_back({"CPU time of a full listing, " + std::string(model.name),
                    Format("%.3f ms", ms) + " (" + std::to_string(size) + " bytes)", "< 0.2 ms",
                    ms < kListingCpuTargetMs});
  }
}

void MeasureTrendCsv(std::vector<Row>& rows) {
  // A full ring that wraps: 400 samples, the newest at ring index 57.
  constexpr int kModelIndex = 1;  // KRT610
  krt::Bytes record = krt::sim::SyntheticTrendRecord(kModelIndex, 7);
  krt::SetBeU16(record, krt::trend::layout::kSampleCount, 400);
  krt::SetBeU16(record, krt::trend::layout::kLatestIndex, 57);
  const data::TrendCsvConverter converter;
  int result = 0;
  std::size_t size = 0;
  const double seconds = AverageCpuSeconds([&] {
    std::string text;
    result = converter.Convert(record, text, kModelIndex);
    size = text.size();
  });
  Row row{"CPU time of a 400-sample trend CSV (KRT610)", "", "< 1 ms"};
  if (result != 0) {
    row.result = "record refused";
    row.measured = false;
  } else {
    const double ms = seconds * 1000;
    row.result = Format("%.3f ms", ms) + " (" + std::to_string(size) + " bytes)";
    row.met = ms < kTrendCsvCpuTargetMs;
  }
  rows.push_back(row);
}

// ---- Whole processes -----------------------------------------------------

std::vector<std::string> Environment(const std::string& configHome) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string v(*e);
    if (v.rfind("XDG_CONFIG_HOME=", 0) == 0 || v.rfind("KRTCFG_TRACE=", 0) == 0) continue;
    env.push_back(v);
  }
  env.push_back("XDG_CONFIG_HOME=" + configHome);
  return env;
}

void MeasureInfo(const std::string& cli, std::vector<Row>& rows) {
  Row row{"Wall time of `krtcfg-cli info FILE.cfg`, whole process (median of 20)", "", "< 5 ms"};
  const Scratch scratch;
  const std::string file = scratch.File("plant.cfg");
  if (!WriteFile(file, krt::sim::DefaultImage(*krt::sim::FindSimModel("RT610X")))) {
    row.result = "cannot write the file";
    row.measured = false;
    rows.push_back(row);
    return;
  }
  const std::vector<std::string> env = Environment(scratch.File("config"));
  std::vector<double> seconds;
  for (int i = 0; i < kInfoRuns + 2; ++i) {
    const ProcessRun run = RunProcess({cli, "info", file}, env);
    if (run.code != 0) {
      row.result = "exit code " + std::to_string(run.code);
      row.measured = false;
      rows.push_back(row);
      return;
    }
    if (i >= 2) seconds.push_back(run.wall_seconds);  // the first runs load the caches
  }
  const double ms = Median(seconds) * 1000;
  row.result = Format("%.2f ms", ms) + " (fastest " +
               Format("%.2f", *std::min_element(seconds.begin(), seconds.end()) * 1000) + " ms)";
  row.met = ms < kInfoWallTargetMs;
  rows.push_back(row);
}

void MeasureUploadMemory(const std::string& sim, const std::string& cli, std::vector<Row>& rows) {
  Row row{"Peak memory (max RSS) of `krtcfg-cli upload`", "", "< 8 MiB"};
  const Scratch scratch;
  const Simulator device(sim, {"--model", "RT610X"});
  if (device.Path().empty()) {
    row.result = "simulator did not start";
    row.measured = false;
    rows.push_back(row);
    return;
  }
  const std::vector<std::string> env = Environment(scratch.File("config"));
  long peak = 0;
  for (int i = 0; i < 3; ++i) {
    const ProcessRun run =
        RunProcess({cli, "--port", device.Path(), "upload", scratch.File("out.cfg"), "--force"}, env);
    if (run.code != 0) {
      row.result = "exit code " + std::to_string(run.code);
      row.measured = false;
      rows.push_back(row);
      return;
    }
    peak = std::max(peak, run.max_rss_kib);
  }
  row.result = Format("%.2f MiB", static_cast<double>(peak) / 1024);
  row.met = static_cast<double>(peak) < kUploadPeakTargetKiB;
  rows.push_back(row);
}

}  // namespace

int main(int argc, char** argv) {
  fs::path build = fs::read_symlink("/proc/self/exe").parent_path().parent_path();
  int repetitions = 5;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--repetitions" && i + 1 < argc) {
      repetitions = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "-h" || arg == "--help") {
      std::printf("Usage: %s [BUILD_FOLDER] [--repetitions N]\n", argv[0]);
      return 0;
    } else {
      build = arg;
    }
  }
  const std::string sim = (build / "sim" / "krtcfg-sim").string();
  const std::string cli = (build / "cli" / "krtcfg-cli").string();
  for (const std::string& program : {sim, cli}) {
    if (access(program.c_str(), X_OK) != 0) {
      std::fprintf(stderr, "bench_report: %s not found; give the build folder as the first argument\n",
                   program.c_str());
      return 2;
    }
  }

  const std::string loadBefore = LoadAverage();
  std::vector<Row> rows;
  MeasureTransfers(sim, repetitions, rows);
  MeasureListings(rows);
  MeasureTrendCsv(rows);
  MeasureInfo(cli, rows);
  MeasureUploadMemory(sim, cli, rows);

  std::printf("krtcfg benchmark report, %s\n\n", Now().c_str());
  std::printf("Machine: %ld CPUs, %s; load average %s before, %s after\n", sysconf(_SC_NPROCESSORS_ONLN),
              FirstLineWith("/proc/cpuinfo", "model name").c_str(), loadBefore.c_str(), LoadAverage().c_str());
#if defined(__OPTIMIZE__)
  std::printf("Build: optimised");
#else
  std::printf("Build: not optimised");
#endif
#if defined(__SANITIZE_ADDRESS__)
  std::printf(", with AddressSanitizer (figures not representative)");
#endif
  std::printf("; programs from %s\n\n", build.string().c_str());

  std::printf("| Measure | Result | Target | Met |\n|---|---|---|---|\n");
  int unmeasured = 0;
  for (const Row& row : rows) {
    if (!row.measured) ++unmeasured;
    std::printf("| %s | %s | %s | %s |\n", row.measure.c_str(), row.result.c_str(), row.target.c_str(),
                !row.measured ? "not measured"
                : row.met     ? "yes"
                              : "**no**");
  }
  return unmeasured == 0 ? 0 : 1;
}
