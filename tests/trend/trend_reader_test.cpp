#include <gtest/gtest.h>

#include <string>

#include "link/rt_com.hpp"
#include "support/fake_port.hpp"
#include "trend/trend.hpp"
#include "trend/worked_record.hpp"

namespace krt::trend {
namespace {

// Answers ReadTrend with a set result, record and model index.
class ScriptedCom : public link::RTCom {
 public:
  explicit ScriptedCom(link::Port& port) : RTCom(port, [](int) { return std::string(); }) {}
  int ReadTrend(Bytes& trend, int* modelIndex) override {
    ++calls;
    *modelIndex = model_index;
    if (result == 0) trend = record;
    return result;
  }
  int result = 0;
  Bytes record;
  int model_index = 0;
  int calls = 0;
};

struct ReaderFixture : testing::Test {
  test::FakePort port;  // never opened by the scripted command object
  ScriptedCom com{port};
  TrendReader reader{com};
};

TEST_F(ReaderFixture, FailuresOfTheUploadMapToReadCodes) {
  struct Case {
    int com;
    int read;
  };
  const Case cases[] = {
      {link::kComPortFailed, kReadPortFailed},
      {link::kComFailed, kReadCommFailed},
      {link::kComDeviceError, kReadPortFailed},
      {link::kComNoTrend, kReadUnsupported},
      {-3, kReadPortFailed},
      {-100, kReadPortFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.com);
    com.result = c.com;
    com.model_index = 7;
    Bytes record = {1, 2, 3};
    int modelIndex = -1;
    std::string baseName;
    EXPECT_EQ(reader.Read(record, modelIndex, baseName), c.read);
    EXPECT_EQ(modelIndex, 7);  // what the command object wrote stays
    EXPECT_EQ(record, (Bytes{1, 2, 3}));
    EXPECT_TRUE(baseName.empty());
  }
}

TEST_F(ReaderFixture, RecordsThatCannotBeExportedAreIllegalData) {
  Bytes shorter = test::WorkedRecord();
  shorter.pop_back();
  Bytes longer = test::WorkedRecord();
  longer.push_back(0);
  Bytes badCount = test::WorkedRecord();
  test::PutWord(badCount, 216, 401);
  Bytes negativeCount = test::WorkedRecord();
  test::PutWord(negativeCount, 216, -5);
  Bytes badLatest = test::WorkedRecord();
  test::PutWord(badLatest, 214, 400);
  for (const Bytes& delivered : {Bytes{}, shorter, longer, badCount, negativeCount, badLatest}) {
    SCOPED_TRACE(delivered.size());
    com.result = 0;
    com.record = delivered;
    com.model_index = 4;
    Bytes record;
    int modelIndex = 0;
    std::string baseName;
    EXPECT_EQ(reader.Read(record, modelIndex, baseName), kReadIllegalData);
    EXPECT_EQ(modelIndex, 4);
    EXPECT_TRUE(baseName.empty());
  }
}

TEST_F(ReaderFixture, SuccessDeliversRecordModelAndBaseName) {
  com.result = 0;
  com.record = test::WorkedRecord();
  com.model_index = 5;
  Bytes record = {9};
  int modelIndex = 0;
  std::string baseName;
  EXPECT_EQ(reader.Read(record, modelIndex, baseName), kReadOk);
  EXPECT_EQ(com.calls, 1);
  EXPECT_EQ(record, test::WorkedRecord());
  EXPECT_EQ(modelIndex, 5);
  EXPECT_EQ(baseName, "20120307_143826");
}

// The whole road: the command object on a fake device that answers 'G' "TREND".
struct DeviceFixture : testing::Test {
  DeviceFixture() { com.device_path = "/dev/fake"; }
  test::FakePort port;
  test::FakeDevice device{port};
  link::RTCom com{port, {}};
  TrendReader reader{com};
  Bytes record;
  int modelIndex = -1;
  std::string baseName;
};

TEST_F(DeviceFixture, UploadsTheRecordOfADeviceWithShortTrend) {
  device.type_code = 170;  // RT610N
  device.trend = test::WorkedRecord();
  EXPECT_EQ(reader.Read(record, modelIndex, baseName), kReadOk);
  EXPECT_EQ(record, test::WorkedRecord());
  EXPECT_EQ(modelIndex, 5);
  EXPECT_EQ(baseName, "20120307_143826");
}

TEST_F(DeviceFixture, DeviceWithoutShortTrendIsUnsupported) {
  device.type_code = 10;  // KRT410
  device.trend = test::WorkedRecord();
  EXPECT_EQ(reader.Read(record, modelIndex, baseName), kReadUnsupported);
  EXPECT_TRUE(record.empty());
  EXPECT_TRUE(baseName.empty());
  for (const std::string& request : device.requests) EXPECT_NE(request, "G TREND");
}

TEST_F(DeviceFixture, ShortReplyIsIllegalData) {
  device.type_code = 20;
  device.trend = test::WorkedRecord();
  device.trend.pop_back();
  EXPECT_EQ(reader.Read(record, modelIndex, baseName), kReadIllegalData);
  EXPECT_EQ(modelIndex, 1);
  EXPECT_TRUE(baseName.empty());
}

TEST_F(DeviceFixture, SilentDeviceIsACommunicationFailure) {
  device.type_code = 20;
  device.silent = true;
  EXPECT_EQ(reader.Read(record, modelIndex, baseName), kReadCommFailed);
  EXPECT_TRUE(baseName.empty());
}

TEST_F(DeviceFixture, PortThatWillNotOpen) {
  port.FailOpen("No such file or directory");
  EXPECT_EQ(reader.Read(record, modelIndex, baseName), kReadPortFailed);
  EXPECT_TRUE(baseName.empty());
}

}  // namespace
}  // namespace krt::trend
