#include "link/rt_com.hpp"

#include <gtest/gtest.h>

#include "support/fake_port.hpp"

namespace krt::link {
namespace {

using test::B;
using test::FakeDevice;
using test::FakePort;
using test::Hex;

using Requests = std::vector<std::string>;

Bytes Pattern(std::size_t n, std::uint8_t seed = 0) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 13 + seed);
  return b;
}

// A port, a device on it and an RTCom that uses it.
struct Rig {
  FakePort port;
  FakeDevice device{port};
  RTCom com{port, {}};
  Rig() { com.device_path = "/dev/ttyFAKE0"; }
};

TEST(DeviceTypes, Table) {
  struct Case {
    int code;
    int model_index;
    bool short_trend;
  } const known[] = {
      {10, 0, false}, {11, 2, false}, {20, 1, true},  {21, 3, true},  {40, 9, true},
      {41, 11, true}, {120, 4, true}, {170, 5, true}, {180, 7, true}, {220, 6, true},
  };
  for (const Case& c : known) {
    SCOPED_TRACE(c.code);
    const DeviceType* t = FindDeviceType(c.code);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->type_code, c.code);
    EXPECT_EQ(t->model_index, c.model_index);
    EXPECT_TRUE(t->download_accepted);
    EXPECT_EQ(t->short_trend, c.short_trend);
  }
  for (int code : {-1, 0, 9, 12, 19, 22, 30, 39, 42, 119, 121, 171, 181, 219, 221, 255, 256}) {
    SCOPED_TRACE(code);
    EXPECT_EQ(FindDeviceType(code), nullptr);
  }
}

TEST(RTCom, ConstructingOpensNoPort) {
  FakePort port;
  RTCom com(port, [](int) { return std::string("/dev/ttyS0"); });
  EXPECT_EQ(port.open_calls, 0);
  EXPECT_FALSE(port.IsOpen());
}

TEST(RTCom, WriteConfigByTypeCode) {
  struct Case {
    int type_code;
    int result;
    Requests requests;
  } const cases[] = {
      {10, kComOk, {"S", "P CONFIG", "S"}},
      {11, kComOk, {"S", "P CONFIG", "S"}},
      {20, kComOk, {"S", "P CONFIG", "S"}},
      {21, kComOk, {"S", "P CONFIG", "S"}},
      {40, kComOk, {"S", "P CONFIG", "S"}},
      {41, kComOk, {"S", "P CONFIG", "S"}},
      {120, kComOk, {"S", "P CONFIG", "S"}},
      {170, kComOk, {"S", "P CONFIG", "S"}},
      {180, kComOk, {"S", "P CONFIG", "S"}},
      {220, kComOk, {"S", "P CONFIG", "S"}},
      {30, kComFailed, {"S"}},
      {0, kComFailed, {"S"}},
      {9, kComFailed, {"S"}},
      {221, kComFailed, {"S"}},
      {255, kComFailed, {"S"}},
  };
  const Bytes image = Pattern(2048);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type_code);
    Rig rig;
    rig.device.type_code = c.type_code;
    int errorCode = -1;
    EXPECT_EQ(rig.com.WriteConfig(image, 2048, &errorCode), c.result);
    EXPECT_EQ(rig.device.requests, c.requests);
    EXPECT_EQ(errorCode, -1);
    if (c.result == kComOk) {
      EXPECT_EQ(rig.device.downloaded, image);
    }
    EXPECT_FALSE(rig.port.IsOpen());
  }
}

TEST(RTCom, WriteConfigSendsOnlySizeBytes) {
  Rig rig;
  const Bytes image = Pattern(2048);
  EXPECT_EQ(rig.com.WriteConfig(image, 1024, nullptr), kComOk);
  EXPECT_EQ(rig.device.downloaded, Bytes(image.begin(), image.begin() + 1024));
}

