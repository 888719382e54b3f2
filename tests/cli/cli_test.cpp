// krtcfg-cli run in-process: argument parsing, messages and exit codes, with
// a scripted device on a fake port.

#include "cli/cli.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "image/image_layout.hpp"
#include "store/settings.hpp"
#include "support/fake_port.hpp"
#include "support/temp_dir.hpp"
#include "support/test_images.hpp"

namespace krt::cli {
namespace {

using test::MakeImage;
using test::ReadWholeFile;
using test::TempDir;
using test::WriteWholeFile;

Bytes Patterned(Bytes image, int factor, int offset) {
  for (std::size_t i = 32; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * factor + offset);
  return image;
}

std::string AsText(const Bytes& bytes) {
  return {bytes.begin(), bytes.end()};
}

struct Result {
  int code;
  std::string out;
  std::string err;
};

class CliTest : public ::testing::Test {
 protected:
  CliTest() {
    std::filesystem::create_directories(dir_.Path() / "sys/class/tty");
    std::filesystem::create_directories(dir_.Path() / "dev");
    WriteWholeFile(File("RT610X.cfg"), AsText(MakeImage(6200, 3, 2, 2048, 1, 25)));
  }

  Result Run(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    CliEnvironment env;
    env.out = &out;
    env.err = &err;
    env.port = &port_;
    env.settings_path = File("KRTCFG.conf");
    env.discovery.sysfs_root = File("sys");
    env.discovery.dev_root = File("dev");
    env.cancel = &cancel_;
    env.device_group = [](const std::string&) { return std::string("dialout"); };
    env.output_folder = dir_.Path().string();
    const int code = RunCli(args, env);
    return {code, out.str(), err.str()};
  }

  std::string File(const std::string& name) const { return dir_.File(name); }

