// The port selection dialog: its controls, the entry it selects for the
// port in use, and what OK and Cancel do to the port and the setting.

#include "app/com_dlg.hpp"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>

#include "app_test_support.hpp"

namespace krt::test {
namespace {

std::vector<std::string> Labels() {
  std::vector<std::string> labels;
  for (int n = 1; n <= 20; ++n) labels.push_back("COM" + std::to_string(n) + ":");
  labels[6] = "COM7:FT232R USB UART (/dev/ttyUSB0)";
  return labels;
}

TEST(PortDialog, Controls) {
  FakePort port;
  link::RTCom com(port, {});
  app::CComDlg dialog(com, Labels());
  EXPECT_EQ(dialog.windowTitle().toStdString(), "Port setting");
  const auto* group = dialog.findChild<QGroupBox*>();
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(group->title().toStdString(), "COM port number");
  EXPECT_EQ(dialog.PortList()->count(), 20);
  EXPECT_FALSE(dialog.PortList()->isEditable());
  EXPECT_EQ(dialog.PortList()->itemText(6).toStdString(), "COM7:FT232R USB UART (/dev/ttyUSB0)");
  EXPECT_EQ(dialog.OkButton()->text().toStdString(), "OK");
  EXPECT_TRUE(dialog.OkButton()->isDefault());
  EXPECT_EQ(dialog.CancelButton()->text().toStdString(), "Cancel");
}

// Through the window: the stored port, the entry the dialog selects, and the
// port stored after OK without a new pick.
TEST(PortDialog, SelectionFollowsTheStoredPort) {
  const struct {
    const char* name;
    std::optional<int> stored;
    int in_use;
    int selected;
    int after_ok;
  } cases[] = {
      {"first run", std::nullopt, 1, 0, 1},
      {"7", 7, 7, 6, 7},
      {"20", 20, 20, 19, 20},
      {"21", 21, 21, 0, 1},
      {"25", 25, 25, 0, 1},
      {"0", 0, 0, -1, 0},
      {"-3", -3, -3, -1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WindowRig rig(c.stored);
    EXPECT_EQ(rig.Window().Com().port_number, c.in_use);

    int selected = -2;
    std::string label;
    OnNextModal ok([&](QWidget* modal) {
      auto* dialog = qobject_cast<app::CComDlg*>(modal);
      ASSERT_NE(dialog, nullptr);
      selected = dialog->PortList()->currentIndex();
      label = dialog->PortList()->currentText().toStdString();
      // Until OK the port in use stays what it was.
      EXPECT_EQ(rig.Window().Com().port_number, c.in_use);
      dialog->OkButton()->click();
    });
    rig.Window().OnPortSetting();

    EXPECT_EQ(selected, c.selected);
    if (c.selected >= 0) {
      EXPECT_EQ(label, "COM" + std::to_string(c.selected + 1) + ":");
    }
    EXPECT_EQ(rig.Window().Com().port_number, c.after_ok);
    EXPECT_EQ(ReadPersistedPort(SettingsStore(rig.settings.Path())), c.after_ok);
  }
}

TEST(PortDialog, CancelKeepsPortAndSetting) {
  for (const bool byEscape : {false, true}) {
    SCOPED_TRACE(byEscape ? "escape" : "cancel button");
    WindowRig rig(7);
    OnNextModal cancel([byEscape](QWidget* modal) {
      auto* dialog = qobject_cast<app::CComDlg*>(modal);
      ASSERT_NE(dialog, nullptr);
      dialog->PortList()->setCurrentIndex(11);
      if (byEscape)
        dialog->reject();
      else
        dialog->CancelButton()->click();
    });
    rig.Window().OnPortSetting();
    EXPECT_EQ(rig.Window().Com().port_number, 7);
    EXPECT_EQ(ReadPersistedPort(SettingsStore(rig.settings.Path())), 7);
  }
}

TEST(PortDialog, EntryForPort) {
  EXPECT_EQ(app::CComDlg::EntryForPort(1, 20), 0);
  EXPECT_EQ(app::CComDlg::EntryForPort(20, 20), 19);
  EXPECT_EQ(app::CComDlg::EntryForPort(21, 20), 0);
  EXPECT_EQ(app::CComDlg::EntryForPort(0, 20), -1);
  EXPECT_EQ(app::CComDlg::EntryForPort(-1, 20), -1);
  EXPECT_EQ(app::CComDlg::EntryForPort(5, 3), -1);
}

}  // namespace
}  // namespace krt::test
