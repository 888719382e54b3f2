#include "link/trace.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace krt::link {

Trace Trace::FromEnvironment() {
  const char* value = std::getenv("KRTCFG_TRACE");
  if (value == nullptr || std::strcmp(value, "1") != 0) return Trace();
  return Trace([](const std::string& line) {
    // One write a line, so lines from a busy exchange never interleave.
    (void)std::fwrite(line.data(), 1, line.size(), stderr);
    (void)std::fflush(stderr);
  });
}

std::string HexBytes(ByteView bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(bytes.size() * 3);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i != 0) s += ' ';
    s += kDigits[bytes[i] >> 4];
    s += kDigits[bytes[i] & 0x0F];
  }
  return s;
}

void Trace::Line(std::string_view direction, ByteView bytes, std::string_view note) const {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  const int millis = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm local{};
  localtime_r(&seconds, &local);
  char stamp[32];
  const int stampLength =
      std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec, millis);
  // A failed format leaves the line without a time rather than with garbage.
  if (stampLength < 0) stamp[0] = '\0';

  std::string line = "krtcfg ";
  line += stamp;
  line += ' ';
  line += direction;
  if (!bytes.empty()) {
    line += ' ';
    line += HexBytes(bytes);
  }
  if (!note.empty() && !bytes.empty()) {
    line += " (";
    line += note;
    line += ')';
  } else if (!note.empty()) {
    line += ' ';
    line += note;
  }
  line += '\n';
  sink_(line);
}

}  // namespace krt::link
