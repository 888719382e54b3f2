#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "support/sjis.hpp"
#include "support/temp_dir.hpp"
#include "trend/trend.hpp"
#include "trend/worked_record.hpp"

namespace krt::trend {
namespace {

using test::PutBytes;
using test::PutLoop1Sample;
using test::PutStamp;
using test::PutWord;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) {
      lines.push_back(text.substr(pos));
      break;
    }
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return lines;
}

std::string Convert(const Bytes& record, unsigned int modelIndex, int* result = nullptr) {
  std::string text;
  const int r = data::TrendCsvConverter().Convert(record, text, modelIndex);
  if (result != nullptr) *result = r;
  return text;
}

const std::vector<std::string> kWorkedCsv = {
    "KRT610 Short trend data",
    "",
    "Storing interval,10 sec",
    "Storing periold,2012/03/07,14:38:26,-,2012/03/07,14:39:36",
    "Number of samples,8",
    "Storing status,Pause",
    "",
    "Trend channel,Data type,Tag No.,Unit,Lower range,Upper range,Decimal point",
    "LP1 CH1,PV1,,U11,0,1000,0",
    "LP1 CH2,SP1,,U12,-500,500,1",
    "LP1 CH3,MV1,,U13,100,200,2",
    "LP1 CH4,FN1,TAG14,U14,0,10000,3",
    "LP2 CH1,None,,,0,0,0",
    "LP2 CH2,None,,,0,0,0",
    "LP2 CH3,None,,,0,0,0",
    "LP2 CH4,None,,,0,0,0",
    "",
    "Date,Time,LP1 CH1,LP1 CH2,LP1 CH3,LP1 CH4,LP2 CH1,LP2 CH2,LP2 CH3,LP2 CH4",
    ",,PV1,SP1,MV1,FN1,None,None,None,None",
    ",,,,,TAG14,,,,",
    ",,U11,U12,U13,U14,,,,",
    "2012/3/7,14:38:26,-39,-39.8,0.97,-0.398,0,0,0,0",
    "2012/3/7,14:38:36,0,0.0,1.00,0.000,0,0,0,0",
    "2012/3/7,14:38:46,1000,1000.0,2.00,10.000,0,0,0,0",
    "2012/3/7,14:38:56,555,555.5,1.55,5.555,0,0,0,0",
    "2012/3/7,14:39:06,0,-0.1,1.00,-0.001,0,0,0,0",
    "2012/3/7,14:39:16,3276,3276.7,4.27,32.767,0,0,0,0",
    "2012/3/7,14:39:26,-3276,-3276.8,-2.27,-32.768,0,0,0,0",
    "2012/3/7,14:39:36,2,2.5,1.00,0.025,0,0,0,0",
};

TEST(TrendCsvConverter, WorkedRecordLineByLine) {
  int result = 1;
  const std::string text = Convert(test::WorkedRecord(), 1, &result);
  EXPECT_EQ(result, 0);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  const std::vector<std::string> lines = Lines(text);
  ASSERT_EQ(lines.size(), kWorkedCsv.size()) << text;
  for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i], kWorkedCsv[i]) << "line " << i + 1;
}

TEST(TrendCsvConverter, AltNamesRenameSetPointAndOutput) {
  Bytes record = test::WorkedRecord();
  PutWord(record, 6, 1);
  const std::vector<std::string> lines = Lines(Convert(record, 1));
  ASSERT_EQ(lines.size(), kWorkedCsv.size());
  EXPECT_EQ(lines[8], "LP1 CH1,PV1,,U11,0,1000,0");
  EXPECT_EQ(lines[9], "LP1 CH2,SV1,,U12,-500,500,1");
  EXPECT_EQ(lines[10], "LP1 CH3,OP1,,U13,100,200,2");
  EXPECT_EQ(lines[11], "LP1 CH4,FN1,TAG14,U14,0,10000,3");
  EXPECT_EQ(lines[18], ",,PV1,SV1,OP1,FN1,None,None,None,None");
}

