#include "link/port_discovery.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.hpp"

namespace krt::link {
namespace {

namespace fs = std::filesystem;
using test::ReadWholeFile;
using test::TempDir;
using test::WriteWholeFile;

// A small sysfs and /dev in a temporary folder, laid out as the kernel does:
// /sys/class/tty/<name> with a `device` link into /sys/devices, USB names two
// levels above a ttyUSB port, and /dev/serial/by-id links.
class FakeSystem {
 public:
  FakeSystem() {
    env.sysfs_root = (dir_.Path() / "sys").string();
    env.dev_root = (dir_.Path() / "dev").string();
    fs::create_directories(dir_.Path() / "sys/class/tty");
    fs::create_directories(dir_.Path() / "dev");
    settings_path = dir_.File("KRTCFG.conf");
  }

  // A virtual terminal: no device behind it.
  void AddVirtual(const std::string& name) {
    const fs::path dev = Sys() / "devices/virtual/tty" / name;
    fs::create_directories(dev);
    fs::create_directory_symlink(dev, Sys() / "class/tty" / name);
    Node(name);
  }

  // An on-board port of the legacy driver; type 0 is a placeholder without a
  // UART, a negative type leaves the attribute out.
  // With `serialBase` the port hangs below the generic devices of the
  // serial-base bus, as newer kernels show it.
  void AddOnBoard(int k, int type, bool serialBase = false) {
    const std::string name = "ttyS" + std::to_string(k);
    const fs::path platform = Sys() / "devices/platform/serial8250";
    fs::create_directories(platform);
    Driver(platform, "serial8250", "platform");
    fs::path device = platform;
    if (serialBase) {
      const fs::path controller = platform / "serial8250:0";
      device = controller / ("serial8250:0." + std::to_string(k));
      fs::create_directories(device);
      Driver(controller, "ctrl", "serial-base");
      Driver(device, "port", "serial-base");
    }
    const fs::path tty = device / "tty" / name;
    fs::create_directories(tty);
    fs::create_directory_symlink(device, tty / "device");
    if (type >= 0) WriteWholeFile((tty / "type").string(), std::to_string(type) + "\n");
    fs::create_directory_symlink(tty, Sys() / "class/tty" / name);
    Node(name);
  }

  // A USB adapter on hub port `usbPort`; empty names leave the attribute out.
  void AddUsb(const std::string& name, const std::string& usbPort, const std::string& product,
              const std::string& manufacturer, const std::string& driver, const std::string& byId = "") {
    const fs::path usb = Sys() / "devices/pci0000:00/0000:00:14.0/usb1" / usbPort;
    const fs::path interface = usb / (usbPort + ":1.0");
    fs::create_directories(interface);
    if (!product.empty()) WriteWholeFile((usb / "product").string(), product + "\n");
    if (!manufacturer.empty()) WriteWholeFile((usb / "manufacturer").string(), manufacturer + "\n");
    // ttyUSB ports hang below a port device of the usb-serial driver,
    // ttyACM ports straight below the interface.
    fs::path device = interface;
    if (name.rfind("ttyUSB", 0) == 0) {
      device = interface / name;
      fs::create_directories(device);
    }
    Driver(device, driver);
    const fs::path tty = device / "tty" / name;
    fs::create_directories(tty);
    fs::create_directory_symlink(device, tty / "device");
    fs::create_directory_symlink(tty, Sys() / "class/tty" / name);
    Node(name);
    if (!byId.empty()) {
      fs::create_directories(Dev() / "serial/by-id");
      fs::create_symlink("../../" + name, Dev() / "serial/by-id" / byId);
    }
  }

  // The adapter is pulled out: its sysfs entries, node and by-id link go.
  void Unplug(const std::string& name) {
    const fs::path tty = fs::canonical(Sys() / "class/tty" / name);
    fs::remove(Sys() / "class/tty" / name);
    fs::remove_all(tty.parent_path().parent_path());
    fs::remove(Dev() / name);
    std::error_code ec;
    for (const auto& link : fs::directory_iterator(Dev() / "serial/by-id", ec)) {
      if (fs::read_symlink(link.path()).filename() == name) fs::remove(link.path());
    }
  }

  std::string DevPath(const std::string& name) const { return env.dev_root + "/" + name; }
  std::string ById(const std::string& name) const { return env.dev_root + "/serial/by-id/" + name; }

  std::vector<SerialPortEntry> Collect() {
    SettingsStore settings(settings_path);
    std::vector<SerialPortEntry> list;
    CollectSerialPorts(list, settings, env);
    return list;
  }
  std::vector<std::string> Labels() {
    SettingsStore settings(settings_path);
    return PortComboLabels(settings, env);
  }

  DiscoveryEnv env;
  std::string settings_path;

