// The model classes: new objects, loading every format version, merging
// into a device image, and refusing images too short for what they claim.

#include "image/config_data.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "image/image_layout.hpp"

namespace data {
namespace {

using krt::image::kFullImageSize;

struct Span {
  std::size_t begin;
  std::size_t end;  // one past the last byte
};
using Spans = std::vector<Span>;

// Byte ranges of the blocks, written out from the block table.
const Spans kBase = {{32, 67}, {68, 113}, {114, 122}};
const Spans kComm = {{122, 123}, {124, 127}, {128, 148}};
const Spans kSymbol = {{148, 160}};
const Spans kPulse = {{160, 180}, {183, 193}};
const Spans kMixing = {{200, 224}};
const Spans kTotaliser = {{240, 270}};
const Spans kPrg = {{1654, 1656}};
const Spans kTable = {{288, 1409}};
const Spans kLanguage = {{1410, 1412}};
const Spans kKey = {{1652, 1664}};
Spans RangeRecords() {
  Spans s;
  for (std::size_t k = 0; k < 40; ++k) s.push_back({1412 + 6 * k, 1412 + 6 * k + 5});
  return s;
}

Spans Join(std::initializer_list<Spans> parts) {
  Spans out;
  for (const Spans& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

bool Inside(const Spans& spans, std::size_t off) {
  for (const Span& s : spans) {
    if (off >= s.begin && off < s.end) return true;
  }
  return false;
}

Bytes Pattern(std::size_t size, unsigned mul, unsigned add) {
  Bytes b(size);
  for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(i * mul + add);
  return b;
}

void SetHeader(Bytes& image, std::uint16_t modelCode, std::int16_t major, std::int16_t minor) {
  krt::SetBeU32(image, 0, krt::image::kMagic);
  krt::SetBeU16(image, 6, modelCode);
  krt::SetBeU16(image, 8, static_cast<std::uint16_t>(major));
  krt::SetBeU16(image, 10, static_cast<std::uint16_t>(minor));
}

// An input image of the given format whose every byte differs from its neighbours.
Bytes Input(std::int16_t major, std::int16_t minor) {
  Bytes image = Pattern(static_cast<std::size_t>(krt::image::ImageSizeFor(major, minor)), 31, 7);
  SetHeader(image, 200, major, minor);
  return image;
}

std::vector<std::unique_ptr<ConfigData>> AllModels() {
  std::vector<std::unique_ptr<ConfigData>> m;
  m.push_back(std::make_unique<ConfigDataRt410>());
  m.push_back(std::make_unique<ConfigDataRt411>());
  m.push_back(std::make_unique<ConfigDataRt610>());
  m.push_back(std::make_unique<ConfigDataRt611>());
  m.push_back(std::make_unique<ConfigDataRt610J>());
  m.push_back(std::make_unique<ConfigDataRt610N>());
  m.push_back(std::make_unique<ConfigDataRt610L>());
  m.push_back(std::make_unique<ConfigDataRt610M>());
  m.push_back(std::make_unique<ConfigDataRt610X>());
  m.push_back(std::make_unique<ConfigDataRt611X>());
  return m;
}

TEST(ConfigData, NewObjectHoldsTheDefaultImageWithItsOwnHeader) {
  const std::uint16_t kCodes[] = {100, 110, 200, 210, 1200, 2200, 3200, 4200, 6200, 6210};
  const auto models = AllModels();
  const Bytes defaults = krt::image::DefaultStoredImage();
  for (std::size_t i = 0; i < models.size(); ++i) {
    SCOPED_TRACE("model code " + std::to_string(kCodes[i]));
    const ConfigData& m = *models[i];
    EXPECT_EQ(m.ModelCode(), kCodes[i]);
    const Bytes& image = m.Image();
    ASSERT_EQ(image.size(), kFullImageSize);
    const Bytes header = {0x49,
                          0x96,
                          0x02,
                          0xD2,
                          0x00,
                          0x20,
                          static_cast<std::uint8_t>(kCodes[i] >> 8),
                          static_cast<std::uint8_t>(kCodes[i] & 0xFF),
                          0x00,
                          0x03,
                          0x00,
                          0x02,
                          0,
                          0,
                          0,
                          0};
    EXPECT_EQ(Bytes(image.begin(), image.begin() + 16), header);
    EXPECT_EQ(Bytes(image.begin() + 16, image.begin() + 32), Bytes(16, 0));
    EXPECT_TRUE(std::equal(image.begin() + 32, image.end(), defaults.begin() + 32));
    // A few body samples straight from the field table.
    EXPECT_EQ(image[41], 0x04);  // backlight
    EXPECT_EQ(image[53], 0xFA);  // bargraph PV1 normal
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&image[291]), 5), std::string("Name\0", 5));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&image[307]), 5), std::string("Unit\0", 5));
    EXPECT_EQ(image[1655], 0x01);  // prg_indicator

    Bytes copy;
    EXPECT_EQ(m.CopyImage(copy), 0);
    EXPECT_EQ(copy, image);
    EXPECT_EQ(m.FullImageSize(), 2048);
  }
}

