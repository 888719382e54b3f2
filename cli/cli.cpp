#include "cli/cli.hpp"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <iomanip>
#include <sstream>
#include <string_view>
#include <system_error>

#include "cli/json_writer.hpp"
#include "cli/reporter.hpp"
#include "image/bytes.hpp"
#include "image/image_layout.hpp"
#include "link/rt_com.hpp"
#include "store/config_db.hpp"
#include "store/config_io.hpp"
#include "store/settings.hpp"
#include "trend/trend.hpp"

namespace krt::cli {

namespace {

// Model names by model index (8 and 10 belong to no model).
constexpr const char* kModelNames[] = {"KRT410", "KRT610", "KRT411", "KRT611", "RT610J", "RT610N",
                                       "RT610L", "RT610M", "",       "RT610X", "",       "RT611X"};

std::string ModelName(int modelIndex) {
  if (modelIndex < 0 || modelIndex >= static_cast<int>(std::size(kModelNames))) return {};
  return kModelNames[modelIndex];
}

struct Options {
  std::optional<std::string> port;
  bool force = false;
  bool verify = false;
  bool json = false;
  bool help = false;
  bool version = false;
  std::string command;
  std::vector<std::string> arguments;
};

// Parses the command line; the error text when it cannot be understood.
std::optional<std::string> Parse(const std::vector<std::string>& args, Options& options) {
  bool optionsEnded = false;
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version" || arg == "-V") {
      options.version = true;
    } else if (arg == "--force" || arg == "-f") {
      options.force = true;
    } else if (arg == "--verify") {
      options.verify = true;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--port" || arg == "-p") {
      if (i + 1 >= args.size()) return "--port needs a port number or a device path";
      options.port = args[++i];
    } else if (arg.rfind("--port=", 0) == 0) {
      options.port = arg.substr(7);
    } else {
      return "unknown option " + arg;
    }
  }
  if (options.port && options.port->empty()) return "--port needs a port number or a device path";
  if (!positional.empty()) {
    options.command = positional.front();
    options.arguments.assign(positional.begin() + 1, positional.end());
  }
  return std::nullopt;
}

// "0x" and `digits` upper-case hexadecimal digits (more when needed).
std::string Hex(std::size_t value, int digits) {
  std::ostringstream text;
  text << "0x" << std::uppercase << std::hex << std::setfill('0') << std::setw(digits) << value;
  return text.str();
}

