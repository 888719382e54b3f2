#pragma once
// The per-user settings file (INI style), shared by the window and the
// command-line tool: $XDG_CONFIG_HOME/VOLANTEC/RTCFG/KRTCFG.conf.
// A missing or garbled file reads as defaults; unknown entries are kept.

#include <map>
#include <optional>
#include <string>

namespace krt {

inline constexpr const char* kSettingsSection = "RTCFG";
inline constexpr const char* kPortEntry = "COM";
inline constexpr int kDefaultPort = 1;

std::string DefaultSettingsPath();

class SettingsStore {
 public:
  explicit SettingsStore(std::string path = DefaultSettingsPath());

  int GetInt(const std::string& section, const std::string& entry, int defaultValue) const;
  std::optional<std::string> GetString(const std::string& section, const std::string& entry) const;
  // Writes the whole file again (atomically); false when that failed.
  bool SetInt(const std::string& section, const std::string& entry, int value);
  bool SetString(const std::string& section, const std::string& entry, const std::string& value);
  // All entries of one section, in file order of their names.
  std::map<std::string, std::string> Section(const std::string& section) const;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// The persisted port number: section "RTCFG", entry "COM", default 1.
int ReadPersistedPort(const SettingsStore& store);
bool WritePersistedPort(SettingsStore& store, int port);

}  // namespace krt
