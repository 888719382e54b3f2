#include "link/port_discovery.hpp"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <system_error>

namespace krt::link {

namespace {

namespace fs = std::filesystem;

// Levels between a tty's device and the USB device that names it
// (ttyUSB0 -> interface -> USB device); a little slack for hubs of drivers.
constexpr int kMaxLevelsToUsbDevice = 4;
// sysfs attributes are small; anything longer is not a name.
constexpr std::size_t kMaxAttributeLength = 256;

// An attribute's text without its line end; empty when absent.
std::string ReadAttribute(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return {};
  std::string text(kMaxAttributeLength, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '\0'))
    text.pop_back();
  // Control bytes would break a one-line label.
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  return text;
}

// "ttyS<k>" -> k; nullopt for any other name.
std::optional<int> OnBoardIndex(std::string_view name) {
  constexpr std::string_view kPrefix = "ttyS";
  if (name.size() <= kPrefix.size() || name.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
  const std::string_view digits = name.substr(kPrefix.size());
  if (digits.size() > 6 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  return std::stoi(std::string(digits));
}

std::optional<int> PortNumberFromName(std::string_view name) {
  if (name.size() <= 3) return std::nullopt;
  const std::string_view com = name.substr(0, 3);
  if (!((com[0] == 'C' || com[0] == 'c') && (com[1] == 'O' || com[1] == 'o') && (com[2] == 'M' || com[2] == 'm')))
    return std::nullopt;
  const std::string_view digits = name.substr(3);
  if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) return std::nullopt;
  const auto n = ParseInt32(digits);
  if (!n || *n < 1) return std::nullopt;
  return n;
}

std::string PortName(int n) {
  return "COM" + std::to_string(n);
}

// Asks the 8250 driver whether a UART answered at this port's address.
bool DriverHasUart(const std::string& devicePath) {
  const int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return true;  // cannot tell; better shown than hidden
  struct serial_struct info {};
  const bool known = ::ioctl(fd, TIOCGSERIAL, &info) != 0 || info.type != PORT_UNKNOWN;
  ::close(fd);
  return known;
}

// The legacy driver creates ttyS0..ttySn whether or not a UART is there;
// those placeholders report the port type "unknown" (0).
bool HasUart(const fs::path& ttyEntry, const std::string& devicePath, const DiscoveryEnv& env) {
  std::error_code ec;
  if (fs::exists(ttyEntry / "type", ec)) {
    const auto type = ParseInt32(ReadAttribute(ttyEntry / "type"));
    return type.value_or(1) != PORT_UNKNOWN;
  }
  return env.has_uart ? env.has_uart(devicePath) : DriverHasUart(devicePath);
}

// The USB product (or manufacturer) above the device, else its driver's name.
std::string DeviceName(const fs::path& deviceLink, const fs::path& sysfsRoot) {
  std::error_code ec;
  fs::path dir = fs::canonical(deviceLink, ec);
  if (ec) return {};
  const fs::path stop = fs::weakly_canonical(sysfsRoot, ec);
  fs::path walk = dir;
  for (int level = 0; level <= kMaxLevelsToUsbDevice && !walk.empty() && walk != stop; ++level) {
    if (std::string product = ReadAttribute(walk / "product"); !product.empty()) return product;
    if (std::string maker = ReadAttribute(walk / "manufacturer"); !maker.empty()) return maker;
    if (walk == walk.parent_path()) break;
    walk = walk.parent_path();
  }
  // Newer kernels put a generic "port" device of the serial-base bus between
  // the tty and the hardware; the hardware's driver is the telling name.
  walk = dir;
  for (int level = 0; level <= kMaxLevelsToUsbDevice && !walk.empty() && walk != stop; ++level) {
    std::error_code linkError;
    const fs::path driver = fs::read_symlink(walk / "driver", linkError);
    if (!linkError && driver.parent_path().parent_path().filename() != "serial-base") return driver.filename().string();
    if (walk == walk.parent_path()) break;
    walk = walk.parent_path();
  }
  return {};
}

// tty name -> its stable name in /dev/serial/by-id (the first, by name).
std::map<std::string, std::string> ByIdNames(const DiscoveryEnv& env) {
  std::map<std::string, std::string> out;
  const fs::path folder = fs::path(env.dev_root) / "serial" / "by-id";
  std::error_code ec;
  std::vector<fs::path> links;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) links.push_back(it->path());
  std::sort(links.begin(), links.end());
  for (const fs::path& link : links) {
    std::error_code linkError;
    const fs::path target = fs::read_symlink(link, linkError);
    if (linkError) continue;
    out.emplace(target.filename().string(), link.string());
  }
  return out;
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return {};
  return resolved;
}

struct FoundPort {
  std::string tty;          // "ttyUSB0"
  std::string device_path;  // "/dev/ttyUSB0"
  std::string identity;     // what the port map stores for it
  std::string name;         // product, manufacturer or driver
  std::optional<int> on_board;
};

std::vector<FoundPort> ScanSysfs(const DiscoveryEnv& env) {
  std::vector<FoundPort> found;
  const fs::path classTty = fs::path(env.sysfs_root) / "class" / "tty";
  const auto byId = ByIdNames(env);
  std::error_code ec;
  std::vector<fs::path> entries;
  for (fs::directory_iterator it(classTty, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(it->path());
  std::sort(entries.begin(), entries.end());
  for (const fs::path& entry : entries) {
    std::error_code linkError;
    // Virtual terminals, ptmx and the console have no device behind them.
    if (!fs::exists(entry / "device", linkError)) continue;
    FoundPort port;
    port.tty = entry.filename().string();
    std::string devName = port.tty;
    std::replace(devName.begin(), devName.end(), '!', '/');  // sysfs spelling of a subfolder
    port.device_path = env.dev_root + "/" + devName;
    port.on_board = OnBoardIndex(port.tty);
    if (port.on_board && !HasUart(entry, port.device_path, env)) continue;
    const auto stable = byId.find(port.tty);
    port.identity = stable != byId.end() ? stable->second : port.device_path;
    port.name = DeviceName(entry / "device", env.sysfs_root);
    found.push_back(std::move(port));
  }
  return found;
}

std::string Friendly(const std::string& name, const std::string& path) {
  return name + " (" + path + ")";
}

int LowestFree(const std::set<int>& taken) {
  int n = 1;
  while (taken.count(n) != 0) ++n;
  return n;
}

}  // namespace

std::map<int, std::string> ReadPortMap(const SettingsStore& settings) {
  std::map<int, std::string> map;
  for (const auto& [key, value] : settings.Section(kPortMapSection)) {
    const auto n = PortNumberFromName(key);
    if (n && !value.empty()) map.emplace(*n, value);
  }
  return map;
}

void CollectSerialPorts(std::vector<SerialPortEntry>& list, SettingsStore& settings, const DiscoveryEnv& env) {
  list.clear();
  std::map<int, std::string> map = ReadPortMap(settings);
  const std::vector<FoundPort> found = ScanSysfs(env);

  std::set<int> taken;
  for (const auto& [n, path] : map) taken.insert(n);
  for (const FoundPort& port : found) {
    if (port.on_board) taken.insert(*port.on_board + 1);
  }

  std::set<int> mapUsed;
  for (const FoundPort& port : found) {
    int number = 0;
    if (port.on_board) {
      number = *port.on_board + 1;
      // An entry written by hand for this number wins over the fixed rule.
      const auto entry = map.find(number);
      if (entry != map.end() && entry->second != port.device_path) continue;
    } else {
      const std::string real = RealPath(port.device_path);
      auto matches = [&](const std::string& path, bool byTarget) {
        for (const auto& [n, mapped] : map) {
          if (mapUsed.count(n) != 0) continue;
          if (mapped == path || (byTarget && !real.empty() && RealPath(mapped) == real)) return n;
        }
        return 0;
      };
      number = matches(port.identity, false);
      if (number == 0) number = matches(port.device_path, false);
      if (number == 0) number = matches(port.device_path, true);
      if (number == 0) {
        number = LowestFree(taken);
        taken.insert(number);
        map.emplace(number, port.identity);
        // Not being able to store the number only costs its stability.
        settings.SetString(kPortMapSection, PortName(number), port.identity);
      }
    }
    mapUsed.insert(number);
    list.push_back({number, PortName(number), Friendly(port.name, port.device_path), port.device_path});
  }

  // Entries written by hand for devices sysfs does not list (a simulator's
  // pseudo-terminal, a link of one's own) are shown while their path exists.
  const std::string ptsFolder = RealPath(env.dev_root + "/pts");
  for (const auto& [n, path] : map) {
    if (mapUsed.count(n) != 0) continue;
    const std::string real = RealPath(path);
    if (real.empty()) continue;
    const bool pty = !ptsFolder.empty() && real.rfind(ptsFolder + "/", 0) == 0;
    list.push_back({n, PortName(n), Friendly(pty ? "Pseudo-terminal" : "", path), path});
  }

  std::stable_sort(list.begin(), list.end(),
                   [](const SerialPortEntry& a, const SerialPortEntry& b) { return a.port_number < b.port_number; });
  list.erase(std::unique(list.begin(), list.end(),
                         [](const SerialPortEntry& a, const SerialPortEntry& b) { return a.port_name == b.port_name; }),
             list.end());
}

void GetPortFriendlyNames(std::vector<std::string>& names, SettingsStore& settings, const DiscoveryEnv& env) {
  std::vector<SerialPortEntry> list;
  CollectSerialPorts(list, settings, env);
  names.assign(kPortLabelCount, std::string());
  for (const SerialPortEntry& entry : list) {
    if (entry.port_number >= 1 && entry.port_number <= kPortLabelCount)
      names[static_cast<std::size_t>(entry.port_number - 1)] = entry.friendly_name;
  }
}

std::vector<std::string> PortComboLabels(const std::vector<SerialPortEntry>& list) {
  std::vector<std::string> names(kPortLabelCount);
  for (const SerialPortEntry& entry : list) {
    if (entry.port_number >= 1 && entry.port_number <= kPortLabelCount)
      names[static_cast<std::size_t>(entry.port_number - 1)] = entry.friendly_name;
  }
  std::vector<std::string> labels;
  labels.reserve(kPortLabelCount);
  for (int n = 1; n <= kPortLabelCount; ++n)
    labels.push_back(PortName(n) + ":" + names[static_cast<std::size_t>(n - 1)]);
  return labels;
}

std::vector<std::string> PortComboLabels(SettingsStore& settings, const DiscoveryEnv& env) {
  std::vector<SerialPortEntry> list;
  CollectSerialPorts(list, settings, env);
  return PortComboLabels(list);
}

std::string ResolvePortNumber(int port, SettingsStore& settings, const DiscoveryEnv& env) {
  std::vector<SerialPortEntry> list;
  CollectSerialPorts(list, settings, env);
  return ResolvePortNumber(port, list, settings, env);
}

std::string ResolvePortNumber(int port, const std::vector<SerialPortEntry>& present, const SettingsStore& settings,
                              const DiscoveryEnv& env) {
  if (port < 1) return {};
  const auto map = ReadPortMap(settings);
  if (const auto entry = map.find(port); entry != map.end()) return entry->second;
  for (const SerialPortEntry& entry : present) {
    if (entry.port_number == port) return entry.device_path;
  }
  return env.dev_root + "/ttyS" + std::to_string(port - 1);
}

}  // namespace krt::link