bool AllDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// Shows the bytes moved while an exchange runs, on one line that is
// cleared again at the end.
class Progress {
 public:
  Progress(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}
  ~Progress() { Clear(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void Attach(link::RTCom& com, const char* verb) {
    if (!enabled_) return;
    // A silent device takes seconds to give up on; say what is going on.
    err_ << "\r\x1b[K" << verb << ": waiting for the device on " << com.DevicePath() << std::flush;
    shown_ = true;
    com.SetProgress([this, verb](std::size_t bytes) {
      const std::size_t blocks = (bytes + 1023) / 1024;
      err_ << "\r\x1b[K" << verb << ": " << bytes << " bytes (" << blocks << (blocks == 1 ? " block)" : " blocks)")
           << std::flush;
      shown_ = true;
    });
  }
  void Clear() {
    if (!shown_) return;
    err_ << "\r\x1b[K" << std::flush;  // back to the start, erase the line
    shown_ = false;
  }

 private:
  std::ostream& err_;
  bool enabled_;
  bool shown_ = false;
};

// One run of a command: the parsed options and what the commands share.
class Session {
 public:
  Session(CliEnvironment& env, const Options& options)
      : env_(env),
        options_(options),
        report_(*env.out, *env.err),
        settings_(env.settings_path.empty() ? DefaultSettingsPath() : env.settings_path),
        progress_(*env.err, env.show_progress) {}

  int Upload();
  int Download();
  int Info();
  int Ports();
  int SetPort();
  int Export();
  int Trend();

 private:
  // Port numbers go through the port map.
  link::PortResolver Resolver() {
    return [this](int number) { return link::ResolvePortNumber(number, settings_, env_.discovery); };
  }
  // Points the device command object at the chosen port.
  void SetUpCom(link::RTCom& com);
  bool Cancelled() const { return env_.cancel != nullptr && env_.cancel->load() != 0; }
  int ReportCancelled() { return report_.Problem("cancelled; the port is released", kExitCancelled); }
  // Refuses to replace an existing file without --force.
  bool OutputBlocked(const std::string& path, int& exitCode);
  // Why the port could not be opened, and the fix when it is a permission.
  void ExplainPortFailure(link::RTCom& com);
  int DeviceFailure(link::RTCom& com, Procedure procedure, int code, int deviceError = 0);

  CliEnvironment& env_;
  const Options& options_;
  Reporter report_;
  SettingsStore settings_;
  Progress progress_;
};

void Session::SetUpCom(link::RTCom& com) {
  if (!options_.port) {
    com.port_number = ReadPersistedPort(settings_);
  } else if (AllDigits(*options_.port)) {
    com.port_number = ParseInt32(*options_.port).value_or(0);
  } else if (options_.port->find('/') == std::string::npos) {
    com.device_path = env_.discovery.dev_root + "/" + *options_.port;  // "ttyUSB0" for short
  } else {
    com.device_path = *options_.port;
  }
  com.SetCancelFlag(env_.cancel);
}

bool Session::OutputBlocked(const std::string& path, int& exitCode) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (options_.force || !std::filesystem::exists(status) || std::filesystem::is_directory(status)) return false;
  exitCode = report_.Problem(path + " exists; add --force to replace it", EX_CANTCREAT);
  return true;
}

void Session::ExplainPortFailure(link::RTCom& com) {
  const std::string path = com.DevicePath();
  const std::string why = com.LastPortError();
  report_.Detail(!why.empty() ? why : "Port: " + path);
  if (path.empty()) {
    report_.Detail("See 'krtcfg-cli ports' for the numbers in use, or give --port PATH.");
  } else if (com.LastPortFailure() == link::PortFailure::kPermission) {
    const std::string group = env_.device_group ? env_.device_group(path) : SystemDeviceGroup(path);
    report_.Detail("Hint: only members of the group \"" + group + "\" may open " + path + ", and you are not one.");
    report_.Detail("Add yourself with: sudo usermod -aG " + group + " $USER   then log out and in again.");
  }
}

int Session::DeviceFailure(link::RTCom& com, Procedure procedure, int code, int deviceError) {
  progress_.Clear();
  if (Cancelled()) return ReportCancelled();
  const int exitCode = report_.Failure(procedure, code, deviceError);
  if (IsPortFailure(procedure, code)) ExplainPortFailure(com);
  return exitCode;
}

int Session::Upload() {
  const std::string& out = options_.arguments[0];
  int exitCode = 0;
  if (OutputBlocked(out, exitCode)) return exitCode;
  ConfigDB db;
  link::RTCom com(*env_.port, Resolver());
  SetUpCom(com);
  progress_.Attach(com, "Uploading");
  ConfigReader reader(db, com);
  const int read = reader.Upload();
  if (read < 0) return DeviceFailure(com, Procedure::kConfigRead, read);
  progress_.Clear();
  if (Cancelled()) return ReportCancelled();
  report_.ReadingCompleted();
  ConfigWriter writer(db, com);
  const int written = writer.WriteCfgFile(out);
  if (written < 0) return report_.Failure(Procedure::kConfigWrite, written);
  report_.WritingCompleted();
  return kExitOk;
}

int Session::Download() {
  ConfigDB db;
  link::RTCom com(*env_.port, Resolver());
  SetUpCom(com);
  ConfigReader reader(db, com);
  const int read = reader.ReadCfgFile(options_.arguments[0]);
  if (read < 0) return report_.Failure(Procedure::kConfigRead, read);
  report_.ReadingCompleted();

  progress_.Attach(com, "Downloading");
  ConfigWriter writer(db, com);
  int deviceError = 0;
  Bytes sent;
  const int written = writer.Download(deviceError, &sent);
  if (written < 0) return DeviceFailure(com, Procedure::kConfigWrite, written, deviceError);
  progress_.Clear();
  report_.WritingCompleted();
  if (!options_.verify) return kExitOk;
  if (Cancelled()) return ReportCancelled();

  // Read the image back and compare it with what was sent.
  progress_.Attach(com, "Verifying");
  Bytes back;
  const int again = com.ReadConfig(back);
  progress_.Clear();
  if (Cancelled()) return ReportCancelled();
  if (again < 0) {
    report_.Detail("Failed to verify");
    const int code = again == link::kComFailed ? kReadCommFailed : kReadPortFailed;
    report_.Detail(ReasonText(Procedure::kConfigRead, code));
    if (code == kReadPortFailed) ExplainPortFailure(com);
    return ExitCode(Procedure::kConfigRead, code);
  }
  std::size_t offset = 0;
  while (offset < sent.size() && offset < back.size() && sent[offset] == back[offset]) ++offset;
  if (offset == sent.size() && offset == back.size()) {
    *env_.out << "Verified: the device holds the " << sent.size() << " bytes sent\n" << std::flush;
    return kExitOk;
  }
  report_.Detail("Failed to verify");
  std::ostringstream text;
  if (offset < sent.size() && offset < back.size()) {
    text << "The device holds " << Hex(back[offset], 2) << " at offset " << offset << " (" << Hex(offset, 4) << "); "
         << Hex(sent[offset], 2) << " was sent";
  } else {
    text << "The device sent " << back.size() << " bytes back; " << sent.size()
         << " were sent (first difference at offset " << offset << ")";
  }
  report_.Detail(text.str());
  return EX_PROTOCOL;
}

int Session::Info() {
  ConfigDB db;
  link::RTCom com(*env_.port, Resolver());  // the reader needs one; a file read never opens it
  ConfigReader reader(db, com);
  const std::string& path = options_.arguments[0];
  const int read = reader.ReadCfgFile(path);
  if (read < 0) return report_.Failure(Procedure::kConfigRead, read);

  Bytes image;
  db.CopyImage(image);
  const int modelIndex = db.GetModelIndex();
  int lcdMajor = 0;
  int lcdMinor = 0;
  db.GetLcdVersion(lcdMajor, lcdMinor);
  const int formatMajor = BeI16(image, image::kOffFormatMajor);
  const int formatMinor = BeI16(image, image::kOffFormatMinor);
  const std::string format = std::to_string(formatMajor) + "." + std::to_string(formatMinor);
  const std::string lcd = std::to_string(lcdMajor) + "." + std::to_string(lcdMinor) + "x";
  const int size = db.GetStoredSize(image);

  if (options_.json) {
    JsonWriter json;
    json.BeginObject()
        .Key("file")
        .String(path)
        .Key("model")
        .String(ModelName(modelIndex))
        .Key("model_index")
        .Int(modelIndex)
        .Key("model_code")
        .Int(BeU16(image, image::kOffModelCode))
        .Key("format_version")
        .String(format)
        .Key("lcd_version")
        .String(lcd)
        .Key("stored_size")
        .Int(size)
        .EndObject();
    *env_.out << json.Text() << '\n' << std::flush;
    return kExitOk;
  }
  *env_.out << "File : " << path << '\n'
            << "Device Model : " << ModelName(modelIndex) << '\n'
            << "Format Ver. : " << format << '\n'
            << "LCD Ver. : " << lcd << '\n'
            << "Stored size : " << size << " bytes\n"
            << std::flush;
  return kExitOk;
}

int Session::Ports() {
  std::vector<link::SerialPortEntry> present;
  link::CollectSerialPorts(present, settings_, env_.discovery);
  const std::vector<std::string> labels = link::PortComboLabels(present);
  const int inUse = ReadPersistedPort(settings_);

  struct Row {
    int number;
    std::string label;
    std::string friendly;
    bool present;
    std::string device;
  };
  std::vector<Row> rows;
  for (int n = 1; n <= link::kPortLabelCount; ++n) {
    Row row{n, labels[static_cast<std::size_t>(n - 1)], {}, false, {}};
    for (const auto& entry : present) {
      if (entry.port_number == n) {
        row.present = true;
        row.friendly = entry.friendly_name;
      }
    }
    row.device = link::ResolvePortNumber(n, present, settings_, env_.discovery);
    rows.push_back(std::move(row));
  }
  // Ports beyond the window's 20 can still be used here.
  for (const auto& entry : present) {
    if (entry.port_number > link::kPortLabelCount) {
      rows.push_back({entry.port_number, entry.port_name + ":" + entry.friendly_name, entry.friendly_name, true,
                      link::ResolvePortNumber(entry.port_number, present, settings_, env_.discovery)});
    }
  }

  if (options_.json) {
    JsonWriter json;
    json.BeginObject().Key("port_in_use").Int(inUse).Key("settings_file").String(settings_.Path()).Key("ports");
    json.BeginArray();
    for (const Row& row : rows) {
      json.BeginObject()
          .Key("number")
          .Int(row.number)
          .Key("label")
          .String(row.label)
          .Key("present")
          .Bool(row.present)
          .Key("friendly_name")
          .String(row.friendly)
          .Key("device")
          .String(row.device)
          .EndObject();
    }
    json.EndArray().EndObject();
    *env_.out << json.Text() << '\n' << std::flush;
    return kExitOk;
  }
  std::size_t width = 0;
  for (const Row& row : rows) width = std::max(width, row.label.size());
  for (const Row& row : rows) {
    *env_.out << (row.number == inUse ? "* " : "  ") << std::left << std::setw(static_cast<int>(width + 2)) << row.label
              << row.device << '\n';
  }
  *env_.out << "* the port in use (COM" << inUse << "); settings: " << settings_.Path() << '\n' << std::flush;
  return kExitOk;
}

int Session::SetPort() {
  const std::string& text = options_.arguments[0];
  const auto number = AllDigits(text) ? ParseInt32(text) : std::nullopt;
  if (!number || *number < 1) return report_.Usage("set-port needs a port number of 1 or more, not '" + text + "'");
  if (!WritePersistedPort(settings_, *number)) {
    report_.Failure(Procedure::kConfigWrite, kWriteFailed);
    report_.Detail("Settings file: " + settings_.Path());
    return EX_CANTCREAT;
  }
  const std::string device = link::ResolvePortNumber(*number, settings_, env_.discovery);
  *env_.out << "Port: COM" << *number;
  if (!device.empty()) *env_.out << " (" << device << ")";
  *env_.out << '\n' << std::flush;
  return kExitOk;
}

int Session::Export() {
  const std::string& out = options_.arguments[1];
  int exitCode = 0;
  if (OutputBlocked(out, exitCode)) return exitCode;
  ConfigDB db;
  link::RTCom com(*env_.port, Resolver());  // the reader and writer need one; files never open it
  ConfigReader reader(db, com);
  const int read = reader.ReadCfgFile(options_.arguments[0]);
  if (read < 0) return report_.Failure(Procedure::kConfigRead, read);
  report_.ReadingCompleted();
  ConfigWriter writer(db, com);
  const int written = writer.ExportCsv(out);
  if (written < 0) return report_.Failure(Procedure::kConfigWrite, written);
  report_.WritingCompleted();
  return kExitOk;
}

int Session::Trend() {
  const bool named = !options_.arguments.empty();
  int exitCode = 0;
  if (named && OutputBlocked(options_.arguments[0], exitCode)) return exitCode;
  link::RTCom com(*env_.port, Resolver());
  SetUpCom(com);
  progress_.Attach(com, "Uploading short trend");
  trend::TrendReader reader(com);
  Bytes record;
  int modelIndex = 0;
  std::string baseName;
  const int read = reader.Read(record, modelIndex, baseName);
  if (read < 0) return DeviceFailure(com, Procedure::kTrendRead, read);
  progress_.Clear();
  if (Cancelled()) return ReportCancelled();

  std::string path;
  if (named) {
    path = options_.arguments[0];
  } else {
    const std::string name = (baseName.empty() ? std::string("trend") : baseName) + ".csv";
    path = env_.output_folder.empty() ? name : env_.output_folder + "/" + name;
    if (OutputBlocked(path, exitCode)) return exitCode;
  }
  trend::TrendWriter writer;
  const int written = writer.Write(record, path, static_cast<unsigned int>(modelIndex));
  if (written < 0) return report_.Failure(Procedure::kTrendWrite, written);
  report_.WritingCompleted();
  if (!named) *env_.out << "File : " << path << '\n' << std::flush;
  return kExitOk;
}

// The commands: name, number of arguments, the options that apply, the procedure.
struct Command {
  const char* name;
  std::size_t min_arguments;
  std::size_t max_arguments;
  bool force;
  bool verify;
  bool json;
  int (Session::*run)();
  const char* arguments_text;
};

constexpr Command kCommands[] = {
    {"upload", 1, 1, true, false, false, &Session::Upload, "OUT.cfg"},
    {"download", 1, 1, false, true, false, &Session::Download, "IN.cfg"},
    {"info", 1, 1, false, false, true, &Session::Info, "FILE.cfg"},
    {"ports", 0, 0, false, false, true, &Session::Ports, ""},
    {"set-port", 1, 1, false, false, false, &Session::SetPort, "N"},
    {"export", 2, 2, true, false, false, &Session::Export, "IN.cfg OUT.csv"},
    {"trend", 0, 1, true, false, false, &Session::Trend, "[OUT.csv]"},
};

}  // namespace

