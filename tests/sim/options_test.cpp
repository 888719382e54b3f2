// The simulator's command line and the device it builds from it.

#include "sim/options.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/bytes.hpp"
#include "sim/models.hpp"
#include "store/config_db.hpp"
#include "support/temp_dir.hpp"

namespace krt::sim {
namespace {

bool Parse(const std::vector<std::string>& args, SimOptions& options, std::string& error) {
  return ParseSimOptions(args, options, error);
}

TEST(SimOptions, ReadsEveryOptionInBothSpellings) {
  SimOptions o;
  std::string error;
  ASSERT_TRUE(Parse({"--model",
                     "rt610j",
                     "--type-code=33",
                     "--image",
                     "a.cfg",
                     "--trend=t.bin",
                     "--received",
                     "r.cfg",
                     "--link",
                     "/tmp/krt0",
                     "--seed",
                     "9",
                     "--block-size=100",
                     "--pace",
                     "--verbose",
                     "--nak",
                     "2",
                     "--silent",
                     "--silent-after-request",
                     "--corrupt-crc=3",
                     "--noise",
                     "4",
                     "--error-frame",
                     "--device-error",
                     "5",
                     "--vanish-mid-block",
                     "--babble",
                     "--fault-on",
                     "GP"},
                    o, error))
      << error;
  EXPECT_EQ(o.model, "rt610j");
  EXPECT_EQ(o.type_code, 33);
  EXPECT_EQ(o.image_file, "a.cfg");
  EXPECT_EQ(o.trend_file, "t.bin");
  EXPECT_EQ(o.received_file, "r.cfg");
  EXPECT_EQ(o.link_path, "/tmp/krt0");
  EXPECT_EQ(o.seed, 9u);
  EXPECT_EQ(o.block_size, 100u);
  EXPECT_TRUE(o.pace);
  EXPECT_TRUE(o.verbose);
  EXPECT_EQ(o.faults.nak_blocks, 2);
  EXPECT_TRUE(o.faults.silent);
  EXPECT_TRUE(o.faults.silent_after_request);
  EXPECT_EQ(o.faults.corrupt_crc_blocks, 3);
  EXPECT_EQ(o.faults.noise_bytes, 4);
  EXPECT_TRUE(o.faults.error_frame);
  EXPECT_EQ(o.faults.device_error, 5);
  EXPECT_TRUE(o.faults.vanish_mid_block);
  EXPECT_TRUE(o.faults.babble);
  EXPECT_EQ(o.faults.commands, "GP");
  EXPECT_FALSE(o.help);
}

TEST(SimOptions, RefusesBadArgumentsWithAMessageNamingThem) {
  struct Case {
    std::vector<std::string> args;
    std::string message_part;
  };
  const Case cases[] = {
      {{"--model", "KRT999"}, "KRT999"},
      {{"--type-code", "256"}, "--type-code"},
      {{"--type-code", "x"}, "\"x\""},
      {{"--block-size", "0"}, "--block-size"},
      {{"--block-size", "1025"}, "1 to 1024"},
      {{"--device-error", "0"}, "--device-error"},
      {{"--nak", "-1"}, "--nak"},
      {{"--nak"}, "needs a value"},
      {{"--pace=1"}, "takes no value"},
      {{"--fault-on", "X"}, "S, G and P"},
      {{"--frobnicate"}, "--frobnicate"},
      {{"stray"}, "\"stray\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.front());
    SimOptions o;
    std::string error;
    EXPECT_FALSE(Parse(c.args, o, error));
    EXPECT_NE(error.find(c.message_part), std::string::npos) << error;
  }
}

TEST(SimOptions, HelpExplainsEveryOptionWithAnExample) {
  SimOptions o;
  std::string error;
  ASSERT_TRUE(Parse({"--help"}, o, error));
  EXPECT_TRUE(o.help);
  const std::string help = SimHelpText();
  for (const char* word : {"--model",
                           "--type-code",
                           "--image",
                           "--trend",
                           "--received",
                           "--link",
                           "--block-size",
                           "--pace",
                           "--nak",
                           "--silent",
                           "--silent-after-request",
                           "--corrupt-crc",
                           "--noise",
                           "--error-frame",
                           "--device-error",
                           "--vanish-mid-block",
                           "--babble",
                           "--fault-on",
                           "Example",
                           "SIGTERM"}) {
    EXPECT_NE(help.find(word), std::string::npos) << word;
  }
}

TEST(SimDeviceSetup, EachModelServesItsTypeCodeDefaultImageAndTrend) {
  for (const SimModel& m : SimModels()) {
    SCOPED_TRACE(std::string(m.name));
    SimOptions o;
    o.model = std::string(m.name);
    DeviceSetup s;
    std::string error;
    ASSERT_TRUE(BuildDeviceSetup(o, s, error)) << error;
    EXPECT_EQ(s.type_code, m.type_code);
    ASSERT_EQ(s.config_image.size(), 2048u);
    EXPECT_EQ(BeU32(s.config_image, 0), 0x499602D2u);
    EXPECT_EQ(BeU16(s.config_image, 6), BeU16(m.make()->Image(), 6));
    EXPECT_EQ(s.has_trend, m.short_trend);
    EXPECT_EQ(s.trend_record.size(), m.short_trend ? 13034u : 0u);
  }
}

TEST(SimDeviceSetup, ModelsMatchTheDeviceTypeTable) {
  // The flow models' images carry the newest 2.x format a host accepts for them.
  struct Row {
    const char* name;
    int type_code;
    std::uint16_t model_code;
    int model_index;
    bool trend;
    std::uint16_t format_major;
    std::uint16_t format_minor;
  };
  const Row rows[] = {
      {"KRT410", 10, 100, 0, false, 3, 2},  {"KRT411", 11, 110, 2, false, 3, 2},  {"KRT610", 20, 200, 1, true, 3, 2},
      {"KRT611", 21, 210, 3, true, 3, 2},   {"RT610X", 40, 6200, 9, true, 3, 2},  {"RT611X", 41, 6210, 11, true, 3, 2},
      {"RT610J", 120, 1200, 4, true, 2, 2}, {"RT610N", 170, 2200, 5, true, 2, 2}, {"RT610M", 180, 4200, 7, true, 2, 3},
      {"RT610L", 220, 3200, 6, true, 3, 2},
  };
  ASSERT_EQ(SimModels().size(), std::size(rows));
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const SimModel* m = FindSimModel(r.name);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m, FindSimModelByTypeCode(r.type_code));
    EXPECT_EQ(m->type_code, r.type_code);
    EXPECT_EQ(m->model_index, r.model_index);
    EXPECT_EQ(m->short_trend, r.trend);
    const Bytes image = DefaultImage(*m);
    EXPECT_EQ(BeU16(image, 6), r.model_code);
    EXPECT_EQ(BeU16(image, 8), r.format_major);
    EXPECT_EQ(BeU16(image, 10), r.format_minor);
  }
  EXPECT_EQ(FindSimModelByTypeCode(30), nullptr);
}

TEST(SimDeviceSetup, EveryDefaultImageIsAcceptedAsADeviceImage) {
  for (const SimModel& m : SimModels()) {
    SCOPED_TRACE(std::string(m.name));
    ConfigDB db;
    EXPECT_EQ(db.LoadFromDevice(DefaultImage(m)), kDbOk);
    EXPECT_EQ(db.GetModelIndex(), m.model_index);
  }
}

TEST(SimDeviceSetup, FilesAreServedExactlyAndTypeCodeOverrides) {
  test::TempDir dir;
  const std::string image = std::string("\x49\x96\x02\xD2", 4) + std::string(1020, '\x5A');  // a 1024-byte image
  const std::string record(13034, '\x07');
  test::WriteWholeFile(dir.File("old.cfg"), image);
  test::WriteWholeFile(dir.File("trend.bin"), record);
  SimOptions o;
  o.model = "KRT410";
  o.type_code = 30;
  o.image_file = dir.File("old.cfg");
  o.trend_file = dir.File("trend.bin");
  o.block_size = 64;
  DeviceSetup s;
  std::string error;
  ASSERT_TRUE(BuildDeviceSetup(o, s, error)) << error;
  EXPECT_EQ(s.type_code, 30);
  EXPECT_EQ(s.config_image, Bytes(image.begin(), image.end()));
  EXPECT_TRUE(s.has_trend);
  EXPECT_EQ(s.trend_record, Bytes(record.begin(), record.end()));
  EXPECT_EQ(s.block_size, 64u);

  o.image_file = dir.File("missing.cfg");
  EXPECT_FALSE(BuildDeviceSetup(o, s, error));
  EXPECT_NE(error.find("missing.cfg"), std::string::npos) << error;
}

}  // namespace
}  // namespace krt::sim