TEST(ConfigData, ImageSizeFollowsTheFormatVersion) {
  ConfigDataRt610J m;
  const struct {
    std::int16_t major, minor;
    int size;
  } kCases[] = {{2, 1, 1024}, {2, 2, 2048}, {1, 9, 1024}, {3, 0, 2048}, {1, 0, 1024}, {2, 3, 2048}, {-3, 9, 1024}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor));
    EXPECT_EQ(m.ImageSize(c.major, c.minor), c.size);
  }
}

struct LoadCase {
  std::int16_t major, minor;
  Spans carried;        // body bytes taken from the input
  bool legacy_reset;    // 32..39 become 2, 3, 2, 3
  bool home_view_zero;  // 110..111 become 0
};

TEST(LoadImage, TakesTheBlocksOfEachFormatVersionAndKeepsDefaultsElsewhere) {
  const Spans range = RangeRecords();
  const LoadCase kCases[] = {
      {1, 0, Join({kBase, kComm}), false, false},
      {1, 1, Join({kBase, kComm, kSymbol}), true, false},
      {2, 0, Join({kBase, kComm, kSymbol, kPulse}), true, false},
      {2, 1, Join({kBase, kComm, kSymbol, kMixing}), true, false},
      {2, 2, Join({kBase, kComm, kSymbol, kPulse, kMixing, kPrg}), true, true},
      {2, 3, Join({kBase, kComm, kSymbol, kMixing, kPrg, kTotaliser}), true, true},
      {3, 0, Join({kBase, kComm, kSymbol, kTable}), true, false},
      {3, 1, Join({kBase, kComm, kSymbol, kTable, kLanguage}), true, false},
      {3, 2, Join({kBase, kComm, kSymbol, kTable, kLanguage, range, kKey}), true, false},
  };
  const Bytes defaults = krt::image::DefaultStoredImage();
  for (const LoadCase& c : kCases) {
    SCOPED_TRACE("format " + std::to_string(c.major) + "." + std::to_string(c.minor));
    const Bytes input = Input(c.major, c.minor);
    ConfigDataRt611X m;
    ASSERT_EQ(m.LoadImage(input), 0);
    const Bytes& image = m.Image();
    ASSERT_EQ(image.size(), kFullImageSize);
    // The whole header is the input's, reserved bytes included.
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 32, input.begin()));
    for (std::size_t off = 32; off < kFullImageSize; ++off) {
      std::uint8_t expected = Inside(c.carried, off) ? input[off] : defaults[off];
      if (c.legacy_reset && off >= 32 && off < 40) expected = (off % 2 == 0) ? 0 : (off % 4 == 1 ? 2 : 3);
      if (c.home_view_zero && (off == 110 || off == 111)) expected = 0;
      ASSERT_EQ(image[off], expected) << "offset " << off;
    }
  }
}

