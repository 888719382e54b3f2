#pragma once
// The one configuration the program works on, and the gatekeeper for every
// image that arrives from a file or a device.

#include <array>
#include <memory>
#include <string>

#include "image/bytes.hpp"
#include "image/config_data.hpp"

namespace krt {

enum DataState { NoData = 0, FromFile = 1, FromDevice = 2 };

// Database results.
inline constexpr int kDbOk = 0;
inline constexpr int kDbNotAccepted = -1;  // model code or format version not accepted
inline constexpr int kDbBadImage = -2;     // empty, too short, wrong magic or wrong size

// Model code -> model index (0..11, never 8 or 10); -1 for an unknown code.
int ModelIndexFromCode(int modelCode);
bool IsVersionSupported(int modelIndex, int major, int minor);

struct ValidatedImage {
  int model_index = 0;
  int format_major = 0;
  int format_minor = 0;
  int lcd_major = 0;
  int lcd_minor = 0;
};

class ConfigDB {
 public:
  ConfigDB();
  virtual ~ConfigDB();
  ConfigDB(const ConfigDB&) = delete;
  ConfigDB& operator=(const ConfigDB&) = delete;

  virtual int LoadFromFile(const Bytes& image, const std::string& path);
  virtual int LoadFromDevice(const Bytes& image);
  virtual int MergeIntoDeviceImage(Bytes& deviceImage, const Bytes& ownImage) const;
  virtual int WriteListing(std::string& out) const;
  virtual int CopyImage(Bytes& out) const;
  virtual int GetState() const;
  virtual std::string GetFileName() const;
  virtual int GetModelIndex() const;
  virtual void GetLcdVersion(int& major, int& minor) const;
  // 1024 or 2048 by the image's format version, never more than the image holds.
  virtual int GetStoredSize(const Bytes& image) const;

  int ValidateImage(const Bytes& image, bool fullSize, ValidatedImage* out) const;
  data::ConfigData& DataForModel(int modelIndex) const;

 private:
  int Load(const Bytes& image);

  int model_index_ = 0;
  std::string file_name_;
  data::ConfigData* current_ = nullptr;
  // In construction order: 410, 411, 610, 611, 610J, 610L, 610N, 610M, 610X, 611X.
  std::array<std::unique_ptr<data::ConfigData>, 10> models_;
  int state_ = NoData;
  int lcd_major_ = 0;
  int lcd_minor_ = 0;
};

}  // namespace krt
