#pragma once
// Every file the tool writes goes to a temporary file in the target's folder
// and is renamed over the target only when complete, so a failed write never
// destroys the previous file.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "image/bytes.hpp"

namespace krt {

inline constexpr int kFileOk = 0;
inline constexpr int kFileCannotCreate = -1;
inline constexpr int kFileWriteFailed = -2;

// The system calls behind the file writer, so tests can make one of them
// fail in the middle of a write. Results and errno as the POSIX calls.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual int Open(const char* path, int flags, mode_t mode);
  virtual ssize_t Write(int fd, const void* data, std::size_t size);
  virtual int Fsync(int fd);
  virtual int Fchmod(int fd, mode_t mode);
  virtual int Close(int fd);
  virtual int Rename(const char* from, const char* to);
  virtual int Unlink(const char* path);
  virtual int Stat(const char* path, struct stat* info);
};

// The real system calls.
FileSystem& SystemFileSystem();

int WriteFileAtomically(const std::string& path, std::string_view contents);
int WriteFileAtomically(const std::string& path, std::string_view contents, FileSystem& files);
inline int WriteFileAtomically(const std::string& path, ByteView contents) {
  return WriteFileAtomically(path, std::string_view(reinterpret_cast<const char*>(contents.data()), contents.size()));
}
inline int WriteFileAtomically(const std::string& path, ByteView contents, FileSystem& files) {
  return WriteFileAtomically(path, std::string_view(reinterpret_cast<const char*>(contents.data()), contents.size()),
                             files);
}

// Turns every LF into CR LF (the text files' line ends).
std::string ToCrLf(std::string_view text);

}  // namespace krt
