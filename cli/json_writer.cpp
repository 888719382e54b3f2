#include "cli/json_writer.hpp"

#include <iconv.h>

#include <cstdint>

namespace krt::cli {

namespace {

void EscapeByte(std::string& out, unsigned char byte) {
  static constexpr char kDigits[] = "0123456789abcdef";
  out += "\\u00";
  out += kDigits[byte >> 4];
  out += kDigits[byte & 0x0f];
}

// Length of the valid UTF-8 sequence at the start of `text`, 0 when the
// bytes there are not one (overlong forms and surrogates included).
std::size_t Utf8SequenceLength(std::string_view text) {
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = b(0);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  if (b(1) < low || b(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (b(i) < 0x80 || b(i) > 0xBF) return 0;
  }
  return length;
}

// Escapes `text` for a JSON string. Bytes above 0x7F are kept where they form
// valid UTF-8 (when `utf8`), else written as \u00XX of their value.
void AppendEscaped(std::string& out, std::string_view text, bool utf8) {
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x80) {
      const std::size_t length = utf8 ? Utf8SequenceLength(text.substr(i)) : 0;
      if (length == 0) {
        EscapeByte(out, byte);
        ++i;
      } else {
        out.append(text.substr(i, length));
        i += length;
      }
      continue;
    }
    switch (byte) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        if (byte < 0x20 || byte == 0x7f) {
          EscapeByte(out, byte);
        } else {
          out += static_cast<char>(byte);
        }
    }
    ++i;
  }
}

}  // namespace

bool DecodeCp932(std::string_view bytes, std::string& utf8) {
  iconv_t decoder = ::iconv_open("UTF-8", "CP932");
  if (reinterpret_cast<std::intptr_t>(decoder) == -1) return false;
  std::string out(bytes.size() * 3 + 4, '\0');
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char* to = out.data();
  std::size_t toLeft = out.size();
  const std::size_t result = ::iconv(decoder, &in, &inLeft, &to, &toLeft);
  ::iconv_close(decoder);
  if (result == static_cast<std::size_t>(-1) || inLeft != 0) return false;
  out.resize(out.size() - toLeft);
  utf8 = std::move(out);
  return true;
}

void JsonWriter::BeforeValue() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!has_member_.empty()) {
    if (has_member_.back()) out_ += ',';
    has_member_.back() = true;
  }
}

JsonWriter& JsonWriter::BeginObject() {
  BeforeValue();
  out_ += '{';
  has_member_.push_back(false);
  return *this;
}

JsonWriter& JsonWriter::EndObject() {
  out_ += '}';
  if (!has_member_.empty()) has_member_.pop_back();
  return *this;
}

JsonWriter& JsonWriter::BeginArray() {
  BeforeValue();
  out_ += '[';
  has_member_.push_back(false);
  return *this;
}

JsonWriter& JsonWriter::EndArray() {
  out_ += ']';
  if (!has_member_.empty()) has_member_.pop_back();
  return *this;
}

JsonWriter& JsonWriter::Key(std::string_view name) {
  BeforeValue();
  Quoted(name);
  out_ += ':';
  after_key_ = true;
  return *this;
}

JsonWriter& JsonWriter::String(std::string_view utf8) {
  BeforeValue();
  Quoted(utf8);
  return *this;
}

JsonWriter& JsonWriter::DeviceText(std::string_view bytes) {
  std::string decoded;
  bool ascii = true;
  for (const char c : bytes) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii || DecodeCp932(bytes, decoded)) return String(ascii ? std::string(bytes) : decoded);
  BeforeValue();
  // Not Shift-JIS: each byte stands for itself, so nothing is guessed.
  out_ += '"';
  AppendEscaped(out_, bytes, false);
  out_ += '"';
  return *this;
}

JsonWriter& JsonWriter::Int(std::int64_t value) {
  BeforeValue();
  out_ += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
  BeforeValue();
  out_ += value ? "true" : "false";
  return *this;
}

JsonWriter& JsonWriter::Null() {
  BeforeValue();
  out_ += "null";
  return *this;
}

void JsonWriter::Quoted(std::string_view utf8) {
  out_ += '"';
  AppendEscaped(out_, utf8, true);
  out_ += '"';
}

}  // namespace krt::cli
