// The field table, the default image, block membership and byte-order conversion.

#include "image/image_layout.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace krt::image {
namespace {

Bytes Hex(const std::string& text) {
  Bytes out;
  std::istringstream in(text);
  std::string token;
  while (in >> token) out.push_back(static_cast<std::uint8_t>(std::stoul(token, nullptr, 16)));
  return out;
}

Bytes Slice(const Bytes& b, std::size_t off, std::size_t n) {
  return Bytes(b.begin() + static_cast<std::ptrdiff_t>(off), b.begin() + static_cast<std::ptrdiff_t>(off + n));
}

struct Span {
  std::size_t begin;
  std::size_t end;  // one past the last byte
};

TEST(FieldTable, CoversEveryByteOfTheImageExactlyOnce) {
  std::vector<int> covered(kFullImageSize, 0);
  for (const Field& f : FieldTable()) {
    SCOPED_TRACE(std::string(f.name));
    for (std::size_t r = 0; r < f.repeat; ++r) {
      for (std::size_t i = 0; i < FieldLength(f); ++i) {
        const std::size_t off = f.offset + r * f.stride + i;
        ASSERT_LT(off, kFullImageSize);
        ++covered[off];
      }
    }
  }
  for (std::size_t off = 0; off < kFullImageSize; ++off) EXPECT_EQ(covered[off], 1) << "offset " << off;
}

TEST(FieldTable, NamedOffsetsAgreeWithTheTable) {
  const struct {
    const char* name;
    std::size_t offset;
  } kCases[] = {
      {"magic", kOffMagic},
      {"header_length", kOffHeaderLength},
      {"model_code", kOffModelCode},
      {"format_major", kOffFormatMajor},
      {"format_minor", kOffFormatMinor},
      {"lcd_major", kOffLcdMajor},
      {"lcd_minor", kOffLcdMinor},
      {"legacy_mv_symbol", kOffLegacyMvSymbol},
      {"home_view", kOffHomeView},
      {"home_loop", kOffHomeLoop},
      {"prg_indicator", kOffPrgIndicator},
      {"user_params.enabled", kOffUserParams},
      {"user_param_ranges.range_hi", kOffUserParamRanges},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const Field* f = FindField(c.name);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->offset, c.offset);
  }
  EXPECT_EQ(FindField("no_such_field"), nullptr);
}

// The bytes each block carries, written out from the block table.
TEST(Blocks, CarryExactlyTheirByteRanges) {
  std::vector<Span> range;
  for (std::size_t k = 0; k < 40; ++k) range.push_back({1412 + 6 * k, 1412 + 6 * k + 5});
  const struct {
    const char* name;
    std::uint16_t bit;
    std::vector<Span> spans;
  } kCases[] = {
      {"base", block::kBase, {{32, 67}, {68, 113}, {114, 122}}},
      {"communication", block::kCommunication, {{122, 123}, {124, 127}, {128, 148}}},
      {"symbol", block::kSymbol, {{148, 160}}},
      {"pulse", block::kPulse, {{160, 180}, {183, 193}}},
      {"mixing", block::kMixing, {{200, 224}}},
      {"totaliser", block::kTotaliser, {{240, 270}}},
      {"prg", block::kPrg, {{1654, 1656}}},
      {"parameter table", block::kParameterTable, {{288, 1409}}},
      {"language", block::kLanguage, {{1410, 1412}}},
      {"range", block::kRange, range},
      {"key", block::kKey, {{1652, 1664}}},
      {"none", block::kNone, {}},
  };
  const Bytes ones(kFullImageSize, 0xFF);
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Bytes dst(kFullImageSize, 0);
    CopyBlock(dst, ones, c.bit);
    Bytes expected(kFullImageSize, 0);
    for (const Span& s : c.spans) std::fill(expected.begin() + s.begin, expected.begin() + s.end, 0xFF);
    for (std::size_t off = 0; off < kFullImageSize; ++off) EXPECT_EQ(dst[off], expected[off]) << "offset " << off;
  }
}

TEST(Blocks, CopySkipsBytesBeyondEitherBuffer) {
  const Bytes src(1024, 0xAB);
  Bytes dst(kFullImageSize, 0);
  CopyBlock(dst, src, block::kParameterTable | block::kKey);
  EXPECT_EQ(dst[288], 0xAB);
  EXPECT_EQ(dst[1018], 0xAB);  // record 26 item_no
  EXPECT_EQ(dst[1019], 0x00);  // record 26 name runs past the source: skipped whole
  EXPECT_EQ(dst[1023], 0x00);
  EXPECT_EQ(dst[1652], 0x00);

  Bytes small(10, 0);
  CopyBlock(small, Bytes(kFullImageSize, 0xAB), block::kBase | block::kKey);
  EXPECT_EQ(small, Bytes(10, 0));
}

