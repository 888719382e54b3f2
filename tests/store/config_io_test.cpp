#include "store/config_io.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "image/image_layout.hpp"
#include "support/fake_port.hpp"
#include "support/temp_dir.hpp"
#include "support/test_images.hpp"

namespace krt {
namespace {

using test::MakeImage;
using test::ReadWholeFile;
using test::TempDir;
using test::WriteWholeFile;

std::string AsText(const Bytes& bytes) {
  return {bytes.begin(), bytes.end()};
}

// RTCom with the device operations replaced: it hands out a given image and
// records what it is asked to send.
class ScriptedCom : public link::RTCom {
 public:
  explicit ScriptedCom(link::Port& port) : RTCom(port, {}) {}

  int read_result = link::kComOk;
  Bytes device_image;
  int write_result = link::kComOk;
  int device_error = 0;

  int read_calls = 0;
  int write_calls = 0;
  Bytes sent;

  int ReadConfig(Bytes& image) override {
    ++read_calls;
    if (read_result == link::kComOk) image = device_image;
    return read_result;
  }
  int WriteConfig(const Bytes& image, int size, int* errorCode) override {
    ++write_calls;
    sent.assign(image.begin(), image.begin() + size);
    if (write_result == link::kComDeviceError && errorCode != nullptr) *errorCode = device_error;
    return write_result;
  }
  int ReadTrend(Bytes&, int*) override { return link::kComFailed; }
};

class ConfigIoTest : public ::testing::Test {
 protected:
  test::FakePort port_;
  ScriptedCom com_{port_};
  ConfigDB db_;
  ConfigReader reader_{db_, com_};
  ConfigWriter writer_{db_, com_};
  TempDir dir_;
};

// File length by format version, and how one byte more or less is refused.
TEST_F(ConfigIoTest, ParameterFileSizePerFormatVersion) {
  struct Case {
    int model_code;
    int major;
    int minor;
    std::size_t size;
  };
  const Case cases[] = {
      {200, 1, 0, 1024},  {100, 1, 1, 1024},  {1200, 2, 0, 1024}, {1200, 2, 1, 1024}, {1200, 2, 2, 2048},
      {2200, 2, 2, 2048}, {4200, 2, 3, 2048}, {210, 3, 0, 2048},  {110, 3, 1, 2048},  {6200, 3, 2, 2048},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.model_code) + " format " + std::to_string(c.major) + "." + std::to_string(c.minor));
    const Bytes image = MakeImage(c.model_code, c.major, c.minor, c.size);
    const std::string in = dir_.File("in.cfg");
    const std::string out = dir_.File("out.cfg");
    WriteWholeFile(in, AsText(image));
    ASSERT_EQ(reader_.ReadCfgFile(in), kReadOk);
    EXPECT_EQ(db_.GetState(), FromFile);
    EXPECT_EQ(db_.GetFileName(), in);
    ASSERT_EQ(writer_.WriteCfgFile(out), kWriteOk);
    EXPECT_EQ(ReadWholeFile(out), AsText(image));  // the file is the image, byte for byte

    Bytes longer = image;
    longer.push_back(0);
    WriteWholeFile(in, AsText(longer));
    EXPECT_EQ(reader_.ReadCfgFile(in), kReadBadImage);
    WriteWholeFile(in, AsText(image).substr(0, c.size - 1));
    EXPECT_EQ(reader_.ReadCfgFile(in), kReadBadImage);
  }
}

TEST_F(ConfigIoTest, ReadCfgFileRefusals) {
  std::filesystem::create_directory(dir_.Path() / "folder");
  Bytes badMagic = MakeImage(200, 3, 2, 2048);
  badMagic[3] = 0xD3;
  struct Case {
    const char* name;
    std::optional<std::string> contents;  // nullopt: no file written
    std::string path;
    int result;
  };
  const Case cases[] = {
      {"1.1 with model code 100, 1024 bytes", AsText(MakeImage(100, 1, 1, 1024)), "a.cfg", kReadOk},
      {"the same with a byte appended", AsText(MakeImage(100, 1, 1, 1024)) + '\0', "a.cfg", kReadBadImage},
      {"first 1024 bytes of a 3.2 image", AsText(MakeImage(6200, 3, 2, 2048)).substr(0, 1024), "a.cfg", kReadBadImage},
      {"empty file", "", "a.cfg", kReadBadImage},
      {"ten bytes", AsText(MakeImage(200, 3, 2, 10)), "a.cfg", kReadBadImage},
      {"wrong magic", AsText(badMagic), "a.cfg", kReadBadImage},
      {"unknown model code", AsText(MakeImage(5200, 3, 2, 2048)), "a.cfg", kReadNotAccepted},
      {"version the model does not take", AsText(MakeImage(1200, 1, 1, 1024)), "a.cfg", kReadNotAccepted},
      {"missing file", std::nullopt, "missing.cfg", kReadCannotOpen},
      {"a folder", std::nullopt, "folder", kReadCannotOpen},
      {"a file far too long", std::string(1 << 20, 'x'), "a.cfg", kReadBadImage},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir_.File(c.path);
    if (c.contents) WriteWholeFile(path, *c.contents);
    EXPECT_EQ(reader_.ReadCfgFile(path), c.result);
  }
}

