#pragma once
// `krtcfg --demo MODEL`: the device simulator on a pseudo-terminal, started
// for this run and stopped when the window closes.

#include <QProcess>
#include <QString>
#include <memory>
#include <string>

namespace krt::app {

// The simulator program beside `appDir` (installed), in the build tree's
// sim/ folder, or on PATH; empty when none is found.
QString FindSimulator(const QString& appDir);

class DemoSimulator {
 public:
  DemoSimulator() = default;
  ~DemoSimulator();
  DemoSimulator(const DemoSimulator&) = delete;
  DemoSimulator& operator=(const DemoSimulator&) = delete;

  // Starts `program --model MODEL` and waits for the device path it prints.
  // false with `error` set when it did not come up.
  bool Start(const QString& program, const QString& model, std::string* error, int timeoutMs = 10000);
  // Sends SIGTERM and waits; a simulator that does not stop is killed.
  void Stop();

  const std::string& DevicePath() const { return device_path_; }
  bool IsRunning() const;

 private:
  std::unique_ptr<QProcess> process_;
  std::string device_path_;
};

}  // namespace krt::app
