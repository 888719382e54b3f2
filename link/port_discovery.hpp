#pragma once
// The serial ports present (from sysfs), their friendly names, and the port
// map that keeps a port number with its device across replugging.

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
};

inline constexpr int kPortLabelCount = 20;

// Ports present, ascending by number, one per port name. New devices get a
// number in the port map (kept in `settings`).
void CollectSerialPorts(std::vector<SerialPortEntry>& list, SettingsStore& settings, const DiscoveryEnv& env = {});
// `names` gets 20 elements; element i is the friendly name of port i + 1.
void GetPortFriendlyNames(std::vector<std::string>& names, SettingsStore& settings, const DiscoveryEnv& env = {});
// The 20 drop-down labels "COM%d:%s", COM1 first.
std::vector<std::string> PortComboLabels(SettingsStore& settings, const DiscoveryEnv& env = {});
// The device path behind a port number (port map, on-board /dev/ttySk for
// COM(k+1)); empty when the number maps to nothing.
std::string ResolvePortNumber(int port, SettingsStore& settings, const DiscoveryEnv& env = {});

}  // namespace krt::link
