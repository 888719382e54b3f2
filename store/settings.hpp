#pragma once
// The per-user settings file (INI style), shared by the window and the
// command-line tool: $XDG_CONFIG_HOME/VOLANTEC/RTCFG/KRTCFG.conf.
// A missing or garbled file reads as defaults; unknown entries are kept.

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace krt {

inline constexpr const char* kSettingsSection = "RTCFG";
inline constexpr const char* kPortEntry = "COM";
inline constexpr int kDefaultPort = 1;

// A settings file larger than this is not ours; it reads as defaults and is
// never rewritten.
inline constexpr std::size_t kMaxSettingsFileSize = 1 << 20;

std::string DefaultSettingsPath();

// The text of an INI file, kept line by line so that rewriting it keeps
// comments, unknown sections and entries, and lines it cannot parse.
// Section and entry names compare without regard to ASCII case; the first
// occurrence of a section or entry is the one that counts.
class IniDocument {
 public:
  IniDocument() = default;
  explicit IniDocument(std::string_view text);

  std::optional<std::string> Get(std::string_view section, std::string_view entry) const;
  // False (and nothing changed) when a name or the value cannot be stored
  // on one line.
  bool Set(std::string_view section, std::string_view entry, std::string_view value);
  // All entries of one section, by name.
  std::map<std::string, std::string> Section(std::string_view section) const;
  std::string Text() const;

 private:
  std::vector<std::string> lines_;
};

// Strict decimal 32-bit integer (blanks around it allowed); nullopt otherwise.
std::optional<int> ParseInt32(std::string_view text);

class SettingsStore {
 public:
  explicit SettingsStore(std::string path = DefaultSettingsPath());

  int GetInt(const std::string& section, const std::string& entry, int defaultValue) const;
  std::optional<std::string> GetString(const std::string& section, const std::string& entry) const;
  // Writes the whole file again (atomically); false when that failed.
  bool SetInt(const std::string& section, const std::string& entry, int value);
  bool SetString(const std::string& section, const std::string& entry, const std::string& value);
  // All entries of one section, by name.
  std::map<std::string, std::string> Section(const std::string& section) const;
  const std::string& Path() const { return path_; }

 private:
  // The file as it stands; nullopt when it exists but cannot be read whole
  // (then it must not be replaced, or its entries would be lost).
  std::optional<IniDocument> Load() const;

  std::string path_;
};

// The persisted port number: section "RTCFG", entry "COM", default 1.
int ReadPersistedPort(const SettingsStore& store);
bool WritePersistedPort(SettingsStore& store, int port);

}  // namespace krt
