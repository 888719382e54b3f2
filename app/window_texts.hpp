#pragma once
// The window's fixed texts (its string table), the model names and default
// file names, and the reason tables that turn result codes into messages.

#include <string>
#include <string_view>

namespace krt::app {

enum class TextId : int {
  kParameterFilter = 129,
  kNoData = 130,
  kUploadedFromDevice = 131,
  kFailedToRead = 133,
  kFailedToWrite = 134,
  kFailedToOpenFile = 135,
  kFailedToReadFile = 136,
  kIllegalDataCode = 137,
  kInternalError = 138,
  kFailedToInitPort = 139,
  kFailedToCommunicate = 140,
  kFailedToWriteFile = 141,
  kDeviceErrorCode = 143,
  kIllegalData = 144,
  kUnsupportedDevice = 145,
  kReadingCompleted = 146,
  kWritingCompleted = 147,
  kOverwrite = 148,
  kDeviceModelPrefix = 150,
  kLcdVersionPrefix = 151,
};

// The text of a string-table entry; empty for an id the table does not hold.
std::string_view Text(TextId id);

inline constexpr const char* kProgramName = "KRTCFG";
inline constexpr const char* kVersion = "1.80.02";
inline constexpr const char* kCfgOpenInitialName = "*.cfg";
inline constexpr const char* kCfgExtension = ".cfg";
inline constexpr const char* kCsvExtension = ".csv";
inline constexpr const char* kCsvFilter = "*.csv|*.csv||";

// "KRTCFG [Ver. 1.80.02]".
std::string WindowTitle();

// By model index; 8, 10 and anything outside 0..11 give the empty text.
std::string ModelName(int modelIndex);
std::string DefaultCfgName(int modelIndex);
std::string DefaultCsvName(int modelIndex);

// "LCD Ver. : 1.2x" and "Device Model : RT610X".
std::string LcdVersionLabel(int major, int minor);
std::string ModelLabel(int modelIndex);

// Reason texts by result code; a code the table does not list gives "".
std::string ConfigErrorText(int code);                  // after Upload and ReadCfgFile
std::string WriteErrorText(int code, int deviceError);  // after Download, WriteCfgFile, ExportCsv
std::string TrendReadErrorText(int code);               // after TrendReader::Read
std::string TrendWriteErrorText(int code);              // after TrendWriter::Write

// First line, a line feed, then the reason.
std::string FailureMessage(TextId firstLine, const std::string& reason);

// Whether a port's open failure was about access rights, and the paragraph
// that tells the user what to do about it.
bool IsPermissionProblem(std::string_view portError);
std::string PermissionHint();

}  // namespace krt::app