TEST(ImageSizeFor, FollowsTheFormatVersion) {
  const struct {
    std::int16_t major, minor;
    int size;
  } kCases[] = {
      {0, 0, 1024},  {1, 0, 1024},  {1, 1, 1024},     {1, 9, 1024},      {2, 0, 1024}, {2, 1, 1024},
      {2, 2, 2048},  {2, 3, 2048},  {2, 9, 2048},     {3, 0, 2048},      {3, 2, 2048}, {4, 0, 2048},
      {-1, 5, 1024}, {2, -1, 1024}, {32767, 0, 2048}, {-32768, 0, 1024},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor));
    EXPECT_EQ(ImageSizeFor(c.major, c.minor), c.size);
  }
}

// Sampled fields of the default image in stored order, written out from the field table.
struct Sample {
  std::size_t offset;
  const char* bytes;
};
const Sample kDefaultSamples[] = {
    {32, "00 02 00 03 00 02 00 03"},                              // legacy_mv_symbol
    {40, "00 04 00"},                                             // backlight, screen_saver
    {43, "FF FF FF FF FF FF FF FF FF FF"},                        // digital_color
    {53, "FA F9 FB FA F9 FB FD 6F C9 FD 6F C9 FE FE"},            // bargraph_color
    {67, "00 00 0A"},                                             // reserved, storing_interval
    {70, "00 01 00 03 00 05 00 00 00 02 00 04 00 06 00 00"},      // trend_channel
    {86, "F9 FB FA FE F9 FB FA FE"},                              // trend_color
    {94, "00 01 00 02 00 00 00 0A 00 01 00 01 00 01 00 01"},      // loop_display .. touch_tone
    {110, "00 00 01 00"},                                         // home_view, home_loop, reserved
    {114, "00 01 00 01 00 01 00 01"},                             // view_enable
    {122, "01 00 00 03 00 00 00 02 00 00"},                       // node_address .. comm_word_130
    {132, "C0 A8 00 01 FF FF FF 00 00 00 00 00"},                 // ip_address, subnet_mask, default_gateway
    {144, "01 F6 00 B4"},                                         // tcp_port 502, linger_time 180
    {148, "00 02 00 03 00 02 00 03 00 00 00 00"},                 // mv_symbol, unit_mode
    {160, "FF FF FF FB F9 FF F7 FE FB F9 00 01 00 00"},           // pulse_color, view enable, home view
    {174, "F7 FE F7 FE F7 FE FC FC FC"},                          // pulse_switch_color, reserved 180
    {183, "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"},  // pulse_show, reserved
    {200, "FF FF FF FF F7 FE FE FE FE FE 00 01 00 00"},           // mixing screen
    {240, "FF FF FF FF F7 FE 00 00 F7 FE 00 01 00 00"},           // totaliser screen
    {254, "F7 FE F7 FE F7 FE"},                                   // totaliser_switch_color
    // UserParam records 0, 17 and 39: disabled, "Name", 10000, 0, 2 decimals, "Unit".
    {288, "00 00 00 4E 61 6D 65 00 00 00 00 00 00 00 27 10 00 00 02 55 6E 69 74 00 00 00 00 00"},
    {288 + 28 * 17, "00 00 00 4E 61 6D 65 00 00 00 00 00 00 00 27 10 00 00 02 55 6E 69 74 00 00 00 00 00"},
    {288 + 28 * 39, "00 00 00 4E 61 6D 65 00 00 00 00 00 00 00 27 10 00 00 02 55 6E 69 74 00 00 00 00 00"},
    {1408, "02 00 00 00"},  // selected_loop_color, reserved, language
    // UserParamRange records 0, 20 and 39: 10000, 0, 2 decimals, reserved.
    {1412, "27 10 00 00 02 00"},
    {1412 + 6 * 20, "27 10 00 00 02 00"},
    {1412 + 6 * 39, "27 10 00 00 02 00"},
    {1652, "00 01 00 01 00 01 00 01 00 01 00 01"},  // key settings
};

