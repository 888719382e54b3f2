// The configuration database: validates every incoming image, keeps the
// model, source and LCD version of the loaded one, and merges it into a
// device's image before a download.

#include "store/config_db.hpp"

#include <algorithm>

#include "image/image_layout.hpp"

namespace krt {
namespace {

struct ModelEntry {
  int code;
  int index;
  int slot;  // position in ConfigDB::models_
};

// Model code, model index and the object that holds that model's image.
constexpr ModelEntry kModels[] = {
    {100, 0, 0},  {200, 1, 2},  {110, 2, 1},  {210, 3, 3},  {1200, 4, 4},
    {2200, 5, 6}, {3200, 6, 5}, {4200, 7, 7}, {6200, 9, 8}, {6210, 11, 9},
};

struct VersionEntry {
  int model_index;
  int major;
  int minor;
};

// The only format versions each model accepts.
constexpr VersionEntry kAcceptedVersions[] = {
    {0, 1, 1}, {0, 3, 0},  {0, 3, 1}, {0, 3, 2},             // KRT410
    {2, 1, 1}, {2, 3, 0},  {2, 3, 1}, {2, 3, 2},             // KRT411
    {3, 1, 1}, {3, 3, 0},  {3, 3, 1}, {3, 3, 2},             // KRT611
    {1, 1, 0}, {1, 1, 1},  {1, 3, 0}, {1, 3, 1}, {1, 3, 2},  // KRT610
    {4, 2, 0}, {4, 2, 1},  {4, 2, 2},                        // RT610J
    {5, 2, 2},                                               // RT610N
    {6, 3, 2},                                               // RT610L
    {7, 2, 3},                                               // RT610M
    {9, 3, 2}, {11, 3, 2},                                   // RT610X, RT611X
};

struct Header {
  std::uint32_t magic;
  std::int16_t model_code;
  std::int16_t format_major;
  std::int16_t format_minor;
  std::int16_t lcd_major;
  std::int16_t lcd_minor;
};

Header DecodeHeader(ByteView image) {
  return {BeU32(image, image::kOffMagic),       BeI16(image, image::kOffModelCode),
          BeI16(image, image::kOffFormatMajor), BeI16(image, image::kOffFormatMinor),
          BeI16(image, image::kOffLcdMajor),    BeI16(image, image::kOffLcdMinor)};
}

}  // namespace

int ModelIndexFromCode(int modelCode) {
  for (const ModelEntry& m : kModels) {
    if (m.code == modelCode) return m.index;
  }
  return -1;
}

bool IsVersionSupported(int modelIndex, int major, int minor) {
  for (const VersionEntry& v : kAcceptedVersions) {
    if (v.model_index == modelIndex && v.major == major && v.minor == minor) return true;
  }
  return false;
}

ConfigDB::ConfigDB() {
  models_[0] = std::make_unique<data::ConfigDataRt410>();
  models_[1] = std::make_unique<data::ConfigDataRt411>();
  models_[2] = std::make_unique<data::ConfigDataRt610>();
  models_[3] = std::make_unique<data::ConfigDataRt611>();
  models_[4] = std::make_unique<data::ConfigDataRt610J>();
  models_[5] = std::make_unique<data::ConfigDataRt610L>();
  models_[6] = std::make_unique<data::ConfigDataRt610N>();
  models_[7] = std::make_unique<data::ConfigDataRt610M>();
  models_[8] = std::make_unique<data::ConfigDataRt610X>();
  models_[9] = std::make_unique<data::ConfigDataRt611X>();
}

ConfigDB::~ConfigDB() {
  // Destroyed in the order they were made.
  for (auto& model : models_) model.reset();
}

data::ConfigData& ConfigDB::DataForModel(int modelIndex) const {
  for (const ModelEntry& m : kModels) {
    if (m.index == modelIndex) return *models_[static_cast<std::size_t>(m.slot)];
  }
  return *models_[0];
}

int ConfigDB::ValidateImage(const Bytes& image, bool fullSize, ValidatedImage* out) const {
  if (image.empty()) return kDbBadImage;
  if (image.size() < image::kHeaderSize) return kDbBadImage;
  const Header h = DecodeHeader(image);
  if (h.magic != image::kMagic) return kDbBadImage;

  const int modelIndex = ModelIndexFromCode(h.model_code);
  if (modelIndex < 0) return kDbNotAccepted;

  const data::ConfigData& model = DataForModel(modelIndex);
  const int expected = fullSize ? model.FullImageSize() : model.ImageSize(h.format_major, h.format_minor);
  if (image.size() != static_cast<std::size_t>(expected)) return kDbBadImage;

  if (!IsVersionSupported(modelIndex, h.format_major, h.format_minor)) return kDbNotAccepted;

  if (out != nullptr) {
    out->model_index = modelIndex;
    out->format_major = h.format_major;
    out->format_minor = h.format_minor;
    // Format 1.0 predates the LCD version words; such devices are LCD 1.0.
    const bool format10 = h.format_major == 1 && h.format_minor == 0;
    out->lcd_major = format10 ? 1 : h.lcd_major;
    out->lcd_minor = format10 ? 0 : h.lcd_minor / 10;
  }
  return kDbOk;
}

int ConfigDB::Load(const Bytes& image) {
  ValidatedImage v;
  const int rc = ValidateImage(image, false, &v);
  if (rc != kDbOk) return rc;
  model_index_ = v.model_index;
  lcd_major_ = v.lcd_major;
  lcd_minor_ = v.lcd_minor;
  current_ = &DataForModel(model_index_);
  // Every version that passed validation is one LoadImage knows.
  current_->LoadImage(image);
  return kDbOk;
}

int ConfigDB::LoadFromFile(const Bytes& image, const std::string& path) {
  const int rc = Load(image);
  if (rc != kDbOk) return rc;
  file_name_ = path;
  state_ = FromFile;
  return kDbOk;
}

int ConfigDB::LoadFromDevice(const Bytes& image) {
  const int rc = Load(image);
  if (rc != kDbOk) return rc;
  state_ = FromDevice;
  return kDbOk;
}

int ConfigDB::MergeIntoDeviceImage(Bytes& deviceImage, const Bytes& ownImage) const {
  ValidatedImage device;
  int rc = ValidateImage(deviceImage, false, &device);
  if (rc != kDbOk) return rc;
  ValidatedImage own;
  rc = ValidateImage(ownImage, true, &own);
  if (rc != kDbOk) return rc;
  if (DataForModel(device.model_index).MergeInto(deviceImage, ownImage, own.model_index) < 0) return kDbNotAccepted;
  return kDbOk;
}

int ConfigDB::WriteListing(std::string& out) const {
  if (state_ == NoData || current_ == nullptr) return -1;
  const int rc = current_->WriteListing(out);
  return rc < 0 ? rc : 0;
}

int ConfigDB::CopyImage(Bytes& out) const {
  if (state_ == NoData || current_ == nullptr) return -1;
  current_->CopyImage(out);
  return 0;
}

int ConfigDB::GetState() const {
  return state_;
}

std::string ConfigDB::GetFileName() const {
  return file_name_;
}

int ConfigDB::GetModelIndex() const {
  return model_index_;
}

void ConfigDB::GetLcdVersion(int& major, int& minor) const {
  major = lcd_major_;
  minor = lcd_minor_;
}

int ConfigDB::GetStoredSize(const Bytes& image) const {
  const Header h = DecodeHeader(image);
  const data::ConfigData& model = DataForModel(ModelIndexFromCode(h.model_code));
  const bool full = (h.format_major == 2 && h.format_minor >= 2) || h.format_major >= 3;
  const int size = full ? model.FullImageSize() : static_cast<int>(image::kShortImageSize);
  // Callers cut the image to this size; an image that was never validated
  // must not send them past its end.
  return std::min(size, static_cast<int>(std::min(image.size(), image::kFullImageSize)));
}

}  // namespace krt
