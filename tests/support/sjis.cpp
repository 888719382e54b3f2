#include "support/sjis.hpp"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace krt::test {

std::string Sjis(std::u8string_view utf8) {
  iconv_t cd = iconv_open("CP932", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv has no CP932");
  std::string in(reinterpret_cast<const char*>(utf8.data()), utf8.size());
  std::string out(in.size() * 2 + 8, '\0');
  char* inPtr = in.data();
  std::size_t inLeft = in.size();
  char* outPtr = out.data();
  std::size_t outLeft = out.size();
  const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  if (rc == static_cast<std::size_t>(-1) || inLeft != 0) throw std::runtime_error("text has no CP932 form");
  out.resize(out.size() - outLeft);
  return out;
}

}  // namespace krt::test
