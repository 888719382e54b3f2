#pragma once
// krtcfg-cli: the window's procedures from a terminal or a script.

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "link/port.hpp"
#include "link/port_discovery.hpp"
#include "link/transfer.hpp"

namespace krt::cli {

inline constexpr const char* kVersion = "1.80.02";

// Everything the commands touch outside themselves; main() fills it with
// the real things, tests with their own.
struct CliEnvironment {
  std::ostream* out = nullptr;
  std::ostream* err = nullptr;
  link::Port* port = nullptr;
  std::string settings_path;
  link::DiscoveryEnv discovery;
  // Set by Ctrl-C; the exchange in progress ends and the port is released.
  const link::CancelFlag* cancel = nullptr;
  // Show progress of device exchanges on `err` (when it is a terminal).
  bool show_progress = false;
  // The group that owns a device node (named in the hint when the user
  // may not open the port). Empty function: asks the system.
  std::function<std::string(const std::string& devicePath)> device_group;
  // Where `trend` puts a file it names itself; empty: the current folder.
  std::string output_folder;
};

// Runs one command line (without the program name); returns the exit code.
int RunCli(const std::vector<std::string>& args, CliEnvironment& env);

// The help text of --help.
std::string HelpText();

// The name of the group owning a device node; "dialout" when unknown.
std::string SystemDeviceGroup(const std::string& devicePath);

}  // namespace krt::cli
