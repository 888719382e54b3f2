#include "app_test_support.hpp"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>
#include <filesystem>

#include "image/image_layout.hpp"
#include "trend/trend.hpp"

namespace {

// One QApplication for the whole test program, on Qt's offscreen platform
// unless the caller chose another.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[9] = "test_app";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

namespace krt::test {

bool ScriptedUi::AskYesNo(const std::string& text) {
  messages.push_back({Message::kQuestion, text});
  if (question_answers.empty()) return false;
  const bool yes = question_answers.front();
  question_answers.pop_front();
  return yes;
}

std::optional<std::string> ScriptedUi::OpenFile(const std::string& filter, const std::string& initialName) {
  open_dialogs.push_back({filter, initialName});
  if (open_answers.empty()) return std::nullopt;
  std::optional<std::string> answer = open_answers.front();
  open_answers.pop_front();
  return answer;
}

std::optional<std::string> ScriptedUi::SaveFile(const std::string& filter, const std::string& initialName) {
  save_dialogs.push_back({filter, initialName});
  if (save_answers.empty()) return std::nullopt;
  std::optional<std::string> answer = save_answers.front();
  save_answers.pop_front();
  return answer;
}

bool ScriptedUi::FileExists(const std::string& path) {
  std::error_code ec;
  return existing.count(path) != 0 || std::filesystem::exists(path, ec);
}

std::vector<std::string> ScriptedUi::Transcript() const {
  std::vector<std::string> lines;
  for (const Message& m : messages) {
    const char* kind = m.kind == Message::kError         ? "error: "
                       : m.kind == Message::kInformation ? "information: "
                                                         : "question: ";
    lines.push_back(kind + m.text);
  }
  return lines;
}

Bytes ConfigImage(int modelCode, int major, int minor, int lcdMajor, int lcdMinor, std::size_t size) {
  Bytes image = image::DefaultStoredImage();
  SetBeU32(image, image::kOffMagic, image::kMagic);
  SetBeU16(image, image::kOffHeaderLength, 32);
  SetBeU16(image, image::kOffModelCode, static_cast<std::uint16_t>(modelCode));
  SetBeU16(image, image::kOffFormatMajor, static_cast<std::uint16_t>(major));
  SetBeU16(image, image::kOffFormatMinor, static_cast<std::uint16_t>(minor));
  SetBeU16(image, image::kOffLcdMajor, static_cast<std::uint16_t>(lcdMajor));
  SetBeU16(image, image::kOffLcdMinor, static_cast<std::uint16_t>(lcdMinor));
  const bool shortFormat = major < 2 || (major == 2 && minor < 2);
  image.resize(size != 0 ? size : shortFormat ? 1024 : 2048);
  return image;
}

Bytes TrendRecord(int year, int month, int day, int hour, int minute, int second) {
  namespace lay = trend::layout;
  Bytes record(trend::kRecordSize, 0);
  SetBeU16(record, lay::kTrendInterval, 1);
  SetBeU16(record, lay::kLatestIndex, 0);
  SetBeU16(record, lay::kSampleCount, 1);
  const std::size_t stamp = lay::StampOffset(0);
  SetBeU16(record, stamp + lay::kStampYear, static_cast<std::uint16_t>(year));
  SetBeU16(record, stamp + lay::kStampMonth, static_cast<std::uint16_t>(month));
  SetBeU16(record, stamp + lay::kStampDay, static_cast<std::uint16_t>(day));
  SetBeU16(record, stamp + lay::kStampHour, static_cast<std::uint16_t>(hour));
  SetBeU16(record, stamp + lay::kStampMinute, static_cast<std::uint16_t>(minute));
  SetBeU16(record, stamp + lay::kStampSecond, static_cast<std::uint16_t>(second));
  return record;
}

WindowRig::WindowRig(std::optional<int> storedPort, app::ComFactory makeCom) : settings(dir.File("KRTCFG.conf")) {
  if (storedPort) settings.SetInt(kSettingsSection, kPortEntry, *storedPort);
  std::filesystem::create_directories(dir.Path() / "sys");
  std::filesystem::create_directories(dir.Path() / "dev");
  app::WindowOptions options;
  options.make_com = std::move(makeCom);
  options.discovery.sysfs_root = dir.File("sys");
  options.discovery.dev_root = dir.File("dev");
  options.discovery.has_uart = [](const std::string&) { return false; };
  window_ = std::make_unique<app::CRTCFGDlg>(ui, settings, std::make_unique<PortRef>(port), std::move(options));
  window_->Com().device_path = "/dev/fake";
}

WindowRig::~WindowRig() = default;

std::string WindowRig::Source() const {
  return static_cast<QLineEdit*>(window_->Control(app::CRTCFGDlg::kIdSource))->text().toStdString();
}
std::string WindowRig::ModelText() const {
  return static_cast<QLabel*>(window_->Control(app::CRTCFGDlg::kIdModelLabel))->text().toStdString();
}
std::string WindowRig::LcdText() const {
  return static_cast<QLabel*>(window_->Control(app::CRTCFGDlg::kIdLcdLabel))->text().toStdString();
}
bool WindowRig::Enabled(int id) const {
  return window_->Control(id)->isEnabled();
}

}  // namespace krt::test
