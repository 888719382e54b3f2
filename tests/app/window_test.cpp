// The main window on a fake device: start state, every command's messages,
// the view after loads, the progress dialog and the port setting.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <thread>

#include "app/com_dlg.hpp"
#include "app/device_task.hpp"
#include "app/dialog_units.hpp"
#include "app/rtcfg_dlg.hpp"
#include "app/window_texts.hpp"
#include "app_test_support.hpp"

namespace krt::test {
namespace {

using app::CRTCFGDlg;
using Strings = std::vector<std::string>;

// An image the fake device serves: RT610X, format 3.2, LCD 1.2x.
Bytes Rt610xImage() {
  return ConfigImage(6200, 3, 2, 1, 25);
}

void LoadFromDevice(WindowRig& rig) {
  rig.device.type_code = 40;
  rig.device.config = Rt610xImage();
  rig.Window().OnUploadFromDevice();
  ASSERT_EQ(rig.ui.Transcript(), Strings{"information: Reading completed"});
  rig.ui.messages.clear();
}

TEST(MainWindow, StartState) {
  WindowRig rig;
  CRTCFGDlg& w = rig.Window();
  w.show();

  EXPECT_EQ(w.windowTitle().toStdString(), "KRTCFG [Ver. 1.80.02]");
  EXPECT_FALSE(w.windowIcon().isNull());
  EXPECT_EQ(rig.Source(), "No data");
  EXPECT_EQ(rig.ModelText(), "Device Model : ");
  EXPECT_EQ(rig.LcdText(), "LCD Ver. : ");
  EXPECT_FALSE(rig.Enabled(CRTCFGDlg::kIdModelLabel));
  EXPECT_FALSE(rig.Enabled(CRTCFGDlg::kIdLcdLabel));

  const struct {
    int id;
    const char* text;
    bool enabled;
  } buttons[] = {
      {1001, "Upload from device", true}, {1002, "Read CFG file", true},  {1003, "Download to device", false},
      {1004, "Write to CFG file", false}, {1005, "Export to CSV", false}, {1006, "Upload and export to CSV", true},
      {1007, "Port setting", true},       {1008, "Finish", true},
  };
  for (const auto& b : buttons) {
    SCOPED_TRACE(b.id);
    ASSERT_NE(w.Button(b.id), nullptr);
    EXPECT_EQ(w.Button(b.id)->text().toStdString(), b.text);
    EXPECT_EQ(w.Button(b.id)->isEnabled(), b.enabled);
  }
  EXPECT_EQ(static_cast<QGroupBox*>(w.Control(1009))->title().toStdString(), "Configuration");
  EXPECT_EQ(static_cast<QGroupBox*>(w.Control(1011))->title().toStdString(), "Short trend data");

  auto* source = static_cast<QLineEdit*>(w.Control(CRTCFGDlg::kIdSource));
  EXPECT_TRUE(source->isReadOnly());
  EXPECT_TRUE(source->alignment() & Qt::AlignHCenter);
  EXPECT_TRUE(source->hasFrame());
  EXPECT_FALSE(source->focusPolicy() & Qt::TabFocus);
  EXPECT_TRUE(source->toolTip().isEmpty());

  EXPECT_EQ(w.focusWidget(), w.Button(1001));
  EXPECT_TRUE(w.Button(1001)->isDefault());
}

TEST(MainWindow, LayoutFollowsDialogUnits) {
  WindowRig rig;
  CRTCFGDlg& w = rig.Window();
  const app::DialogUnits du(w.font());
  EXPECT_EQ(w.minimumSize(), w.maximumSize());
  EXPECT_EQ(w.size(), du.Size(175, 259));
  const struct {
    int id, x, y, width, height;
  } rects[] = {
      {1009, 12, 1, 150, 185},  {1012, 24, 12, 126, 12},  {1010, 24, 30, 126, 8},   {1013, 24, 45, 126, 8},
      {1001, 24, 60, 126, 18},  {1002, 24, 84, 126, 18},  {1003, 24, 108, 126, 18}, {1004, 24, 132, 126, 18},
      {1005, 24, 156, 126, 18}, {1011, 12, 193, 150, 36}, {1006, 24, 204, 126, 18}, {1007, 18, 234, 48, 16},
      {1008, 108, 234, 48, 16},
  };
  for (const auto& r : rects) {
    SCOPED_TRACE(r.id);
    EXPECT_EQ(w.Control(r.id)->geometry(), du.Rect(r.x, r.y, r.width, r.height));
  }
}

TEST(MainWindow, TabOrder) {
  WindowRig rig;
  CRTCFGDlg& w = rig.Window();
  std::vector<int> order;
  QWidget* start = w.Control(1007);
  QWidget* next = start;
  do {
    if (next->focusPolicy() & Qt::TabFocus) order.push_back(next->objectName().toInt());
    next = next->nextInFocusChain();
  } while (next != start && order.size() < 20);
  EXPECT_EQ(order, (std::vector<int>{1007, 1008, 1001, 1002, 1003, 1004, 1005, 1006}));
}

TEST(MainWindow, UploadShowsTheDevicesConfiguration) {
  WindowRig rig;
  LoadFromDevice(rig);
  EXPECT_EQ(rig.Source(), "Uploaded from device");
  EXPECT_EQ(rig.ModelText(), "Device Model : RT610X");
  EXPECT_EQ(rig.LcdText(), "LCD Ver. : 1.2x");
  EXPECT_TRUE(rig.Enabled(CRTCFGDlg::kIdModelLabel));
  EXPECT_TRUE(rig.Enabled(CRTCFGDlg::kIdLcdLabel));
  for (int id : {1003, 1004, 1005}) EXPECT_TRUE(rig.Enabled(id)) << id;
  EXPECT_EQ(rig.device.requests.back(), "G CONFIG");
}

struct UploadFailure {
  const char* name;
  std::function<void(WindowRig&)> arrange;
  std::string message;
};

TEST(MainWindow, UploadFailuresLeaveNoData) {
  const std::string hint = "\n\n" + app::PermissionHint();
  const UploadFailure cases[] = {
      {"port missing", [](WindowRig& r) { r.port.FailOpen("/dev/fake: No such file or directory"); },
       "Failed to read\nFailed to initialize COM port"},
      {"port forbidden",
       [](WindowRig& r) { r.port.FailOpen("/dev/fake: Permission denied", link::PortFailure::kPermission); },
       "Failed to read\nFailed to initialize COM port" + hint},
      {"silent device", [](WindowRig& r) { r.device.silent = true; }, "Failed to read\nFailed to communicate"},
      {"unknown model", [](WindowRig& r) { r.device.config = ConfigImage(5200, 3, 2); },
       "Failed to read\nIllegal data (Error code: 01)"},
      {"wrong size", [](WindowRig& r) { r.device.config = ConfigImage(6200, 3, 2, 1, 0, 1024); },
       "Failed to read\nIllegal data (Error code: 02)"},
  };
  for (const UploadFailure& c : cases) {
    SCOPED_TRACE(c.name);
    WindowRig rig;
    rig.device.type_code = 40;
    rig.device.config = Rt610xImage();
    c.arrange(rig);
    rig.Window().OnUploadFromDevice();
    EXPECT_EQ(rig.ui.Transcript(), Strings{"error: " + c.message});
    EXPECT_EQ(rig.Source(), "No data");
    EXPECT_FALSE(rig.Enabled(1003));
  }
}

TEST(MainWindow, FailedLoadsKeepTheViewAsItWas) {
  WindowRig rig;
  LoadFromDevice(rig);

  const std::string missing = rig.dir.File("missing.cfg");
  rig.ui.open_answers = {missing};
  rig.Window().OnReadCfgFile();
  rig.device.silent = true;
  rig.Window().OnUploadFromDevice();

  EXPECT_EQ(rig.ui.Transcript(),
            (Strings{"error: Failed to read\nFailed to open file", "error: Failed to read\nFailed to communicate"}));
  EXPECT_EQ(rig.Source(), "Uploaded from device");
  EXPECT_EQ(rig.ModelText(), "Device Model : RT610X");
  EXPECT_EQ(rig.LcdText(), "LCD Ver. : 1.2x");
  EXPECT_TRUE(rig.Enabled(1004));
}

TEST(MainWindow, ReadCfgFileShowsTheFileName) {
  WindowRig rig;
  std::filesystem::create_directories(rig.dir.Path() / "my.configs");
  const std::string path = rig.dir.File("my.configs/panel 3.cfg");
  const Bytes image = ConfigImage(200, 1, 1, 7, 99);
  WriteWholeFile(path, std::string(image.begin(), image.end()));

  rig.ui.open_answers = {path};
  rig.Window().OnReadCfgFile();

  ASSERT_EQ(rig.ui.open_dialogs.size(), 1u);
  EXPECT_EQ(rig.ui.open_dialogs[0].filter, "Parameter Files(*.cfg)|*.cfg||");
  EXPECT_EQ(rig.ui.open_dialogs[0].initial_name, "*.cfg");
  EXPECT_EQ(rig.ui.Transcript(), Strings{"information: Reading completed"});
  EXPECT_EQ(rig.Source(), "panel 3.cfg");
  EXPECT_EQ(rig.Window().Control(CRTCFGDlg::kIdSource)->toolTip().toStdString(), path);
  EXPECT_EQ(rig.ModelText(), "Device Model : KRT610");
  EXPECT_EQ(rig.LcdText(), "LCD Ver. : 7.9x");
}

TEST(MainWindow, CancelledOpenDialogShowsNothing) {
  WindowRig rig;
  rig.ui.open_answers = {std::nullopt};
  rig.Window().OnReadCfgFile();
  EXPECT_TRUE(rig.ui.messages.empty());
  EXPECT_EQ(rig.Source(), "No data");
}

TEST(MainWindow, DownloadMessages) {
  const struct {
    const char* name;
    std::function<void(WindowRig&)> arrange;
    std::string message;
  } cases[] = {
      {"accepted", [](WindowRig&) {}, "information: Writing completed"},
      {"device error 5", [](WindowRig& r) { r.device.error_after_download = 5; },
       "error: Failed to write\nDevice error (Error code: 05)"},
      {"port missing", [](WindowRig& r) { r.port.FailOpen("/dev/fake: No such file or directory"); },
       "error: Failed to write\nFailed to initialize COM port"},
      {"silent device", [](WindowRig& r) { r.device.silent = true; }, "error: Failed to write\nFailed to communicate"},
      {"device image of an unknown model", [](WindowRig& r) { r.device.config = ConfigImage(5200, 3, 2); },
       "error: Failed to write\nIllegal data (Error code: 01)"},
      {"device image of a wrong size", [](WindowRig& r) { r.device.config = ConfigImage(6200, 3, 2, 1, 0, 1024); },
       "error: Failed to write\nIllegal data (Error code: 02)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WindowRig rig;
    LoadFromDevice(rig);
    c.arrange(rig);
    rig.Window().OnDownloadToDevice();
    EXPECT_EQ(rig.ui.Transcript(), Strings{c.message});
    EXPECT_EQ(rig.Source(), "Uploaded from device");
    EXPECT_EQ(rig.ModelText(), "Device Model : RT610X");
    EXPECT_EQ(rig.Window().Database().GetState(), FromDevice);
  }
}

TEST(MainWindow, WriteCfgFileAppendsTheExtensionAndWritesTheImage) {
  WindowRig rig;
  LoadFromDevice(rig);
  rig.ui.save_answers = {rig.dir.File("saved")};
  rig.Window().OnWriteCfgFile();

  ASSERT_EQ(rig.ui.save_dialogs.size(), 1u);
  EXPECT_EQ(rig.ui.save_dialogs[0].initial_name, "RT610X.cfg");
  EXPECT_EQ(rig.ui.save_dialogs[0].filter, "Parameter Files(*.cfg)|*.cfg||");
  EXPECT_EQ(rig.ui.Transcript(), Strings{"information: Writing completed"});
  const std::string written = ReadWholeFile(rig.dir.File("saved.cfg"));
  EXPECT_EQ(written.size(), 2048u);
  EXPECT_EQ(written.substr(0, 4), "\x49\x96\x02\xD2");
}

TEST(MainWindow, OverwriteNoAsksAgainAndCancelEndsSilently) {
  WindowRig rig;
  LoadFromDevice(rig);
  const std::string existing = rig.dir.File("old.cfg");
  WriteWholeFile(existing, "keep me");
  rig.ui.save_answers = {rig.dir.File("old.txt"), std::nullopt};
  rig.ui.question_answers = {false};

  rig.Window().OnWriteCfgFile();

  EXPECT_EQ(rig.ui.Transcript(), Strings{"question: Overwrite?"});
  ASSERT_EQ(rig.ui.save_dialogs.size(), 2u);
  EXPECT_EQ(rig.ui.save_dialogs[1].initial_name, existing);
  EXPECT_EQ(ReadWholeFile(existing), "keep me");
}

TEST(MainWindow, WriteFailuresName) {
  WindowRig rig;
  LoadFromDevice(rig);
  rig.ui.save_answers = {rig.dir.File("no such folder/x"), rig.dir.File("no such folder/y")};
  rig.Window().OnWriteCfgFile();
  rig.Window().OnExportCsv();
  EXPECT_EQ(rig.ui.Transcript(),
            (Strings{"error: Failed to write\nFailed to open file", "error: Failed to write\nFailed to open file"}));
}

TEST(MainWindow, ExportCsvWritesTheListing) {
  WindowRig rig;
  LoadFromDevice(rig);
  rig.ui.save_answers = {rig.dir.File("listing.txt")};
  rig.Window().OnExportCsv();

  ASSERT_EQ(rig.ui.save_dialogs.size(), 1u);
  EXPECT_EQ(rig.ui.save_dialogs[0].initial_name, "RT610X.csv");
  EXPECT_EQ(rig.ui.save_dialogs[0].filter, "*.csv|*.csv||");
  EXPECT_EQ(rig.ui.Transcript(), Strings{"information: Writing completed"});
  const std::string text = ReadWholeFile(rig.dir.File("listing.csv"));
  EXPECT_FALSE(text.empty());
  EXPECT_NE(text.find("\r\n"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(rig.dir.File("listing.txt")));
}

TEST(MainWindow, ShortTrendWorksWithoutConfigurationAndChangesNothing) {
  WindowRig rig;
  rig.device.type_code = 40;
  rig.device.trend = TrendRecord(2012, 3, 7, 14, 38, 26);
  rig.ui.save_answers = {rig.dir.File("trend")};

  rig.Window().OnUploadTrend();

  ASSERT_EQ(rig.ui.save_dialogs.size(), 1u);
  EXPECT_EQ(rig.ui.save_dialogs[0].initial_name, "20120307_143826.csv");
  EXPECT_EQ(rig.ui.save_dialogs[0].filter, "*.csv|*.csv||");
  EXPECT_EQ(rig.ui.Transcript(), Strings{"information: Writing completed"});
  EXPECT_NE(ReadWholeFile(rig.dir.File("trend.csv")).find("RT610X Short trend data"), std::string::npos);
  EXPECT_EQ(rig.Source(), "No data");
  EXPECT_FALSE(rig.Enabled(CRTCFGDlg::kIdModelLabel));
  for (int id : {1003, 1004, 1005}) EXPECT_FALSE(rig.Enabled(id)) << id;
}

TEST(MainWindow, ShortTrendKeepsALoadedConfigurationShown) {
  WindowRig rig;
  LoadFromDevice(rig);
  rig.device.trend = TrendRecord(2012, 3, 7, 14, 38, 26);
  rig.ui.save_answers = {std::nullopt};
  rig.Window().OnUploadTrend();
  // A cancelled save dialog after a good upload says nothing.
  EXPECT_TRUE(rig.ui.messages.empty());
  EXPECT_EQ(rig.ui.save_dialogs.size(), 1u);
  EXPECT_EQ(rig.Source(), "Uploaded from device");
  EXPECT_EQ(rig.ModelText(), "Device Model : RT610X");
  EXPECT_TRUE(rig.Enabled(1003));
}

TEST(MainWindow, ShortTrendFailures) {
  const struct {
    const char* name;
    std::function<void(WindowRig&)> arrange;
    std::string message;
    std::size_t save_dialogs;
  } cases[] = {
      {"device without short trend", [](WindowRig& r) { r.device.type_code = 10; },
       "error: Failed to read\nUnsupported device", 0},
      {"port forbidden",
       [](WindowRig& r) { r.port.FailOpen("/dev/fake: Permission denied", link::PortFailure::kPermission); },
       "error: Failed to read\nFailed to initialize COM port\n\n" + app::PermissionHint(), 0},
      {"silent device", [](WindowRig& r) { r.device.silent = true; }, "error: Failed to read\nFailed to communicate",
       0},
      {"short record", [](WindowRig& r) { r.device.trend.resize(13033); }, "error: Failed to read\nIllegal data", 0},
      {"file cannot be created", [](WindowRig& r) { r.ui.save_answers = {r.dir.File("missing/t")}; },
       "error: Failed to write\nFailed to open file", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WindowRig rig;
    rig.device.type_code = 40;
    rig.device.trend = TrendRecord(2012, 3, 7, 14, 38, 26);
    c.arrange(rig);
    rig.Window().OnUploadTrend();
    EXPECT_EQ(rig.ui.Transcript(), Strings{c.message});
    EXPECT_EQ(rig.ui.save_dialogs.size(), c.save_dialogs);
  }
}

// Holds a configuration upload until the window's cancel flag is raised.
class BlockingCom : public link::RTCom {
 public:
  using RTCom::RTCom;
  int ReadConfig(Bytes&) override {
    thread = std::this_thread::get_id();
    flag->wait(0);
    return link::kComFailed;
  }
  const link::CancelFlag* flag = nullptr;
  std::thread::id thread;
};

TEST(MainWindow, DeviceOperationRunsBehindAModalProgressDialogAndCanBeCancelled) {
  for (const bool byEscape : {false, true}) {
    SCOPED_TRACE(byEscape ? "escape" : "cancel button");
    WindowRig rig(std::nullopt, [](link::Port& port, link::PortResolver resolver) {
      return std::make_unique<BlockingCom>(port, std::move(resolver));
    });
    auto& com = dynamic_cast<BlockingCom&>(rig.Window().Com());
    com.flag = &rig.Window().CancelFlag();
    rig.Window().show();

    QString title;
    Qt::WindowModality modality = Qt::NonModal;
    OnNextModal cancel([&](QWidget* modal) {
      title = modal->windowTitle();
      modality = modal->windowModality();
      auto* progress = qobject_cast<app::OperationProgressDialog*>(modal);
      ASSERT_NE(progress, nullptr);
      if (byEscape)
        progress->reject();
      else
        progress->CancelButton()->click();
      // The dialog stays until the worker has really stopped.
      EXPECT_FALSE(progress->CancelButton()->isEnabled());
    });
    rig.Window().OnUploadFromDevice();

    EXPECT_TRUE(cancel.Seen());
    EXPECT_EQ(title.toStdString(), "Upload from device");
    EXPECT_EQ(modality, Qt::ApplicationModal);
    EXPECT_NE(com.thread, std::this_thread::get_id());
    EXPECT_EQ(rig.ui.Transcript(), Strings{"error: Failed to read\nFailed to communicate"});
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  }
}

int ReadStoredPort(WindowRig& rig) {
  const SettingsStore fresh(rig.settings.Path());
  return ReadPersistedPort(fresh);
}

TEST(MainWindow, PortSettingStoresTheChoiceAtOnce) {
  WindowRig rig(7);
  EXPECT_EQ(rig.Window().Com().port_number, 7);

  int selected = -2;
  int entries = 0;
  OnNextModal pick([&](QWidget* modal) {
    auto* dialog = qobject_cast<app::CComDlg*>(modal);
    ASSERT_NE(dialog, nullptr);
    selected = dialog->PortList()->currentIndex();
    entries = dialog->PortList()->count();
    dialog->PortList()->setCurrentIndex(2);
    dialog->OkButton()->click();
  });
  rig.Window().OnPortSetting();

  EXPECT_EQ(selected, 6);
  EXPECT_EQ(entries, 20);
  EXPECT_EQ(rig.Window().Com().port_number, 3);
  EXPECT_EQ(ReadStoredPort(rig), 3);
  EXPECT_EQ(rig.Source(), "No data");
}

TEST(MainWindow, PortSettingCancelChangesNothing) {
  WindowRig rig(25);
  OnNextModal cancel([](QWidget* modal) {
    auto* dialog = qobject_cast<app::CComDlg*>(modal);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->PortList()->currentIndex(), 0);
    dialog->CancelButton()->click();
  });
  rig.Window().OnPortSetting();
  EXPECT_EQ(rig.Window().Com().port_number, 25);
  EXPECT_EQ(ReadStoredPort(rig), 25);
}

TEST(MainWindow, StoredPortZeroFailsToOpenAfterOk) {
  WindowRig rig(0);
  OnNextModal ok([](QWidget* modal) {
    auto* dialog = qobject_cast<app::CComDlg*>(modal);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->PortList()->currentIndex(), -1);
    dialog->OkButton()->click();
  });
  rig.Window().OnPortSetting();
  EXPECT_EQ(ReadStoredPort(rig), 0);

  // Port 0 names no device.
  rig.Window().Com().device_path.clear();
  rig.Window().OnUploadFromDevice();
  EXPECT_EQ(rig.ui.Transcript(), Strings{"error: Failed to read\nFailed to initialize COM port"});
  EXPECT_EQ(rig.port.open_calls, 0);
}

TEST(MainWindow, FinishEndsWithItsId) {
  WindowRig rig;
  QTimer::singleShot(0, &rig.Window(), [&rig] { rig.Window().Button(1008)->click(); });
  EXPECT_EQ(rig.Window().exec(), 1008);
}

}  // namespace
}  // namespace krt::test
