#pragma once
// The per-model configuration classes. Each object owns one 2048-byte image
// in stored order; the shared operations need no knowledge of the model.

#include <cstdint>
#include <string>

#include "image/bytes.hpp"

namespace data {

using krt::Bytes;

// LoadImage results.
inline constexpr int kLoadDone = 0;
inline constexpr int kLoadUnsupported = -1;  // format version not supported (after a partial load)
inline constexpr int kLoadTooShort = -2;     // shorter than its format's size; the image is unchanged
// MergeInto results.
inline constexpr int kMergeDone = 0;
inline constexpr int kMergeTooShort = -1;  // an image shorter than the merge needs; nothing written

class ConfigData {
 public:
  virtual ~ConfigData();
  ConfigData(const ConfigData&) = delete;
  ConfigData& operator=(const ConfigData&) = delete;

  // kLoadDone, kLoadUnsupported or kLoadTooShort.
  virtual int LoadImage(const Bytes& input);
  // Appends the configuration listing of the image; defined per model in listing/.
  virtual int WriteListing(std::string& out) const = 0;
  virtual int CopyImage(Bytes& out) const;
  virtual int ImageSize(std::int16_t major, std::int16_t minor) const;
  virtual int FullImageSize() const;
  // Writes the source's settings into the destination in the destination's
  // format version; kMergeDone or kMergeTooShort.
  virtual int MergeInto(Bytes& destination, const Bytes& source, int sourceModelIndex) const;

  std::uint16_t ModelCode() const { return model_code_; }
  const Bytes& Image() const { return image_; }

 protected:
  explicit ConfigData(std::uint16_t modelCode);

 private:
  std::uint16_t model_code_;
  Bytes image_;
};

class ConfigDataRt410 : public ConfigData {
 public:
  ConfigDataRt410() : ConfigData(100) {}
  int WriteListing(std::string& out) const override;

 protected:
  explicit ConfigDataRt410(std::uint16_t modelCode) : ConfigData(modelCode) {}
};

class ConfigDataRt411 : public ConfigDataRt410 {
 public:
  ConfigDataRt411() : ConfigDataRt410(110) {}
  int WriteListing(std::string& out) const override;
};

class ConfigDataRt610 : public ConfigData {
 public:
  ConfigDataRt610() : ConfigData(200) {}
  int WriteListing(std::string& out) const override;

 protected:
  explicit ConfigDataRt610(std::uint16_t modelCode) : ConfigData(modelCode) {}
};

class ConfigDataRt611 : public ConfigDataRt610 {
 public:
  ConfigDataRt611() : ConfigDataRt610(210) {}
  int WriteListing(std::string& out) const override;
};

class ConfigDataRt610J : public ConfigData {
 public:
  ConfigDataRt610J() : ConfigData(1200) {}
  int WriteListing(std::string& out) const override;
};

class ConfigDataRt610N : public ConfigData {
 public:
  ConfigDataRt610N() : ConfigData(2200) {}
  int WriteListing(std::string& out) const override;
};

class ConfigDataRt610L : public ConfigData {
 public:
  ConfigDataRt610L() : ConfigData(3200) {}
  int WriteListing(std::string& out) const override;
};

class ConfigDataRt610M : public ConfigData {
 public:
  ConfigDataRt610M() : ConfigData(4200) {}
  int WriteListing(std::string& out) const override;
};

class ConfigDataRt610X : public ConfigData {
 public:
  ConfigDataRt610X() : ConfigData(6200) {}
  int WriteListing(std::string& out) const override;

 protected:
  explicit ConfigDataRt610X(std::uint16_t modelCode) : ConfigData(modelCode) {}
};

class ConfigDataRt611X : public ConfigDataRt610X {
 public:
  ConfigDataRt611X() : ConfigDataRt610X(6210) {}
  int WriteListing(std::string& out) const override;
};

}  // namespace data
