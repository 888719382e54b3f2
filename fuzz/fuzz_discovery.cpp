// What port discovery reads from sysfs and /dev: a small fake tree built
// from the input, then the port list and the drop-down labels.
//
// Input: records separated by '\n', each a tag byte and a value.
//   T name   a tty (sysfs class entry with a device behind it)
//   V name   a tty without a device behind it (a virtual terminal)
//   P text   product of the last tty's USB device
//   M text   manufacturer of the last tty's USB device
//   D name   driver of the last tty's device; "serial-base/NAME" puts it on that bus
//   Y text   the last tty's "type" attribute
//   L digit  levels between the last tty's device and its USB device
//   B name   a /dev/serial/by-id link to the last tty
//   N        a device node in /dev for the last tty
//   U        the last tty's UART answers (on-board ports without "type")
//   S line   a line of the settings file (for example "COM5=/dev/ttyUSB3")

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.hpp"
#include "link/port_discovery.hpp"
#include "store/settings.hpp"

namespace {

namespace fs = std::filesystem;
namespace fuzz = krt::fuzz;
namespace link = krt::link;

constexpr std::size_t kMaxTtys = 8;
constexpr std::size_t kMaxRecords = 64;
// Attributes a little longer than the reader takes.
constexpr std::size_t kMaxText = 300;

// A name that stays one entry inside its folder, spelt as the kernel and
// udev spell device names: no blanks or control bytes (udev turns them into
// '_'), which also no settings line could keep at its ends.
std::string EntryName(std::string_view value) {
  std::string name(value.substr(0, 64));
  for (char& c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7F || c == '/') c = '_';
  }
  if (name.empty() || name == "." || name == "..") name = "tty_" + name;
  return name;
}

struct Tty {
  std::string name;
  bool device = true;
  std::string product, manufacturer, driver, type;
  bool has_type = false;
  int levels = 1;
  std::vector<std::string> by_id;
  bool node = false;
  bool uart = false;
};

void Build(const fs::path& root, const std::vector<Tty>& ttys, const std::string& settings) {
  const fs::path sys = root / "sys";
  const fs::path dev = root / "dev";
  fs::create_directories(sys / "class" / "tty");
  fs::create_directories(dev / "serial" / "by-id");
  fs::create_directories(dev / "pts");
  std::set<std::string> byIdTaken;
  int n = 0;
  for (const Tty& tty : ttys) {
    const fs::path entry = sys / "class" / "tty" / tty.name;
    if (fs::exists(fs::symlink_status(entry))) continue;  // the first of a name counts
    fs::create_directory(entry);
    if (tty.has_type) fuzz::WriteFile(entry / "type", tty.type);
    if (tty.node && !fs::exists(fs::symlink_status(dev / tty.name))) fuzz::WriteFile(dev / tty.name, "");
    const fs::path usb = sys / "devices" / ("usb" + std::to_string(n++));
    fs::path device = usb;
    for (int level = 0; level < tty.levels; ++level) device /= "l" + std::to_string(level);
    fs::create_directories(device);
    if (!tty.product.empty()) fuzz::WriteFile(usb / "product", tty.product);
    if (!tty.manufacturer.empty()) fuzz::WriteFile(usb / "manufacturer", tty.manufacturer);
    if (!tty.driver.empty()) {
      const auto slash = tty.driver.find('/');
      const std::string bus = slash == std::string::npos ? "usb-serial" : EntryName(tty.driver.substr(0, slash));
      const std::string name = EntryName(slash == std::string::npos ? tty.driver : tty.driver.substr(slash + 1));
      fs::create_symlink(sys / "bus" / bus / "drivers" / name, device / "driver");
    }
    if (tty.device) fs::create_directory_symlink(device, entry / "device");
    for (const std::string& id : tty.by_id) {
      if (!byIdTaken.insert(id).second) continue;
      fs::create_symlink(fs::path("../..") / tty.name, dev / "serial" / "by-id" / id);
    }
  }
  fuzz::WriteFile(root / "KRTCFG.conf", settings);
}

// KRTCFG_FUZZ_VERBOSE=1 shows what one input found, when a finding is looked into.
void Show(const char* when, const std::vector<link::SerialPortEntry>& list, const fs::path& settings) {
  static const bool verbose = std::getenv("KRTCFG_FUZZ_VERBOSE") != nullptr;
  if (!verbose) return;
  std::fprintf(stderr, "%s:\n", when);
  for (const auto& e : list) {
    std::fprintf(stderr, "  %s [%s] %s\n", e.port_name.c_str(), e.device_path.c_str(), e.friendly_name.c_str());
  }
  std::fprintf(stderr, "settings:\n%s\n", fuzz::ReadFile(settings).c_str());
}