TEST(TrendCsvConverter, VariableNamesOfEverySource) {
  Bytes record = test::WorkedRecord();
  // Loop 2 sources at 3426: SP2, MV2, FN4 with a tag, and an unknown code.
  PutWord(record, 3426, 4);
  PutWord(record, 3428, 6);
  PutWord(record, 3430, 10);
  PutWord(record, 3432, 11);
  PutBytes(record, 112 + 40 + 22, "TAG23");  // LP2 CH3
  PutBytes(record, 112 + 40 + 33, "TAG24");  // LP2 CH4, source unknown: no tag
  struct Case {
    int alt_names;
    const char* names;
  };
  for (const Case& c : {Case{0, ",,PV1,SP1,MV1,FN1,SP2,MV2,FN4,"}, Case{7, ",,PV1,SV1,OP1,FN1,SV2,OP2,FN4,"}}) {
    SCOPED_TRACE(c.alt_names);
    PutWord(record, 6, c.alt_names);
    const std::vector<std::string> lines = Lines(Convert(record, 1));
    ASSERT_GT(lines.size(), 19u);
    EXPECT_EQ(lines[18], c.names);
    EXPECT_EQ(lines[19], ",,,,,TAG14,,,TAG23,");
    EXPECT_EQ(lines[15], "LP2 CH4,,,,0,0,0");
  }
}

TEST(TrendCsvConverter, SpDirectOnlyWithMarkerFour) {
  // SP1 in LP1 CH2 with range -500..500 and one decimal: -398 is -39.8 when
  // direct, else -500 + (-398 * 1000) / 10000 = -539 tenths.
  struct Case {
    int sp1_direct;
    const char* value;
  };
  for (const Case& c : {Case{4, "-39.8"}, Case{0, "-53.9"}, Case{3, "-53.9"}, Case{-4, "-53.9"}}) {
    SCOPED_TRACE(c.sp1_direct);
    Bytes record = test::WorkedRecord();
    PutWord(record, 8, c.sp1_direct);
    const std::vector<std::string> lines = Lines(Convert(record, 1));
    ASSERT_GT(lines.size(), 21u);
    EXPECT_EQ(lines[21], std::string("2012/3/7,14:38:26,-39,") + c.value + ",0.97,-0.398,0,0,0,0");
  }
  // sp2_direct covers SP2 only, wherever the channel sits.
  Bytes record = test::WorkedRecord();
  PutWord(record, 220, 4);  // LP1 CH2 is now SP2
  PutWord(record, 10, 4);
  PutWord(record, 8, 0);
  EXPECT_EQ(Lines(Convert(record, 1))[21], "2012/3/7,14:38:26,-39,-39.8,0.97,-0.398,0,0,0,0");
  PutWord(record, 10, 0);
  PutWord(record, 8, 4);
  EXPECT_EQ(Lines(Convert(record, 1))[21], "2012/3/7,14:38:26,-39,-53.9,0.97,-0.398,0,0,0,0");
}

TEST(TrendCsvConverter, TitlesByModelIndex) {
  struct Case {
    unsigned int model_index;
    const char* title;  // nullptr: the text starts with the storing interval
  };
  const Case cases[] = {
      {0, nullptr},
      {1, "KRT610 Short trend data"},
      {2, nullptr},
      {3, "KRT611 Short trend data"},
      {4, "RT610J Short trend data"},
      {5, "RT610N Short trend data"},
      {6, "RT610L Short trend data"},
      {7, "RT610M Short trend data"},
      {8, nullptr},
      {9, "RT610X Short trend data"},
      {10, nullptr},
      {11, "RT611X Short trend data"},
      {12, nullptr},
      {UINT_MAX, nullptr},
  };
  const Bytes record = test::WorkedRecord();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model_index);
    const std::string text = Convert(record, c.model_index);
    const std::string body = "Storing interval,10 sec\n";
    if (c.title == nullptr) {
      EXPECT_EQ(text.substr(0, body.size()), body);
    } else {
      const std::string head = std::string(c.title) + "\n\n" + body;
      EXPECT_EQ(text.substr(0, head.size()), head);
    }
  }
}

TEST(TrendCsvConverter, StoringIntervalAndStatusTexts) {
  struct Case {
    int interval;
    const char* text;
  };
  const Case intervals[] = {{1, "1 sec"},     {2, "2 sec"},     {5, "5 sec"},   {10, "10 sec"}, {20, "20 sec"},
                            {30, "30 sec"},   {60, "1 min"},    {120, "2 min"}, {300, "5 min"}, {600, "10 min"},
                            {1800, "30 min"}, {3600, "60 min"}, {45, "(null)"}, {0, "(null)"},  {-1, "(null)"}};
  for (const Case& c : intervals) {
    SCOPED_TRACE(c.interval);
    Bytes record = test::WorkedRecord();
    PutWord(record, 212, c.interval);
    EXPECT_EQ(Lines(Convert(record, 1))[2], std::string("Storing interval,") + c.text);
  }
  const Case statuses[] = {{0, "Storing"}, {1, "Pause"}, {2, "Previous data"}, {-1, "Previous data"}};
  for (const Case& c : statuses) {
    SCOPED_TRACE(c.interval);
    Bytes record = test::WorkedRecord();
    PutWord(record, 0, c.interval);
    EXPECT_EQ(Lines(Convert(record, 1))[5], std::string("Storing status,") + c.text);
  }
}