TEST(RTCom, WriteConfigDeviceError) {
  struct Case {
    const char* name;
    int device_error;
    bool with_error_code;
    int result;
    int error_code;
  } const cases[] = {
      {"error 7 reported", 7, true, kComDeviceError, 7},
      {"error 7 without a place for it", 7, false, kComDeviceError, -1},
      {"error 255", 255, true, kComDeviceError, 255},
      {"no error", 0, true, kComOk, -1},
  };
  const Bytes image = Pattern(2048);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    rig.device.error_after_download = c.device_error;
    int errorCode = -1;
    EXPECT_EQ(rig.com.WriteConfig(image, 2048, c.with_error_code ? &errorCode : nullptr), c.result);
    EXPECT_EQ(errorCode, c.error_code);
    // The image went over completely before the verdict.
    EXPECT_EQ(rig.device.downloaded, image);
    EXPECT_EQ(rig.device.requests, (Requests{"S", "P CONFIG", "S"}));
  }
}

TEST(RTCom, ReadTrendByTypeCode) {
  struct Case {
    int type_code;
    int result;
    int model_index;  // -1: left alone
    Requests requests;
  } const cases[] = {
      {10, kComNoTrend, -1, {"S"}},       {11, kComNoTrend, -1, {"S"}},       {30, kComNoTrend, -1, {"S"}},
      {0, kComNoTrend, -1, {"S"}},        {20, kComOk, 1, {"S", "G TREND"}},  {21, kComOk, 3, {"S", "G TREND"}},
      {40, kComOk, 9, {"S", "G TREND"}},  {41, kComOk, 11, {"S", "G TREND"}}, {120, kComOk, 4, {"S", "G TREND"}},
      {170, kComOk, 5, {"S", "G TREND"}}, {180, kComOk, 7, {"S", "G TREND"}}, {220, kComOk, 6, {"S", "G TREND"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type_code);
    Rig rig;
    rig.device.type_code = c.type_code;
    rig.device.trend = Pattern(13034, 5);
    Bytes trend = {1, 2, 3};
    int modelIndex = -1;
    EXPECT_EQ(rig.com.ReadTrend(trend, &modelIndex), c.result);
    EXPECT_EQ(modelIndex, c.model_index);
    EXPECT_EQ(rig.device.requests, c.requests);
    EXPECT_EQ(trend, c.result == kComOk ? rig.device.trend : Bytes({1, 2, 3}));
    EXPECT_FALSE(rig.port.IsOpen());
  }
}

TEST(RTCom, ReadTrendSetsModelIndexBeforeAFailedUpload) {
  struct Case {
    const char* name;
    bool error_frame;
    bool vanish;
  } const cases[] = {
      {"error frame instead of the record", true, false},
      {"device gone during the upload", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    rig.device.type_code = 180;
    rig.device.trend = Pattern(13034);
    rig.device.error_frame = c.error_frame;
    if (c.vanish) rig.port.VanishAfterWrites(6);  // status: 4 writes; 'G' request, ENQ
    Bytes trend = {9};
    int modelIndex = -1;
    EXPECT_EQ(rig.com.ReadTrend(trend, &modelIndex), kComFailed);
    EXPECT_EQ(modelIndex, 7);
    EXPECT_EQ(trend, Bytes{9});
    EXPECT_FALSE(rig.port.IsOpen());
  }
}

TEST(RTCom, ReadConfigSendsNoStatusQuery) {
  Rig rig;
  rig.device.type_code = 30;  // not looked at
  rig.device.config = Pattern(2048, 1);
  Bytes image;
  EXPECT_EQ(rig.com.ReadConfig(image), kComOk);
  EXPECT_EQ(image, rig.device.config);
  EXPECT_EQ(rig.device.requests, (Requests{"G CONFIG"}));
  ASSERT_FALSE(rig.port.Writes().empty());
  EXPECT_EQ(Hex(rig.port.Writes()[0].bytes), "02 00 FF 47 00 06 43 4F 4E 46 49 47 03 10 A9");
  EXPECT_EQ(rig.port.opened_device, "/dev/ttyFAKE0");
  EXPECT_EQ(rig.port.opened_baud, 57600);
}

TEST(RTCom, EmptyOrShortRepliesAreFailures) {
  struct Case {
    const char* name;
    std::function<void(FakeDevice&)> setup;
    int read_config;
    int write_config;
    int read_trend;
  } const cases[] = {
      {"upload of 0 bytes",
       [](FakeDevice& d) {
         d.config.clear();
         d.trend.clear();
       },
       kComFailed, kComOk, kComFailed},
      {"error frame", [](FakeDevice& d) { d.error_frame = true; }, kComFailed, kComOk, kComFailed},
      {"status of 2 bytes", [](FakeDevice& d) { d.status_length = 2; }, kComOk, kComFailed, kComFailed},
      {"status of 3 bytes", [](FakeDevice& d) { d.status_length = 3; }, kComOk, kComOk, kComOk},
      {"silent device", [](FakeDevice& d) { d.silent = true; }, kComFailed, kComFailed, kComFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    rig.device.config = Pattern(2048);
    rig.device.trend = Pattern(13034);
    c.setup(rig.device);
    Bytes image = {7};
    EXPECT_EQ(rig.com.ReadConfig(image), c.read_config);
    if (c.read_config != kComOk) {
      EXPECT_EQ(image, Bytes{7});
    }
    EXPECT_EQ(rig.com.WriteConfig(Pattern(1024), 1024, nullptr), c.write_config);
    Bytes trend = {7};
    int modelIndex = -1;
    EXPECT_EQ(rig.com.ReadTrend(trend, &modelIndex), c.read_trend);
    if (c.read_trend != kComOk) {
      EXPECT_EQ(trend, Bytes{7});
    }
    EXPECT_FALSE(rig.port.IsOpen());
    EXPECT_EQ(rig.port.close_calls, rig.port.open_calls);
  }
}

TEST(RTCom, PortFailures) {
  struct Case {
    const char* name;
    std::function<void(Rig&)> setup;
    int open_calls;
    int close_calls;
    std::string error;
  } const cases[] = {
      {"no such device", [](Rig& r) { r.port.FailOpen("/dev/ttyFAKE0: no such device", PortFailure::kNotFound); }, 1, 0,
       "/dev/ttyFAKE0: no such device"},
      {"settings refused: the port is let go again",
       [](Rig& r) { r.port.RefuseSettings("/dev/ttyFAKE0: 57600 baud refused"); }, 1, 1,
       "/dev/ttyFAKE0: 57600 baud refused"},
      {"port number that maps to nothing", [](Rig& r) { r.com.device_path.clear(); }, 0, 0, "COM1 is not present"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (int op = 0; op < 3; ++op) {
      SCOPED_TRACE(op);
      Rig rig;
      c.setup(rig);
      Bytes bytes = {5};
      int index = -1;
      int errorCode = -1;
      const int result = op == 0   ? rig.com.ReadConfig(bytes)
                         : op == 1 ? rig.com.WriteConfig(Pattern(1024), 1024, &errorCode)
                                   : rig.com.ReadTrend(bytes, &index);
      EXPECT_EQ(result, kComPortFailed);
      EXPECT_EQ(bytes, Bytes{5});
      EXPECT_EQ(index, -1);
      EXPECT_TRUE(rig.port.Writes().empty());
      EXPECT_EQ(rig.port.open_calls, c.open_calls);
      EXPECT_EQ(rig.port.close_calls, c.close_calls);
      EXPECT_FALSE(rig.port.IsOpen());
      EXPECT_EQ(rig.com.LastPortError(), c.error);
    }
  }
}

TEST(RTCom, LastPortFailureKind) {
  Rig rig;
  rig.port.FailOpen("/dev/ttyFAKE0: permission denied", PortFailure::kPermission);
  Bytes image;
  EXPECT_EQ(rig.com.ReadConfig(image), kComPortFailed);
  EXPECT_EQ(rig.com.LastPortFailure(), PortFailure::kPermission);
}

TEST(RTCom, DevicePathFromPortNumber) {
  FakePort port;
  FakeDevice device(port);
  device.config = Pattern(1024);
  std::vector<int> asked;
  RTCom com(port, [&](int n) {
    asked.push_back(n);
    return n == 4 ? std::string("/dev/ttyUSB3") : std::string();
  });
  com.port_number = 4;
  EXPECT_EQ(com.DevicePath(), "/dev/ttyUSB3");
  Bytes image;
  EXPECT_EQ(com.ReadConfig(image), kComOk);
  EXPECT_EQ(port.opened_device, "/dev/ttyUSB3");
  com.port_number = 5;
  EXPECT_EQ(com.ReadConfig(image), kComPortFailed);
  EXPECT_EQ(com.LastPortError(), "COM5 is not present");
  com.device_path = "/dev/ttyACM0";
  EXPECT_EQ(com.DevicePath(), "/dev/ttyACM0");
  EXPECT_EQ(asked.back(), 5) << "a device path is used without asking";

  RTCom unresolved(port, {});
  EXPECT_EQ(unresolved.DevicePath(), "");
}

TEST(RTCom, WriteConfigRefusesABadSizeBeforeOpening) {
  for (int size : {0, -1, 2049}) {
    SCOPED_TRACE(size);
    Rig rig;
    EXPECT_EQ(rig.com.WriteConfig(Pattern(2048), size, nullptr), kComFailed);
    EXPECT_EQ(rig.port.open_calls, 0);
  }
  Rig rig;
  EXPECT_EQ(rig.com.WriteConfig(Bytes{}, 1, nullptr), kComFailed);
}

TEST(RTCom, CancelFlagReachesTheProtocol) {
  Rig rig;
  rig.device.silent = true;
  CancelFlag cancel{1};
  rig.com.SetCancelFlag(&cancel);
  Bytes image;
  EXPECT_EQ(rig.com.ReadConfig(image), kComFailed);
  EXPECT_EQ(rig.port.Now(), 0) << "no waiting once cancelled";
  EXPECT_EQ(rig.port.Writes().size(), 1u);
  EXPECT_FALSE(rig.port.IsOpen());
}

TEST(RTCom, SilentDeviceTakesFifteenSeconds) {
  Rig rig;
  rig.device.silent = true;
  Bytes image;
  EXPECT_EQ(rig.com.ReadConfig(image), kComFailed);
  EXPECT_EQ(rig.port.Now(), 15000);
  EXPECT_FALSE(rig.port.IsOpen());
}

TEST(RTCom, RefusedBlocksAreSentAgain) {
  // A download of 1500 bytes is 11 host writes: status (request, ENQ, ACK,
  // EOT), 'P' request, two data blocks, status again.
  struct Case {
    int naks;
    int result;
    std::size_t writes;
  } const cases[] = {{0, kComOk, 11}, {2, kComOk, 13}, {3, kComFailed, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.naks);
    Rig rig;
    rig.device.nak_next_blocks = c.naks;
    rig.device.delay_ms = 5;
    EXPECT_EQ(rig.com.WriteConfig(Pattern(1500), 1500, nullptr), c.result);
    EXPECT_EQ(rig.port.Writes().size(), c.writes);
    EXPECT_FALSE(rig.port.IsOpen());
  }
}

TEST(RTCom, ProgressOfAnUpload) {
  Rig rig;
  rig.device.config = Pattern(2048);
  std::vector<std::size_t> seen;
  rig.com.SetProgress([&](std::size_t n) { seen.push_back(n); });
  Bytes image;
  EXPECT_EQ(rig.com.ReadConfig(image), kComOk);
  EXPECT_EQ(seen, (std::vector<std::size_t>{1024, 2048}));
}

}  // namespace
}  // namespace krt::link