TEST_F(ConfigIoTest, AFailedReadLeavesTheDatabaseAsItWas) {
  const std::string good = dir_.File("good.cfg");
  WriteWholeFile(good, AsText(MakeImage(6200, 3, 2, 2048, 2, 10)));
  ASSERT_EQ(reader_.ReadCfgFile(good), kReadOk);
  WriteWholeFile(dir_.File("bad.cfg"), "");
  EXPECT_EQ(reader_.ReadCfgFile(dir_.File("bad.cfg")), kReadBadImage);
  EXPECT_EQ(reader_.ReadCfgFile(dir_.File("none.cfg")), kReadCannotOpen);
  EXPECT_EQ(db_.GetState(), FromFile);
  EXPECT_EQ(db_.GetFileName(), good);
  EXPECT_EQ(db_.GetModelIndex(), 9);
}

TEST_F(ConfigIoTest, UnreadableFile) {
  const std::string path = dir_.File("secret.cfg");
  WriteWholeFile(path, AsText(MakeImage(200, 3, 2, 2048)));
  ASSERT_EQ(::chmod(path.c_str(), 0), 0);
  if (::access(path.c_str(), R_OK) == 0) GTEST_SKIP() << "this user reads any file (root)";
  EXPECT_EQ(reader_.ReadCfgFile(path), kReadCannotOpen);
}

TEST_F(ConfigIoTest, Upload) {
  struct Case {
    const char* name;
    int com_result;
    Bytes image;
    int result;
  };
  const Case cases[] = {
      {"1024-byte upload of format 1.1", link::kComOk, MakeImage(100, 1, 1, 1024), kReadOk},
      {"2048 bytes of format 1.1", link::kComOk, MakeImage(100, 1, 1, 2048), kReadBadImage},
      {"nothing received", link::kComOk, {}, kReadBadImage},
      {"unknown model", link::kComOk, MakeImage(5200, 3, 2, 2048), kReadNotAccepted},
      {"port cannot be opened", link::kComPortFailed, {}, kReadPortFailed},
      {"communication failed", link::kComFailed, {}, kReadCommFailed},
      {"any other failure", -3, {}, kReadPortFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ConfigDB db;
    ConfigReader reader(db, com_);
    com_.read_result = c.com_result;
    com_.device_image = c.image;
    EXPECT_EQ(reader.Upload(), c.result);
    EXPECT_EQ(db.GetState(), c.result == kReadOk ? FromDevice : NoData);
  }
}

TEST_F(ConfigIoTest, A1024ByteUploadIsWrittenAsA1024ByteFile) {
  com_.device_image = MakeImage(100, 1, 1, 1024);
  ASSERT_EQ(reader_.Upload(), kReadOk);
  const std::string out = dir_.File("KRT410.cfg");
  ASSERT_EQ(writer_.WriteCfgFile(out), kWriteOk);
  EXPECT_EQ(std::filesystem::file_size(out), 1024u);
  EXPECT_EQ(ReadWholeFile(out), AsText(com_.device_image));
}

TEST_F(ConfigIoTest, NothingIsTouchedWithoutAConfiguration) {
  const std::string cfg = dir_.File("out.cfg");
  const std::string csv = dir_.File("out.csv");
  WriteWholeFile(csv, "previous");
  int deviceError = 77;
  EXPECT_EQ(writer_.WriteCfgFile(cfg), kWriteNothing);
  EXPECT_EQ(writer_.ExportCsv(csv), kWriteNothing);
  EXPECT_EQ(writer_.Download(deviceError), kWriteNothing);
  EXPECT_FALSE(std::filesystem::exists(cfg));
  EXPECT_EQ(ReadWholeFile(csv), "previous");
  EXPECT_EQ(com_.read_calls, 0);
  EXPECT_EQ(com_.write_calls, 0);
  EXPECT_EQ(deviceError, 77);
}

TEST_F(ConfigIoTest, WriteCfgFileErrors) {
  com_.device_image = MakeImage(6200, 3, 2, 2048);
  ASSERT_EQ(reader_.Upload(), kReadOk);
  std::filesystem::create_directory(dir_.Path() / "folder");
  EXPECT_EQ(writer_.WriteCfgFile(dir_.File("missing/out.cfg")), kWriteCannotCreate);
  EXPECT_EQ(writer_.WriteCfgFile(dir_.File("folder")), kWriteCannotCreate);

  const auto locked = dir_.Path() / "locked";
  std::filesystem::create_directory(locked);
  ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
  if (::access(locked.c_str(), W_OK) != 0) {
    EXPECT_EQ(writer_.WriteCfgFile((locked / "out.cfg").string()), kWriteCannotCreate);
  }
}

// A disk that fills up in the middle of the file.
class FullDisk : public FileSystem {
 public:
  ssize_t Write(int fd, const void* data, std::size_t size) override {
    if (done_ >= 512) {
      errno = ENOSPC;
      return -1;
    }
    const ssize_t n = FileSystem::Write(fd, data, std::min<std::size_t>(size, 512 - done_));
    if (n > 0) done_ += static_cast<std::size_t>(n);
    return n;
  }

 private:
  std::size_t done_ = 0;
};

TEST_F(ConfigIoTest, AFailedWriteKeepsThePreviousFile) {
  com_.device_image = MakeImage(6200, 3, 2, 2048);
  ASSERT_EQ(reader_.Upload(), kReadOk);
  const std::string cfg = dir_.File("RT610X.cfg");
  const std::string csv = dir_.File("RT610X.csv");
  const std::string previous(2048, '\xA5');
  WriteWholeFile(cfg, previous);
  WriteWholeFile(csv, previous);
  {
    FullDisk disk;
    ConfigWriter writer(db_, com_, disk);
    EXPECT_EQ(writer.WriteCfgFile(cfg), kWriteFailed);
  }
  {
    FullDisk disk;
    ConfigWriter writer(db_, com_, disk);
    EXPECT_EQ(writer.ExportCsv(csv), kWriteFailed);
  }
  EXPECT_EQ(ReadWholeFile(cfg), previous);
  EXPECT_EQ(ReadWholeFile(csv), previous);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.Path()), {}), 2);
}

