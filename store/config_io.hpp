#pragma once
// Procedures that move a configuration between the database, parameter
// files, CSV listing files and the device.

#include <string>

#include "link/rt_com.hpp"
#include "store/config_db.hpp"

namespace krt {

class ConfigReader {
 public:
  ConfigReader(ConfigDB& db, link::RTCom& com) : db_(db), com_(com) {}
  virtual ~ConfigReader() = default;

  // 0, -1 cannot open, -3 not accepted, -4 bad image.
  int ReadCfgFile(const std::string& path);
  // 0, -3 not accepted, -4 bad image, -6 port, -7 communication.
  int Upload();

 private:
  ConfigDB& db_;
  link::RTCom& com_;
};

class ConfigWriter {
 public:
  ConfigWriter(ConfigDB& db, link::RTCom& com) : db_(db), com_(com) {}
  virtual ~ConfigWriter() = default;

  // 0, -1 cannot create, -2 writing failed, -3 nothing to write.
  int WriteCfgFile(const std::string& path);
  // 0, -3 nothing to write, -4 port, -5 communication, -7 device error
  // (deviceError set), -8 not accepted, -9 bad image.
  int Download(int& deviceError);
  // 0, -1 cannot create, -2 writing failed, -3 nothing to write.
  int ExportCsv(const std::string& path);

 private:
  ConfigDB& db_;
  link::RTCom& com_;
};

}  // namespace krt