TEST(LoadImage, Format10KeepsItsSymbolsAt32AndDefaultsAt148) {
  Bytes input = Input(1, 0);
  const Bytes symbols = {0, 7, 0, 8, 0, 9, 0, 10};
  std::copy(symbols.begin(), symbols.end(), input.begin() + 32);
  ConfigDataRt610 m;
  ASSERT_EQ(m.LoadImage(input), 0);
  EXPECT_EQ(Bytes(m.Image().begin() + 32, m.Image().begin() + 40), symbols);
  EXPECT_EQ(Bytes(m.Image().begin() + 148, m.Image().begin() + 160), (Bytes{0, 2, 0, 3, 0, 2, 0, 3, 0, 0, 0, 0}));

  // The same bytes read as format 1.1 lose the old words and take 148 onwards.
  krt::SetBeU16(input, 10, 1);
  ASSERT_EQ(m.LoadImage(input), 0);
  EXPECT_EQ(Bytes(m.Image().begin() + 32, m.Image().begin() + 40), (Bytes{0, 2, 0, 3, 0, 2, 0, 3}));
  EXPECT_TRUE(std::equal(m.Image().begin() + 148, m.Image().begin() + 160, input.begin() + 148));
}

TEST(LoadImage, HomeViewAndHomeLoopRules) {
  const struct {
    std::int16_t major, minor;
    std::uint16_t home_view;
    std::uint8_t home_loop;
    std::uint16_t want_view;
    std::uint8_t want_loop;
  } kCases[] = {
      {3, 1, 4, 2, 0, 2}, {3, 2, 4, 2, 4, 2}, {1, 1, 4, 1, 0, 1}, {3, 0, 5, 1, 5, 1}, {2, 0, 3, 2, 3, 2},
      {2, 1, 4, 1, 0, 1}, {2, 2, 3, 1, 0, 1}, {2, 3, 1, 1, 0, 1}, {3, 2, 7, 0, 7, 1}, {1, 0, 2, 0, 2, 1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE("format " + std::to_string(c.major) + "." + std::to_string(c.minor) + " home_view " +
                 std::to_string(c.home_view) + " home_loop " + std::to_string(c.home_loop));
    Bytes input = Input(c.major, c.minor);
    krt::SetBeU16(input, 110, c.home_view);
    input[112] = c.home_loop;
    ConfigDataRt610L m;
    ASSERT_EQ(m.LoadImage(input), 0);
    EXPECT_EQ(krt::BeU16(m.Image(), 110), c.want_view);
    EXPECT_EQ(m.Image()[112], c.want_loop);
  }
}

TEST(LoadImage, PrgIndicatorComesOnlyWithFormats22And23) {
  const struct {
    std::int16_t major, minor;
    std::uint16_t want;
  } kCases[] = {{2, 0, 1}, {2, 1, 1}, {2, 2, 0x1234}, {2, 3, 0x1234}, {3, 0, 1}, {3, 2, 0x1234}};
  for (const auto& c : kCases) {
    SCOPED_TRACE("format " + std::to_string(c.major) + "." + std::to_string(c.minor));
    Bytes input = Input(c.major, c.minor);
    krt::SetBeU16(input, 1654, 0x1234);  // lands only in images of 2048 bytes
    ConfigDataRt610J m;
    ASSERT_EQ(m.LoadImage(input), 0);
    EXPECT_EQ(krt::BeU16(m.Image(), 1654), c.want);
  }
}

TEST(LoadImage, UnsupportedFormatKeepsDefaultsBehindHeaderAndBase) {
  const struct { std::int16_t major, minor; } kCases[] = {{1, 2}, {4, 0}, {0, 0}, {2, 4}, {-1, 0}, {3, 3}};
  const Bytes defaults = krt::image::DefaultStoredImage();
  for (const auto& c : kCases) {
    SCOPED_TRACE("format " + std::to_string(c.major) + "." + std::to_string(c.minor));
    const Bytes input = Input(c.major, c.minor);
    ConfigDataRt410 m;
    EXPECT_EQ(m.LoadImage(input), kLoadUnsupported);
    const Bytes& image = m.Image();
    ASSERT_EQ(image.size(), kFullImageSize);
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 32, input.begin()));
    for (std::size_t off = 32; off < kFullImageSize; ++off) {
      ASSERT_EQ(image[off], Inside(kBase, off) ? input[off] : defaults[off]) << "offset " << off;
    }
  }
}

