#include <gtest/gtest.h>

#include <string>

#include "trend/trend.hpp"
#include "trend/worked_record.hpp"

namespace krt::trend {
namespace {

using test::PutStamp;
using test::PutWord;

Bytes Pattern() {
  Bytes r(kRecordSize);
  for (std::size_t i = 0; i < r.size(); ++i) r[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return r;
}

TEST(ConvertTrendOrder, SwapsTheWordsAndKeepsTextsAndDecimalPoints) {
  const Bytes stored = Pattern();
  const Bytes host = ConvertTrendOrder(stored);
  ASSERT_EQ(host.size(), kRecordSize);
  // Words: header 0..11, range words 96..111 and 196..211, everything from 212.
  for (std::size_t off : {0u, 10u, 96u, 110u, 196u, 210u, 212u, 216u, 218u, 226u, 6632u, 6634u, 13032u}) {
    SCOPED_TRACE(off);
    EXPECT_EQ(host[off], stored[off + 1]);
    EXPECT_EQ(host[off + 1], stored[off]);
  }
  // Units, decimal points and tags of both loops stay where they are.
  for (std::size_t off = 12; off < 96; ++off) EXPECT_EQ(host[off], stored[off]) << off;
  for (std::size_t off = 112; off < 196; ++off) EXPECT_EQ(host[off], stored[off]) << off;
  EXPECT_EQ(ConvertTrendOrder(host), stored);
}

TEST(ConvertTrendOrder, OtherSizesGiveNothing) {
  EXPECT_TRUE(ConvertTrendOrder(Bytes(kRecordSize - 1, 1)).empty());
  EXPECT_TRUE(ConvertTrendOrder(Bytes(kRecordSize + 1, 1)).empty());
  EXPECT_TRUE(ConvertTrendOrder(Bytes{}).empty());
}

TEST(TrendRing, StartIndexAndFileName) {
  struct Case {
    int latest, count;
    int start;
  };
  const Case cases[] = {
      {5, 8, 398}, {9, 10, 0},    {0, 0, 0},   {123, 0, 0},   {399, 0, 0},     {0, 1, 0},
      {0, 2, 399}, {399, 400, 0}, {0, 400, 1}, {399, 1, 399}, {200, 400, 201},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.latest << "/" << c.count);
    EXPECT_EQ(StartIndex(c.latest, c.count), c.start);
    // The base name comes from the time stamp at the start index.
    Bytes record = test::EmptyRecord();
    PutWord(record, 214, c.latest);
    PutWord(record, 216, c.count);
    for (int i = 0; i < 400; ++i) PutStamp(record, i, 2000 + i, 1, 2, 3, 4, 5);
    std::string name;
    TrendFileName(record, &name);
    EXPECT_EQ(name, std::to_string(2000 + c.start) + "0102_030405");
  }
}

TEST(TrendRing, WalkWrapsFrom399ToZero) {
  Bytes record = test::EmptyRecord();
  PutWord(record, 214, 5);
  PutWord(record, 216, 8);
  const std::optional<Ring> ring = ReadRing(ConvertTrendOrder(record));
  ASSERT_TRUE(ring);
  EXPECT_EQ(ring->latest, 5);
  std::vector<int> walk;
  walk.reserve(static_cast<std::size_t>(ring->count));
  for (int k = 0; k < ring->count; ++k) walk.push_back(RingIndex(*ring, k));
  EXPECT_EQ(walk, (std::vector<int>{398, 399, 0, 1, 2, 3, 4, 5}));
}

TEST(TrendFileName, FormatsTheOldestStamp) {
  struct Case {
    int year, month, day, hour, minute, second;
    const char* name;
  };
  const Case cases[] = {
      {2012, 3, 7, 14, 38, 26, "20120307_143826"},
      {999, 1, 2, 3, 4, 5, "09990102_030405"},
      {65535, 12, 31, 23, 59, 59, "655351231_235959"},  // unsigned words, never negative
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes record = test::WorkedRecord();
    PutStamp(record, 398, c.year, c.month, c.day, c.hour, c.minute, c.second);
    std::string name = "x";
    TrendFileName(record, &name);
    EXPECT_EQ(name, std::string("x") + c.name);
  }
}

TEST(TrendFileName, NothingForRefusedRecords) {
  Bytes shorter = test::WorkedRecord();
  shorter.pop_back();
  Bytes longer = test::WorkedRecord();
  longer.push_back(0);
  Bytes badCount = test::WorkedRecord();
  PutWord(badCount, 216, 401);
  Bytes negativeCount = test::WorkedRecord();
  PutWord(negativeCount, 216, -1);
  Bytes badLatest = test::WorkedRecord();
  PutWord(badLatest, 214, 400);
  Bytes negativeLatest = test::WorkedRecord();
  PutWord(negativeLatest, 214, -1);
  for (const Bytes& record : {Bytes{}, shorter, longer, badCount, negativeCount, badLatest, negativeLatest}) {
    std::string name = "kept";
    TrendFileName(record, &name);
    EXPECT_EQ(name, "kept");
  }
  TrendFileName(test::WorkedRecord(), nullptr);  // no text to append to: nothing happens
}

TEST(TrendSample, UnitsAndDecimals) {
  // Range fractions truncate towards zero; direct values pass through.
  EXPECT_EQ(SampleUnits(-398, false, 0, 1000), -39);
  EXPECT_EQ(SampleUnits(-398, false, 100, 200), 97);
  EXPECT_EQ(SampleUnits(-398, true, 100, 200), -398);
  EXPECT_EQ(SampleUnits(-32768, false, 32767, -32768), 247512);
  EXPECT_EQ(SampleUnits(32767, false, -32768, 32767), 181970);
  for (int d = 0; d <= 5; ++d) EXPECT_EQ(Decimals(static_cast<std::uint8_t>(d)), d);
  for (int d : {6, 7, 100, 255}) EXPECT_EQ(Decimals(static_cast<std::uint8_t>(d)), 0);
}

}  // namespace
}  // namespace krt::trend
