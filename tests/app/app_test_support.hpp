#pragma once
// Helpers for the window's tests: scripted dialogs, a port that forwards to
// a fake kept by the test, and configuration images and trend records built
// from their documented header fields.

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/rtcfg_dlg.hpp"
#include "app/ui_services.hpp"
#include "image/bytes.hpp"
#include "link/port.hpp"
#include "store/settings.hpp"
#include "support/fake_port.hpp"
#include "support/temp_dir.hpp"

namespace krt::test {

// Answers the window's dialogs from queues and records every call.
class ScriptedUi : public app::UiServices {
 public:
  struct Message {
    enum Kind { kError, kInformation, kQuestion } kind;
    std::string text;
  };
  struct FileDialog {
    std::string filter;
    std::string initial_name;
  };

  // Answers, taken in order; an empty queue cancels or answers No.
  std::deque<std::optional<std::string>> open_answers;
  std::deque<std::optional<std::string>> save_answers;
  std::deque<bool> question_answers;
  // Files that exist beside the real file system (looked at too).
  std::set<std::string> existing;

  std::vector<Message> messages;
  std::vector<FileDialog> open_dialogs;
  std::vector<FileDialog> save_dialogs;

  void ShowError(const std::string& text) override { messages.push_back({Message::kError, text}); }
  void ShowInformation(const std::string& text) override { messages.push_back({Message::kInformation, text}); }
  bool AskYesNo(const std::string& text) override;
  std::optional<std::string> OpenFile(const std::string& filter, const std::string& initialName) override;
  std::optional<std::string> SaveFile(const std::string& filter, const std::string& initialName) override;
  bool FileExists(const std::string& path) override;

  // "error: <text>" / "information: <text>" / "question: <text>", one per message.
  std::vector<std::string> Transcript() const;
};

// A port the window may own while the fake behind it belongs to the test.
class PortRef : public link::Port {
 public:
  explicit PortRef(link::Port& port) : port_(port) {}
  int Open(const std::string& device, int baudRate) override { return port_.Open(device, baudRate); }
  bool IsOpen() const override { return port_.IsOpen(); }
  void Close() override { port_.Close(); }
  void PurgeQueues(link::Purge which) override { port_.PurgeQueues(which); }
  int QueuedCount() override { return port_.QueuedCount(); }
  bool Read(std::uint8_t* buffer, std::size_t n) override { return port_.Read(buffer, n); }
  bool Write(std::span<const std::uint8_t> bytes) override { return port_.Write(bytes); }
  void Flush() override { port_.Flush(); }
  void Sleep(int milliseconds) override { port_.Sleep(milliseconds); }
  void WaitForInput(int milliseconds) override { port_.WaitForInput(milliseconds); }
  std::int64_t NowMs() override { return port_.NowMs(); }
  std::string LastError() const override { return port_.LastError(); }
  link::PortFailure LastFailure() const override { return port_.LastFailure(); }

 private:
  link::Port& port_;
};

// A stored-order configuration image with the given header; its length is
// the one its format version calls for unless `size` says otherwise.
Bytes ConfigImage(int modelCode, int major, int minor, int lcdMajor = 1, int lcdMinor = 20, std::size_t size = 0);

// A 13034-byte short-trend record holding one sample stamped at the given time.
Bytes TrendRecord(int year, int month, int day, int hour, int minute, int second);

// One window on a fake device, with its own settings file and an empty
// port discovery tree.
class WindowRig {
 public:
  explicit WindowRig(std::optional<int> storedPort = std::nullopt, app::ComFactory makeCom = {});
  ~WindowRig();

  app::CRTCFGDlg& Window() { return *window_; }
  std::string Source() const;
  std::string ModelText() const;
  std::string LcdText() const;
  bool Enabled(int id) const;

  TempDir dir;
  SettingsStore settings;
  FakePort port;
  FakeDevice device{port};
  ScriptedUi ui;

 private:
  std::unique_ptr<app::CRTCFGDlg> window_;
};

// Acts on the next modal dialog as soon as it is up; a dialog opened while
// `action` runs is left alone.
class OnNextModal {
 public:
  explicit OnNextModal(std::function<void(QWidget*)> action) : action_(std::move(action)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr || !modal->isVisible()) return;
      timer_.stop();
      seen_ = modal;
      action_(modal);
    });
    timer_.start(1);
  }
  bool Seen() const { return seen_ != nullptr; }

 private:
  std::function<void(QWidget*)> action_;
  QTimer timer_;
  QWidget* seen_ = nullptr;
};

}  // namespace krt::test
