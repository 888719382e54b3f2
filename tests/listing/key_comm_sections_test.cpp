// Key settings, PRG mode indicator, communication and language sections.

#include <gtest/gtest.h>

#include <string>

#include "listing/listing_test_image.hpp"
#include "listing/sections.hpp"

namespace krt::listing {
namespace {

using krt::test::TestImage;

struct FormatCase {
  int major, minor;
  const char* expected;
};

constexpr const char* kKeyRowsSp =
    "PRG mode indicator,,ON\n"
    "Numerical key control,SP1,Enable\n"
    ",MV1,Disable\n"
    ",SP2,(null)\n"
    ",MV2,Enable\n";

TEST(KeySettings, OnlyFormat3Point2AndLaterMinorsOfMajor3) {
  const FormatCase cases[] = {
      {2, 1, ""},         {2, 2, ""},         {2, 3, ""}, {3, 0, ""}, {3, 1, ""},
      {3, 2, kKeyRowsSp}, {3, 3, kKeyRowsSp}, {4, 0, ""}, {1, 0, ""},
  };
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.major << "." << c.minor);
    TestImage image;
    image.Format(c.major, c.minor).Model(200).Word(1654, 1).Word(1656, 1).Word(1658, 0).Word(1660, 5).Word(1662, 1);
    std::string out;
    WriteKeySettings(image, out);
    EXPECT_EQ(out, c.expected);
  }
}

TEST(KeySettings, WordsFollowTheLoopVariableSet) {
  struct WordCase {
    int loopVariables;
    const char* expected;
  };
  const WordCase cases[] = {
      {1,
       "PRG mode indicator,,OFF\n"
       "Numerical key control,SV1,Disable\n"
       ",OP1,Disable\n"
       ",SV2,Enable\n"
       ",OP2,(null)\n"},
      {2,
       "PRG mode indicator,,OFF\n"
       "Numerical key control,SP1,Disable\n"
       ",MV1,Disable\n"
       ",SP2,Enable\n"
       ",MV2,(null)\n"},
  };
  for (const WordCase& c : cases) {
    SCOPED_TRACE(c.loopVariables);
    TestImage image;
    image.Format(3, 2).Model(6200).Word(98, c.loopVariables).Word(1654, 0).Word(1660, 1).Word(1662, -1);
    std::string out;
    WriteKeySettings(image, out);
    EXPECT_EQ(out, c.expected);
  }
}

TEST(PrgIndicator, OnlyFlowFormatsFrom2Point2) {
  const FormatCase cases[] = {
      {2, 0, ""}, {2, 1, ""}, {2, 2, "PRG mode indicator,,ON\n"}, {2, 3, "PRG mode indicator,,ON\n"},
      {3, 2, ""}, {1, 1, ""},
  };
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.major << "." << c.minor);
    TestImage image;
    image.Format(c.major, c.minor).Model(1200).Word(1654, 1);
    std::string out;
    WritePrgIndicator(image, out);
    EXPECT_EQ(out, c.expected);
  }
  TestImage odd;
  odd.Format(2, 2).Model(1200).Word(1654, 2);
  std::string out;
  WritePrgIndicator(odd, out);
  EXPECT_EQ(out, "PRG mode indicator,,(null)\n");
}

TestImage CommunicationImage(int model, int lcdMajor) {
  TestImage image;
  image.Format(3, 2).Model(model).Lcd(lcdMajor, 10);
  image.Byte(122, 17).Word(124, 2).Word(128, 1);
  image.ByteRun(132, {192, 168, 0, 1}).ByteRun(136, {255, 255, 255, 0}).ByteRun(140, {10, 0, 0, 254});
  image.Word(144, 502).Word(146, 180);
  return image;
}

constexpr const char* kCommHead =
    "Modbus-RTU,Node address,17\n"
    ",Transfer rate,19200,bps\n"
    ",Data bit (8 bit),8,bit\n"
    ",Parity,Even\n"
    "Modbus/TCP,IP address,192.168.0.1\n"
    ",Subnet mask,255.255.255.0\n";
constexpr const char* kCommGateway = ",Default gateway,10.0.0.254\n";
constexpr const char* kCommTail =
    ",Port No. (502 fixed),502\n"
    ",Linger time,180,sec\n";

