#include "cli/reporter.hpp"

#include <span>

namespace krt::cli {

namespace {

// How a reason text takes its number.
enum class Number { kNone, kOne, kTwo, kDeviceError };

struct Reason {
  int code;
  const char* text;
  Number number;
  int exit_code;
};

constexpr const char* kFailedToRead = "Failed to read";
constexpr const char* kFailedToWrite = "Failed to write";
constexpr const char* kIllegalDataCode = "Illegal data (Error code: %02d)";

// After ConfigReader::Upload and ConfigReader::ReadCfgFile.
constexpr Reason kConfigReadReasons[] = {
    {-1, "Failed to open file", Number::kNone, EX_NOINPUT},
    {-2, "Failed to read file", Number::kNone, EX_NOINPUT},
    {-3, kIllegalDataCode, Number::kOne, EX_DATAERR},
    {-4, kIllegalDataCode, Number::kTwo, EX_DATAERR},
    {-5, "Internal error", Number::kNone, EX_SOFTWARE},
    {-6, "Failed to initialize COM port", Number::kNone, EX_UNAVAILABLE},
    {-7, "Failed to communicate", Number::kNone, EX_TEMPFAIL},
};

// After ConfigWriter::Download, WriteCfgFile and ExportCsv.
constexpr Reason kConfigWriteReasons[] = {
    {-1, "Failed to open file", Number::kNone, EX_CANTCREAT},
    {-2, "Failed to write file", Number::kNone, EX_IOERR},
    {-3, "Internal error", Number::kNone, EX_SOFTWARE},
    {-4, "Failed to initialize COM port", Number::kNone, EX_UNAVAILABLE},
    {-5, "Failed to communicate", Number::kNone, EX_TEMPFAIL},
    {-7, "Device error (Error code: %02d)", Number::kDeviceError, EX_PROTOCOL},
    {-8, kIllegalDataCode, Number::kOne, EX_DATAERR},
    {-9, kIllegalDataCode, Number::kTwo, EX_DATAERR},
};

// After TrendReader::Read. A device without short trend is refused like
// data the tool cannot take.
constexpr Reason kTrendReadReasons[] = {
    {-1, "Failed to initialize COM port", Number::kNone, EX_UNAVAILABLE},
    {-2, "Failed to communicate", Number::kNone, EX_TEMPFAIL},
    {-3, "Unsupported device", Number::kNone, EX_DATAERR},
    {-4, "Illegal data", Number::kNone, EX_DATAERR},
};

// After TrendWriter::Write.
constexpr Reason kTrendWriteReasons[] = {
    {-1, "Failed to open file", Number::kNone, EX_CANTCREAT},
    {-2, "Failed to write file", Number::kNone, EX_IOERR},
    {-3, "Illegal data", Number::kNone, EX_DATAERR},
};

std::span<const Reason> Table(Procedure procedure) {
  switch (procedure) {
    case Procedure::kConfigRead:
      return kConfigReadReasons;
    case Procedure::kConfigWrite:
      return kConfigWriteReasons;
    case Procedure::kTrendRead:
      return kTrendReadReasons;
    case Procedure::kTrendWrite:
      return kTrendWriteReasons;
  }
  return {};
}

const Reason* Find(Procedure procedure, int code) {
  for (const Reason& reason : Table(procedure)) {
    if (reason.code == code) return &reason;
  }
  return nullptr;
}

}  // namespace

std::string_view FirstLine(Procedure procedure) {
  return procedure == Procedure::kConfigRead || procedure == Procedure::kTrendRead ? kFailedToRead : kFailedToWrite;
}

std::string ReasonText(Procedure procedure, int code, int deviceError) {
  const Reason* reason = Find(procedure, code);
  if (reason == nullptr) return {};
  int number = 0;
  switch (reason->number) {
    case Number::kNone:
      return reason->text;
    case Number::kOne:
      number = 1;
      break;
    case Number::kTwo:
      number = 2;
      break;
    case Number::kDeviceError:
      number = deviceError;
      break;
  }
  // "%02d": at least two digits, as the window prints it.
  std::string digits = std::to_string(number);
  if (number >= 0 && number < 10) digits.insert(0, 1, '0');
  std::string text = reason->text;
  const auto at = text.find("%02d");
  if (at != std::string::npos) text.replace(at, 4, digits);
  return text;
}

int ExitCode(Procedure procedure, int code) {
  const Reason* reason = Find(procedure, code);
  return reason != nullptr ? reason->exit_code : EX_SOFTWARE;
}

bool IsPortFailure(Procedure procedure, int code) {
  const Reason* reason = Find(procedure, code);
  return reason != nullptr && reason->exit_code == EX_UNAVAILABLE;
}

void Reporter::ReadingCompleted() {
  out_ << "Reading completed\n" << std::flush;
}

void Reporter::WritingCompleted() {
  out_ << "Writing completed\n" << std::flush;
}

int Reporter::Failure(Procedure procedure, int code, int deviceError) {
  err_ << FirstLine(procedure) << '\n' << ReasonText(procedure, code, deviceError) << '\n' << std::flush;
  return ExitCode(procedure, code);
}

int Reporter::Problem(std::string_view text, int exitCode) {
  err_ << kProgramName << ": " << text << '\n' << std::flush;
  return exitCode;
}

void Reporter::Detail(std::string_view text) {
  err_ << text << '\n' << std::flush;
}

int Reporter::Usage(std::string_view problem) {
  err_ << kProgramName << ": " << problem << '\n'
       << "Usage: " << kProgramName << " [--port N|PATH] COMMAND [ARGUMENTS]\n"
       << "Try '" << kProgramName << " --help' for the commands and examples.\n"
       << std::flush;
  return EX_USAGE;
}

}  // namespace krt::cli