std::string HelpText() {
  return R"(Usage: krtcfg-cli [--port N|PATH] COMMAND [ARGUMENTS] [OPTIONS]

Moves configurations between KRT/RT panel controllers, parameter files (.cfg)
and CSV listings, and uploads the short-trend memory.

Commands:
  upload OUT.cfg          Upload the device's configuration and write it to OUT.cfg.
                            krtcfg-cli upload plant-a.cfg
                            krtcfg-cli --port /dev/ttyUSB0 upload plant-a.cfg
  download IN.cfg         Read IN.cfg and download it into the device, which keeps
                          its own header and communication settings.
                            krtcfg-cli download plant-a.cfg
                            krtcfg-cli --port 3 download plant-a.cfg --verify
  info FILE.cfg           Show model, format version, LCD version and stored size.
                            krtcfg-cli info plant-a.cfg
                            krtcfg-cli info plant-a.cfg --json
  ports                   List COM1 to COM20 with the ports present and the device
                          each number stands for.
                            krtcfg-cli ports
                            krtcfg-cli ports --json
  set-port N              Make COMN the port used when --port is not given.
                            krtcfg-cli set-port 3
  export IN.cfg OUT.csv   Write the configuration listing of IN.cfg as CSV.
                            krtcfg-cli export plant-a.cfg plant-a.csv
  trend [OUT.csv]         Upload the short trend and write it as CSV; without
                          OUT.csv the file is named after its oldest sample
                          (for example 20120307_143826.csv) in the current folder.
                            krtcfg-cli trend
                            krtcfg-cli --port 2 trend line-2.csv

Options:
  -p, --port N|PATH   Port number (COMN, through the port map) or device path
                      (/dev/ttyUSB0, or ttyUSB0 for short). Without it the port
                      chosen with set-port is used (COM1 at first).
  -f, --force         Replace an existing output file (upload, export, trend).
      --verify        After a download, upload the image again and compare it
                      with the image sent.
      --json          One JSON object on standard output (info, ports).
  -h, --help          Show this help.
  -V, --version       Show the version.

Port numbers: on-board ports /dev/ttySk are COM(k+1); any other serial device
gets the lowest free number the first time it is seen and keeps it across
replugging (by its /dev/serial/by-id name). The assignments are kept in the
[PortMap] section of the settings file, where a number may also be mapped to
any path by hand, for example COM9=/tmp/krtcfg-sim.

Exit status: 0 success, 64 usage, 65 data refused, 66 input file missing or
unreadable, 69 port cannot be opened, 73 output cannot be created, 74 writing
failed, 75 communication failed, 76 the device reported an error, 130 cancelled.
)";
}