TEST(LoadImage, TextsWithoutTerminatorAreCopiedByteForByte) {
  Bytes input = Input(3, 2);
  const std::size_t rec5 = 288 + 28 * 5;
  std::fill_n(input.begin() + rec5 + 3, 11, 'A');  // name fills its field
  std::fill_n(input.begin() + rec5 + 19, 9, 'B');  // unit fills its field, up to the next record
  const std::string tenChars = "ABCDEFGHIJ";
  std::copy(tenChars.begin(), tenChars.end(), input.begin() + 288 + 3);
  input[288 + 13] = 0;
  ConfigDataRt610X m;
  ASSERT_EQ(m.LoadImage(input), 0);
  EXPECT_TRUE(std::equal(m.Image().begin() + 288, m.Image().begin() + 1409, input.begin() + 288));
  EXPECT_EQ(krt::TextField(m.Image(), rec5 + 3, 11), std::string(11, 'A'));
  EXPECT_EQ(krt::TextField(m.Image(), rec5 + 19, 9), std::string(9, 'B'));
  EXPECT_EQ(krt::TextField(m.Image(), 288 + 3, 11), tenChars);
}

TEST(LoadImage, RefusesInputsShorterThanTheirFormatAndChangesNothing) {
  const struct {
    std::size_t size;
    std::int16_t major, minor;
  } kCases[] = {{0, 3, 2}, {10, 3, 2}, {31, 1, 1}, {32, 1, 1}, {1023, 1, 1}, {1024, 3, 2}, {2047, 2, 2}};
  for (const auto& c : kCases) {
    SCOPED_TRACE("size " + std::to_string(c.size));
    Bytes input = Pattern(c.size, 31, 7);
    SetHeader(input, 200, c.major, c.minor);
    ConfigDataRt610 m;
    const Bytes before = m.Image();
    EXPECT_EQ(m.LoadImage(input), kLoadTooShort);
    EXPECT_EQ(m.Image(), before);
  }
}

TEST(LoadImage, IgnoresBytesBeyondTheImage) {
  Bytes input = Input(3, 2);
  Bytes longer = input;
  longer.push_back(0xEE);
  ConfigDataRt610 a;
  ConfigDataRt610 b;
  ASSERT_EQ(a.LoadImage(input), 0);
  ASSERT_EQ(b.LoadImage(longer), 0);
  EXPECT_EQ(a.Image(), b.Image());
  EXPECT_EQ(b.Image().size(), kFullImageSize);
}

// A device image of the given format, with bytes unlike the source's.
Bytes Device(std::int16_t major, std::int16_t minor) {
  Bytes image = Pattern(static_cast<std::size_t>(krt::image::ImageSizeFor(major, minor)), 13, 101);
  SetHeader(image, 6200, major, minor);
  return image;
}

Bytes Source() {
  Bytes image = Pattern(kFullImageSize, 31, 7);
  SetHeader(image, 200, 3, 2);
  return image;
}

