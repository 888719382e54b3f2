// Complete listings of one image per model family against files written out
// by hand, byte for byte as exported: Shift-JIS texts and CR LF line ends.

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "image/config_data.hpp"
#include "image/image_layout.hpp"
#include "support/temp_dir.hpp"

namespace krt::listing {
namespace {

enum class Kind { kWords, kBytes, kText };

// Values at consecutive offsets, written in stored (big-endian) order.
struct FieldValue {
  Kind kind;
  std::size_t offset;
  std::initializer_list<int> values;
  std::string_view text = {};
};

// KRT610 at format 3.2 with LCD 2.1: SV/OP words and alternative trend
// names, extended symbols with an unknown code, colours outside the code
// table, the parameter-table home view 4, the default gateway, unsigned port
// 65535, and a parameter table with a NUL-led name, a setting byte 2, commas,
// names and units that fill their fields, and Shift-JIS texts. The screen
// blocks a 3.2 image does not carry are set as well and must not show.
const FieldValue kKrt610Values[] = {
    {Kind::kWords, 32, {0, 0, 0, 0}},
    {Kind::kWords, 40, {2}},
    {Kind::kBytes, 42, {15}},
    {Kind::kBytes, 43, {249, 190, 198, 251, 250, 226, 2, 254, 229, 3}},
    {Kind::kBytes, 53, {252, 4, 111, 253, 201, 247, 255, 125, 1, 249, 0, 190, 198, 251}},
    {Kind::kWords, 68, {3600}},
    {Kind::kWords, 70, {3, 4, 5, 6, 7, 8, 0, 11}},
    {Kind::kBytes, 86, {249, 251, 250, 254, 2, 4, 111, 100}},
    {Kind::kWords, 94, {2, 3}},
    {Kind::kWords, 98, {1}},
    {Kind::kWords, 100, {5}},
    {Kind::kWords, 102, {2}},
    {Kind::kWords, 104, {0}},
    {Kind::kWords, 106, {0}},
    {Kind::kWords, 108, {0}},
    {Kind::kWords, 110, {4}},
    {Kind::kBytes, 112, {2}},
    {Kind::kWords, 114, {0, 1, 0, 1}},
    {Kind::kBytes, 122, {32}},
    {Kind::kWords, 124, {0}},
    {Kind::kBytes, 126, {7}},
    {Kind::kWords, 128, {0}},
    {Kind::kWords, 130, {9}},
    {Kind::kBytes, 132, {10, 1, 20, 200}},
    {Kind::kBytes, 136, {255, 255, 0, 0}},
    {Kind::kBytes, 140, {10, 1, 20, 254}},
    {Kind::kWords, 144, {65535, 600}},
    {Kind::kWords, 148, {4, 10, 11, 0}},
    {Kind::kWords, 156, {1, 2}},
    {Kind::kBytes, 160, {1, 1, 1}},
    {Kind::kWords, 172, {3}},
    {Kind::kBytes, 200, {1}},
    {Kind::kBytes, 240, {1}},
    {Kind::kBytes, 1408, {125}},
    {Kind::kWords, 1410, {1}},
    {Kind::kWords, 1652, {0, 0, 1, 0, 2, 1}},
    {Kind::kBytes, 288, {1, 7, 12}},
    {Kind::kText, 291, {}, std::string_view("Flow\x00", 5)},
    {Kind::kWords, 302, {1500, -200}},
    {Kind::kBytes, 306, {253}},
    {Kind::kText, 307, {}, std::string_view("m3/h\x00", 5)},
    {Kind::kWords, 1412, {32767, -32768}},
    {Kind::kBytes, 1416, {255, 9}},
    {Kind::kBytes, 316, {2, 123, 5}},
    {Kind::kText, 319, {}, std::string_view("\x00hidden\x00\x00\x00\x00", 11)},
    {Kind::kWords, 330, {-1, -32768}},
    {Kind::kBytes, 334, {0}},
    {Kind::kText, 335, {}, std::string_view("%\x00\x00\x00", 4)},
    {Kind::kWords, 1418, {0, -1}},
    {Kind::kBytes, 1422, {0}},
    {Kind::kBytes, 344, {0, 99, 0}},
    {Kind::kText, 347, {}, std::string_view("Hi,Lo\x00\x00", 7)},
    {Kind::kText, 363, {}, std::string_view("m,s\x00\x00", 5)},
    {Kind::kBytes, 372, {1, 1, 1}},
    {Kind::kText, 375, {}, std::string_view("ABCDEFGHIJK", 11)},
    {Kind::kWords, 386, {16705, 16962}},
    {Kind::kBytes, 390, {67}},
    {Kind::kText, 391, {}, std::string_view("UVWXYZ123", 9)},
    {Kind::kBytes, 400, {1, 2, 3}},
    {Kind::kText, 403, {}, std::string_view("\x97\xac\x97\xca\x00", 5)},
    {Kind::kText, 419, {}, std::string_view("\x81\x93\x00", 3)},
    {Kind::kBytes, 1380, {1, 40, 99}},
    {Kind::kText, 1383, {}, std::string_view("Last\x00", 5)},
    {Kind::kWords, 1394, {100, 50}},
    {Kind::kBytes, 1398, {0}},
    {Kind::kText, 1399, {}, std::string_view("\x00\x00\x00\x00", 4)},
    {Kind::kWords, 1646, {200, 100}},
    {Kind::kBytes, 1650, {1}},
};

// RT610J at format 2.2: the pulse screen block with display flags 2 and 255,
// loop-variable set 2 (SP/MV words but alternative trend names, "(null)" set
// name), home loop 0 loaded as 1, home view taken from the pulse block, the
// PRG mode indicator, and no default gateway for this model.
const FieldValue kRt610jValues[] = {
    {Kind::kWords, 40, {0}},
    {Kind::kBytes, 43, {1, 125, 255, 247, 201, 253, 111, 4, 252, 229}},
    {Kind::kWords, 68, {45}},
    {Kind::kWords, 98, {2}},
    {Kind::kWords, 100, {2}},
    {Kind::kWords, 102, {1}},
    {Kind::kWords, 110, {3}},
    {Kind::kBytes, 112, {0}},
    {Kind::kWords, 114, {1, 0, 1, 1}},
    {Kind::kBytes, 122, {247}},
    {Kind::kWords, 124, {1}},
    {Kind::kWords, 128, {2}},
    {Kind::kBytes, 140, {192, 168, 0, 254}},
    {Kind::kWords, 148, {5, 6, 7, 8}},
    {Kind::kWords, 156, {0, 3}},
    {Kind::kBytes, 160, {249, 190, 198, 251, 250, 226, 2, 254, 229, 252}},
    {Kind::kWords, 170, {0, 4}},
    {Kind::kBytes, 174, {4, 111, 253, 201, 247, 255}},
    {Kind::kBytes, 183, {0, 1, 2, 0, 1, 0, 1, 0, 1, 255}},
    {Kind::kBytes, 200, {1, 2, 4}},
    {Kind::kWords, 210, {0, 4}},
    {Kind::kBytes, 240, {1}},
    {Kind::kWords, 252, {5}},
    {Kind::kWords, 1410, {1}},
    {Kind::kWords, 1654, {0}},
    {Kind::kBytes, 1408, {1}},
};

// RT610M at format 2.3: the totaliser block with its unlabelled bytes set,
// the totaliser home view 6, out-of-table codes in several choices, trend
// sources outside 0 to 10, and the PRG mode indicator.
const FieldValue kRt610mValues[] = {
    {Kind::kWords, 40, {5}},
    {Kind::kBytes, 42, {255}},
    {Kind::kWords, 98, {0}},
    {Kind::kWords, 100, {11}},
    {Kind::kWords, 102, {0}},
    {Kind::kWords, 104, {2}},
    {Kind::kWords, 106, {1}},
    {Kind::kWords, 108, {1}},
    {Kind::kWords, 70, {0, 11, -1, 10, 9, 8, 7, 6}},
    {Kind::kWords, 148, {9, 2, 3, 1}},
    {Kind::kWords, 156, {2, 1}},
    {Kind::kBytes, 160, {1}},
    {Kind::kWords, 170, {0, 4}},
    {Kind::kBytes, 200, {1}},
    {Kind::kWords, 210, {0, 7}},
    {Kind::kBytes, 240, {1, 125, 201, 249, 247, 254, 3, 3, 3, 252}},
    {Kind::kWords, 250, {1, 6}},
    {Kind::kBytes, 254, {2, 4, 111, 253, 201, 247}},
    {Kind::kBytes, 260, {1, 0, 1, 5, 0, 7, 1, 0, 2, 1}},
    {Kind::kWords, 1654, {1}},
    {Kind::kBytes, 122, {0}},
    {Kind::kWords, 124, {3}},
    {Kind::kWords, 128, {1}},
    {Kind::kWords, 144, {502, 0}},
};

// KRT410 at format 1.1 (a 1024-byte image): extended symbols read from 148,
// legacy words reset by the load, home view 4 loaded as 0, unit-mode rows,
// and no key, language or parameter-table rows for this version.
const FieldValue kKrt410Values[] = {
    {Kind::kWords, 32, {0, 1, 2, 3}},
    {Kind::kWords, 40, {1}},
    {Kind::kBytes, 42, {60}},
    {Kind::kWords, 98, {1}},
    {Kind::kWords, 70, {3, 4, 5, 6, 1, 2, 9, 10}},
    {Kind::kWords, 110, {4}},
    {Kind::kBytes, 112, {3}},
    {Kind::kWords, 114, {1, 1, 0, 0}},
    {Kind::kWords, 148, {4, 5, 6, 7}},
    {Kind::kWords, 156, {2, 0}},
    {Kind::kWords, 68, {1800}},
    {Kind::kBytes, 65, {253, 111}},
};

struct GoldenCase {
  const char* file;
  std::function<std::unique_ptr<data::ConfigData>()> make;
  int modelCode, formatMajor, formatMinor, lcdMajor, lcdMinor;
  std::span<const FieldValue> values;
};

template <typename T>
std::unique_ptr<data::ConfigData> Make() {
  return std::make_unique<T>();
}

// The default image with the case's header and values, cut to its format's size.
Bytes BuildImage(const GoldenCase& c) {
  Bytes image = image::DefaultStoredImage();
  SetBeU32(image, image::kOffMagic, image::kMagic);
  SetBeU16(image, image::kOffHeaderLength, 32);
  SetBeU16(image, image::kOffModelCode, static_cast<std::uint16_t>(c.modelCode));
  SetBeU16(image, image::kOffFormatMajor, static_cast<std::uint16_t>(c.formatMajor));
  SetBeU16(image, image::kOffFormatMinor, static_cast<std::uint16_t>(c.formatMinor));
  SetBeU16(image, image::kOffLcdMajor, static_cast<std::uint16_t>(c.lcdMajor));
  SetBeU16(image, image::kOffLcdMinor, static_cast<std::uint16_t>(c.lcdMinor));
  for (const FieldValue& f : c.values) {
    std::size_t offset = f.offset;
    switch (f.kind) {
      case Kind::kWords:
        for (int v : f.values) {
          SetBeU16(image, offset, static_cast<std::uint16_t>(v));
          offset += 2;
        }
        break;
      case Kind::kBytes:
        for (int v : f.values) SetU8(image, offset++, static_cast<std::uint8_t>(v));
        break;
      case Kind::kText:
        for (char ch : f.text) SetU8(image, offset++, static_cast<std::uint8_t>(ch));
        break;
    }
  }
  image.resize(static_cast<std::size_t>(
      image::ImageSizeFor(static_cast<std::int16_t>(c.formatMajor), static_cast<std::int16_t>(c.formatMinor))));
  return image;
}

std::string WithCrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char ch : text) {
    if (ch == '\n') out.push_back('\r');
    out.push_back(ch);
  }
  return out;
}