 private:
  fs::path Sys() const { return dir_.Path() / "sys"; }
  fs::path Dev() const { return dir_.Path() / "dev"; }
  void Node(const std::string& name) { WriteWholeFile((Dev() / name).string(), ""); }
  void Driver(const fs::path& device, const std::string& driver, const std::string& bus = "usb") {
    if (driver.empty() || fs::exists(device / "driver")) return;
    const fs::path folder = Sys() / "bus" / bus / "drivers" / driver;
    fs::create_directories(folder);
    fs::create_directory_symlink(folder, device / "driver");
  }

  TempDir dir_;
};

std::vector<std::string> EmptyLabels() {
  std::vector<std::string> labels;
  for (int n = 1; n <= 20; ++n) labels.push_back("COM" + std::to_string(n) + ":");
  return labels;
}

TEST(PortDiscovery, NoPortsGiveTwentyEmptyLabels) {
  FakeSystem system;
  system.AddVirtual("tty0");
  system.AddVirtual("console");
  system.AddVirtual("ptmx");
  EXPECT_TRUE(system.Collect().empty());
  EXPECT_EQ(system.Labels(), EmptyLabels());

  // No sysfs at all: the same.
  DiscoveryEnv nowhere{"/nonexistent/sys", "/nonexistent/dev", {}};
  SettingsStore settings(system.settings_path);
  EXPECT_EQ(PortComboLabels(settings, nowhere), EmptyLabels());
}

TEST(PortDiscovery, PlaceholdersWithoutAUartAreSkipped) {
  FakeSystem system;
  system.AddOnBoard(0, 4);   // a 16550A
  system.AddOnBoard(1, 0);   // placeholder
  system.AddOnBoard(2, 0);   // placeholder
  system.AddOnBoard(3, -1);  // no type attribute: the driver is asked
  system.AddOnBoard(4, -1, true);
  system.env.has_uart = [&](const std::string& path) { return path == system.DevPath("ttyS4"); };
  std::vector<std::string> expected = EmptyLabels();
  expected[0] = "COM1:serial8250 (" + system.DevPath("ttyS0") + ")";
  expected[4] = "COM5:serial8250 (" + system.DevPath("ttyS4") + ")";
  EXPECT_EQ(system.Labels(), expected);
  // Fixed numbers of on-board ports are never written to the port map.
  EXPECT_TRUE(SettingsStore(system.settings_path).Section(kPortMapSection).empty());
}

TEST(PortDiscovery, UsbAdaptersWithAndWithoutNames) {
  FakeSystem system;
  system.AddUsb("ttyUSB0", "1-1", "FT232R USB UART", "FTDI", "ftdi_sio", "usb-FTDI_FT232R_USB_UART_A9XYZ-if00-port0");
  system.AddUsb("ttyUSB1", "1-2", "", "Prolific Technology Inc.", "pl2303");
  system.AddUsb("ttyACM0", "1-3", "", "", "cdc_acm");
  system.AddUsb("ttyACM1", "1-4", "", "", "");
  const std::vector<SerialPortEntry> list = system.Collect();
  struct Expected {
    int number;
    std::string friendly;
    std::string device;
  };
  const Expected expected[] = {
      {1, "cdc_acm (" + system.DevPath("ttyACM0") + ")", system.DevPath("ttyACM0")},
      {2, " (" + system.DevPath("ttyACM1") + ")", system.DevPath("ttyACM1")},
      {3, "FT232R USB UART (" + system.DevPath("ttyUSB0") + ")", system.DevPath("ttyUSB0")},
      {4, "Prolific Technology Inc. (" + system.DevPath("ttyUSB1") + ")", system.DevPath("ttyUSB1")},
  };
  ASSERT_EQ(list.size(), std::size(expected));
  for (std::size_t i = 0; i < list.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(list[i].port_number, expected[i].number);
    EXPECT_EQ(list[i].port_name, "COM" + std::to_string(expected[i].number));
    EXPECT_EQ(list[i].friendly_name, expected[i].friendly);
    EXPECT_EQ(list[i].device_path, expected[i].device);
  }
  // The adapter with a stable name is kept by that name, the others by path.
  const auto map = ReadPortMap(SettingsStore(system.settings_path));
  EXPECT_EQ(map.at(3), system.ById("usb-FTDI_FT232R_USB_UART_A9XYZ-if00-port0"));
  EXPECT_EQ(map.at(1), system.DevPath("ttyACM0"));
  EXPECT_EQ(system.Labels()[2], "COM3:FT232R USB UART (" + system.DevPath("ttyUSB0") + ")");
}

TEST(PortDiscovery, Com2SortsBeforeCom10AndPortsAbove20AreNotShown) {
  FakeSystem system;
  system.AddOnBoard(9, 4);
  system.AddOnBoard(1, 4);
  system.AddOnBoard(24, 4);
  const std::vector<SerialPortEntry> list = system.Collect();
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].port_name, "COM2");
  EXPECT_EQ(list[1].port_name, "COM10");
  EXPECT_EQ(list[2].port_name, "COM25");
  std::vector<std::string> expected = EmptyLabels();
  expected[1] = "COM2:serial8250 (" + system.DevPath("ttyS1") + ")";
  expected[9] = "COM10:serial8250 (" + system.DevPath("ttyS9") + ")";
  EXPECT_EQ(system.Labels(), expected);