TEST(MergeInto, WritesWhatTheDeviceFormatCarriesAndLeavesTheRest) {
  const Spans range = RangeRecords();
  const Spans always = Join({kBase, kSymbol, kPulse, kMixing});
  const struct {
    std::int16_t major, minor;
    Spans merged;
    bool home_view_zero;
  } kCases[] = {
      {1, 0, always, false},
      {1, 1, always, false},
      {2, 0, always, false},
      {2, 1, always, false},
      {2, 2, Join({always, kPrg}), true},
      {2, 3, Join({always, kPrg, kTotaliser}), true},
      {3, 0, Join({always, kTable, kLanguage, range, kKey}), false},
      {3, 1, Join({always, kTable, kLanguage, range, kKey}), false},
      {3, 2, Join({always, kTable, kLanguage, range, kKey}), false},
  };
  const Bytes source = Source();
  for (const auto& c : kCases) {
    SCOPED_TRACE("device format " + std::to_string(c.major) + "." + std::to_string(c.minor));
    const Bytes device = Device(c.major, c.minor);
    Bytes merged = device;
    ConfigDataRt610X m;
    const Bytes before = m.Image();
    ASSERT_EQ(m.MergeInto(merged, source, 1), 0);
    EXPECT_EQ(m.Image(), before);  // the object itself is not touched
    ASSERT_EQ(merged.size(), device.size());
    for (std::size_t off = 0; off < merged.size(); ++off) {
      // Header, communication block and reserved bytes stay the device's.
      std::uint8_t expected = Inside(c.merged, off) ? source[off] : device[off];
      if (c.home_view_zero && (off == 110 || off == 111)) expected = 0;
      ASSERT_EQ(merged[off], expected) << "offset " << off;
    }
  }
}

TEST(MergeInto, HomeViewAndHomeLoopRules) {
  const struct {
    std::int16_t major, minor;
    std::uint16_t home_view;
    std::uint8_t home_loop;
    std::uint16_t want_view;
    std::uint8_t want_loop;
  } kCases[] = {
      {3, 2, 4, 0, 4, 1}, {3, 1, 4, 2, 0, 2}, {1, 0, 4, 1, 0, 1}, {2, 1, 5, 0, 5, 1}, {2, 2, 1, 2, 0, 2},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE("device format " + std::to_string(c.major) + "." + std::to_string(c.minor));
    Bytes source = Source();
    krt::SetBeU16(source, 110, c.home_view);
    source[112] = c.home_loop;
    Bytes device = Device(c.major, c.minor);
    ConfigDataRt410 m;
    ASSERT_EQ(m.MergeInto(device, source, 0), 0);
    EXPECT_EQ(krt::BeU16(device, 110), c.want_view);
    EXPECT_EQ(device[112], c.want_loop);
  }
}

TEST(MergeInto, RefusesImagesTooShortForTheMergeAndWritesNothing) {
  const struct {
    const char* what;
    std::size_t device_size;
    std::int16_t device_major, device_minor;
    std::size_t source_size;
  } kCases[] = {
      {"empty device", 0, 3, 2, 2048},
      {"device of 10 bytes", 10, 1, 1, 2048},
      {"device of 31 bytes", 31, 1, 1, 2048},
      {"device of 32 bytes", 32, 1, 1, 2048},
      {"1024-byte device of 3.2", 1024, 3, 2, 2048},
      {"1023-byte device of 1.1", 1023, 1, 1, 2048},
      {"empty source", 1024, 1, 1, 0},
      {"1024-byte source", 2048, 3, 2, 1024},
      {"2047-byte source", 2048, 3, 2, 2047},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    Bytes device = Pattern(c.device_size, 13, 101);
    SetHeader(device, 100, c.device_major, c.device_minor);
    const Bytes before = device;
    Bytes source = Pattern(c.source_size, 31, 7);
    SetHeader(source, 100, 3, 2);
    ConfigDataRt410 m;
    EXPECT_EQ(m.MergeInto(device, source, 0), kMergeTooShort);
    EXPECT_EQ(device, before);
  }
}

}  // namespace
}  // namespace data
