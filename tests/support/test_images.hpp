#pragma once
// Stored images for tests of the procedures above the image layer.

#include <cstddef>

#include "image/bytes.hpp"

namespace krt::test {

// A stored image of `size` bytes: the default body under a header with the
// given model code, format and LCD version.
Bytes MakeImage(int modelCode, int major, int minor, std::size_t size, int lcdMajor = 1, int lcdMinor = 20);

}  // namespace krt::test
