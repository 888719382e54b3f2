#pragma once
// Every file the tool writes goes to a temporary file in the target's folder
// and is renamed over the target only when complete, so a failed write never
// destroys the previous file.

#include <string>
#include <string_view>

#include "image/bytes.hpp"

namespace krt {

inline constexpr int kFileOk = 0;
inline constexpr int kFileCannotCreate = -1;
inline constexpr int kFileWriteFailed = -2;

int WriteFileAtomically(const std::string& path, std::string_view contents);
inline int WriteFileAtomically(const std::string& path, ByteView contents) {
  return WriteFileAtomically(path, std::string_view(reinterpret_cast<const char*>(contents.data()), contents.size()));
}

// Turns every LF into CR LF (the text files' line ends).
std::string ToCrLf(std::string_view text);

}  // namespace krt
