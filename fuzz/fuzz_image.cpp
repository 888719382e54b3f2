// An image from a file or a device, as the configuration database sees it:
// validation, loading, the stored size, the merge in both roles and the
// listing of whatever loaded.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.hpp"
#include "image/bytes.hpp"
#include "image/image_layout.hpp"
#include "store/config_db.hpp"

namespace {

using krt::Bytes;
using krt::ConfigDB;
namespace img = krt::image;

constexpr int kModelIndexes[] = {0, 1, 2, 3, 4, 5, 6, 7, 9, 11};

bool SameBytes(const Bytes& a, const Bytes& b, std::size_t n) {
  return a.size() >= n && b.size() >= n && std::equal(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(n), b.begin());
}

// Every model's default image in every format version it accepts: as a
// device sends it (its version's size) and as the database copies it out
// (always 2048 bytes).
struct Partners {
  std::vector<Bytes> device;
  std::vector<Bytes> own;
};

const Partners& ValidPartners() {
  static const Partners partners = [] {
    Partners p;
    ConfigDB db;
    for (int model : kModelIndexes) {
      for (int major = 1; major <= 3; ++major) {
        for (int minor = 0; minor <= 3; ++minor) {
          if (!krt::IsVersionSupported(model, major, minor)) continue;
          Bytes image;
          db.DataForModel(model).CopyImage(image);
          krt::SetBeU16(image, img::kOffFormatMajor, static_cast<std::uint16_t>(major));
          krt::SetBeU16(image, img::kOffFormatMinor, static_cast<std::uint16_t>(minor));
          p.own.push_back(image);
          image.resize(static_cast<std::size_t>(
              db.DataForModel(model).ImageSize(static_cast<std::int16_t>(major), static_cast<std::int16_t>(minor))));
          p.device.push_back(image);
        }
      }
    }
    for (const Bytes& image : p.device) FUZZ_CHECK(db.ValidateImage(image, false, nullptr) == krt::kDbOk);
    for (const Bytes& image : p.own) FUZZ_CHECK(db.ValidateImage(image, true, nullptr) == krt::kDbOk);
    return p;
  }();
  return partners;
}

bool IsResult(int r) {
  return r == krt::kDbOk || r == krt::kDbNotAccepted || r == krt::kDbBadImage;
}

void CheckLoaded(ConfigDB& db, const Bytes& image, const krt::ValidatedImage& valid) {
  FUZZ_CHECK(db.GetModelIndex() == valid.model_index);
  int major = -1;
  int minor = -1;
  db.GetLcdVersion(major, minor);
  FUZZ_CHECK(major == valid.lcd_major && minor == valid.lcd_minor);

  Bytes copy;
  FUZZ_CHECK(db.CopyImage(copy) == 0);
  FUZZ_CHECK(copy.size() == img::kFullImageSize);
  // The loaded configuration keeps the image's own header, and its copy is
  // a whole image the merge takes as its source.
  FUZZ_CHECK(SameBytes(copy, image, img::kHeaderSize));
  FUZZ_CHECK(db.ValidateImage(copy, true, nullptr) == krt::kDbOk);
  FUZZ_CHECK(db.GetStoredSize(copy) == static_cast<int>(image.size()));

  std::string listing;
  FUZZ_CHECK(db.WriteListing(listing) == 0);
  FUZZ_CHECK(!listing.empty());
}

// Merges `own` into a copy of `device`; a refused merge leaves the device
// image as it was, a merge leaves its header alone and keeps it valid.
void CheckMerge(const ConfigDB& db, const Bytes& device, const Bytes& own) {
  const int deviceValid = db.ValidateImage(device, false, nullptr);
  const int ownValid = db.ValidateImage(own, true, nullptr);
  Bytes merged = device;
  const int r = db.MergeIntoDeviceImage(merged, own);
  FUZZ_CHECK(IsResult(r));
  if (deviceValid != krt::kDbOk) {
    FUZZ_CHECK(r == deviceValid);
  } else if (ownValid != krt::kDbOk) {
    FUZZ_CHECK(r == ownValid);
  }
  if (r != krt::kDbOk) {
    FUZZ_CHECK(merged == device);
    return;
  }
  FUZZ_CHECK(merged.size() == device.size());
  FUZZ_CHECK(SameBytes(merged, device, img::kHeaderSize));
  FUZZ_CHECK(db.ValidateImage(merged, false, nullptr) == krt::kDbOk);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Partners& partners = ValidPartners();
  const Bytes image(data, data + size);

  ConfigDB db;
  krt::ValidatedImage valid;
  const int shortValid = db.ValidateImage(image, false, &valid);
  krt::ValidatedImage whole;
  const int fullValid = db.ValidateImage(image, true, &whole);
  FUZZ_CHECK(IsResult(shortValid) && IsResult(fullValid));
  if (shortValid == krt::kDbOk) {
    FUZZ_CHECK(image.size() == img::kShortImageSize || image.size() == img::kFullImageSize);
    FUZZ_CHECK(krt::ModelIndexFromCode(krt::BeU16(image, img::kOffModelCode)) == valid.model_index);
  }
  if (fullValid == krt::kDbOk) FUZZ_CHECK(image.size() == img::kFullImageSize);

  const int stored = db.GetStoredSize(image);
  FUZZ_CHECK(stored >= 0 && static_cast<std::size_t>(stored) <= std::min(image.size(), img::kFullImageSize));
  if (shortValid == krt::kDbOk) FUZZ_CHECK(static_cast<std::size_t>(stored) == image.size());

  // A refused load changes nothing; a load from a device keeps the file name.
  FUZZ_CHECK(db.LoadFromDevice(image) == shortValid);
  FUZZ_CHECK(db.GetState() == (shortValid == krt::kDbOk ? krt::FromDevice : krt::NoData));
  if (shortValid == krt::kDbOk) CheckLoaded(db, image, valid);
  const int before = db.GetState();
  FUZZ_CHECK(db.LoadFromFile(image, "/fuzz/in.cfg") == shortValid);
  if (shortValid == krt::kDbOk) {
    FUZZ_CHECK(db.GetState() == krt::FromFile && db.GetFileName() == "/fuzz/in.cfg");
    CheckLoaded(db, image, valid);
  } else {
    FUZZ_CHECK(db.GetState() == before && db.GetFileName().empty());
    std::string listing;
    FUZZ_CHECK(db.WriteListing(listing) == -1 && listing.empty());
  }

  // The input as the device's image, and as the database's own image.
  const std::size_t pick = size % partners.device.size();
  CheckMerge(db, image, partners.own[pick]);
  CheckMerge(db, partners.device[pick], image);
  return 0;
}
