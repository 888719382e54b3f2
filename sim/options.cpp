#include "sim/options.hpp"

#include <charconv>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <vector>

#include "sim/models.hpp"
#include "sim/trend_record.hpp"

namespace krt::sim {
namespace {

// Larger files are surely not images or records.
constexpr std::size_t kMaxServedFile = 1 << 20;

bool ParseInt(const std::string& text, long long low, long long high, long long& value) {
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && p == end && value >= low && value <= high;
}

struct OptionSpec {
  std::string_view name;
  bool takes_value;
  // Applies the value; false with a message when it is not acceptable.
  std::function<bool(SimOptions&, const std::string& value, std::string& error)> apply;
};

std::function<bool(SimOptions&, const std::string&, std::string&)> Number(
    long long low, long long high, const std::function<void(SimOptions&, long long)>& set, std::string_view name) {
  return [=](SimOptions& o, const std::string& v, std::string& error) {
    long long n = 0;
    if (!ParseInt(v, low, high, n)) {
      error = "--" + std::string(name) + " needs a whole number from " + std::to_string(low) + " to " +
              std::to_string(high) + ", not \"" + v + "\"";
      return false;
    }
    set(o, n);
    return true;
  };
}

std::function<bool(SimOptions&, const std::string&, std::string&)> Text(std::string SimOptions::*member) {
  return [member](SimOptions& o, const std::string& v, std::string&) {
    o.*member = v;
    return true;
  };
}

std::function<bool(SimOptions&, const std::string&, std::string&)> Flag(const std::function<void(SimOptions&)>& set) {
  return [set](SimOptions& o, const std::string&, std::string&) {
    set(o);
    return true;
  };
}

const std::vector<OptionSpec>& Specs() {
  constexpr long long kCountMax = 1'000'000;
  static const std::vector<OptionSpec> specs = {
      {"model", true,
       [](SimOptions& o, const std::string& v, std::string& error) {
         if (FindSimModel(v) == nullptr) {
           error = "unknown model \"" + v + "\" (see --help for the ten models)";
           return false;
         }
         o.model = v;
         return true;
       }},
      {"type-code", true,
       Number(
           0, 255, [](SimOptions& o, long long n) { o.type_code = static_cast<int>(n); }, "type-code")},
      {"image", true, Text(&SimOptions::image_file)},
      {"trend", true, Text(&SimOptions::trend_file)},
      {"received", true, Text(&SimOptions::received_file)},
      {"link", true, Text(&SimOptions::link_path)},
      {"seed", true,
       Number(
           0, std::numeric_limits<std::uint32_t>::max(),
           [](SimOptions& o, long long n) { o.seed = static_cast<std::uint32_t>(n); }, "seed")},
      {"block-size", true,
       Number(
           1, 1024, [](SimOptions& o, long long n) { o.block_size = static_cast<std::size_t>(n); }, "block-size")},
      {"pace", false, Flag([](SimOptions& o) { o.pace = true; })},
      {"verbose", false, Flag([](SimOptions& o) { o.verbose = true; })},
      {"help", false, Flag([](SimOptions& o) { o.help = true; })},
      {"nak", true,
       Number(
           0, kCountMax, [](SimOptions& o, long long n) { o.faults.nak_blocks = static_cast<int>(n); }, "nak")},
      {"silent", false, Flag([](SimOptions& o) { o.faults.silent = true; })},
      {"silent-after-request", false, Flag([](SimOptions& o) { o.faults.silent_after_request = true; })},
      {"corrupt-crc", true,
       Number(
           0, kCountMax, [](SimOptions& o, long long n) { o.faults.corrupt_crc_blocks = static_cast<int>(n); },
           "corrupt-crc")},
      {"noise", true,
       Number(
           0, 4096, [](SimOptions& o, long long n) { o.faults.noise_bytes = static_cast<int>(n); }, "noise")},
      {"error-frame", false, Flag([](SimOptions& o) { o.faults.error_frame = true; })},
      {"device-error", true,
       Number(
           1, 255, [](SimOptions& o, long long n) { o.faults.device_error = static_cast<int>(n); }, "device-error")},
      {"vanish-mid-block", false, Flag([](SimOptions& o) { o.faults.vanish_mid_block = true; })},
      {"babble", false, Flag([](SimOptions& o) { o.faults.babble = true; })},
      {"fault-on", true,
       [](SimOptions& o, const std::string& v, std::string& error) {
         if (v.empty() || v.find_first_not_of("SGP") != std::string::npos) {
           error = "--fault-on takes the letters S, G and P (for example \"GP\"), not \"" + v + "\"";
           return false;
         }
         o.faults.commands = v;
         return true;
       }},
  };
  return specs;
}

bool ReadFile(const std::string& path, Bytes& out, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open \"" + path + "\"";
    return false;
  }
  Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    error = "cannot read \"" + path + "\"";
    return false;
  }
  if (bytes.size() > kMaxServedFile) {
    error = "\"" + path + "\" is too large (" + std::to_string(bytes.size()) + " bytes)";
    return false;
  }
  out = std::move(bytes);
  return true;
}

}  // namespace

