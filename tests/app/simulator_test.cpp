// The window against the real device simulator on a pseudo-terminal:
// every device command, the screenshots for README, and `--demo`.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <regex>

#include "app/com_dlg.hpp"
#include "app/demo_simulator.hpp"
#include "app/rtcfg_app.hpp"
#include "app/rtcfg_dlg.hpp"
#include "app_test_support.hpp"
#include "link/posix_port.hpp"

namespace krt::test {
namespace {

using Strings = std::vector<std::string>;

const QString kSimulator = QStringLiteral(KRTCFG_BINARY_DIR "/sim/krtcfg-sim");

link::DiscoveryEnv EmptyDiscovery(const TempDir& dir) {
  std::filesystem::create_directories(dir.Path() / "sys");
  std::filesystem::create_directories(dir.Path() / "dev");
  link::DiscoveryEnv env;
  env.sysfs_root = dir.File("sys");
  env.dev_root = dir.File("dev");
  env.has_uart = [](const std::string&) { return false; };
  return env;
}

// A window whose port 20 is a simulated RT610X for this run.
class SimulatorRig {
 public:
  SimulatorRig() : settings(dir.File("KRTCFG.conf")) {
    std::string error;
    started = simulator.Start(kSimulator, QStringLiteral("RT610X"), &error);
    EXPECT_TRUE(started) << error;
    app::WindowOptions options;
    options.discovery = EmptyDiscovery(dir);
    options.temporary_port = app::TemporaryPort{20, simulator.DevicePath(), "simulated RT610X"};
    window = std::make_unique<app::CRTCFGDlg>(ui, settings, std::make_unique<link::PosixPort>(), std::move(options));
  }

  TempDir dir;
  SettingsStore settings;
  ScriptedUi ui;
  app::DemoSimulator simulator;
  bool started = false;
  std::unique_ptr<app::CRTCFGDlg> window;
};

TEST(WindowOnSimulator, EveryDeviceCommand) {
  SimulatorRig rig;
  ASSERT_TRUE(rig.started);
  EXPECT_EQ(rig.window->Com().port_number, 20);

  rig.window->OnUploadFromDevice();
  rig.window->OnDownloadToDevice();
  rig.ui.save_answers = {rig.dir.File("trend")};
  rig.window->OnUploadTrend();

  EXPECT_EQ(rig.ui.Transcript(), (Strings{"information: Reading completed", "information: Writing completed",
                                          "information: Writing completed"}));
  EXPECT_EQ(static_cast<QLabel*>(rig.window->Control(1010))->text().toStdString(), "Device Model : RT610X");
  ASSERT_EQ(rig.ui.save_dialogs.size(), 1u);
  EXPECT_TRUE(std::regex_match(rig.ui.save_dialogs[0].initial_name, std::regex(R"(\d{8}_\d{6}\.csv)")))
      << rig.ui.save_dialogs[0].initial_name;
  EXPECT_EQ(ReadWholeFile(rig.dir.File("trend.csv")).rfind("RT610X Short trend data", 0), 0u);
}

TEST(WindowOnSimulator, TemporaryPortIsListedButNeverStored) {
  SimulatorRig rig;
  ASSERT_TRUE(rig.started);
  for (const int pick : {19, 2}) {
    SCOPED_TRACE(pick);
    std::string label;
    OnNextModal ok([&](QWidget* modal) {
      auto* dialog = qobject_cast<app::CComDlg*>(modal);
      ASSERT_NE(dialog, nullptr);
      label = dialog->PortList()->itemText(19).toStdString();
      dialog->PortList()->setCurrentIndex(pick);
      dialog->OkButton()->click();
    });
    rig.window->OnPortSetting();
    EXPECT_EQ(label, "COM20:simulated RT610X");
    EXPECT_EQ(rig.window->Com().port_number, pick + 1);
    // The simulator's number is not stored; a real port is.
    EXPECT_EQ(ReadPersistedPort(SettingsStore(rig.settings.Path())), pick == 19 ? 1 : 3);
  }
}

// Draws the window as a user sees it, into the build folder for README.
QImage Screenshot(QWidget& window, const std::string& name) {
  const QPixmap pixmap = window.grab();
  const QString folder = QStringLiteral(KRTCFG_BINARY_DIR "/screenshots");
  QDir().mkpath(folder);
  const QString path = folder + QLatin1Char('/') + QString::fromStdString(name);
  EXPECT_TRUE(pixmap.save(path, "PNG")) << path.toStdString();
  return QImage(path);
}

TEST(WindowOnSimulator, Screenshots) {
  SimulatorRig rig;
  ASSERT_TRUE(rig.started);
  rig.window->show();

  const QImage noData = Screenshot(*rig.window, "window-no-data.png");
  rig.window->OnUploadFromDevice();
  ASSERT_EQ(rig.ui.Transcript(), Strings{"information: Reading completed"});
  const QImage uploaded = Screenshot(*rig.window, "window-uploaded.png");

  const QSize expected = rig.window->size() * rig.window->devicePixelRatio();
  for (const QImage* shot : {&noData, &uploaded}) {
    ASSERT_FALSE(shot->isNull());
    EXPECT_EQ(shot->size(), expected);
  }
  EXPECT_NE(noData, uploaded);
}

TEST(WindowOnSimulator, DemoRunsTheSimulatorForTheWindowsLife) {
  TempDir dir;
  app::AppEnvironment env;
  env.make_port = [] { return std::make_unique<link::PosixPort>(); };
  env.settings_path = dir.File("KRTCFG.conf");
  env.discovery = EmptyDiscovery(dir);
  std::string device;
  int port = 0;
  env.on_window = [&](app::CRTCFGDlg& window) {
    port = window.Com().port_number;
    device = window.Com().DevicePath();
    QTimer::singleShot(0, &window, &app::CRTCFGDlg::OnFinish);
  };

  char program[] = "krtcfg";
  char option[] = "--demo";
  char model[] = "RT610X";
  char* argv[] = {program, option, model, nullptr};
  int argc = 3;
  {  // The application is gone before the checks below, as its simulator must be.
    app::CRTCFGApp application(std::move(env));
    EXPECT_EQ(application.Run(argc, argv), 0);
  }

  // The first free number carries the simulator; its device is gone with it.
  EXPECT_EQ(port, 1);
  EXPECT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;
  EXPECT_FALSE(std::filesystem::exists(device)) << device;
  // Nothing of the demo is kept in the settings.
  EXPECT_FALSE(std::filesystem::exists(dir.File("KRTCFG.conf")) &&
               ReadWholeFile(dir.File("KRTCFG.conf")).find("pts") != std::string::npos);
}

TEST(WindowOnSimulator, UnknownModelIsReported) {
  app::DemoSimulator simulator;
  std::string error;
  EXPECT_FALSE(simulator.Start(kSimulator, QStringLiteral("KRT999"), &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(simulator.IsRunning());
}

TEST(WindowOnSimulator, SimulatorIsFoundBesideTheProgramOrInTheBuildTree) {
  EXPECT_EQ(app::FindSimulator(QStringLiteral(KRTCFG_BINARY_DIR "/app")).toStdString(),
            QDir::cleanPath(kSimulator).toStdString());
  EXPECT_EQ(app::FindSimulator(QStringLiteral(KRTCFG_BINARY_DIR "/sim")).toStdString(),
            QDir::cleanPath(kSimulator).toStdString());
}

}  // namespace
}  // namespace krt::test