TEST(DefaultStoredImage, HoldsTheTableDefaultsAndAZeroHeader) {
  const Bytes image = DefaultStoredImage();
  ASSERT_EQ(image.size(), kFullImageSize);
  EXPECT_EQ(Slice(image, 0, 32), Bytes(32, 0));
  for (const Sample& s : kDefaultSamples) {
    SCOPED_TRACE("offset " + std::to_string(s.offset));
    const Bytes expected = Hex(s.bytes);
    EXPECT_EQ(Slice(image, s.offset, expected.size()), expected);
  }
  EXPECT_EQ(Slice(image, 224, 16), Bytes(16, 0));
  EXPECT_EQ(Slice(image, 270, 18), Bytes(18, 0));
  EXPECT_EQ(Slice(image, 1664, 384), Bytes(384, 0));
}

TEST(WriteNewHeader, WritesMagicLengthModelAndFormat32) {
  Bytes image(kFullImageSize, 0x5A);
  WriteNewHeader(image, 6210);
  EXPECT_EQ(Slice(image, 0, 32), Hex("49 96 02 D2 00 20 18 42 00 03 00 02 00 00 00 00"
                                     " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(image[32], 0x5A);
}

// Every multi-byte word of the image, written out from the layout.
std::vector<Span> SwappedFields() {
  std::vector<Span> words = {{0, 4}};
  auto add = [&](std::size_t from, std::size_t to) {
    for (std::size_t off = from; off <= to; off += 2) words.push_back({off, off + 2});
  };
  add(4, 14);
  add(32, 40);
  add(68, 84);
  add(94, 110);
  add(114, 120);
  add(124, 124);
  add(128, 130);
  add(144, 158);
  add(170, 172);
  add(210, 212);
  add(250, 252);
  for (std::size_t k = 0; k < 40; ++k) add(288 + 28 * k + 14, 288 + 28 * k + 16);
  add(1410, 1410);
  for (std::size_t k = 0; k < 40; ++k) add(1412 + 6 * k, 1412 + 6 * k + 2);
  add(1652, 1662);
  return words;
}

TEST(ConvertByteOrder, ReversesExactlyTheMultiByteFields) {
  Bytes image(kFullImageSize);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 3);
  Bytes expected = image;
  for (const Span& w : SwappedFields()) std::reverse(expected.begin() + w.begin, expected.begin() + w.end);

  const Bytes original = image;
  const Bytes converted = ConvertByteOrder(image);
  EXPECT_EQ(image, original);  // the input is left alone
  ASSERT_EQ(converted.size(), kFullImageSize);
  for (std::size_t off = 0; off < kFullImageSize; ++off) EXPECT_EQ(converted[off], expected[off]) << "offset " << off;
}

TEST(ConvertByteOrder, TwiceIsTheIdentity) {
  Bytes image = DefaultStoredImage();
  WriteNewHeader(image, 200);
  for (std::size_t i = 1664; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(ConvertByteOrder(ConvertByteOrder(image)), image);
}

TEST(ConvertByteOrder, TurnsStoredWordsIntoHostOrder) {
  Bytes image = DefaultStoredImage();
  WriteNewHeader(image, 200);
  const Bytes host = ConvertByteOrder(image);
  const struct {
    std::size_t offset;
    const char* bytes;
  } kCases[] = {
      {0, "D2 02 96 49"},          {4, "20 00 C8 00 03 00 02 00"}, {40, "04 00 00"},
      {144, "F6 01 B4 00"},        {302, "10 27 00 00 02"},  // record 0 data_hi, data_lo, data_decimals
      {1412, "10 27 00 00 02 00"}, {1652, "01 00 01 00"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE("offset " + std::to_string(c.offset));
    const Bytes expected = Hex(c.bytes);
    EXPECT_EQ(Slice(host, c.offset, expected.size()), expected);
  }
}

TEST(ConvertByteOrder, ShortAndLongInputsGiveAWholeImage) {
  const Bytes header = Hex("49 96 02 D2 00 20 00 C8 00 01");
  for (std::size_t size : {0u, 10u, 31u, 32u, 1023u, 1024u, 2049u}) {
    SCOPED_TRACE("size " + std::to_string(size));
    Bytes input(size, 0);
    std::copy_n(header.begin(), std::min(size, header.size()), input.begin());
    const Bytes out = ConvertByteOrder(input);
    ASSERT_EQ(out.size(), kFullImageSize);
    Bytes padded(kFullImageSize, 0);
    std::copy_n(input.begin(), std::min(size, kFullImageSize), padded.begin());
    EXPECT_EQ(ConvertByteOrder(out), padded);
  }
}

}  // namespace
}  // namespace krt::image
