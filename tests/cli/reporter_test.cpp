#include "cli/reporter.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "cli/json_writer.hpp"

namespace krt::cli {
namespace {

// Every code of the four reason tables: its text and its exit class.
TEST(Reporter, ReasonTablesAndExitClasses) {
  struct Case {
    Procedure procedure;
    int code;
    int device_error;
    const char* text;
    int exit_code;
  };
  const Case cases[] = {
      {Procedure::kConfigRead, -1, 0, "Failed to open file", 66},
      {Procedure::kConfigRead, -2, 0, "Failed to read file", 66},
      {Procedure::kConfigRead, -3, 0, "Illegal data (Error code: 01)", 65},
      {Procedure::kConfigRead, -4, 0, "Illegal data (Error code: 02)", 65},
      {Procedure::kConfigRead, -5, 0, "Internal error", 70},
      {Procedure::kConfigRead, -6, 0, "Failed to initialize COM port", 69},
      {Procedure::kConfigRead, -7, 0, "Failed to communicate", 75},
      {Procedure::kConfigRead, -8, 0, "", 70},
      {Procedure::kConfigWrite, -1, 0, "Failed to open file", 73},
      {Procedure::kConfigWrite, -2, 0, "Failed to write file", 74},
      {Procedure::kConfigWrite, -3, 0, "Internal error", 70},
      {Procedure::kConfigWrite, -4, 0, "Failed to initialize COM port", 69},
      {Procedure::kConfigWrite, -5, 0, "Failed to communicate", 75},
      {Procedure::kConfigWrite, -6, 0, "", 70},
      {Procedure::kConfigWrite, -7, 5, "Device error (Error code: 05)", 76},
      {Procedure::kConfigWrite, -7, 123, "Device error (Error code: 123)", 76},
      {Procedure::kConfigWrite, -8, 0, "Illegal data (Error code: 01)", 65},
      {Procedure::kConfigWrite, -9, 0, "Illegal data (Error code: 02)", 65},
      {Procedure::kTrendRead, -1, 0, "Failed to initialize COM port", 69},
      {Procedure::kTrendRead, -2, 0, "Failed to communicate", 75},
      {Procedure::kTrendRead, -3, 0, "Unsupported device", 65},
      {Procedure::kTrendRead, -4, 0, "Illegal data", 65},
      {Procedure::kTrendRead, -5, 0, "", 70},
      {Procedure::kTrendWrite, -1, 0, "Failed to open file", 73},
      {Procedure::kTrendWrite, -2, 0, "Failed to write file", 74},
      {Procedure::kTrendWrite, -3, 0, "Illegal data", 65},
      {Procedure::kTrendWrite, -4, 0, "", 70},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(static_cast<int>(c.procedure)) + " " + std::to_string(c.code));
    std::ostringstream out;
    std::ostringstream err;
    Reporter reporter(out, err);
    EXPECT_EQ(reporter.Failure(c.procedure, c.code, c.device_error), c.exit_code);
    const bool read = c.procedure == Procedure::kConfigRead || c.procedure == Procedure::kTrendRead;
    EXPECT_EQ(err.str(), std::string(read ? "Failed to read\n" : "Failed to write\n") + c.text + "\n");
    EXPECT_EQ(out.str(), "");
  }
}

TEST(Reporter, SuccessTexts) {
  std::ostringstream out;
  std::ostringstream err;
  Reporter reporter(out, err);
  reporter.ReadingCompleted();
  reporter.WritingCompleted();
  EXPECT_EQ(out.str(), "Reading completed\nWriting completed\n");
  EXPECT_EQ(err.str(), "");
}

std::string Json(std::string_view text, bool device = false) {
  JsonWriter json;
  if (device) {
    json.DeviceText(text);
  } else {
    json.String(text);
  }
  return json.Text();
}

TEST(JsonWriter, Texts) {
  struct Case {
    const char* name;
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"plain", "COM3:FT232R USB UART (/dev/ttyUSB0)", "\"COM3:FT232R USB UART (/dev/ttyUSB0)\""},
      {"quote and backslash", "a\"b\\c", "\"a\\\"b\\\\c\""},
      {"control characters", std::string("\n\r\t\b\f\x01\x1f\x7f", 8), "\"\\n\\r\\t\\b\\f\\u0001\\u001f\\u007f\""},
      {"NUL", std::string("a\0b", 3), "\"a\\u0000b\""},
      {"valid UTF-8 kept", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\""},
      {"stray continuation byte", "a\x80z", "\"a\\u0080z\""},
      {"cut sequence", "\xE2\x82", "\"\\u00e2\\u0082\""},
      {"overlong slash", "\xC0\xAF", "\"\\u00c0\\u00af\""},
      {"surrogate", "\xED\xA0\x80", "\"\\u00ed\\u00a0\\u0080\""},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", "\"\\u00f4\\u0090\\u0080\\u0080\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Json(c.in), c.out);
  }
}

TEST(JsonWriter, DeviceTextsAreShiftJis) {
  std::string probe;
  if (!DecodeCp932("\x95\x5c", probe)) GTEST_SKIP() << "no CP932 decoder on this system";
  struct Case {
    const char* name;
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"ASCII", "Unit", "\"Unit\""},
      // 表示 ends in 0x5C, the backslash byte, which must not be escaped as one.
      {"display", "\x95\x5c\x8e\xa6", "\"\xE8\xA1\xA8\xE7\xA4\xBA\""},
      {"half-width katakana", "\xB6\xC5", "\"\xEF\xBD\xB6\xEF\xBE\x85\""},
      {"mixed with a quote", "\x8f\x83\"1", "\"\xE7\xB4\x94\\\"1\""},
      {"lead byte without trail: every high byte escaped", "AB\x95", "\"AB\\u0095\""},
      {"undefined lead byte", "\xA0x\x95\x5c", "\"\\u00a0x\\u0095\\\\\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Json(c.in, true), c.out);
  }
}

TEST(JsonWriter, ObjectsAndArrays) {
  JsonWriter json;
  json.BeginObject().Key("a").Int(-3).Key("b").BeginArray();
  json.Bool(true).Null().BeginObject().EndObject().BeginArray().EndArray().String("x");
  json.EndArray().Key("c").Bool(false).EndObject();
  EXPECT_EQ(json.Text(), "{\"a\":-3,\"b\":[true,null,{},[],\"x\"],\"c\":false}");
}

}  // namespace
}  // namespace krt::cli
