// Transfer time against wire time: RTCom over the POSIX back end against
// krtcfg-sim paced at 57600 baud. The wire time is every byte exchanged,
// both ways, at 10 bits a byte; a ratio of 1.00 means no time is lost
// between bytes.
//
// Usage: bench_link_bench [path/to/krtcfg-sim] [repetitions]

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
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
#include <string>
#include <vector>

#include "bench/counting_port.hpp"
#include "link/posix_port.hpp"
#include "link/rt_com.hpp"
#include "sim/models.hpp"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kSecondsPerByte = 10.0 / 57600.0;

using krt::bench::CountingPort;

struct Simulator {
  pid_t pid = -1;
  std::string path;
};

Simulator StartSimulator(const std::string& program) {
  Simulator sim;
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return sim;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  std::vector<std::string> args = {program, "--model", "KRT610", "--pace"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  if (posix_spawn(&sim.pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) sim.pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  char c = 0;
  pollfd p{out[0], POLLIN, 0};
  while (sim.pid > 0 && poll(&p, 1, 10000) > 0 && read(out[0], &c, 1) == 1 && c != '\n') sim.path.push_back(c);
  close(out[0]);
  return sim;
}

void StopSimulator(const Simulator& sim) {
  if (sim.pid <= 0) return;
  kill(sim.pid, SIGTERM);
  waitpid(sim.pid, nullptr, 0);
}

// The rest of the first line of `file` that starts with `key` (after a colon, if any).
std::string FirstLineWith(const char* file, const std::string& key) {
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) != 0) continue;
    const auto colon = line.find(':');
    return colon == std::string::npos ? line : line.substr(line.find_first_not_of(" \t", colon + 1));
  }
  return "?";
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

std::string Today() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  char text[32];
  if (localtime_r(&now, &local) == nullptr || std::strftime(text, sizeof text, "%Y-%m-%d", &local) == 0) return {};
  return text;
}

struct Measure {
  const char* name;
  std::function<int(krt::link::RTCom&)> run;
};

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::string program =
      argc > 1 ? argv[1]
               : (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "sim" / "krtcfg-sim").string();
  const int repetitions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;

  const Simulator sim = StartSimulator(program);
  if (sim.path.empty()) {
    std::fprintf(stderr, "bench_link_bench: cannot start %s\n", program.c_str());
    StopSimulator(sim);
    return 1;
  }

  krt::link::PosixPort posix;
  CountingPort port(posix);
  krt::link::RTCom com(port, [](int) { return std::string(); });
  com.device_path = sim.path;

  const krt::Bytes image = krt::sim::DefaultImage(*krt::sim::FindSimModel("KRT610"));
  const std::vector<Measure> measures = {
      {"upload 2048-byte image (G CONFIG)",
       [](krt::link::RTCom& c) {
         krt::Bytes got;
         return c.ReadConfig(got);
       }},
      {"download 2048-byte image (S, P CONFIG, S)",
       [&image](krt::link::RTCom& c) {
         int error = 0;
         return c.WriteConfig(image, 2048, &error);
       }},
      {"upload 13034-byte record (S, G TREND)",
       [](krt::link::RTCom& c) {
         krt::Bytes got;
         int model = 0;
         return c.ReadTrend(got, &model);
       }},
  };

  std::printf("# %s, %s, load %s\n", Today().c_str(), FirstLineWith("/proc/cpuinfo", "model name").c_str(),
              LoadAverage().c_str());
  std::printf("%-44s %8s %10s %12s %7s\n", "transfer at 57600 baud", "bytes", "wire ms", "measured ms", "ratio");
  int failures = 0;
  for (const Measure& m : measures) {
    std::vector<double> seconds;
    std::size_t bytes = 0;
    for (int i = 0; i < repetitions; ++i) {
      port.bytes = 0;
      const auto start = Clock::now();
      const int result = m.run(com);
      seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
      bytes = port.bytes;
      if (result != 0) {
        std::fprintf(stderr, "%s: result %d\n", m.name, result);
        ++failures;
      }
    }
    std::sort(seconds.begin(), seconds.end());
    const double median = seconds[seconds.size() / 2];
    const double wire = static_cast<double>(bytes) * kSecondsPerByte;
    std::printf("%-44s %8zu %10.1f %12.1f %7.3f\n", m.name, bytes, wire * 1000, median * 1000, median / wire);
  }
  StopSimulator(sim);
  return failures == 0 ? 0 : 1;
}
