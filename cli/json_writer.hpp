#pragma once
// A small JSON writer for the tool's machine-readable output: one object per
// call, keys in the order written, texts escaped.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace krt::cli {

class JsonWriter {
 public:
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  JsonWriter& Key(std::string_view name);
  // A text in UTF-8 (paths, names from the system); bytes that are not
  // valid UTF-8 are written as \u00XX escapes of their byte values.
  JsonWriter& String(std::string_view utf8);
  // A text from a device or an image (Shift-JIS): decoded to UTF-8 when the
  // whole text decodes cleanly as code page 932, else every byte above
  // 0x7F is written as a \u00XX escape of its value.
  JsonWriter& DeviceText(std::string_view bytes);
  JsonWriter& Int(std::int64_t value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();

  // The text written so far (complete once every object is ended).
  const std::string& Text() const { return out_; }

 private:
  void BeforeValue();
  void Quoted(std::string_view utf8);

  std::string out_;
  // Per open object or array: whether it has a member yet.
  std::vector<bool> has_member_;
  bool after_key_ = false;
};

// Shift-JIS (code page 932) to UTF-8; false when the text does not decode
// cleanly or no decoder is available.
bool DecodeCp932(std::string_view bytes, std::string& utf8);

}  // namespace krt::cli
