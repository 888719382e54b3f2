#include "store/settings.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <limits>
#include <optional>
#include <string>

#include "support/temp_dir.hpp"

namespace krt {
namespace {

using test::ReadWholeFile;
using test::TempDir;
using test::WriteWholeFile;

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = ::getenv(name)) old_ = old;
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(Settings, PersistedPortFromTheFile) {
  struct Case {
    const char* name;
    std::optional<std::string> file;  // nullopt: no file at all
    int port;
  };
  const Case cases[] = {
      {"first run, no file", std::nullopt, 1},
      {"empty file", "", 1},
      {"stored 7", "[RTCFG]\nCOM=7\n", 7},
      {"stored 25", "[RTCFG]\nCOM=25\n", 25},
      {"stored 0", "[RTCFG]\nCOM=0\n", 0},
      {"negative", "[RTCFG]\nCOM=-3\n", -3},
      {"blanks and CR LF", "[ RTCFG ]\r\n  COM = 12 \r\n", 12},
      {"names in another case", "[rtcfg]\ncom=4\n", 4},
      {"among other entries", "; mine\n[Other]\nCOM=9\n[RTCFG]\nX=1\nCOM=3\nY=2\n", 3},
      {"first of two entries counts", "[RTCFG]\nCOM=5\nCOM=6\n", 5},
      {"entry in another section", "[Other]\nCOM=9\n", 1},
      {"entry before any section", "COM=9\n", 1},
      {"garbled value", "[RTCFG]\nCOM=abc\n", 1},
      {"trailing letters", "[RTCFG]\nCOM=7x\n", 1},
      {"hexadecimal", "[RTCFG]\nCOM=0x10\n", 1},
      {"beyond 32 bits", "[RTCFG]\nCOM=4294967297\n", 1},
      {"empty value", "[RTCFG]\nCOM=\n", 1},
      {"binary garbage", std::string("\x00\xff[RT\x01\nCOM==\n\x80\x81", 15), 1},
      {"unterminated section", "[RTCFG\nCOM=8\n", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.File("KRTCFG.conf");
    if (c.file) WriteWholeFile(path, *c.file);
    const SettingsStore store(path);
    EXPECT_EQ(ReadPersistedPort(store), c.port);
  }
}

TEST(Settings, AFolderOrAnOversizedFileReadsAsDefaultsAndIsNeverReplaced) {
  TempDir dir;
  std::filesystem::create_directory(dir.Path() / "folder");
  SettingsStore folder(dir.File("folder"));
  EXPECT_EQ(ReadPersistedPort(folder), 1);
  EXPECT_FALSE(WritePersistedPort(folder, 3));
  EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "folder"));

  const std::string big = "[RTCFG]\nCOM=7\n" + std::string(kMaxSettingsFileSize, ';');
  WriteWholeFile(dir.File("big.conf"), big);
  SettingsStore oversized(dir.File("big.conf"));
  EXPECT_EQ(ReadPersistedPort(oversized), 1);
  EXPECT_FALSE(WritePersistedPort(oversized, 3));
  EXPECT_EQ(ReadWholeFile(dir.File("big.conf")), big);
}

TEST(Settings, FirstWriteCreatesTheFoldersAndTheFile) {
  TempDir dir;
  const std::string path = dir.File("VOLANTEC/RTCFG/KRTCFG.conf");
  SettingsStore store(path);
  ASSERT_TRUE(WritePersistedPort(store, 7));
  EXPECT_EQ(ReadWholeFile(path), "[RTCFG]\nCOM=7\n");
  EXPECT_EQ(ReadPersistedPort(SettingsStore(path)), 7);
}

