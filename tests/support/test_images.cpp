#include "support/test_images.hpp"

#include <cstdint>

#include "image/image_layout.hpp"

namespace krt::test {

Bytes MakeImage(int modelCode, int major, int minor, std::size_t size, int lcdMajor, int lcdMinor) {
  Bytes image = image::DefaultStoredImage();
  SetBeU32(image, 0, 0x499602D2);
  SetBeU16(image, 4, 32);
  SetBeU16(image, 6, static_cast<std::uint16_t>(modelCode));
  SetBeU16(image, 8, static_cast<std::uint16_t>(major));
  SetBeU16(image, 10, static_cast<std::uint16_t>(minor));
  SetBeU16(image, 12, static_cast<std::uint16_t>(lcdMajor));
  SetBeU16(image, 14, static_cast<std::uint16_t>(lcdMinor));
  image.resize(size, 0);
  return image;
}

}  // namespace krt::test