  TempDir dir_;
  test::FakePort port_;
  link::CancelFlag cancel_{0};
};

TEST_F(CliTest, UsageErrors) {
  WriteWholeFile(File("exists.cfg"), "x");
  struct Case {
    std::vector<std::string> args;
    std::string first_line;
  };
  const Case cases[] = {
      {{}, "krtcfg-cli: no command given"},
      {{"frobnicate"}, "krtcfg-cli: unknown command 'frobnicate'"},
      {{"upload"}, "krtcfg-cli: missing argument: upload OUT.cfg"},
      {{"upload", "a.cfg", "b.cfg"}, "krtcfg-cli: too many arguments: upload OUT.cfg"},
      {{"export", "a.cfg"}, "krtcfg-cli: missing argument: export IN.cfg OUT.csv"},
      {{"trend", "a.csv", "b.csv"}, "krtcfg-cli: too many arguments: trend [OUT.csv]"},
      {{"ports", "extra"}, "krtcfg-cli: too many arguments: ports"},
      {{"--bogus", "ports"}, "krtcfg-cli: unknown option --bogus"},
      {{"info", "x.cfg", "--verify"}, "krtcfg-cli: --verify does not apply to info"},
      {{"upload", "x.cfg", "--json"}, "krtcfg-cli: --json does not apply to upload"},
      {{"download", "x.cfg", "--force"}, "krtcfg-cli: --force does not apply to download"},
      {{"upload", "x.cfg", "--port"}, "krtcfg-cli: --port needs a port number or a device path"},
      {{"--port=", "upload", "x.cfg"}, "krtcfg-cli: --port needs a port number or a device path"},
      {{"--port", "0", "upload", "x.cfg"}, "krtcfg-cli: --port needs a port number of 1 or more, or a device path"},
      {{"set-port", "abc"}, "krtcfg-cli: set-port needs a port number of 1 or more, not 'abc'"},
      {{"set-port", "0"}, "krtcfg-cli: set-port needs a port number of 1 or more, not '0'"},
      {{"set-port", "99999999999"}, "krtcfg-cli: set-port needs a port number of 1 or more, not '99999999999'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const Result r = Run(c.args);
    EXPECT_EQ(r.code, 64);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), c.first_line);
    EXPECT_NE(r.err.find("Try 'krtcfg-cli --help'"), std::string::npos);
  }
  EXPECT_EQ(port_.open_calls, 0);
  EXPECT_FALSE(std::filesystem::exists(File("KRTCFG.conf")));
}

TEST_F(CliTest, HelpAndVersion) {
  const Result help = Run({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_EQ(help.err, "");
  for (const char* text : {"upload OUT.cfg", "download IN.cfg", "info FILE.cfg", "ports", "set-port N",
                           "export IN.cfg OUT.csv", "trend [OUT.csv]", "--port", "--force", "--verify", "--json",
                           "krtcfg-cli upload plant-a.cfg", "krtcfg-cli info plant-a.cfg --json",
                           "krtcfg-cli set-port 3", "krtcfg-cli export plant-a.cfg plant-a.csv", "krtcfg-cli trend"}) {
    EXPECT_NE(help.out.find(text), std::string::npos) << text;
  }
  EXPECT_EQ(Run({"upload", "-h"}).out, help.out);
  EXPECT_EQ(Run({"help"}).out, help.out);

  const Result version = Run({"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, "krtcfg-cli 1.80.02\n");
}

TEST_F(CliTest, FileFailures) {
  WriteWholeFile(File("empty.cfg"), "");
  WriteWholeFile(File("unknown.cfg"), AsText(MakeImage(5200, 3, 2, 2048)));
  WriteWholeFile(File("exists.csv"), "mine");
  WriteWholeFile(File("exists.cfg"), "mine");
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string out;
    std::string err;
  };
  const Case cases[] = {
      {{"info", File("missing.cfg")}, 66, "", "Failed to read\nFailed to open file\n"},
      {{"info", File("")}, 66, "", "Failed to read\nFailed to open file\n"},
      {{"info", File("empty.cfg")}, 65, "", "Failed to read\nIllegal data (Error code: 02)\n"},
      {{"info", File("unknown.cfg")}, 65, "", "Failed to read\nIllegal data (Error code: 01)\n"},
      {{"download", File("missing.cfg")}, 66, "", "Failed to read\nFailed to open file\n"},
      {{"export", File("missing.cfg"), File("out.csv")}, 66, "", "Failed to read\nFailed to open file\n"},
      {{"export", File("RT610X.cfg"), File("exists.csv")},
       73,
       "",
       "krtcfg-cli: " + File("exists.csv") + " exists; add --force to replace it\n"},
      {{"upload", File("exists.cfg")},
       73,
       "",
       "krtcfg-cli: " + File("exists.cfg") + " exists; add --force to replace it\n"},
      {{"trend", File("exists.csv")},
       73,
       "",
       "krtcfg-cli: " + File("exists.csv") + " exists; add --force to replace it\n"},
      {{"export", File("RT610X.cfg"), File("missing/out.csv")},
       73,
       "Reading completed\n",
       "Failed to write\nFailed to open file\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const Result r = Run(c.args);
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
  }
  EXPECT_EQ(ReadWholeFile(File("exists.csv")), "mine");
  EXPECT_EQ(ReadWholeFile(File("exists.cfg")), "mine");
  EXPECT_EQ(port_.open_calls, 0);  // no device was asked before the files were in order
}

TEST_F(CliTest, Info) {
  const Result text = Run({"info", File("RT610X.cfg")});
  EXPECT_EQ(text.code, 0);
  EXPECT_EQ(text.err, "");
  EXPECT_EQ(text.out, "File : " + File("RT610X.cfg") +
                          "\nDevice Model : RT610X\nFormat Ver. : 3.2\nLCD Ver. : 1.2x\nStored size : 2048 bytes\n");

  WriteWholeFile(File("KRT610 \"old\".cfg"), AsText(MakeImage(200, 1, 0, 1024, 7, 77)));
  const Result json = Run({"--json", "info", File("KRT610 \"old\".cfg")});
  EXPECT_EQ(json.code, 0);
  EXPECT_EQ(json.out, "{\"file\":\"" + File("KRT610 \\\"old\\\".cfg") +
                          "\",\"model\":\"KRT610\",\"model_index\":1,\"model_code\":200,\"format_version\":\"1.0\","
                          "\"lcd_version\":\"1.0x\",\"stored_size\":1024}\n");
}

TEST_F(CliTest, ExportWritesTheListing) {
  const Result r = Run({"export", File("RT610X.cfg"), File("RT610X.csv")});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "Reading completed\nWriting completed\n");
  const std::string csv = ReadWholeFile(File("RT610X.csv"));
  const std::string header = "RT610X Configuration,LCD Ver. 1.2x\r\n\r\nGroup,Item,Data\r\n";
  EXPECT_EQ(csv.substr(0, header.size()), header);
  WriteWholeFile(File("old.csv"), "old");
  EXPECT_EQ(Run({"export", File("RT610X.cfg"), File("old.csv"), "--force"}).code, 0);
  EXPECT_EQ(ReadWholeFile(File("old.csv")), csv);
}

TEST_F(CliTest, SetPortAndTheMap) {
  WriteWholeFile(File("sim-link"), "");
  {
    SettingsStore settings(File("KRTCFG.conf"));
    settings.SetString(link::kPortMapSection, "COM4", File("sim-link"));
  }
  const Result set = Run({"set-port", "4"});
  EXPECT_EQ(set.code, 0);
  EXPECT_EQ(set.out, "Port: COM4 (" + File("sim-link") + ")\n");
  EXPECT_EQ(ReadPersistedPort(SettingsStore(File("KRTCFG.conf"))), 4);

  // Without --port the persisted number is used, through the map.
  port_.FailOpen("no device here", link::PortFailure::kNotFound);
  Run({"upload", File("a.cfg")});
  EXPECT_EQ(port_.opened_device, File("sim-link"));
  Run({"--port", "7", "upload", File("a.cfg")});
  EXPECT_EQ(port_.opened_device, File("dev") + "/ttyS6");
  Run({"--port", "ttyUSB0", "upload", File("a.cfg")});
  EXPECT_EQ(port_.opened_device, File("dev") + "/ttyUSB0");
  Run({"--port=/dev/pts/9", "upload", File("a.cfg")});
  EXPECT_EQ(port_.opened_device, "/dev/pts/9");

  const Result ports = Run({"ports"});
  EXPECT_EQ(ports.code, 0);
  std::istringstream lines(ports.out);
  std::string line;
  std::vector<std::string> all;
  while (std::getline(lines, line)) all.push_back(line);
  ASSERT_EQ(all.size(), 21u);
  const std::string label4 = "COM4: (" + File("sim-link") + ")";
  EXPECT_EQ(all[0], "  COM1:" + std::string(label4.size() + 2 - 5, ' ') + File("dev") + "/ttyS0");
  EXPECT_EQ(all[3], "* " + label4 + "  " + File("sim-link"));
  EXPECT_EQ(all[20], "* the port in use (COM4); settings: " + File("KRTCFG.conf"));
}

TEST_F(CliTest, PortsAsJson) {
  const std::string odd = File("sim \"x\"\t\xC3\xA9\xFF");
  WriteWholeFile(odd, "");
  {
    SettingsStore settings(File("KRTCFG.conf"));
    settings.SetString(link::kPortMapSection, "COM2", odd);
  }
  const std::string oddJson = File("sim \\\"x\\\"\\t\xC3\xA9\\u00ff");
  std::string expected = "{\"port_in_use\":1,\"settings_file\":\"" + File("KRTCFG.conf") + "\",\"ports\":[";
  for (int n = 1; n <= 20; ++n) {
    if (n > 1) expected += ",";
    const std::string number = std::to_string(n);
    if (n == 2) {
      expected.append("{\"number\":2,\"label\":\"COM2: (").append(oddJson);
      expected.append(")\",\"present\":true,\"friendly_name\":\" (").append(oddJson);
      expected.append(")\",\"device\":\"").append(oddJson).append("\"}");
    } else {
      expected.append("{\"number\":").append(number).append(",\"label\":\"COM").append(number);
      expected.append(":\",\"present\":false,\"friendly_name\":\"\",\"device\":\"").append(File("dev"));
      expected.append("/ttyS").append(std::to_string(n - 1)).append("\"}");
    }
  }
  expected += "]}\n";
  const Result r = Run({"ports", "--json"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, expected);
}

TEST_F(CliTest, PortFailures) {
  struct Case {
    const char* name;
    link::PortFailure failure;
    std::string err;
  };
  const std::string path = File("dev") + "/ttyUSB0";
  const Case cases[] = {
      {"no such device", link::PortFailure::kNotFound,
       "Failed to read\nFailed to initialize COM port\n" + path + ": no such device\n"},
      {"no permission", link::PortFailure::kPermission,
       "Failed to read\nFailed to initialize COM port\n" + path + ": permission denied\n" +
           "Hint: only members of the group \"dialout\" may open " + path + ", and you are not one.\n" +
           "Add yourself with: sudo usermod -aG dialout $USER   then log out and in again.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    port_.FailOpen(path + (c.failure == link::PortFailure::kNotFound ? ": no such device" : ": permission denied"),
                   c.failure);
    const Result r = Run({"--port", path, "upload", File("out.cfg")});
    EXPECT_EQ(r.code, 69);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err);
    EXPECT_FALSE(std::filesystem::exists(File("out.cfg")));
  }
  // The short-trend upload reports it from its own table.
  const Result trend = Run({"--port", File("dev") + "/ttyACM3", "trend"});
  EXPECT_EQ(trend.code, 69);
  EXPECT_EQ(trend.err.substr(0, 44), "Failed to read\nFailed to initialize COM port");
}

class CliDeviceTest : public CliTest {
 protected:
  CliDeviceTest() : device_(port_) {}
  test::FakeDevice device_;
};

TEST_F(CliDeviceTest, UploadWritesTheDevicesImage) {
  device_.type_code = 40;
  device_.config = MakeImage(6200, 3, 2, 2048, 2, 35);
  const Result r = Run({"--port", "/dev/fake", "upload", File("up.cfg")});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "Reading completed\nWriting completed\n");
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(ReadWholeFile(File("up.cfg")) == AsText(device_.config));
  EXPECT_FALSE(port_.IsOpen());
}

TEST_F(CliDeviceTest, DeviceFailures) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int type_code;
    int error_after_download;
    bool silent;
    int code;
    std::string out;
    std::string err;
  };
  const Case cases[] = {
      {"device error 5",
       {"download", File("RT610X.cfg")},
       40,
       5,
       false,
       76,
       "Reading completed\n",
       "Failed to write\nDevice error (Error code: 05)\n"},
      {"device error 123",
       {"download", File("RT610X.cfg")},
       40,
       123,
       false,
       76,
       "Reading completed\n",
       "Failed to write\nDevice error (Error code: 123)\n"},
      {"type code refused for a download",
       {"download", File("RT610X.cfg")},
       30,
       0,
       false,
       75,
       "Reading completed\n",
       "Failed to write\nFailed to communicate\n"},
      {"silent device, upload",
       {"upload", File("s.cfg")},
       40,
       0,
       true,
       75,
       "",
       "Failed to read\nFailed to communicate\n"},
      {"silent device, download",
       {"download", File("RT610X.cfg")},
       40,
       0,
       true,
       75,
       "Reading completed\n",
       "Failed to write\nFailed to communicate\n"},
      {"device without short trend", {"trend"}, 10, 0, false, 65, "", "Failed to read\nUnsupported device\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    device_.type_code = c.type_code;
    device_.error_code = 0;
    device_.error_after_download = c.error_after_download;
    device_.silent = c.silent;
    device_.config = MakeImage(6200, 3, 2, 2048);
    std::vector<std::string> args = {"--port", "/dev/fake"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Result r = Run(args);
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
    EXPECT_FALSE(port_.IsOpen());
  }
  EXPECT_FALSE(std::filesystem::exists(File("s.cfg")));
}

TEST_F(CliDeviceTest, VerifyNamesTheFirstDifference) {
  // This device takes the download but keeps answering with its old image.
  device_.type_code = 40;
  device_.config = Patterned(MakeImage(6200, 3, 2, 2048), 7, 200);
  WriteWholeFile(File("own.cfg"), AsText(Patterned(MakeImage(6200, 3, 2, 2048), 13, 5)));
  const Result r = Run({"--port", "/dev/fake", "download", File("own.cfg"), "--verify"});
  EXPECT_EQ(r.code, 76);
  EXPECT_EQ(r.out, "Reading completed\nWriting completed\n");
  // Offset 32 starts the base block: the file's load wrote 0 there, the device kept 32 * 7 + 200.
  EXPECT_EQ(r.err, "Failed to verify\nThe device holds 0xA8 at offset 32 (0x0020); 0x00 was sent\n");
  EXPECT_EQ(device_.requests, (std::vector<std::string>{"G CONFIG", "S", "P CONFIG", "S", "G CONFIG"}));
}

TEST_F(CliDeviceTest, CtrlCEndsTheExchangeAndReleasesThePort) {
  device_.silent = true;
  cancel_.store(1);
  const Result r = Run({"--port", "/dev/fake", "upload", File("c.cfg")});
  EXPECT_EQ(r.code, 130);
  EXPECT_EQ(r.err, "krtcfg-cli: cancelled; the port is released\n");
  EXPECT_FALSE(port_.IsOpen());
  EXPECT_FALSE(std::filesystem::exists(File("c.cfg")));
}

}  // namespace
}  // namespace krt::cli