TEST(TrendCsvConverter, TimeStampFormats) {
  struct Case {
    int year, month, day, hour, minute, second;
    const char* period;  // as printed in the storing period
    const char* sample;  // as printed in a sample line
  };
  const Case cases[] = {
      {2012, 3, 7, 14, 38, 26, "2012/03/07,14:38:26", "2012/3/7,14:38:26"},
      {1999, 12, 31, 23, 59, 59, "1999/12/31,23:59:59", "1999/12/31,23:59:59"},
      {5, 1, 2, 3, 4, 5, "0005/01/02,03:04:05", "5/1/2,03:04:05"},
      {0, 0, 0, 0, 0, 0, "0000/00/00,00:00:00", "0/0/0,00:00:00"},
      // Stamps are unsigned words.
      {0xFFFF, 0x8000, 100, 24, 60, 61, "65535/32768/100,24:60:61", "65535/32768/100,24:60:61"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sample);
    Bytes record = test::WorkedRecord();
    PutWord(record, 216, 1);  // one sample, at the latest index 5
    PutStamp(record, 5, c.year, c.month, c.day, c.hour, c.minute, c.second);
    const std::vector<std::string> lines = Lines(Convert(record, 1));
    ASSERT_EQ(lines.size(), 22u);
    EXPECT_EQ(lines[3], std::string("Storing periold,") + c.period + ",-," + c.period);
    EXPECT_EQ(lines[21], std::string(c.sample) + ",2,2.5,1.00,0.025,0,0,0,0");
  }
}

TEST(TrendCsvConverter, DecimalPoints) {
  // LP1 CH1 with range 0..10000 gives the sample itself before the divisor.
  struct Case {
    int decimal_point;
    const char* value;
  };
  const Case cases[] = {{0, "12345"},   {1, "1234.5"}, {2, "123.45"}, {3, "12.345"}, {4, "1.2345"},
                        {5, "0.12345"}, {6, "12345"},  {7, "12345"},  {255, "12345"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.decimal_point);
    Bytes record = test::WorkedRecord();
    PutWord(record, 98, 10000);
    record[48] = static_cast<std::uint8_t>(c.decimal_point);
    PutLoop1Sample(record, 0, 398, 12345);
    const std::vector<std::string> lines = Lines(Convert(record, 1));
    ASSERT_GT(lines.size(), 21u);
    EXPECT_EQ(lines[8], "LP1 CH1,PV1,,U11,0,10000," + std::to_string(c.decimal_point));
    EXPECT_EQ(lines[21], std::string("2012/3/7,14:38:26,") + c.value + ",-39.8,0.97,-0.398,0,0,0,0");
  }
}

