// The command line of krtcfg-cli: the input split at NUL bytes into its
// arguments, run against a scratch folder with a few parameter files, a
// settings file and a port that exists only in memory.
//
// Every file name is moved into the scratch folder, so nothing outside it
// is ever written. The port opens for COM1 (a device that stays silent, on
// a virtual clock), refuses COM2 for want of permission and finds no other.

#include <sysexits.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.hpp"
#include "fuzz/fuzz_support.hpp"
#include "image/bytes.hpp"
#include "image/image_layout.hpp"
#include "link/port.hpp"
#include "store/config_db.hpp"

namespace {

namespace fs = std::filesystem;
namespace fuzz = krt::fuzz;
namespace link = krt::link;

constexpr std::size_t kMaxArguments = 16;
constexpr std::size_t kMaxArgumentLength = 300;

// A port with nothing behind it but a clock.
class SilentPort : public link::Port {
 public:
  explicit SilentPort(std::string devRoot) : dev_root_(std::move(devRoot)) {}

  int Open(const std::string& device, int) override {
    FUZZ_CHECK(!open_);
    failure_ = link::PortFailure::kNone;
    if (device == dev_root_ + "/ttyS0") {
      open_ = true;
      return 1;
    }
    failure_ = device == dev_root_ + "/ttyS1" ? link::PortFailure::kPermission : link::PortFailure::kNotFound;
    return 0;
  }
  bool IsOpen() const override { return open_; }
  void Close() override { open_ = false; }
  void PurgeQueues(link::Purge) override { FUZZ_CHECK(open_); }
  int QueuedCount() override {
    FUZZ_CHECK(open_);
    return 0;
  }
  bool Read(std::uint8_t*, std::size_t n) override {
    FUZZ_CHECK(n == 0);
    return true;
  }
  bool Write(std::span<const std::uint8_t>) override {
    FUZZ_CHECK(open_);
    return true;
  }
  void Flush() override {}
  void Sleep(int milliseconds) override { Advance(milliseconds); }
  void WaitForInput(int milliseconds) override { Advance(milliseconds); }
  std::int64_t NowMs() override { return now_; }
  std::string LastError() const override {
    return failure_ == link::PortFailure::kPermission ? "Permission denied" : "No such device";
  }
  link::PortFailure LastFailure() const override { return failure_; }

 private:
  void Advance(int milliseconds) {
    FUZZ_CHECK(milliseconds >= 0);
    now_ += milliseconds;
    // A silent device is given up on within a minute.
    FUZZ_CHECK(now_ < 10 * 60 * 1000);
  }