void CheckLabels(const std::vector<std::string>& labels) {
  FUZZ_CHECK(labels.size() == static_cast<std::size_t>(link::kPortLabelCount));
  for (std::size_t i = 0; i < labels.size(); ++i) {
    const std::string prefix = "COM" + std::to_string(i + 1) + ":";
    FUZZ_CHECK(labels[i].compare(0, prefix.size(), prefix) == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Reader in(data, size);
  std::vector<Tty> ttys;
  std::string settings;
  for (std::size_t records = 0; !in.Empty() && records < kMaxRecords; ++records) {
    const std::string_view record = in.Until('\n');
    if (record.empty()) continue;
    const char tag = record[0];
    const std::string_view value = record.substr(1, kMaxText);
    if (tag == 'S') {
      (settings += value) += '\n';
      continue;
    }
    if (tag == 'T' || tag == 'V') {
      if (ttys.size() == kMaxTtys) break;
      ttys.push_back({});
      ttys.back().name = EntryName(value);
      ttys.back().device = tag == 'T';
      continue;
    }
    if (ttys.empty()) continue;
    Tty& tty = ttys.back();
    switch (tag) {
      case 'P':
        tty.product = value;
        break;
      case 'M':
        tty.manufacturer = value;
        break;
      case 'D':
        tty.driver = value;
        break;
      case 'Y':
        tty.type = value;
        tty.has_type = true;
        break;
      case 'L':
        if (!value.empty() && value[0] >= '0' && value[0] <= '9') tty.levels = value[0] - '0';
        break;
      case 'B':
        if (tty.by_id.size() < 2) tty.by_id.push_back(EntryName(value));
        break;
      case 'N':
        tty.node = true;
        break;
      case 'U':
        tty.uart = true;
        break;
      default:
        break;
    }
  }

  const fs::path root = fuzz::ScratchFolder::Path() / "discovery";
  std::error_code ignored;
  fs::remove_all(root, ignored);
  Build(root, ttys, settings);

  link::DiscoveryEnv env;
  env.sysfs_root = (root / "sys").string();
  env.dev_root = (root / "dev").string();
  env.has_uart = [&](const std::string& devicePath) {
    for (const Tty& tty : ttys) {
      if (env.dev_root + "/" + tty.name == devicePath) return tty.uart;
    }
    return false;
  };
  krt::SettingsStore store((root / "KRTCFG.conf").string());

  std::vector<link::SerialPortEntry> list;
  link::CollectSerialPorts(list, store, env);
  Show("first look", list, root / "KRTCFG.conf");
  std::set<int> numbers;
  for (std::size_t i = 0; i < list.size(); ++i) {
    const link::SerialPortEntry& entry = list[i];
    FUZZ_CHECK(entry.port_number >= 1);
    FUZZ_CHECK(entry.port_name == "COM" + std::to_string(entry.port_number));
    FUZZ_CHECK(numbers.insert(entry.port_number).second);  // one entry per number, ascending
    if (i > 0) FUZZ_CHECK(list[i - 1].port_number < entry.port_number);
    FUZZ_CHECK(!entry.device_path.empty());
    // A port once found resolves to the device it was found as.
    FUZZ_CHECK(link::ResolvePortNumber(entry.port_number, list, store, env) == entry.device_path ||
               link::ReadPortMap(store).count(entry.port_number) != 0);
  }
  CheckLabels(link::PortComboLabels(list));

  // A second look finds the same ports under the same numbers: the numbers
  // handed out the first time are kept.
  std::vector<link::SerialPortEntry> again;
  link::CollectSerialPorts(again, store, env);
  Show("second look", again, root / "KRTCFG.conf");
  FUZZ_CHECK(again.size() == list.size());
  for (std::size_t i = 0; i < again.size() && i < list.size(); ++i) {
    FUZZ_CHECK(again[i].port_number == list[i].port_number && again[i].device_path == list[i].device_path);
  }
  CheckLabels(link::PortComboLabels(store, env));
  std::vector<std::string> names;
  link::GetPortFriendlyNames(names, store, env);
  FUZZ_CHECK(names.size() == static_cast<std::size_t>(link::kPortLabelCount));
  return 0;
}
