// The settings file as the user (or a broken disk) left it: read through
// the settings store, then the port number written into a copy and read
// back.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.hpp"
#include "link/port_discovery.hpp"
#include "store/settings.hpp"

namespace {

namespace fuzz = krt::fuzz;

// Entry names compare without regard to ASCII case.
bool SamePortName(std::string_view name) {
  const std::string_view port = krt::kPortEntry;
  if (name.size() != port.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i] >= 'a' && name[i] <= 'z' ? static_cast<char>(name[i] - 'a' + 'A') : name[i];
    if (c != port[i]) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto& folder = fuzz::ScratchFolder::Path();
  const std::string path = (folder / "KRTCFG.conf").string();
  fuzz::WriteFile(path, text);

  const krt::SettingsStore store(path);
  const int port = store.GetInt(krt::kSettingsSection, krt::kPortEntry, krt::kDefaultPort);
  FUZZ_CHECK(krt::ReadPersistedPort(store) == port);
  const auto stored = store.GetString(krt::kSettingsSection, krt::kPortEntry);
  const auto parsed = stored ? krt::ParseInt32(*stored) : std::nullopt;
  FUZZ_CHECK(port == parsed.value_or(krt::kDefaultPort));
  // The store reads what the document parser reads.
  const krt::IniDocument document(text);
  FUZZ_CHECK(document.Get(krt::kSettingsSection, krt::kPortEntry) == stored);
  const auto section = store.Section(krt::kSettingsSection);
  FUZZ_CHECK(section == document.Section(krt::kSettingsSection));
  const auto portMap = store.Section(krt::link::kPortMapSection);
  const auto ports = krt::link::ReadPortMap(store);
  FUZZ_CHECK(ports.size() <= portMap.size());
  for (const auto& [number, device] : ports) FUZZ_CHECK(number >= 1 && !device.empty());

  // Writing the port number keeps every other entry and reads back.
  const std::string copyPath = (folder / "KRTCFG-set.conf").string();
  fuzz::WriteFile(copyPath, text);
  krt::SettingsStore copy(copyPath);
  const int value = static_cast<int>(size % 97) * 1031 - 4000;
  FUZZ_CHECK(copy.SetInt(krt::kSettingsSection, krt::kPortEntry, value));
  FUZZ_CHECK(copy.GetInt(krt::kSettingsSection, krt::kPortEntry, krt::kDefaultPort) == value);
  FUZZ_CHECK(krt::ReadPersistedPort(copy) == value);
  FUZZ_CHECK(copy.Section(krt::link::kPortMapSection) == portMap);
  // Entries of the port's section other than the port itself stay as they were.
  auto withoutPort = [](std::map<std::string, std::string> entries) {
    std::erase_if(entries, [](const auto& entry) { return SamePortName(entry.first); });
    return entries;
  };
  FUZZ_CHECK(withoutPort(copy.Section(krt::kSettingsSection)) == withoutPort(section));

  // A second write of the same number changes nothing more.
  const std::string once = fuzz::ReadFile(copyPath);
  FUZZ_CHECK(krt::WritePersistedPort(copy, value));
  FUZZ_CHECK(fuzz::ReadFile(copyPath) == once);
  return 0;
}