TEST(Communication, DefaultGatewayOnlyForKrt610And611FromLcdMajor2) {
  struct GatewayCase {
    int model, lcdMajor;
    bool gateway;
  };
  const GatewayCase cases[] = {
      {200, 2, true},   {200, 1, false},  {200, 3, true},  {210, 2, true},   {210, 1, false},  {210, 0, false},
      {3200, 2, false}, {3200, 5, false}, {100, 2, false}, {6200, 2, false}, {1200, 2, false}, {200, -1, false},
  };
  for (const GatewayCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "model " << c.model << " lcd " << c.lcdMajor);
    std::string out;
    WriteCommunication(CommunicationImage(c.model, c.lcdMajor), out);
    EXPECT_EQ(out, std::string(kCommHead) + (c.gateway ? kCommGateway : "") + kCommTail);
  }
}

TEST(Communication, WrittenForEveryFormat) {
  const std::pair<int, int> formats[] = {{1, 0}, {1, 1}, {2, 1}, {2, 2}, {2, 3}, {3, 0}, {3, 1}, {3, 2}, {4, 0}};
  for (auto [major, minor] : formats) {
    SCOPED_TRACE(testing::Message() << major << "." << minor);
    TestImage image = CommunicationImage(200, 2);
    image.Format(major, minor);
    std::string out;
    WriteCommunication(image, out);
    EXPECT_EQ(out, std::string(kCommHead) + kCommGateway + kCommTail);
  }
}

TEST(Communication, UnsignedNumbersAndOutOfTableCodes) {
  TestImage image;
  image.Model(210).Format(3, 2).Lcd(2, 0);
  image.Byte(122, 255).Word(124, 4).Word(128, 3);
  image.ByteRun(132, {255, 0, 9, 10}).ByteRun(136, {0, 0, 0, 0}).ByteRun(140, {1, 2, 3, 4});
  image.ByteRun(144, {0xFF, 0xFF}).Word(146, 65535);
  std::string out;
  WriteCommunication(image, out);
  EXPECT_EQ(out,
            "Modbus-RTU,Node address,255\n"
            ",Transfer rate,(null),bps\n"
            ",Data bit (8 bit),8,bit\n"
            ",Parity,(null)\n"
            "Modbus/TCP,IP address,255.0.9.10\n"
            ",Subnet mask,0.0.0.0\n"
            ",Default gateway,1.2.3.4\n"
            ",Port No. (502 fixed),65535\n"
            ",Linger time,65535,sec\n");
}

TEST(Communication, TransferRatesAndParities) {
  const std::pair<int, const char*> rates[] = {{0, "4800"}, {1, "9600"}, {2, "19200"}, {3, "38400"}, {-1, "(null)"}};
  const std::pair<int, const char*> parities[] = {{0, "None"}, {1, "Even"}, {2, "Odd"}};
  for (auto [code, text] : rates) {
    TestImage image = CommunicationImage(200, 1);
    image.Word(124, code);
    std::string out;
    WriteCommunication(image, out);
    EXPECT_NE(out.find(std::string(",Transfer rate,") + text + ",bps\n"), std::string::npos) << code;
  }
  for (auto [code, text] : parities) {
    TestImage image = CommunicationImage(200, 1);
    image.Word(128, code);
    std::string out;
    WriteCommunication(image, out);
    EXPECT_NE(out.find(std::string(",Parity,") + text + "\n"), std::string::npos) << code;
  }
}

TEST(Language, FromFormat3Point1) {
  const FormatCase cases[] = {
      {2, 2, ""},
      {2, 3, ""},
      {3, 0, ""},
      {3, 1, "Language,,English\n"},
      {3, 2, "Language,,English\n"},
      {4, 0, "Language,,English\n"},
      {5, 0, "Language,,English\n"},
      {1, 1, ""},
  };
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.major << "." << c.minor);
    TestImage image;
    image.Format(c.major, c.minor).Model(200).Word(1410, 1);
    std::string out;
    WriteLanguage(image, out);
    EXPECT_EQ(out, c.expected);
  }
  const std::pair<int, const char*> values[] = {{0, "Language,,Japanese\n"}, {2, "Language,,(null)\n"}};
  for (auto [value, expected] : values) {
    TestImage image;
    image.Format(3, 1).Word(1410, value);
    std::string out;
    WriteLanguage(image, out);
    EXPECT_EQ(out, expected);
  }
}

}  // namespace
}  // namespace krt::listing