TEST(Settings, WritingKeepsEverythingItDoesNotKnow) {
  struct Case {
    const char* name;
    std::string before;
    std::string after;
  };
  const Case cases[] = {
      {"value replaced in place, comments and other sections kept",
       "# written by hand\n[Window]\nX=10\n\n[RTCFG]\n; the port\nCOM=2\nExtra=yes\n\n[PortMap]\nCOM9=/tmp/sim\n",
       "# written by hand\n[Window]\nX=10\n\n[RTCFG]\n; the port\nCOM=9\nExtra=yes\n\n[PortMap]\nCOM9=/tmp/sim\n"},
      {"entry added at the end of its section, before the blank line", "[RTCFG]\nExtra=yes\n\n[PortMap]\nCOM3=/dev/x\n",
       "[RTCFG]\nExtra=yes\nCOM=9\n\n[PortMap]\nCOM3=/dev/x\n"},
      {"section added at the end", "[PortMap]\nCOM3=/dev/x", "[PortMap]\nCOM3=/dev/x\n\n[RTCFG]\nCOM=9\n"},
      {"garbled value replaced, garbage lines kept", "[RTCFG]\nCOM=abc\n\x01\x02 junk\n",
       "[RTCFG]\nCOM=9\n\x01\x02 junk\n"},
      {"spelling of the name kept", "[rtcfg]\ncom = 4\n", "[rtcfg]\ncom=9\n"},
      {"CR LF lines are written with LF", "[RTCFG]\r\nCOM=1\r\nA=b\r\n", "[RTCFG]\nCOM=9\nA=b\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.File("KRTCFG.conf");
    WriteWholeFile(path, c.before);
    SettingsStore store(path);
    ASSERT_TRUE(WritePersistedPort(store, 9));
    EXPECT_EQ(ReadWholeFile(path), c.after);
    EXPECT_EQ(ReadPersistedPort(store), 9);
  }
}

TEST(Settings, StringsAndSections) {
  TempDir dir;
  SettingsStore store(dir.File("s.conf"));
  EXPECT_FALSE(store.GetString("PortMap", "COM3"));
  ASSERT_TRUE(store.SetString("PortMap", "COM3", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0"));
  ASSERT_TRUE(store.SetString("PortMap", "COM4", "/tmp/a path; with = signs # and more"));
  EXPECT_EQ(store.GetString("portmap", "com4"), "/tmp/a path; with = signs # and more");
  const auto section = store.Section("PortMap");
  ASSERT_EQ(section.size(), 2u);
  EXPECT_EQ(section.at("COM3"), "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0");
  // A value or name that would not stay on its line is refused, and nothing changes.
  const std::string before = ReadWholeFile(store.Path());
  EXPECT_FALSE(store.SetString("PortMap", "COM5", "two\nlines"));
  EXPECT_FALSE(store.SetString("PortMap", "CO=M5", "x"));
  EXPECT_FALSE(store.SetString("Port]Map", "COM5", "x"));
  EXPECT_FALSE(store.SetString("PortMap", "", "x"));
  EXPECT_EQ(ReadWholeFile(store.Path()), before);
}

TEST(Settings, DefaultPathFollowsXdgConfigHome) {
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", "/home/u/cfg");
    EXPECT_EQ(DefaultSettingsPath(), "/home/u/cfg/VOLANTEC/RTCFG/KRTCFG.conf");
  }
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", "/home/u/cfg/");
    EXPECT_EQ(DefaultSettingsPath(), "/home/u/cfg/VOLANTEC/RTCFG/KRTCFG.conf");
  }
  // Unset, empty and relative values fall back to ~/.config.
  for (const char* value : {static_cast<const char*>(nullptr), "", "relative/dir"}) {
    SCOPED_TRACE(value == nullptr ? "unset" : value);
    ScopedEnv xdg("XDG_CONFIG_HOME", value);
    ScopedEnv home("HOME", "/home/u");
    EXPECT_EQ(DefaultSettingsPath(), "/home/u/.config/VOLANTEC/RTCFG/KRTCFG.conf");
  }
}

TEST(Settings, ParseInt32) {
  struct Case {
    const char* text;
    std::optional<int> value;
  };
  const Case cases[] = {
      {"0", 0},
      {"7", 7},
      {"+7", 7},
      {" 25 ", 25},
      {"-2147483648", std::numeric_limits<int>::min()},
      {"2147483647", std::numeric_limits<int>::max()},
      {"2147483648", std::nullopt},
      {"", std::nullopt},
      {"+", std::nullopt},
      {"1 2", std::nullopt},
      {"1.0", std::nullopt},
      {"--1", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseInt32(c.text), c.value);
  }
}

}  // namespace
}  // namespace krt
