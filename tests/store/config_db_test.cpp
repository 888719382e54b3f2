// The configuration database: the image gatekeeper, model and version
// tables, loading, state, file name, LCD version, stored size and the merge
// into a device image.

#include "store/config_db.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/image_layout.hpp"

namespace krt {
namespace {

struct Header {
  std::uint32_t magic = image::kMagic;
  int model_code = 200;
  int major = 1;
  int minor = 1;
  int lcd_major = 0;
  int lcd_minor = 0;
};

// An image of `size` bytes with the given header and a body of defaults.
Bytes MakeImage(const Header& h, std::size_t size) {
  Bytes image = image::DefaultStoredImage();
  image.resize(size, 0);
  SetBeU32(image, 0, h.magic);
  SetBeU16(image, 4, 32);
  SetBeU16(image, 6, static_cast<std::uint16_t>(h.model_code));
  SetBeU16(image, 8, static_cast<std::uint16_t>(h.major));
  SetBeU16(image, 10, static_cast<std::uint16_t>(h.minor));
  SetBeU16(image, 12, static_cast<std::uint16_t>(h.lcd_major));
  SetBeU16(image, 14, static_cast<std::uint16_t>(h.lcd_minor));
  return image;
}

Bytes MakeImage(const Header& h) {
  return MakeImage(h, static_cast<std::size_t>(
                          image::ImageSizeFor(static_cast<std::int16_t>(h.major), static_cast<std::int16_t>(h.minor))));
}

TEST(ModelTables, ModelCodeToIndexAndObject) {
  const struct {
    int code;
    int index;
  } kCases[] = {{100, 0},  {200, 1},  {110, 2},   {210, 3},   {1200, 4}, {2200, 5}, {3200, 6},
                {4200, 7}, {6200, 9}, {6210, 11}, {5200, -1}, {0, -1},   {-1, -1},  {300, -1}};
  ConfigDB db;
  for (const auto& c : kCases) {
    SCOPED_TRACE("model code " + std::to_string(c.code));
    EXPECT_EQ(ModelIndexFromCode(c.code), c.index);
    if (c.index >= 0) {
      EXPECT_EQ(db.DataForModel(c.index).ModelCode(), c.code);
    }
  }
  // Indexes of no model give the KRT410 object.
  for (int index : {-1, 8, 10, 12, 1000}) {
    SCOPED_TRACE("model index " + std::to_string(index));
    EXPECT_EQ(db.DataForModel(index).ModelCode(), 100);
  }
}

TEST(ModelTables, AcceptedFormatVersionsPerModel) {
  const std::vector<std::pair<int, int>> kVersions = {{1, 0}, {1, 1}, {1, 2}, {2, 0}, {2, 1}, {2, 2}, {2, 3},
                                                      {2, 4}, {3, 0}, {3, 1}, {3, 2}, {3, 3}, {4, 0}, {0, 0}};
  const struct {
    int index;
    std::vector<std::pair<int, int>> accepted;
  } kCases[] = {
      {0, {{1, 1}, {3, 0}, {3, 1}, {3, 2}}},
      {1, {{1, 0}, {1, 1}, {3, 0}, {3, 1}, {3, 2}}},
      {2, {{1, 1}, {3, 0}, {3, 1}, {3, 2}}},
      {3, {{1, 1}, {3, 0}, {3, 1}, {3, 2}}},
      {4, {{2, 0}, {2, 1}, {2, 2}}},
      {5, {{2, 2}}},
      {6, {{3, 2}}},
      {7, {{2, 3}}},
      {8, {}},
      {9, {{3, 2}}},
      {10, {}},
      {11, {{3, 2}}},
      {-1, {}},
      {12, {}},
  };
  for (const auto& c : kCases) {
    for (const auto& v : kVersions) {
      SCOPED_TRACE("model index " + std::to_string(c.index) + " format " + std::to_string(v.first) + "." +
                   std::to_string(v.second));
      const bool want = std::find(c.accepted.begin(), c.accepted.end(), v) != c.accepted.end();
      EXPECT_EQ(IsVersionSupported(c.index, v.first, v.second), want);
    }
  }
}

struct ValidateCase {
  const char* what;
  Header header;
  std::size_t size;
  bool full_size;
  int result;
  int model_index = 0;
  int lcd_major = 0;
  int lcd_minor = 0;
};

TEST(ValidateImage, EveryPathAndTheOrderOfTheChecks) {
  const ValidateCase kCases[] = {
      {"empty", {}, 0, false, kDbBadImage},
      {"10 bytes", {}, 10, false, kDbBadImage},
      {"31 bytes", {}, 31, false, kDbBadImage},
      {"32 bytes, a valid header", {}, 32, false, kDbBadImage},
      {"wrong magic", {.magic = 0x499602D3}, 1024, false, kDbBadImage},
      {"wrong magic is checked before the model code", {.magic = 0, .model_code = 5200}, 1024, false, kDbBadImage},
      {"unknown model code", {.model_code = 5200}, 1024, false, kDbNotAccepted},
      {"unknown model code is checked before the size", {.model_code = 5200}, 100, false, kDbNotAccepted},
      {"1.1 of 2048 bytes", {}, 2048, false, kDbBadImage},
      {"1.1 of 1023 bytes", {}, 1023, false, kDbBadImage},
      {"2.2 of 1024 bytes", {.model_code = 2200, .major = 2, .minor = 2}, 1024, false, kDbBadImage},
      {"3.2 of 2049 bytes", {.major = 3, .minor = 2}, 2049, false, kDbBadImage},
      {"size is checked before the version", {.model_code = 200, .major = 2, .minor = 2}, 1024, false, kDbBadImage},
      {"version not accepted for the model", {.model_code = 1200, .major = 1, .minor = 1}, 1024, false, kDbNotAccepted},
      {"2.2 not accepted for KRT610", {.model_code = 200, .major = 2, .minor = 2}, 2048, false, kDbNotAccepted},
      {"1.0 not accepted for KRT410", {.model_code = 100, .major = 1, .minor = 0}, 1024, false, kDbNotAccepted},
      {"KRT610 1.1", {.model_code = 200, .lcd_major = 2, .lcd_minor = 10}, 1024, false, kDbOk, 1, 2, 1},
      {"KRT610 1.0 is LCD 1.0 whatever it holds",
       {.model_code = 200, .major = 1, .minor = 0, .lcd_major = 7, .lcd_minor = 33},
       1024,
       false,
       kDbOk,
       1,
       1,
       0},
      {"lcd_minor 25 gives 2",
       {.model_code = 6210, .major = 3, .minor = 2, .lcd_major = 3, .lcd_minor = 25},
       2048,
       false,
       kDbOk,
       11,
       3,
       2},
      {"lcd_minor 19 gives 1",
       {.model_code = 4200, .major = 2, .minor = 3, .lcd_major = 2, .lcd_minor = 19},
       2048,
       false,
       kDbOk,
       7,
       2,
       1},
      {"RT610J 2.1", {.model_code = 1200, .major = 2, .minor = 1}, 1024, false, kDbOk, 4},
      {"full size wants 2048 bytes", {}, 1024, true, kDbBadImage},
      {"full size 1.1 of 2048 bytes", {.model_code = 110}, 2048, true, kDbOk, 2},
      {"full size still checks the version", {.model_code = 3200, .major = 3, .minor = 1}, 2048, true, kDbNotAccepted},
  };
  ConfigDB db;
  for (const ValidateCase& c : kCases) {
    SCOPED_TRACE(c.what);
    const Bytes image = MakeImage(c.header, c.size);
    ValidatedImage out;
    ASSERT_EQ(db.ValidateImage(image, c.full_size, &out), c.result);
    EXPECT_EQ(db.ValidateImage(image, c.full_size, nullptr), c.result);
    if (c.result != kDbOk) continue;
    EXPECT_EQ(out.model_index, c.model_index);
    EXPECT_EQ(out.format_major, c.header.major);
    EXPECT_EQ(out.format_minor, c.header.minor);
    EXPECT_EQ(out.lcd_major, c.lcd_major);
    EXPECT_EQ(out.lcd_minor, c.lcd_minor);
  }
}

TEST(ConfigDB, StartsWithNoDataAndRefusesListingAndCopy) {
  ConfigDB db;
  EXPECT_EQ(db.GetState(), NoData);
  EXPECT_EQ(db.GetModelIndex(), 0);
  EXPECT_EQ(db.GetFileName(), "");
  int major = -1, minor = -1;
  db.GetLcdVersion(major, minor);
  EXPECT_EQ(major, 0);
  EXPECT_EQ(minor, 0);
  std::string text = "keep";
  EXPECT_EQ(db.WriteListing(text), -1);
  EXPECT_EQ(text, "keep");
  Bytes out = {1, 2, 3};
  EXPECT_EQ(db.CopyImage(out), -1);
  EXPECT_EQ(out, (Bytes{1, 2, 3}));
}

TEST(ConfigDB, LoadsFromFileAndDevice) {
  ConfigDB db;
  Bytes fromFile = MakeImage({.model_code = 200, .major = 1, .minor = 0, .lcd_major = 9, .lcd_minor = 90});
  SetBeU16(fromFile, 40, 2);  // backlight
  ASSERT_EQ(db.LoadFromFile(fromFile, "/home/eng/plant ä/line1.cfg"), kDbOk);
  EXPECT_EQ(db.GetState(), FromFile);
  EXPECT_EQ(db.GetFileName(), "/home/eng/plant ä/line1.cfg");
  EXPECT_EQ(db.GetModelIndex(), 1);
  int major = 0, minor = 0;
  db.GetLcdVersion(major, minor);
  EXPECT_EQ(major, 1);
  EXPECT_EQ(minor, 0);
  Bytes image;
  ASSERT_EQ(db.CopyImage(image), 0);
  ASSERT_EQ(image.size(), 2048u);
  EXPECT_TRUE(std::equal(image.begin(), image.begin() + 32, fromFile.begin()));
  EXPECT_EQ(BeU16(image, 40), 2);
  std::string listing;
  EXPECT_EQ(db.WriteListing(listing), 0);

  // A device upload changes the state and keeps the file name.
  const Bytes fromDevice = MakeImage({.model_code = 2200, .major = 2, .minor = 2, .lcd_major = 2, .lcd_minor = 35});
  ASSERT_EQ(db.LoadFromDevice(fromDevice), kDbOk);
  EXPECT_EQ(db.GetState(), FromDevice);
  EXPECT_EQ(db.GetFileName(), "/home/eng/plant ä/line1.cfg");
  EXPECT_EQ(db.GetModelIndex(), 5);
  db.GetLcdVersion(major, minor);
  EXPECT_EQ(major, 2);
  EXPECT_EQ(minor, 3);
  ASSERT_EQ(db.CopyImage(image), 0);
  EXPECT_EQ(BeU16(image, 6), 2200);
  EXPECT_EQ(image, db.DataForModel(5).Image());
}

TEST(ConfigDB, FailedLoadChangesNothing) {
  ConfigDB db;
  const Bytes good = MakeImage({.model_code = 210, .major = 3, .minor = 1, .lcd_major = 4, .lcd_minor = 20});
  ASSERT_EQ(db.LoadFromFile(good, "a.cfg"), kDbOk);
  Bytes before;
  ASSERT_EQ(db.CopyImage(before), 0);
  const std::vector<Bytes> kBad = {
      {},
      Bytes(10, 0),
      MakeImage({.magic = 1, .model_code = 210}),
      MakeImage({.model_code = 5200}),
      MakeImage({.model_code = 210, .major = 3, .minor = 1}, 1024),
      MakeImage({.model_code = 210, .major = 1, .minor = 0}),
  };
  for (std::size_t i = 0; i < kBad.size(); ++i) {
    SCOPED_TRACE("bad image " + std::to_string(i));
    EXPECT_LT(db.LoadFromFile(kBad[i], "b.cfg"), 0);
    EXPECT_LT(db.LoadFromDevice(kBad[i]), 0);
    EXPECT_EQ(db.GetState(), FromFile);
    EXPECT_EQ(db.GetFileName(), "a.cfg");
    EXPECT_EQ(db.GetModelIndex(), 3);
    int major = 0, minor = 0;
    db.GetLcdVersion(major, minor);
    EXPECT_EQ(major, 4);
    EXPECT_EQ(minor, 2);
    Bytes after;
    ASSERT_EQ(db.CopyImage(after), 0);
    EXPECT_EQ(after, before);
  }
}

TEST(ConfigDB, GetStoredSizeFollowsTheFormatVersion) {
  const struct {
    int model_code, major, minor;
    std::size_t length;
    int size;
  } kCases[] = {
      {200, 1, 0, 1024, 1024},
      {200, 1, 1, 1024, 1024},
      {1200, 2, 0, 1024, 1024},
      {1200, 2, 1, 1024, 1024},
      {1200, 2, 2, 2048, 2048},
      {4200, 2, 3, 2048, 2048},
      {200, 3, 0, 2048, 2048},
      {200, 3, 1, 2048, 2048},
      {200, 3, 2, 2048, 2048},
      {5200, 3, 2, 2048, 2048},
      {200, 4, 0, 2048, 2048},
      // Never more than an unvalidated image holds.
      {200, 3, 2, 10, 10},
      {200, 1, 1, 1000, 1000},
      {200, 3, 2, 1024, 1024},
      {200, 1, 1, 2049, 1024},
  };
  ConfigDB db;
  for (const auto& c : kCases) {
    SCOPED_TRACE("format " + std::to_string(c.major) + "." + std::to_string(c.minor));
    EXPECT_EQ(db.GetStoredSize(MakeImage({.model_code = c.model_code, .major = c.major, .minor = c.minor}, c.length)),
              c.size);
  }
  EXPECT_EQ(db.GetStoredSize({}), 0);
}

TEST(ConfigDB, MergeKeepsTheDeviceHeaderAndCommunication) {
  ConfigDB db;
  // The current configuration: a KRT610 whose display settings differ from the defaults.
  Bytes ownFile = MakeImage({.model_code = 200, .major = 3, .minor = 2, .lcd_major = 5, .lcd_minor = 10});
  SetBeU16(ownFile, 40, 1);    // backlight
  SetBeU16(ownFile, 124, 0);   // baud_code
  ownFile[132] = 10;           // ip_address
  SetBeU16(ownFile, 1410, 1);  // language
  ASSERT_EQ(db.LoadFromFile(ownFile, "own.cfg"), kDbOk);
  Bytes own;
  ASSERT_EQ(db.CopyImage(own), 0);

  // A KRT410 device of format 1.1 (models are not compared).
  Bytes device = MakeImage({.model_code = 100, .major = 1, .minor = 1, .lcd_major = 2, .lcd_minor = 10});
  SetBeU16(device, 124, 2);
  device[132] = 172;
  const Bytes before = device;
  ASSERT_EQ(db.MergeIntoDeviceImage(device, own), kDbOk);
  ASSERT_EQ(device.size(), 1024u);
  EXPECT_TRUE(std::equal(device.begin(), device.begin() + 32, before.begin()));
  EXPECT_EQ(BeU16(device, 40), 1);
  EXPECT_EQ(BeU16(device, 124), 2);
  EXPECT_EQ(device[132], 172);
  EXPECT_EQ(db.GetState(), FromFile);
  EXPECT_EQ(db.GetFileName(), "own.cfg");

  // A 3.2 device takes the language as well.
  Bytes device32 = MakeImage({.model_code = 6200, .major = 3, .minor = 2});
  ASSERT_EQ(db.MergeIntoDeviceImage(device32, own), kDbOk);
  EXPECT_EQ(BeU16(device32, 1410), 1);
  EXPECT_EQ(BeU16(device32, 6), 6200);
  EXPECT_EQ(BeU16(device32, 124), 3);
}

TEST(ConfigDB, MergeRefusesInvalidImagesAndLeavesTheDeviceImage) {
  ConfigDB db;
  const Bytes goodDevice = MakeImage({.model_code = 200, .major = 1, .minor = 1});
  const Bytes goodOwn = MakeImage({.model_code = 200, .major = 1, .minor = 1}, 2048);
  const struct {
    const char* what;
    Bytes device;
    Bytes own;
    int result;
  } kCases[] = {
      {"empty device", {}, goodOwn, kDbBadImage},
      {"device of 10 bytes", Bytes(10, 0), goodOwn, kDbBadImage},
      {"device of unknown model", MakeImage({.model_code = 5200}), goodOwn, kDbNotAccepted},
      {"device of the wrong size", MakeImage({.model_code = 200}, 2048), goodOwn, kDbBadImage},
      {"device version not accepted", MakeImage({.model_code = 100, .major = 1, .minor = 0}), goodOwn, kDbNotAccepted},
      {"own image not full size", goodDevice, MakeImage({.model_code = 200}), kDbBadImage},
      {"own image empty", goodDevice, {}, kDbBadImage},
      {"own image of unknown model", goodDevice, MakeImage({.model_code = 5200}, 2048), kDbNotAccepted},
      {"own image with a wrong magic", goodDevice, MakeImage({.magic = 7}, 2048), kDbBadImage},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    Bytes device = c.device;
    EXPECT_EQ(db.MergeIntoDeviceImage(device, c.own), c.result);
    EXPECT_EQ(device, c.device);
  }
}

}  // namespace
}  // namespace krt
