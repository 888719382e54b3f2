#pragma once
// The one place where the command-line tool turns result codes into the
// window's messages and into exit codes of the classes of sysexits.h.

#include <sysexits.h>

#include <ostream>
#include <string>
#include <string_view>

namespace krt::cli {

// Exit codes besides the sysexits classes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitCancelled = 130;  // ended by Ctrl-C, as a shell reports SIGINT

// The procedures whose codes the window explains, each with its reason table.
enum class Procedure {
  kConfigRead,   // ConfigReader: Upload, ReadCfgFile ("Failed to read")
  kConfigWrite,  // ConfigWriter: Download, WriteCfgFile, ExportCsv ("Failed to write")
  kTrendRead,    // TrendReader::Read ("Failed to read")
  kTrendWrite,   // TrendWriter::Write ("Failed to write")
};

// "Failed to read" / "Failed to write".
std::string_view FirstLine(Procedure procedure);
// The reason text for a code (empty for a code the table does not list);
// deviceError fills "Device error (Error code: %02d)".
std::string ReasonText(Procedure procedure, int code, int deviceError = 0);
// The exit code for a failure code of the procedure.
int ExitCode(Procedure procedure, int code);
// True when the code means the serial port could not be opened.
bool IsPortFailure(Procedure procedure, int code);

class Reporter {
 public:
  Reporter(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

  // "Reading completed" / "Writing completed" on standard output.
  void ReadingCompleted();
  void WritingCompleted();
  // The window's two lines on standard error; returns the exit code.
  int Failure(Procedure procedure, int code, int deviceError = 0);
  // A failure of the tool's own (usage, existing file): one line, prefixed
  // with the program name; returns `exitCode`.
  int Problem(std::string_view text, int exitCode);
  // A further line under a failure (a detail or a hint).
  void Detail(std::string_view text);
  // The usage line and where help is found; returns EX_USAGE.
  int Usage(std::string_view problem);

  std::ostream& Out() { return out_; }
  std::ostream& Err() { return err_; }

 private:
  std::ostream& out_;
  std::ostream& err_;
};

inline constexpr const char* kProgramName = "krtcfg-cli";

}  // namespace krt::cli
