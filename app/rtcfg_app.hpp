#pragma once
// Start-up: reads the persisted port, runs the main window and ends when it
// closes. `--demo MODEL` runs the window against the device simulator.

#include <functional>
#include <memory>
#include <string>

#include "link/port.hpp"
#include "link/port_discovery.hpp"

namespace krt::app {

class CRTCFGDlg;

struct AppEnvironment {
  std::function<std::unique_ptr<link::Port>()> make_port;
  std::string settings_path;  // empty: the user's settings file
  link::DiscoveryEnv discovery;
  // Called with the window before it runs (tests close it from here).
  std::function<void(CRTCFGDlg&)> on_window;
};

class CRTCFGApp {
 public:
  explicit CRTCFGApp(AppEnvironment environment) : env_(std::move(environment)) {}

  // Makes the QApplication unless one exists, runs the window and returns
  // the program's exit status.
  int Run(int& argc, char** argv);

 private:
  AppEnvironment env_;
};

}  // namespace krt::app
