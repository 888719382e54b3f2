// The user's parameter table in its short and range layouts.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "listing/listing_test_image.hpp"
#include "listing/sections.hpp"

namespace krt::listing {
namespace {

using krt::test::TestImage;

constexpr std::size_t Entry(int k) {
  return 288 + 28 * static_cast<std::size_t>(k);
}
constexpr std::size_t Range(int k) {
  return 1412 + 6 * static_cast<std::size_t>(k);
}

constexpr const char* kShortHeader =
    "User's parameter table,Setting,Parameter,GROUP,ITEM,DATA Hi limit,DATA Lo limit,DATA decimal place,"
    "DATA engineering unit\n";
constexpr const char* kRangeHeader =
    "User's parameter table,Setting,Parameter,GROUP,ITEM,Range Hi limit,Range Lo limit,Decimal place,"
    "Engineering unit,DATA Hi limit,DATA Lo limit,DATA decimal place\n";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start) + "<no line feed>");
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// Entries 0 to 5 carry the cases; the rest stay zero.
TestImage TableImage(int major, int minor) {
  TestImage image;
  image.Format(major, minor).Model(6200);
  // Setting 1, group 7, item 12, decimals 253, with a range.
  image.ByteRun(Entry(0), {1, 7, 12}).Text(Entry(0) + 3, "Flow").Word(Entry(0) + 14, 1500).Word(Entry(0) + 16, -200);
  image.Byte(Entry(0) + 18, 253).Text(Entry(0) + 19, "m3/h");
  image.Word(Range(0), 32767).Word(Range(0) + 2, -32768).Byte(Range(0) + 4, 255).Byte(Range(0) + 5, 99);
  // Setting byte 2; group and item of three digits.
  image.ByteRun(Entry(1), {2, 123, 255}).Text(Entry(1) + 3, "Temp").Word(Entry(1) + 14, 10000).Byte(Entry(1) + 18, 2);
  image.Text(Entry(1) + 19, "degC");
  image.Word(Range(1), 10000).Byte(Range(1) + 4, 2);
  // A name that starts with NUL but holds bytes after it.
  image.Byte(Entry(2), 0).Text(Entry(2) + 4, "hidden").Text(Entry(2) + 19, "%");
  // A name and a unit with a comma.
  image.Byte(Entry(3), 1).Text(Entry(3) + 3, "Hi,Lo").Text(Entry(3) + 19, "m,s");
  // A name filling its 11 bytes and a unit filling its 9 bytes, no NUL; the
  // following bytes are not NUL either.
  image.Byte(Entry(4), 1).Text(Entry(4) + 3, "ABCDEFGHIJK").Word(Entry(4) + 14, 0x4141).Word(Entry(4) + 16, 0x4242);
  image.Byte(Entry(4) + 18, 0x43).Text(Entry(4) + 19, "UVWXYZ123");
  // Shift-JIS bytes are printed as they are: 流量 and ％.
  image.ByteRun(Entry(5), {1, 50, 0}).Text(Entry(5) + 3, "\x97\xac\x97\xca").Text(Entry(5) + 19, "\x81\x93");
  return image;
}

TEST(UserParameterTable, NothingBeforeTableFormats) {
  const std::pair<int, int> formats[] = {{1, 0}, {1, 1}, {2, 0}, {2, 2}, {2, 3}, {0, 5}, {-3, 0}};
  for (auto [major, minor] : formats) {
    SCOPED_TRACE(testing::Message() << major << "." << minor);
    std::string out;
    WriteUserParameterTable(TableImage(major, minor), out);
    EXPECT_EQ(out, "");
  }
}

TEST(UserParameterTable, ShortLayout) {
  for (int minor : {0, 1}) {
    SCOPED_TRACE(minor);
    std::string out;
    WriteUserParameterTable(TableImage(3, minor), out);
    const std::vector<std::string> lines = Lines(out);
    ASSERT_EQ(lines.size(), 41u);
    EXPECT_EQ(lines[0] + "\n", kShortHeader);
    EXPECT_EQ(lines[1], ",Enable,Flow,07,12,1500,-200,-3,m3/h");
    EXPECT_EQ(lines[2], ",(null),Temp,123,255,10000,0,2,degC");
    EXPECT_EQ(lines[3], ",Disable,,00,00,0,0,0,%");
    EXPECT_EQ(lines[4], ",Enable,Hi,Lo,00,00,0,0,0,m,s");
    EXPECT_EQ(lines[5], ",Enable,ABCDEFGHIJK,00,00,16705,16962,67,UVWXYZ123");
    EXPECT_EQ(lines[6], ",Enable,\x97\xac\x97\xca,50,00,0,0,0,\x81\x93");
    for (int k = 6; k < 40; ++k) EXPECT_EQ(lines[1 + k], ",Disable,,00,00,0,0,0,") << k;
  }
}

TEST(UserParameterTable, RangeLayout) {
  const std::pair<int, int> formats[] = {{3, 2}, {3, 3}, {4, 0}, {4, 1}};
  for (auto [major, minor] : formats) {
    SCOPED_TRACE(testing::Message() << major << "." << minor);
    std::string out;
    WriteUserParameterTable(TableImage(major, minor), out);
    const std::vector<std::string> lines = Lines(out);
    ASSERT_EQ(lines.size(), 41u);
    EXPECT_EQ(lines[0] + "\n", kRangeHeader);
    EXPECT_EQ(lines[1], ",Enable,Flow,07,12,32767,-32768,-1,m3/h,1500,-200,-3");
    EXPECT_EQ(lines[2], ",(null),Temp,123,255,10000,0,2,degC,10000,0,2");
    EXPECT_EQ(lines[3], ",Disable,,00,00,0,0,0,%,0,0,0");
    EXPECT_EQ(lines[4], ",Enable,Hi,Lo,00,00,0,0,0,m,s,0,0,0");
    EXPECT_EQ(lines[5], ",Enable,ABCDEFGHIJK,00,00,0,0,0,UVWXYZ123,16705,16962,67");
    EXPECT_EQ(lines[6], ",Enable,\x97\xac\x97\xca,50,00,0,0,0,\x81\x93,0,0,0");
    for (int k = 6; k < 40; ++k) EXPECT_EQ(lines[1 + k], ",Disable,,00,00,0,0,0,,0,0,0") << k;
  }
}

TEST(UserParameterTable, ColumnCounts) {
  // Lines without commas in their texts have 9 or 12 columns.
  const std::tuple<int, int, std::size_t> cases[] = {{3, 0, 9}, {3, 1, 9}, {3, 2, 12}, {4, 0, 12}};
  for (auto [major, minor, columns] : cases) {
    SCOPED_TRACE(testing::Message() << major << "." << minor);
    std::string out;
    WriteUserParameterTable(TableImage(major, minor), out);
    const std::vector<std::string> lines = Lines(out);
    for (std::size_t i : {0, 1, 2, 3, 40}) {
      EXPECT_EQ(static_cast<std::size_t>(std::count(lines[i].begin(), lines[i].end(), ',')) + 1, columns) << i;
    }
  }
}

TEST(UserParameterTable, AppendsAfterExistingText) {
  std::string out = "Language,,English\n";
  WriteUserParameterTable(TableImage(3, 2), out);
  EXPECT_EQ(out.rfind("Language,,English\n" + std::string(kRangeHeader), 0), 0u);
}

}  // namespace
}  // namespace krt::listing