TEST_F(ConfigIoTest, ExportCsvWritesTheListingWithCrLf) {
  com_.device_image = MakeImage(6200, 3, 2, 2048);
  ASSERT_EQ(reader_.Upload(), kReadOk);
  std::string listing;
  ASSERT_EQ(db_.WriteListing(listing), 0);
  ASSERT_FALSE(listing.empty());
  ASSERT_EQ(listing.find('\r'), std::string::npos);

  const std::string csv = dir_.File("RT610X.csv");
  WriteWholeFile(csv, "an older listing");
  ASSERT_EQ(writer_.ExportCsv(csv), kWriteOk);
  const std::string file = ReadWholeFile(csv);
  // Every line ends in CR LF, there is no byte-order mark, and dropping the
  // CRs gives the listing back.
  std::size_t lines = 0;
  for (std::size_t i = 0; i < file.size(); ++i) {
    if (file[i] != '\n') continue;
    ++lines;
    ASSERT_GT(i, 0u);
    EXPECT_EQ(file[i - 1], '\r') << "at byte " << i;
  }
  EXPECT_EQ(lines, static_cast<std::size_t>(std::count(listing.begin(), listing.end(), '\n')));
  EXPECT_NE(file.substr(0, 3), "\xEF\xBB\xBF");
  std::string withoutCr = file;
  withoutCr.erase(std::remove(withoutCr.begin(), withoutCr.end(), '\r'), withoutCr.end());
  EXPECT_EQ(withoutCr, listing);
  EXPECT_EQ(writer_.ExportCsv(dir_.File("missing/x.csv")), kWriteCannotCreate);
}

class DownloadTest : public ConfigIoTest {
 protected:
  void SetUp() override {
    com_.device_image = MakeImage(6200, 3, 2, 2048, 1, 50);
    const std::string in = dir_.File("own.cfg");
    WriteWholeFile(in, AsText(MakeImage(6200, 3, 2, 2048)));
    ASSERT_EQ(reader_.ReadCfgFile(in), kReadOk);
  }
};

