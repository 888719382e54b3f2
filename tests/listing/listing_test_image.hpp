#pragma once
// A 2048-byte image built field by field for the listing tests: working
// (host, little-endian) order for the section writers, stored (big-endian)
// order for the model classes.

#include <cstdint>
#include <string_view>

#include "image/bytes.hpp"

namespace krt::test {

class TestImage {
 public:
  enum class Order { kWorking, kStored };
  explicit TestImage(Order order = Order::kWorking) : order_(order), bytes_(2048, 0) {}

  TestImage& Word(std::size_t offset, int value) {
    const auto v = static_cast<std::uint16_t>(value);
    if (order_ == Order::kWorking) {
      SetLeU16(bytes_, offset, v);
    } else {
      SetBeU16(bytes_, offset, v);
    }
    return *this;
  }
  TestImage& Byte(std::size_t offset, int value) {
    SetU8(bytes_, offset, static_cast<std::uint8_t>(value));
    return *this;
  }
  TestImage& ByteRun(std::size_t offset, std::initializer_list<int> values) {
    for (int v : values) Byte(offset++, v);
    return *this;
  }
  // Copies the text's bytes only; the caller decides about a terminating NUL.
  TestImage& Text(std::size_t offset, std::string_view text) {
    for (char c : text) Byte(offset++, static_cast<unsigned char>(c));
    return *this;
  }
  TestImage& Format(int major, int minor) { return Word(8, major).Word(10, minor); }
  TestImage& Model(int code) { return Word(6, code); }
  TestImage& Lcd(int major, int minorTenths) { return Word(12, major).Word(14, minorTenths); }

  const krt::Bytes& Data() const { return bytes_; }
  operator ByteView() const { return bytes_; }

 private:
  Order order_;
  krt::Bytes bytes_;
};

}  // namespace krt::test
