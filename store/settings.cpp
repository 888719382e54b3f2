#include "store/settings.hpp"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "store/atomic_file.hpp"

namespace krt {

namespace {

// A stray CR (a file edited on another system) is white space, not part of a value.
constexpr std::string_view kBlanks = " \t\r";

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// One line as the parser sees it.
struct LineView {
  enum Kind { kOther, kSection, kEntry } kind = kOther;
  std::string_view name;   // section or entry name
  std::string_view value;  // entry value
};

LineView Classify(std::string_view line) {
  const std::string_view t = Trim(line);
  if (t.empty() || t.front() == ';' || t.front() == '#') return {};
  if (t.front() == '[') {
    const auto close = t.find(']');
    if (close == std::string_view::npos) return {};
    return {LineView::kSection, Trim(t.substr(1, close - 1)), {}};
  }
  const auto eq = t.find('=');
  if (eq == std::string_view::npos || eq == 0) return {};
  return {LineView::kEntry, Trim(t.substr(0, eq)), Trim(t.substr(eq + 1))};
}

bool OneLine(std::string_view text) {
  return text.find_first_of("\r\n") == std::string_view::npos;
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
  // No usable HOME (a service, a bare environment): the password database knows.
  struct passwd entry {};
  struct passwd* found = nullptr;
  std::string buffer(16384, '\0');
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr) {
    return found->pw_dir;
  }
  return "/";
}

}  // namespace

std::string DefaultSettingsPath() {
  std::string base;
  // Relative values are invalid by the XDG rules and are ignored.
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else {
    base = HomeFolder();
    if (base.empty() || base.back() != '/') base += '/';
    base += ".config";
  }
  if (!base.empty() && base.back() == '/') base.pop_back();
  return base + "/VOLANTEC/RTCFG/KRTCFG.conf";
}

std::optional<int> ParseInt32(std::string_view text) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

IniDocument::IniDocument(std::string_view text) {
  while (!text.empty()) {
    const auto nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    // CR LF line ends (and stray CRs before them) are dropped, so a rewrite reads back the same.
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines_.emplace_back(line);
    if (nl == std::string_view::npos) break;
    text.remove_prefix(nl + 1);
  }
}

std::optional<std::string> IniDocument::Get(std::string_view section, std::string_view entry) const {
  bool inSection = false;
  for (const std::string& line : lines_) {
    const LineView v = Classify(line);
    if (v.kind == LineView::kSection) {
      if (inSection) break;  // only the first section of a name counts
      inSection = SameName(v.name, section);
    } else if (inSection && v.kind == LineView::kEntry && SameName(v.name, entry)) {
      return std::string(v.value);
    }
  }
  return std::nullopt;
}

std::map<std::string, std::string> IniDocument::Section(std::string_view section) const {
  std::map<std::string, std::string> out;
  bool inSection = false;
  for (const std::string& line : lines_) {
    const LineView v = Classify(line);
    if (v.kind == LineView::kSection) {
      if (inSection) break;
      inSection = SameName(v.name, section);
    } else if (inSection && v.kind == LineView::kEntry) {
      out.emplace(std::string(v.name), std::string(v.value));  // the first of equal names stays
    }
  }
  return out;
}

bool IniDocument::Set(std::string_view section, std::string_view entry, std::string_view value) {
  if (!OneLine(section) || !OneLine(entry) || !OneLine(value)) return false;
  if (Trim(section) != section || section.empty() || section.find(']') != std::string_view::npos) return false;
  if (Trim(entry) != entry || entry.empty() || entry.find('=') != std::string_view::npos) return false;
  if (entry.front() == ';' || entry.front() == '#' || entry.front() == '[') return false;

  const std::string newLine = std::string(entry) + "=" + std::string(value);
  std::size_t sectionStart = lines_.size();
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const LineView v = Classify(lines_[i]);
    if (v.kind == LineView::kSection && SameName(v.name, section)) {
      sectionStart = i;
      break;
    }
  }
  if (sectionStart == lines_.size()) {
    if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
    lines_.push_back("[" + std::string(section) + "]");
    lines_.push_back(newLine);
    return true;
  }
  // New entries go after the section's last non-blank line.
  std::size_t insertAt = sectionStart + 1;
  for (std::size_t i = sectionStart + 1; i < lines_.size(); ++i) {
    const LineView v = Classify(lines_[i]);
    if (v.kind == LineView::kSection) break;
    if (v.kind == LineView::kEntry && SameName(v.name, entry)) {
      lines_[i] = std::string(v.name) + "=" + std::string(value);
      return true;
    }
    if (!Trim(lines_[i]).empty()) insertAt = i + 1;
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), newLine);
  return true;
}

std::string IniDocument::Text() const {
  std::string out;
  for (const std::string& line : lines_) {
    out += line;
    out += '\n';
  }
  return out;
}

SettingsStore::SettingsStore(std::string path) : path_(std::move(path)) {}

std::optional<IniDocument> SettingsStore::Load() const {
  const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return IniDocument{};
    return std::nullopt;
  }
  std::string text;
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  while (ok) {
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    text.append(buffer, static_cast<std::size_t>(n));
    ok = text.size() <= kMaxSettingsFileSize;
  }
  ::close(fd);
  if (!ok) return std::nullopt;
  return IniDocument(text);
}

int SettingsStore::GetInt(const std::string& section, const std::string& entry, int defaultValue) const {
  const auto text = GetString(section, entry);
  if (!text) return defaultValue;
  return ParseInt32(*text).value_or(defaultValue);
}

std::optional<std::string> SettingsStore::GetString(const std::string& section, const std::string& entry) const {
  const auto document = Load();
  if (!document) return std::nullopt;
  return document->Get(section, entry);
}

bool SettingsStore::SetInt(const std::string& section, const std::string& entry, int value) {
  return SetString(section, entry, std::to_string(value));
}

bool SettingsStore::SetString(const std::string& section, const std::string& entry, const std::string& value) {
  auto document = Load();
  if (!document || !document->Set(section, entry, value)) return false;
  const auto slash = path_.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    std::error_code ignored;
    std::filesystem::create_directories(path_.substr(0, slash), ignored);
  }
  return WriteFileAtomically(path_, document->Text()) == kFileOk;
}

std::map<std::string, std::string> SettingsStore::Section(const std::string& section) const {
  const auto document = Load();
  if (!document) return {};
  return document->Section(section);
}

int ReadPersistedPort(const SettingsStore& store) {
  return store.GetInt(kSettingsSection, kPortEntry, kDefaultPort);
}

bool WritePersistedPort(SettingsStore& store, int port) {
  return store.SetInt(kSettingsSection, kPortEntry, port);
}

}  // namespace krt