  std::vector<std::string> names;
  SettingsStore settings(system.settings_path);
  GetPortFriendlyNames(names, settings, system.env);
  ASSERT_EQ(names.size(), 20u);
  EXPECT_EQ(names[9], "serial8250 (" + system.DevPath("ttyS9") + ")");
}

TEST(PortDiscovery, TheMapKeepsARepluggedAdapterOnItsNumber) {
  FakeSystem system;
  system.AddOnBoard(0, 4);  // COM1 is the on-board port's
  system.AddUsb("ttyUSB0", "1-1", "FT232R USB UART", "FTDI", "ftdi_sio", "usb-FTDI_A-if00-port0");
  auto list = system.Collect();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].port_number, 2);

  // Pulled out: the number stays reserved. A second adapter takes the next one.
  system.Unplug("ttyUSB0");
  system.AddUsb("ttyUSB1", "1-2", "CP2102 USB to UART Bridge Controller", "Silicon Labs", "cp210x",
                "usb-Silicon_Labs_B-if00-port0");
  list = system.Collect();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].port_number, 3);
  EXPECT_EQ(list[1].device_path, system.DevPath("ttyUSB1"));

  // Plugged in again (after a reboot, under another tty name): COM2 again.
  system.AddUsb("ttyUSB2", "1-3", "FT232R USB UART", "FTDI", "ftdi_sio", "usb-FTDI_A-if00-port0");
  list = system.Collect();
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[1].port_number, 2);
  EXPECT_EQ(list[1].device_path, system.DevPath("ttyUSB2"));
  EXPECT_EQ(list[2].port_number, 3);

  SettingsStore settings(system.settings_path);
  EXPECT_EQ(ResolvePortNumber(2, settings, system.env), system.ById("usb-FTDI_A-if00-port0"));
  EXPECT_EQ(ResolvePortNumber(3, settings, system.env), system.ById("usb-Silicon_Labs_B-if00-port0"));
  EXPECT_EQ(ResolvePortNumber(1, settings, system.env), system.DevPath("ttyS0"));
  EXPECT_EQ(ReadWholeFile(system.settings_path), "[PortMap]\nCOM2=" + system.ById("usb-FTDI_A-if00-port0") +
                                                     "\nCOM3=" + system.ById("usb-Silicon_Labs_B-if00-port0") + "\n");
}

TEST(PortDiscovery, EntriesWrittenByHand) {
  FakeSystem system;
  system.AddOnBoard(0, 4);
  system.AddUsb("ttyACM0", "1-1", "Board", "", "cdc_acm");
  const std::string link = system.env.dev_root + "/../krtcfg-sim";
  WriteWholeFile(link, "");
  {
    SettingsStore settings(system.settings_path);
    settings.SetString(kPortMapSection, "COM9", link);                            // a simulator's link
    settings.SetString(kPortMapSection, "COM1", link);                            // takes COM1 from ttyS0
    settings.SetString(kPortMapSection, "COM12", system.DevPath("ttyACM0"));      // an adapter by its path
    settings.SetString(kPortMapSection, "COM15", system.env.dev_root + "/gone");  // not there now
    settings.SetString(kPortMapSection, "LPT1", "/dev/lp0");                      // not a port entry
  }
  const auto list = system.Collect();
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].port_number, 1);
  EXPECT_EQ(list[0].device_path, link);
  EXPECT_EQ(list[0].friendly_name, " (" + link + ")");
  EXPECT_EQ(list[1].port_number, 9);
  EXPECT_EQ(list[2].port_number, 12);
  EXPECT_EQ(list[2].friendly_name, "Board (" + system.DevPath("ttyACM0") + ")");

  SettingsStore settings(system.settings_path);
  EXPECT_EQ(ResolvePortNumber(9, settings, system.env), link);
  EXPECT_EQ(ResolvePortNumber(15, settings, system.env), system.env.dev_root + "/gone");
  EXPECT_EQ(ResolvePortNumber(4, settings, system.env), system.DevPath("ttyS3"));
  EXPECT_EQ(ResolvePortNumber(0, settings, system.env), "");
  EXPECT_EQ(ResolvePortNumber(-2, settings, system.env), "");
}

}  // namespace
}  // namespace krt::link
