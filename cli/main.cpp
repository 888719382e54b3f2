// krtcfg-cli: upload, download, inspect and export configurations, and
// upload the short trend, from a terminal or a script.

#include <signal.h>
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.hpp"
#include "link/posix_port.hpp"

namespace {

// Set from the signal handler; the exchange in progress sees it and ends.
krt::link::CancelFlag g_cancel{0};

extern "C" void OnInterrupt(int) {
  g_cancel.store(1);
}

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // A second Ctrl-C ends the program at once, should the first not be enough.
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  static_assert(krt::link::CancelFlag::is_always_lock_free, "the cancel flag is set from a signal handler");
  CatchInterrupts();
  krt::link::PosixPort port;
  krt::cli::CliEnvironment env;
  env.out = &std::cout;
  env.err = &std::cerr;
  env.port = &port;
  env.cancel = &g_cancel;
  env.show_progress = ::isatty(STDERR_FILENO) == 1;
  const std::vector<std::string> args(argv + 1, argv + argc);
  return krt::cli::RunCli(args, env);
}