TEST_F(DownloadTest, ResultsOfBothDeviceExchanges) {
  Bytes wrongSize = MakeImage(6200, 3, 2, 1024);
  struct Case {
    const char* name;
    int read_result;
    Bytes device_image;
    int write_result;
    int result;
    int writes;  // images sent
  };
  const Case cases[] = {
      {"success", link::kComOk, MakeImage(6200, 3, 2, 2048), link::kComOk, kWriteOk, 1},
      {"port cannot be opened for the upload", link::kComPortFailed, {}, link::kComOk, kWritePortFailed, 0},
      {"upload fails", link::kComFailed, {}, link::kComOk, kWriteCommFailed, 0},
      {"device image with unknown model", link::kComOk, MakeImage(5200, 3, 2, 2048), link::kComOk, kWriteNotAccepted,
       0},
      {"device image of a version its model does not take", link::kComOk, MakeImage(6200, 3, 1, 2048), link::kComOk,
       kWriteNotAccepted, 0},
      {"device image of the wrong size", link::kComOk, wrongSize, link::kComOk, kWriteBadImage, 0},
      {"empty device image", link::kComOk, {}, link::kComOk, kWriteBadImage, 0},
      {"port cannot be opened for the download", link::kComOk, MakeImage(6200, 3, 2, 2048), link::kComPortFailed,
       kWritePortFailed, 1},
      {"download fails", link::kComOk, MakeImage(6200, 3, 2, 2048), link::kComFailed, kWriteCommFailed, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    com_.read_result = c.read_result;
    com_.device_image = c.device_image;
    com_.write_result = c.write_result;
    com_.write_calls = 0;
    int deviceError = 77;
    EXPECT_EQ(writer_.Download(deviceError), c.result);
    EXPECT_EQ(com_.write_calls, c.writes);
    EXPECT_EQ(deviceError, 77);  // written only with a device error
  }
}

TEST_F(DownloadTest, DeviceError3) {
  com_.write_result = link::kComDeviceError;
  com_.device_error = 3;
  int deviceError = 0;
  EXPECT_EQ(writer_.Download(deviceError), kWriteDeviceError);
  EXPECT_EQ(deviceError, 3);
}

// The bytes of `image` in [first, last], for readable comparisons.
Bytes Range(const Bytes& image, std::size_t first, std::size_t last) {
  return Bytes(image.begin() + static_cast<std::ptrdiff_t>(first),
               image.begin() + static_cast<std::ptrdiff_t>(last + 1));
}

// Two images that differ in every byte of the body.
Bytes Patterned(Bytes image, int factor, int offset) {
  for (std::size_t i = 32; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * factor + offset);
  return image;
}

TEST_F(ConfigIoTest, TheDeviceReceivesItsOwnImageWithTheConfigurationMergedIn) {
  struct Case {
    const char* name;
    Bytes device;
    std::vector<std::pair<std::size_t, std::size_t>> from_own;  // inclusive ranges
  };
  const std::vector<std::pair<std::size_t, std::size_t>> full = {
      {32, 66}, {68, 112}, {114, 121}, {148, 179}, {183, 192}, {200, 223}, {288, 1408}, {1410, 1411}, {1652, 1663}};
  std::vector<std::pair<std::size_t, std::size_t>> withRanges = full;
  for (std::size_t k = 0; k < 40; ++k) withRanges.push_back({1412 + 6 * k, 1412 + 6 * k + 4});
  const Case cases[] = {
      {"RT610X device of format 3.2", Patterned(MakeImage(6200, 3, 2, 2048, 1, 50), 7, 200), withRanges},
      {"KRT610 device of format 1.1 (1024 bytes)",
       Patterned(MakeImage(200, 1, 1, 1024, 1, 0), 7, 200),
       {{32, 66}, {68, 112}, {114, 121}, {148, 179}, {183, 192}, {200, 223}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The configuration: a KRT610 file of format 3.2 with its own values everywhere.
    ConfigDB db;
    ConfigReader reader(db, com_);
    ConfigWriter writer(db, com_);
    const std::string in = dir_.File("own.cfg");
    WriteWholeFile(in, AsText(Patterned(MakeImage(200, 3, 2, 2048), 13, 5)));
    ASSERT_EQ(reader.ReadCfgFile(in), kReadOk);
    Bytes own;
    ASSERT_EQ(db.CopyImage(own), 0);

    com_.device_image = c.device;
    com_.write_result = link::kComOk;
    int deviceError = 0;
    Bytes reported;
    ASSERT_EQ(writer.Download(deviceError, &reported), kWriteOk);
    const Bytes& sent = com_.sent;
    ASSERT_EQ(sent.size(), c.device.size());
    EXPECT_EQ(reported, sent);

    std::vector<bool> fromOwn(sent.size(), false);
    for (const auto& [first, last] : c.from_own) {
      SCOPED_TRACE("own bytes " + std::to_string(first) + " to " + std::to_string(last));
      EXPECT_EQ(Range(sent, first, last), Range(own, first, last));
      for (std::size_t i = first; i <= last; ++i) fromOwn[i] = true;
    }
    // Everything else, the header and the communication block included, is the device's.
    for (std::size_t i = 0; i < sent.size(); ++i) {
      if (!fromOwn[i]) {
        EXPECT_EQ(sent[i], c.device[i]) << "device byte " << i;
      }
    }
    EXPECT_EQ(Range(sent, 0, 31), Range(c.device, 0, 31));
    EXPECT_EQ(Range(sent, 122, 147), Range(c.device, 122, 147));
  }
}

}  // namespace
}  // namespace krt
