// The operations every model class shares: the default image, loading an
// image of any format version into the current layout, and the merge into a
// device's image. All of them work from the field table's blocks.

#include "image/config_data.hpp"

#include <algorithm>
#include <array>

#include "image/image_layout.hpp"

namespace data {
namespace {

namespace img = krt::image;
namespace blk = krt::image::block;
using krt::BeI16;
using krt::ByteView;

struct Version {
  std::int16_t major;
  std::int16_t minor;
};

Version FormatOf(ByteView image) {
  return {BeI16(image, img::kOffFormatMajor), BeI16(image, img::kOffFormatMinor)};
}

// The block-copy steps, from S into D, both in stored order. Steps with a
// condition test D's format version, whose header is already in place.
enum class Step {
  kCommunication,
  kSymbol,
  kLegacySymbolReset,
  kPulse,
  kMixing,
  kPrg,
  kTotaliser,
  kParameterTable,
  kLanguage,
  kRangeAndKey,
};

void BaseStep(Bytes& d, ByteView s) {
  img::CopyBlock(d, s, blk::kBase);
  const Version v = FormatOf(d);
  const bool below32 = v.major < 3 || (v.major == 3 && v.minor < 2);
  // Home screen code 4 names a screen older devices do not have.
  if (below32 && BeI16(s, img::kOffHomeView) == 4) krt::SetBeU16(d, img::kOffHomeView, 0);
  if (krt::U8(s, img::kOffHomeLoop) == 0) krt::SetU8(d, img::kOffHomeLoop, 1);
}

void RunStep(Step step, Bytes& d, ByteView s) {
  const Version v = FormatOf(d);
  switch (step) {
    case Step::kCommunication:
      img::CopyBlock(d, s, blk::kCommunication);
      break;
    case Step::kSymbol:
      img::CopyBlock(d, s, blk::kSymbol);
      break;
    case Step::kLegacySymbolReset:
      // From 1.1 on the symbols live in the symbol block; the old words hold fixed values.
      img::WriteFieldDefault(d, *img::FindField("legacy_mv_symbol"));
      break;
    case Step::kPulse:
      img::CopyBlock(d, s, blk::kPulse);
      break;
    case Step::kMixing:
      img::CopyBlock(d, s, blk::kMixing);
      break;
    case Step::kPrg:
      if (v.major == 2 && v.minor >= 2) {
        krt::SetBeU16(d, img::kOffHomeView, 0);
        img::CopyBlock(d, s, blk::kPrg);
      }
      break;
    case Step::kTotaliser:
      if (v.major == 2 && v.minor >= 3) img::CopyBlock(d, s, blk::kTotaliser);
      break;
    case Step::kParameterTable:
      if (v.major >= 3) img::CopyBlock(d, s, blk::kParameterTable);
      break;
    case Step::kLanguage:
      if (v.major >= 3) img::CopyBlock(d, s, blk::kLanguage);
      break;
    case Step::kRangeAndKey:
      if (v.major >= 3) {
        img::CopyBlock(d, s, blk::kRange);
        img::CopyBlock(d, s, blk::kKey);
      }
      break;
  }
}

// The steps that follow the base step when an image of each format version is loaded.
struct LoadPlan {
  Version version;
  std::array<Step, 6> steps;
  std::size_t count;
};

constexpr Step C = Step::kCommunication, Sy = Step::kSymbol, L = Step::kLegacySymbolReset, P = Step::kPulse,
               M = Step::kMixing, Pr = Step::kPrg, T = Step::kTotaliser, Pt = Step::kParameterTable,
               La = Step::kLanguage, RK = Step::kRangeAndKey;

constexpr LoadPlan kLoadPlans[] = {
    {{1, 0}, {C}, 1},
    {{1, 1}, {C, Sy, L}, 3},
    {{2, 0}, {C, Sy, L, P}, 4},
    {{2, 1}, {C, Sy, L, M}, 4},
    {{2, 2}, {C, Sy, L, P, M, Pr}, 6},
    {{2, 3}, {C, Sy, L, M, Pr, T}, 6},
    {{3, 0}, {C, Sy, L, Pt}, 4},
    {{3, 1}, {C, Sy, L, Pt, La}, 5},
    {{3, 2}, {C, Sy, L, Pt, La, RK}, 6},
};

constexpr Step kMergeSteps[] = {Sy, P, M, Pr, T, Pt, La, RK};

}  // namespace

ConfigData::ConfigData(std::uint16_t modelCode) : model_code_(modelCode), image_(img::DefaultStoredImage()) {
  img::WriteNewHeader(image_, modelCode);
}

ConfigData::~ConfigData() = default;

int ConfigData::LoadImage(const Bytes& input) {
  const Version v = FormatOf(input);
  // Refused before anything changes: every step below may read up to the
  // format's size, and the header is copied whole.
  if (input.size() < img::kHeaderSize || input.size() < static_cast<std::size_t>(ImageSize(v.major, v.minor))) {
    return kLoadTooShort;
  }

  Bytes d = img::DefaultStoredImage();
  std::copy_n(input.begin(), img::kHeaderSize, d.begin());
  BaseStep(d, input);

  const auto plan = std::find_if(std::begin(kLoadPlans), std::end(kLoadPlans), [&](const LoadPlan& p) {
    return p.version.major == v.major && p.version.minor == v.minor;
  });
  if (plan == std::end(kLoadPlans)) {
    image_ = std::move(d);
    return kLoadUnsupported;
  }
  for (std::size_t i = 0; i < plan->count; ++i) RunStep(plan->steps[i], d, input);
  image_ = std::move(d);
  return kLoadDone;
}

int ConfigData::CopyImage(Bytes& out) const {
  out = image_;
  return 0;
}

int ConfigData::ImageSize(std::int16_t major, std::int16_t minor) const {
  return img::ImageSizeFor(major, minor);
}

int ConfigData::FullImageSize() const {
  return static_cast<int>(img::kFullImageSize);
}

int ConfigData::MergeInto(Bytes& destination, const Bytes& source, int /*sourceModelIndex*/) const {
  const Version v = FormatOf(destination);
  // The destination must hold what its format version says, the source a whole image.
  if (destination.size() < img::kHeaderSize ||
      destination.size() < static_cast<std::size_t>(ImageSize(v.major, v.minor)) ||
      source.size() < static_cast<std::size_t>(FullImageSize())) {
    return kMergeTooShort;
  }
  // Works on a copy so that a source aliasing the destination reads unmerged bytes.
  Bytes d = destination;
  BaseStep(d, source);
  for (Step step : kMergeSteps) RunStep(step, d, source);
  destination = std::move(d);
  return kMergeDone;
}

}  // namespace data
