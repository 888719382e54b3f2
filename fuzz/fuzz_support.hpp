#pragma once
// Small helpers shared by the fuzz targets: a checked condition that stops
// the run, a reader that takes bytes off the front of an input, and one
// scratch folder per process.

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace krt::fuzz {

// A broken promise of the code under test is a finding like a crash.
[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, what);
  std::fflush(stderr);
  std::abort();
}

#define FUZZ_CHECK(condition)                                            \
  do {                                                                   \
    if (!(condition)) ::krt::fuzz::Fail(#condition, __FILE__, __LINE__); \
  } while (0)

// Takes bytes off the front of the input; past its end every read gives 0.
class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::size_t Remaining() const { return size_ - pos_; }
  bool Empty() const { return pos_ == size_; }
  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::uint16_t Word() {
    const std::uint16_t high = Byte();
    return static_cast<std::uint16_t>((high << 8) | Byte());
  }
  // Up to n bytes.
  std::string_view Take(std::size_t n) {
    if (n > Remaining()) n = Remaining();
    const std::string_view out(reinterpret_cast<const char*>(data_ + pos_), n);
    pos_ += n;
    return out;
  }
  // Up to the next `separator` (not included, but consumed) or the end.
  std::string_view Until(char separator) {
    std::size_t n = 0;
    while (pos_ + n < size_ && data_[pos_ + n] != static_cast<std::uint8_t>(separator)) ++n;
    const std::string_view out = Take(n);
    if (!Empty()) ++pos_;
    return out;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// One scratch folder for the whole process, removed when it ends normally.
// Inputs reuse it, so each run must put back what it relies on.
class ScratchFolder {
 public:
  static const std::filesystem::path& Path() {
    static ScratchFolder folder;
    return folder.path_;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

 private:
  ScratchFolder() {
    // Memory-backed when there is a choice: the code under test syncs every
    // file it writes, and a disk would make that the whole cost of a run.
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) base = "/tmp";
    if (std::getenv("TMPDIR") == nullptr && ::access("/dev/shm", W_OK | X_OK) == 0) base = "/dev/shm";
    std::string pattern = (base / "krtcfg-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) Fail("cannot create a scratch folder", __FILE__, __LINE__);
    path_ = pattern;
  }
  std::filesystem::path path_;
};

inline void WriteFile(const std::filesystem::path& path, std::string_view contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  out.close();
  if (!out) Fail(("cannot write " + path.string()).c_str(), __FILE__, __LINE__);
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace krt::fuzz