bool ParseSimOptions(std::span<const std::string> args, SimOptions& options, std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-h") {
      options.help = true;
      continue;
    }
    if (arg.rfind("--", 0) != 0 || arg.size() == 2) {
      error = "unexpected argument \"" + arg + "\" (see --help)";
      return false;
    }
    std::string name = arg.substr(2);
    std::optional<std::string> value;
    if (const auto eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
    }
    const OptionSpec* spec = nullptr;
    for (const OptionSpec& s : Specs()) {
      if (s.name == name) spec = &s;
    }
    if (spec == nullptr) {
      error = "unknown option \"--" + name + "\" (see --help)";
      return false;
    }
    if (spec->takes_value && !value) {
      if (i + 1 >= args.size()) {
        error = "--" + name + " needs a value";
        return false;
      }
      value = args[++i];
    } else if (!spec->takes_value && value) {
      error = "--" + name + " takes no value";
      return false;
    }
    if (!spec->apply(options, value.value_or(""), error)) return false;
  }
  return true;
}

bool BuildDeviceSetup(const SimOptions& options, DeviceSetup& setup, std::string& error) {
  const SimModel* model = FindSimModel(options.model);
  if (model == nullptr) {
    error = "unknown model \"" + options.model + "\"";
    return false;
  }
  DeviceSetup s;
  s.type_code = options.type_code.value_or(model->type_code);
  if (!options.image_file.empty()) {
    if (!ReadFile(options.image_file, s.config_image, error)) return false;
  } else {
    s.config_image = DefaultImage(*model);
  }
  if (!options.trend_file.empty()) {
    if (!ReadFile(options.trend_file, s.trend_record, error)) return false;
    s.has_trend = true;
  } else {
    s.has_trend = model->short_trend;
    if (s.has_trend) s.trend_record = SyntheticTrendRecord(model->model_index, options.seed);
  }
  s.block_size = options.block_size;
  s.faults = options.faults;
  setup = std::move(s);
  return true;
}

std::string SimHelpText() {
  return R"(Usage: krtcfg-sim [options]

Plays one KRT/RT controller on a pseudo-terminal, for trying krtcfg and
krtcfg-cli without a device and for testing them. Prints the path of the
device end (for example /dev/pts/5) as its first line on standard output and
serves the host until SIGTERM or SIGINT (Ctrl+C), then exits with 0. The host
may close and reopen the port between operations.

The device answers the status query 'S', 'G' "CONFIG" (its configuration
image), 'G' "TREND" (its short-trend record) and 'P' "CONFIG" (a download),
checks every host block and answers a damaged one with NAK. A download it
accepts replaces its image and later uploads return it; status byte 2 then
reports its verdict (0, or the --device-error code). A last data block that
arrives damaged or is refused is answered NAK EOT, the old image is kept and
status byte 2 reports error 1.

Device:
  --model NAME         KRT410, KRT411, KRT610 (default), KRT611, RT610J,
                       RT610N, RT610L, RT610M, RT610X or RT611X; gives the
                       device type code (10, 11, 20, 21, 120, 170, 220, 180,
                       40, 41), the default image and the short trend
  --type-code N        report type code N (0-255) in status byte 0 instead
  --image FILE         serve the bytes of FILE (a .cfg of any format version)
                       as the configuration image; default: the model's
                       default image (2048 bytes, format 3.2; 2.2 for
                       RT610J and RT610N, 2.3 for RT610M)
  --trend FILE         serve the bytes of FILE (13034 bytes) as the short-trend
                       record; default: a synthetic record of the model.
                       KRT410/KRT411 have none and answer with an error frame
  --seed N             seed of the synthetic record (default 1)
  --received FILE      write every accepted download to FILE (replaced whole)
  --link PATH          make a symbolic link PATH to the device end (a stale
                       link there is replaced; removed at exit)
  --block-size N       split replies into blocks of N data bytes (1-1024,
                       default 1024)
  --pace               time every byte in both directions as a 57600-baud
                       line does (10 bits a byte)
  --verbose            one line per exchange on standard error

Faults (they hit the exchanges named by --fault-on):
  --fault-on LETTERS   requests whose exchanges the faults hit: any of S
                       (status), G (uploads), P (downloads); default SGP
  --nak N              answer the next N good host blocks with NAK
  --silent             never answer
  --silent-after-request
                       acknowledge the request, then answer nothing more
  --corrupt-crc N      send the next N reply blocks with a wrong checksum
  --noise N            send N noise bytes (no STX among them) before every
                       reply block
  --error-frame        end every reply with an error frame ('*')
  --device-error N     after a download report error N (1-255) in status
                       byte 2 and keep the old image
  --vanish-mid-block   close the line and exit in the middle of a reply block
                       (of a host data block for P)
  --babble             acknowledge the request, then send garbage at line
                       speed until the next request

Example:
  $ krtcfg-sim --model RT610J --link /tmp/krt0 --verbose &
  /dev/pts/5
  $ krtcfg-cli --port /tmp/krt0 upload config.cfg
  $ kill %1

  Test a host against a device that refuses a download:
  $ krtcfg-sim --device-error 5 --received /tmp/got.cfg
)";
}

}  // namespace krt::sim