TEST(TrendCsvConverter, RangeFractionsTruncateTowardsZero) {
  // LP1 CH1, decimal point 0: lower + sample * (upper - lower) / 10000.
  struct Case {
    int lower, upper, sample;
    const char* value;
  };
  const Case cases[] = {
      {0, 1000, -398, "-39"},
      {0, 1000, 398, "39"},
      {-500, 500, -398, "-539"},
      {1000, 0, 398, "961"},
      {0, 0, 5000, "0"},
      // The widest products still fit in 32 bits: 32767 * 65535 and -32768 * 65535.
      {-32768, 32767, 32767, "181970"},
      {-32768, 32767, -32768, "-247513"},
      {32767, -32768, -32768, "247512"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    Bytes record = test::WorkedRecord();
    PutWord(record, 96, c.lower);
    PutWord(record, 98, c.upper);
    PutLoop1Sample(record, 0, 398, c.sample);
    const std::vector<std::string> lines = Lines(Convert(record, 1));
    ASSERT_GT(lines.size(), 21u);
    EXPECT_EQ(lines[21], std::string("2012/3/7,14:38:26,") + c.value + ",-39.8,0.97,-0.398,0,0,0,0");
  }
}

TEST(TrendCsvConverter, ValuesPrintAsPrintfDoes) {
  // Eight PV channels with range 0..10000 (the value is the sample) and
  // decimal points 0 to 7, over samples across the whole 16-bit range.
  const char* formats[8] = {",%.0lf", ",%.01lf", ",%.02lf", ",%.03lf", ",%.04lf", ",%.05lf", ",%.0lf", ",%.0lf"};
  const double divisors[8] = {1, 10, 100, 1000, 10000, 100000, 1, 1};
  auto sampleAt = [](int i) { return static_cast<std::int16_t>(i * 164 - 32768 + i % 7); };
  Bytes record = test::EmptyRecord();
  PutWord(record, 214, 399);
  PutWord(record, 216, 400);
  for (int column = 0; column < 8; ++column) {
    const std::size_t info = column < 4 ? 12 : 112;
    const std::size_t samples = column < 4 ? 218 : 3426;
    const auto c = static_cast<std::size_t>(column % 4);
    record[info + 36 + c] = static_cast<std::uint8_t>(column);
    PutWord(record, info + 86 + 4 * c, 10000);
    PutWord(record, samples + 2 * c, 1);
    for (int i = 0; i < 400; ++i) PutWord(record, samples + 8 + 800 * c + 2 * static_cast<std::size_t>(i), sampleAt(i));
  }
  const std::vector<std::string> lines = Lines(Convert(record, 0));
  ASSERT_EQ(lines.size(), 19u + 400u);
  for (int i = 0; i < 400; ++i) {
    std::string expected = "0/0/0,00:00:00";
    for (int column = 0; column < 8; ++column) {
      char buffer[64];
      const int n = std::snprintf(buffer, sizeof buffer, formats[column], sampleAt(i) / divisors[column]);
      ASSERT_GT(n, 0);
      expected.append(buffer, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(lines[19 + static_cast<std::size_t>(i)], expected);
  }
}

TEST(TrendCsvConverter, EmptyRingHasNoSampleLines) {
  Bytes record = test::WorkedRecord();
  PutWord(record, 216, 0);
  PutStamp(record, 0, 2020, 2, 29, 1, 2, 3);
  const std::vector<std::string> lines = Lines(Convert(record, 1));
  ASSERT_EQ(lines.size(), 21u);
  EXPECT_EQ(lines[3], "Storing periold,2020/02/29,01:02:03,-,2020/02/29,01:02:03");
  EXPECT_EQ(lines[4], "Number of samples,0");
  EXPECT_EQ(lines[20], ",,U11,U12,U13,U14,,,,");
}

TEST(TrendCsvConverter, FullRingWalksAllEntriesFromTheOldest) {
  Bytes record = test::EmptyRecord();
  PutWord(record, 214, 9);
  PutWord(record, 216, 400);
  PutWord(record, 218, 1);
  PutWord(record, 98, 10000);  // LP1 CH1 range 0..10000: the value is the sample
  for (int i = 0; i < 400; ++i) {
    PutLoop1Sample(record, 0, i, i);
    PutStamp(record, i, 2000 + i, 1, 1, 0, 0, 0);
  }
  const std::vector<std::string> lines = Lines(Convert(record, 0));
  ASSERT_EQ(lines.size(), 19u + 400u);
  EXPECT_EQ(lines[1], "Storing periold,2010/01/01,00:00:00,-,2009/01/01,00:00:00");
  for (int k = 0; k < 400; ++k) {
    const int index = (10 + k) % 400;
    EXPECT_EQ(lines[19 + static_cast<std::size_t>(k)],
              std::to_string(2000 + index) + "/1/1,00:00:00," + std::to_string(index) + ",0,0,0,0,0,0,0");
  }
}

TEST(TrendCsvConverter, DeviceTextsStayInsideTheirFields) {
  Bytes record = test::WorkedRecord();
  // A unit that fills its 9 bytes is followed directly by the next unit.
  PutBytes(record, 12, "ABCDEFGHI");
  PutBytes(record, 21, "XYZ");
  // The last tag of loop 1 fills its 11 bytes up to the range words.
  PutBytes(record, 85, "TTTTTTTTTTT");
  PutWord(record, 96, 0x4141);
  // The last unit of loop 1, a Shift-JIS degree sign and 7 more bytes, is
  // followed by the decimal point bytes (65 prints no decimals).
  PutBytes(record, 39,
           "\x81\x8e"
           "1234567");
  record[48] = 0x41;
  const std::vector<std::string> lines = Lines(Convert(record, 1));
  ASSERT_GT(lines.size(), 20u);
  EXPECT_EQ(lines[8], "LP1 CH1,PV1,,ABCDEFGHI,16705,1000,65");
  EXPECT_EQ(lines[9], "LP1 CH2,SP1,,XYZ,-500,500,1");
  EXPECT_EQ(lines[11], "LP1 CH4,FN1,TTTTTTTTTTT," + test::Sjis(u8"℃") + "1234567,0,10000,3");
  EXPECT_EQ(lines[19], ",,,,,TTTTTTTTTTT,,,,");
  EXPECT_EQ(lines[20], ",,ABCDEFGHI,XYZ,U13," + test::Sjis(u8"℃") + "1234567,,,,");
}

TEST(TrendCsvConverter, RefusedRecordsAppendNothing) {
  struct Case {
    const char* what;
    Bytes record;
  };
  auto withWord = [](std::size_t off, int value) {
    Bytes r = test::WorkedRecord();
    PutWord(r, off, value);
    return r;
  };
  Bytes shorter = test::WorkedRecord();
  shorter.pop_back();
  Bytes longer = test::WorkedRecord();
  longer.push_back(0);
  const Case cases[] = {
      {"empty", Bytes{}},
      {"13033 bytes", shorter},
      {"13035 bytes", longer},
      {"count -1", withWord(216, -1)},
      {"count 401", withWord(216, 401)},
      {"count -32768", withWord(216, -32768)},
      {"latest -1", withWord(214, -1)},
      {"latest 400", withWord(214, 400)},
      {"latest 400 with count 0",
       [&] {
         Bytes r = withWord(214, 400);
         PutWord(r, 216, 0);
         return r;
       }()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string text = "kept";
    EXPECT_EQ(data::TrendCsvConverter().Convert(c.record, text, 1), -1);
    EXPECT_EQ(text, "kept");
  }
}

TEST(TrendCsvConverter, AppendsToExistingText) {
  std::string text = "before\n";
  ASSERT_EQ(data::TrendCsvConverter().Convert(test::WorkedRecord(), text, 1), 0);
  EXPECT_EQ(text.substr(0, 31), "before\nKRT610 Short trend data\n");
}

// ---- TrendWriter ----

std::string CrLf(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

TEST(TrendWriter, WritesTheCsvWithCrLf) {
  test::TempDir dir;
  const std::string path = dir.File("20120307_143826.csv");
  test::WriteWholeFile(path, "an older export that is much longer than nothing");
  TrendWriter writer;
  EXPECT_EQ(writer.Write(test::WorkedRecord(), path, 1), 0);
  EXPECT_EQ(test::ReadWholeFile(path), CrLf(kWorkedCsv));
}

TEST(TrendWriter, MissingFolderCannotBeOpened) {
  test::TempDir dir;
  TrendWriter writer;
  EXPECT_EQ(writer.Write(test::WorkedRecord(), dir.File("missing/trend.csv"), 1), -1);
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "missing"));
}

TEST(TrendWriter, RefusedRecordTouchesNoFile) {
  test::TempDir dir;
  TrendWriter writer;
  Bytes record = test::WorkedRecord();
  PutWord(record, 216, 401);
  EXPECT_EQ(writer.Write(record, dir.File("new.csv"), 1), -3);
  EXPECT_EQ(writer.Write(Bytes(13033, 0), dir.File("new.csv"), 1), -3);
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));

  const std::string existing = dir.File("old.csv");
  test::WriteWholeFile(existing, "previous");
  EXPECT_EQ(writer.Write(record, existing, 1), -3);
  EXPECT_EQ(test::ReadWholeFile(existing), "previous");
}

// Every write to a file fails as on a full disk.
class FullDisk : public FileSystem {
 public:
  ssize_t Write(int, const void*, std::size_t) override {
    errno = ENOSPC;
    return -1;
  }
};

TEST(TrendWriter, FailedWriteKeepsThePreviousFile) {
  test::TempDir dir;
  const std::string path = dir.File("trend.csv");
  test::WriteWholeFile(path, "previous");
  FullDisk disk;
  TrendWriter writer(disk);
  EXPECT_EQ(writer.Write(test::WorkedRecord(), path, 1), -2);
  EXPECT_EQ(test::ReadWholeFile(path), "previous");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator()), 1);
}

}  // namespace
}  // namespace krt::trend
