#pragma once
// Procedures that move a configuration between the database, parameter
// files, CSV listing files and the device.

#include <cstddef>
#include <string>

#include "link/rt_com.hpp"
#include "store/atomic_file.hpp"
#include "store/config_db.hpp"

namespace krt {

// No parameter file is longer than the largest image; reading stops one byte
// beyond it, which is enough to refuse the file (and a device node or a huge
// file given by mistake never fills the memory).
inline constexpr std::size_t kMaxCfgFileRead = 2048 + 1;

// ConfigReader results.
inline constexpr int kReadOk = 0;
inline constexpr int kReadCannotOpen = -1;
inline constexpr int kReadFailed = -2;  // the file opened but reading it failed
inline constexpr int kReadNotAccepted = -3;
inline constexpr int kReadBadImage = -4;
inline constexpr int kReadPortFailed = -6;
inline constexpr int kReadCommFailed = -7;

// ConfigWriter results.
inline constexpr int kWriteOk = 0;
inline constexpr int kWriteCannotCreate = -1;
inline constexpr int kWriteFailed = -2;
inline constexpr int kWriteNothing = -3;
inline constexpr int kWritePortFailed = -4;
inline constexpr int kWriteCommFailed = -5;
inline constexpr int kWriteDeviceError = -7;
inline constexpr int kWriteNotAccepted = -8;
inline constexpr int kWriteBadImage = -9;

class ConfigReader {
 public:
  ConfigReader(ConfigDB& db, link::RTCom& com) : db_(db), com_(com) {}
  virtual ~ConfigReader() = default;

  // 0, -1 cannot open, -2 reading failed, -3 not accepted, -4 bad image.
  int ReadCfgFile(const std::string& path);
  // 0, -3 not accepted, -4 bad image, -6 port, -7 communication.
  int Upload();

 private:
  ConfigDB& db_;
  link::RTCom& com_;
};

class ConfigWriter {
 public:
  ConfigWriter(ConfigDB& db, link::RTCom& com) : db_(db), com_(com), files_(SystemFileSystem()) {}
  // Files are written through `files` (tests make it fail).
  ConfigWriter(ConfigDB& db, link::RTCom& com, FileSystem& files) : db_(db), com_(com), files_(files) {}
  virtual ~ConfigWriter() = default;

  // 0, -1 cannot create, -2 writing failed, -3 nothing to write.
  int WriteCfgFile(const std::string& path);
  // 0, -3 nothing to write, -4 port, -5 communication, -7 device error
  // (deviceError set), -8 not accepted, -9 bad image.
  int Download(int& deviceError) { return Download(deviceError, nullptr); }
  // As above; `sent` (when given) receives exactly the bytes sent to the
  // device (its own image with the configuration merged in), once sent.
  int Download(int& deviceError, Bytes* sent);
  // 0, -1 cannot create, -2 writing failed, -3 nothing to write.
  int ExportCsv(const std::string& path);

 private:
  ConfigDB& db_;
  link::RTCom& com_;
  FileSystem& files_;
};

}  // namespace krt