  std::string dev_root_;
  bool open_ = false;
  std::int64_t now_ = 0;
  link::PortFailure failure_ = link::PortFailure::kNone;
};

struct Scratch {
  fs::path root;      // the process's scratch folder
  fs::path work;      // where file arguments lead, two levels below root
  fs::path settings;  // the settings file
  fs::path dev;       // a /dev with nothing in it
  std::vector<std::pair<std::string, krt::Bytes>> files;
};

krt::Bytes DefaultImage(int modelIndex, int major, int minor) {
  krt::ConfigDB db;
  krt::Bytes image;
  db.DataForModel(modelIndex).CopyImage(image);
  krt::SetBeU16(image, krt::image::kOffFormatMajor, static_cast<std::uint16_t>(major));
  krt::SetBeU16(image, krt::image::kOffFormatMinor, static_cast<std::uint16_t>(minor));
  image.resize(static_cast<std::size_t>(
      db.DataForModel(modelIndex).ImageSize(static_cast<std::int16_t>(major), static_cast<std::int16_t>(minor))));
  return image;
}

const Scratch& TheScratch() {
  static const Scratch scratch = [] {
    Scratch s;
    s.root = fuzz::ScratchFolder::Path() / "cli";
    s.work = s.root / "in" / "work";
    s.settings = s.root / "KRTCFG.conf";
    s.dev = s.root / "dev";
    s.files = {
        {"a.cfg", DefaultImage(1, 3, 2)},  // KRT610
        {"b.cfg", DefaultImage(4, 2, 0)},  // RT610J, 1024 bytes
        {"c.cfg", {0x49, 0x96, 0x02, 0xD2, 0x00, 0x20}},
    };
    return s;
  }();
  return scratch;
}

// The folder as every run starts: the parameter files and the settings.
void Reset(const Scratch& s) {
  std::error_code ignored;
  fs::remove_all(s.root, ignored);
  fs::create_directories(s.work);
  for (const auto& [name, bytes] : s.files) {
    fuzz::WriteFile(s.work / name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
  fuzz::WriteFile(s.settings, "[RTCFG]\nCOM=1\n[PortMap]\nCOM9=" + (s.dev / "ttyS0").string() + "\n");
}

// A file argument as a name inside the work folder ("..": its parent,
// still inside the scratch folder).
std::string InWork(const Scratch& s, std::string_view argument) {
  std::string name(argument);
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  return (s.work / name).string();
}

// A port given by name alone ("ttyUSB0") is looked up in the scratch /dev;
// a path is moved like a file name.
std::string PortValue(const Scratch& s, const std::string& value) {
  return value.find('/') == std::string::npos ? value : InWork(s, value);
}

// The arguments as the tool parses them, with the file names (the
// positional arguments after the command) and port paths moved. set-port
// takes a number, which stays as it is.
std::vector<std::string> Arguments(const Scratch& s, const std::uint8_t* data, std::size_t size) {
  fuzz::Reader in(data, size);
  std::vector<std::string> raw;
  while (!in.Empty() && raw.size() < kMaxArguments) raw.emplace_back(in.Until('\0').substr(0, kMaxArgumentLength));

  std::vector<std::string> args;
  bool optionsEnded = false;
  std::optional<std::string> command;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const std::string& arg = raw[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      if (!command) {
        command = arg;
        args.push_back(arg);
      } else {
        args.push_back(*command == "set-port" ? arg : InWork(s, arg));
      }
    } else if (arg == "--port" || arg == "-p") {
      args.push_back(arg);
      if (i + 1 < raw.size()) args.push_back(PortValue(s, raw[++i]));
    } else if (arg.rfind("--port=", 0) == 0) {
      args.push_back("--port=" + PortValue(s, arg.substr(7)));
    } else {
      if (arg == "--") optionsEnded = true;
      args.push_back(arg);
    }
  }
  return args;
}

bool KnownExitCode(int code) {
  switch (code) {
    case 0:
    case EX_USAGE:
    case EX_DATAERR:
    case EX_NOINPUT:
    case EX_UNAVAILABLE:
    case EX_CANTCREAT:
    case EX_IOERR:
    case EX_TEMPFAIL:
    case EX_PROTOCOL:
    case 130:
      return true;
    default:
      return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Scratch& s = TheScratch();
  Reset(s);
  const std::vector<std::string> args = Arguments(s, data, size);

  std::ostringstream out;
  std::ostringstream err;
  SilentPort port(s.dev.string());
  krt::cli::CliEnvironment env;
  env.out = &out;
  env.err = &err;
  env.port = &port;
  env.settings_path = s.settings.string();
  env.discovery.sysfs_root = (s.root / "sys").string();
  env.discovery.dev_root = s.dev.string();
  env.discovery.has_uart = [](const std::string&) { return false; };
  env.device_group = [](const std::string&) { return std::string("dialout"); };
  env.output_folder = s.work.string();

  const int code = krt::cli::RunCli(args, env);
  // KRTCFG_FUZZ_VERBOSE=1 shows what one input did, when a finding is looked into.
  static const bool verbose = std::getenv("KRTCFG_FUZZ_VERBOSE") != nullptr;
  if (verbose) {
    std::fprintf(stderr, "krtcfg-cli");
    for (const std::string& arg : args) std::fprintf(stderr, " '%s'", arg.c_str());
    std::fprintf(stderr, "\n-> %d\n%s%s\n", code, out.str().c_str(), err.str().c_str());
  }
  FUZZ_CHECK(KnownExitCode(code));
  // Every failure says why.
  if (code != 0) FUZZ_CHECK(!err.str().empty());
  FUZZ_CHECK(!port.IsOpen());
  return 0;
}
