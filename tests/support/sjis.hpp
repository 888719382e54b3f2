#pragma once
// Shift-JIS (code page 932) bytes of a UTF-8 text, made by glibc's iconv so
// that the byte strings in the sources are checked by an independent encoder.

#include <string>
#include <string_view>

namespace krt::test {

// Throws std::runtime_error when the text has no CP932 form.
std::string Sjis(std::u8string_view utf8);

}  // namespace krt::test