std::string SystemDeviceGroup(const std::string& devicePath) {
  struct stat info {};
  if (::stat(devicePath.c_str(), &info) != 0 || info.st_gid == 0) return "dialout";
  struct group entry {};
  struct group* found = nullptr;
  std::string buffer(16384, '\0');
  if (::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->gr_name != nullptr) {
    return found->gr_name;
  }
  return "dialout";
}

int RunCli(const std::vector<std::string>& args, CliEnvironment& env) {
  Reporter report(*env.out, *env.err);
  Options options;
  if (const auto error = Parse(args, options)) return report.Usage(*error);
  if (options.help || options.command == "help") {
    *env.out << HelpText() << std::flush;
    return kExitOk;
  }
  if (options.version) {
    *env.out << kProgramName << ' ' << kVersion << '\n' << std::flush;
    return kExitOk;
  }
  if (options.command.empty()) return report.Usage("no command given");

  const Command* command = nullptr;
  for (const Command& c : kCommands) {
    if (options.command == c.name) command = &c;
  }
  if (command == nullptr) return report.Usage("unknown command '" + options.command + "'");
  std::string usage = command->name;
  if (*command->arguments_text != '\0') usage += std::string(" ") + command->arguments_text;
  if (options.arguments.size() < command->min_arguments) return report.Usage("missing argument: " + usage);
  if (options.arguments.size() > command->max_arguments) return report.Usage("too many arguments: " + usage);
  if (options.force && !command->force) return report.Usage(std::string("--force does not apply to ") + command->name);
  if (options.verify && !command->verify)
    return report.Usage(std::string("--verify does not apply to ") + command->name);
  if (options.json && !command->json) return report.Usage(std::string("--json does not apply to ") + command->name);
  if (options.port && AllDigits(*options.port) && ParseInt32(*options.port).value_or(0) < 1)
    return report.Usage("--port needs a port number of 1 or more, or a device path");

  Session session(env, options);
  return (session.*(command->run))();
}

}  // namespace krt::cli