// The first line that differs, for a readable failure.
std::string FirstDifference(const std::string& actual, const std::string& expected) {
  std::size_t line = 1, start = 0;
  for (std::size_t i = 0; i < std::min(actual.size(), expected.size()); ++i) {
    if (actual[i] != expected[i]) {
      const std::size_t endA = actual.find('\n', start), endE = expected.find('\n', start);
      return "line " + std::to_string(line) + ":\n  actual:   " + actual.substr(start, endA - start) +
             "\n  expected: " + expected.substr(start, endE - start);
    }
    if (actual[i] == '\n') {
      ++line;
      start = i + 1;
    }
  }
  return "lengths " + std::to_string(actual.size()) + " and " + std::to_string(expected.size());
}

TEST(GoldenListing, EveryModelFamily) {
  const GoldenCase cases[] = {
      {"krt610_32.csv", Make<data::ConfigDataRt610>, 200, 3, 2, 2, 15, kKrt610Values},
      {"rt610j_22.csv", Make<data::ConfigDataRt610J>, 1200, 2, 2, 1, 39, kRt610jValues},
      {"rt610m_23.csv", Make<data::ConfigDataRt610M>, 4200, 2, 3, 3, 0, kRt610mValues},
      {"krt410_11.csv", Make<data::ConfigDataRt410>, 100, 1, 1, 2, 10, kKrt410Values},
  };
  for (const GoldenCase& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string expected = test::ReadWholeFile(std::string(KRTCFG_TEST_DATA_DIR "/golden/") + c.file);
    ASSERT_FALSE(expected.empty());
    std::unique_ptr<data::ConfigData> model = c.make();
    ASSERT_EQ(model->LoadImage(BuildImage(c)), 0);
    std::string listing;
    ASSERT_EQ(model->WriteListing(listing), 0);
    const std::string exported = WithCrLf(listing);
    EXPECT_TRUE(exported == expected) << FirstDifference(exported, expected);
  }
}

}  // namespace
}  // namespace krt::listing
