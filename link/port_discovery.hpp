#pragma once
// The serial ports present (from sysfs), their friendly names, and the port
// map that keeps a port number with its device across replugging.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "store/settings.hpp"

namespace krt::link {

struct SerialPortEntry {
  int port_number = 0;
  std::string port_name;      // "COM%d"
  std::string friendly_name;  // e.g. "FT232R USB UART (/dev/ttyUSB0)"
  std::string device_path;    // e.g. "/dev/ttyUSB0"
};

// Where discovery looks; tests point these at a small fake tree.
struct DiscoveryEnv {
  std::string sysfs_root = "/sys";
  std::string dev_root = "/dev";
  // Whether an on-board port (ttyS) whose sysfs entry has no "type"
  // attribute has a UART behind it. Empty: ask the driver (TIOCGSERIAL);
  // tests answer for their fake devices.
  std::function<bool(const std::string& devicePath)> has_uart;
};

inline constexpr int kPortLabelCount = 20;

// The settings section of the port map: entries "COM<n>=<device path>".
inline constexpr const char* kPortMapSection = "PortMap";

// Ports present, ascending by number, one per port name. New devices get a
// number in the port map (kept in `settings`).
void CollectSerialPorts(std::vector<SerialPortEntry>& list, SettingsStore& settings, const DiscoveryEnv& env = {});
// `names` gets 20 elements; element i is the friendly name of port i + 1.
void GetPortFriendlyNames(std::vector<std::string>& names, SettingsStore& settings, const DiscoveryEnv& env = {});
// The 20 drop-down labels "COM%d:%s", COM1 first.
std::vector<std::string> PortComboLabels(SettingsStore& settings, const DiscoveryEnv& env = {});
// The 20 labels of an already collected list.
std::vector<std::string> PortComboLabels(const std::vector<SerialPortEntry>& list);
// The device path behind a port number (port map, on-board /dev/ttySk for
// COM(k+1)); empty when the number maps to nothing. Runs discovery first, so
// a device plugged in since the last look has its number.
std::string ResolvePortNumber(int port, SettingsStore& settings, const DiscoveryEnv& env = {});
// The same from a list just collected (no second discovery).
std::string ResolvePortNumber(int port, const std::vector<SerialPortEntry>& present, const SettingsStore& settings,
                              const DiscoveryEnv& env = {});

// The port map as stored: number -> device path (entries that are not
// "COM<n>" with n >= 1 are ignored).
std::map<int, std::string> ReadPortMap(const SettingsStore& settings);

}  // namespace krt::link
