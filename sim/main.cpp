// krtcfg-sim: a simulated controller on a pseudo-terminal.

#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/options.hpp"
#include "sim/pty_server.hpp"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnStopSignal(int) {
  g_stop = 1;
}

// The link is ours only while it still points at our device end.
void RemoveLink(const std::string& link, const std::string& target) {
  char buffer[4096];
  const ssize_t n = readlink(link.c_str(), buffer, sizeof buffer - 1);
  if (n > 0 && std::string(buffer, static_cast<std::size_t>(n)) == target) unlink(link.c_str());
}

bool MakeLink(const std::string& link, const std::string& target, std::string& error) {
  char buffer[4096];
  if (readlink(link.c_str(), buffer, sizeof buffer - 1) >= 0) {
    // A link left behind by a simulator that was killed.
    unlink(link.c_str());
  } else if (access(link.c_str(), F_OK) == 0) {
    error = link + " exists and is not a symbolic link; not replaced";
    return false;
  }
  if (symlink(target.c_str(), link.c_str()) != 0) {
    error = "cannot make the link " + link;
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace krt::sim;
  const std::vector<std::string> args(argv + 1, argv + argc);
  SimOptions options;
  std::string error;
  if (!ParseSimOptions(args, options, error)) {
    (void)std::fprintf(stderr, "krtcfg-sim: %s\n", error.c_str());
    return 2;
  }
  if (options.help) {
    (void)std::fputs(SimHelpText().c_str(), stdout);
    return 0;
  }
  DeviceSetup setup;
  if (!BuildDeviceSetup(options, setup, error)) {
    (void)std::fprintf(stderr, "krtcfg-sim: %s\n", error.c_str());
    return 2;
  }

  // The stop signals are only let through while the server waits, so a
  // signal never lands between the check of the flag and the wait.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGHUP);
  sigset_t waitMask;
  sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
  (void)std::signal(SIGPIPE, SIG_IGN);

  // Paced bytes are 174 us apart; the default timer slack of 50 us would
  // show in every turn of the line.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

  PseudoTerminal pty;
  if (!pty.Open(error)) {
    (void)std::fprintf(stderr, "krtcfg-sim: %s\n", error.c_str());
    return 1;
  }
  if (!options.link_path.empty() && !MakeLink(options.link_path, pty.DevicePath(), error)) {
    (void)std::fprintf(stderr, "krtcfg-sim: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s\n", pty.DevicePath().c_str());
  (void)std::fflush(stdout);
  if (options.verbose) {
    (void)std::fprintf(stderr, "krtcfg-sim: %s, type code %d, image %zu bytes, serving on %s\n", options.model.c_str(),
                       setup.type_code, setup.config_image.size(), pty.DevicePath().c_str());
  }

  SimulatedDevice device(std::move(setup));
  const ServeOptions serve{options.pace, options.verbose, options.received_file};
  const int result = Serve(device, pty, serve, g_stop, &waitMask);
  pty.Close();
  if (!options.link_path.empty()) RemoveLink(options.link_path, pty.DevicePath());
  if (device.Vanished()) (void)std::fprintf(stderr, "krtcfg-sim: the device vanished, as asked\n");
  return result;
}
