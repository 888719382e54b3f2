#include "app/window_texts.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <span>

namespace krt::app {
namespace {

struct TextEntry {
  TextId id;
  std::string_view text;
};

constexpr std::array kStringTable = {
    TextEntry{TextId::kParameterFilter, "Parameter Files(*.cfg)|*.cfg||"},
    TextEntry{TextId::kNoData, "No data"},
    TextEntry{TextId::kUploadedFromDevice, "Uploaded from device"},
    TextEntry{TextId::kFailedToRead, "Failed to read"},
    TextEntry{TextId::kFailedToWrite, "Failed to write"},
    TextEntry{TextId::kFailedToOpenFile, "Failed to open file"},
    TextEntry{TextId::kFailedToReadFile, "Failed to read file"},
    TextEntry{TextId::kIllegalDataCode, "Illegal data (Error code: %02d)"},
    TextEntry{TextId::kInternalError, "Internal error"},
    TextEntry{TextId::kFailedToInitPort, "Failed to initialize COM port"},
    TextEntry{TextId::kFailedToCommunicate, "Failed to communicate"},
    TextEntry{TextId::kFailedToWriteFile, "Failed to write file"},
    TextEntry{TextId::kDeviceErrorCode, "Device error (Error code: %02d)"},
    TextEntry{TextId::kIllegalData, "Illegal data"},
    TextEntry{TextId::kUnsupportedDevice, "Unsupported device"},
    TextEntry{TextId::kReadingCompleted, "Reading completed"},
    TextEntry{TextId::kWritingCompleted, "Writing completed"},
    TextEntry{TextId::kOverwrite, "Overwrite?"},
    TextEntry{TextId::kDeviceModelPrefix, "Device Model : "},
    TextEntry{TextId::kLcdVersionPrefix, "LCD Ver. : "},
};

// Index = model index; the empty names are the indexes without a model.
constexpr std::array<std::string_view, 12> kModelNames = {
    "KRT410", "KRT610", "KRT411", "KRT611", "RT610J", "RT610N", "RT610L", "RT610M", "", "RT610X", "", "RT611X",
};

// A reason row: the text, and the number its %02d takes (kNoNumber: the
// text has none; kDeviceErrorNumber: the device's own error code).
inline constexpr int kNoNumber = -1;
inline constexpr int kDeviceErrorNumber = -2;

struct ReasonRow {
  int code;
  TextId text;
  int number;
};

constexpr std::array kConfigReasons = {
    ReasonRow{-1, TextId::kFailedToOpenFile, kNoNumber},
    ReasonRow{-2, TextId::kFailedToReadFile, kNoNumber},
    ReasonRow{-3, TextId::kIllegalDataCode, 1},
    ReasonRow{-4, TextId::kIllegalDataCode, 2},
    ReasonRow{-5, TextId::kInternalError, kNoNumber},
    ReasonRow{-6, TextId::kFailedToInitPort, kNoNumber},
    ReasonRow{-7, TextId::kFailedToCommunicate, kNoNumber},
};

constexpr std::array kWriteReasons = {
    ReasonRow{-1, TextId::kFailedToOpenFile, kNoNumber},
    ReasonRow{-2, TextId::kFailedToWriteFile, kNoNumber},
    ReasonRow{-3, TextId::kInternalError, kNoNumber},
    ReasonRow{-4, TextId::kFailedToInitPort, kNoNumber},
    ReasonRow{-5, TextId::kFailedToCommunicate, kNoNumber},
    ReasonRow{-7, TextId::kDeviceErrorCode, kDeviceErrorNumber},
    ReasonRow{-8, TextId::kIllegalDataCode, 1},
    ReasonRow{-9, TextId::kIllegalDataCode, 2},
};

constexpr std::array kTrendReadReasons = {
    ReasonRow{-1, TextId::kFailedToInitPort, kNoNumber},
    ReasonRow{-2, TextId::kFailedToCommunicate, kNoNumber},
    ReasonRow{-3, TextId::kUnsupportedDevice, kNoNumber},
    ReasonRow{-4, TextId::kIllegalData, kNoNumber},
};

constexpr std::array kTrendWriteReasons = {
    ReasonRow{-1, TextId::kFailedToOpenFile, kNoNumber},
    ReasonRow{-2, TextId::kFailedToWriteFile, kNoNumber},
    ReasonRow{-3, TextId::kIllegalData, kNoNumber},
};

// Formats a pattern with one %02d (or %s/%d as given) into a string.
template <typename... Args>
std::string Format(std::string_view pattern, Args... args) {
  const std::string fmt(pattern);
  const int n = std::snprintf(nullptr, 0, fmt.c_str(), args...);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n) + 1, '\0');
  if (std::snprintf(out.data(), out.size(), fmt.c_str(), args...) != n) return {};
  out.resize(static_cast<std::size_t>(n));
  return out;
}

std::string Reason(std::span<const ReasonRow> table, int code, int deviceError) {
  const auto row = std::find_if(table.begin(), table.end(), [code](const ReasonRow& r) { return r.code == code; });
  if (row == table.end()) return {};
  if (row->number == kNoNumber) return std::string(Text(row->text));
  const int number = row->number == kDeviceErrorNumber ? deviceError : row->number;
  return Format(Text(row->text), number);
}

std::string_view ModelNameView(int modelIndex) {
  if (modelIndex < 0 || modelIndex >= static_cast<int>(kModelNames.size())) return {};
  return kModelNames[static_cast<std::size_t>(modelIndex)];
}

std::string NameWith(int modelIndex, std::string_view extension) {
  const std::string_view name = ModelNameView(modelIndex);
  if (name.empty()) return {};
  return std::string(name) + std::string(extension);
}

}  // namespace

std::string_view Text(TextId id) {
  for (const TextEntry& entry : kStringTable) {
    if (entry.id == id) return entry.text;
  }
  return {};
}

std::string WindowTitle() {
  return Format("KRTCFG [Ver. %s]", kVersion);
}

std::string ModelName(int modelIndex) {
  return std::string(ModelNameView(modelIndex));
}
std::string DefaultCfgName(int modelIndex) {
  return NameWith(modelIndex, kCfgExtension);
}
std::string DefaultCsvName(int modelIndex) {
  return NameWith(modelIndex, kCsvExtension);
}

std::string LcdVersionLabel(int major, int minor) {
  return Format("%s%d.%dx", std::string(Text(TextId::kLcdVersionPrefix)).c_str(), major, minor);
}

std::string ModelLabel(int modelIndex) {
  return std::string(Text(TextId::kDeviceModelPrefix)) + ModelName(modelIndex);
}

std::string ConfigErrorText(int code) {
  return Reason(kConfigReasons, code, 0);
}
std::string WriteErrorText(int code, int deviceError) {
  return Reason(kWriteReasons, code, deviceError);
}
std::string TrendReadErrorText(int code) {
  return Reason(kTrendReadReasons, code, 0);
}
std::string TrendWriteErrorText(int code) {
  return Reason(kTrendWriteReasons, code, 0);
}

std::string FailureMessage(TextId firstLine, const std::string& reason) {
  return Format("%s\n%s", std::string(Text(firstLine)).c_str(), reason.c_str());
}

bool IsPermissionProblem(std::string_view portError) {
  std::string lower(portError);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower.find("permission") != std::string::npos;
}

std::string PermissionHint() {
  return "You may not use this serial port: your user is not in the \"dialout\" group. "
         "Add yourself to it with\n"
         "    sudo usermod -aG dialout $USER\n"
         "then log out and log in again.";
}

}  // namespace krt::app
