#include "store/atomic_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <random>

namespace krt {

int FileSystem::Open(const char* path, int flags, mode_t mode) {
  return ::open(path, flags, mode);
}
ssize_t FileSystem::Write(int fd, const void* data, std::size_t size) {
  return ::write(fd, data, size);
}
int FileSystem::Fsync(int fd) {
  return ::fsync(fd);
}
int FileSystem::Fchmod(int fd, mode_t mode) {
  return ::fchmod(fd, mode);
}
int FileSystem::Close(int fd) {
  return ::close(fd);
}
int FileSystem::Rename(const char* from, const char* to) {
  return ::rename(from, to);
}
int FileSystem::Unlink(const char* path) {
  return ::unlink(path);
}
int FileSystem::Stat(const char* path, struct stat* info) {
  return ::stat(path, info);
}

FileSystem& SystemFileSystem() {
  // Stateless: every member forwards to the system call.
  static FileSystem system;
  return system;
}

namespace {

// Large writes go out in pieces so a short write is retried, not lost.
constexpr std::size_t kWriteChunk = 1 << 20;
constexpr int kTempNameAttempts = 64;

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A symbolic link is followed, so the file it names is replaced and the link stays.
std::string ResolveTarget(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return path;
  return resolved;
}

std::string RandomSuffix() {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::uint64_t seed = 0;
  try {
    std::random_device device;
    seed = (std::uint64_t{device()} << 32) ^ device();
  } catch (...) {
    seed = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  }
  seed ^= static_cast<std::uint64_t>(::getpid()) << 20;
  std::mt19937_64 generator(seed);
  std::string suffix(8, 'x');
  for (char& c : suffix) c = kLetters[generator() % (sizeof(kLetters) - 1)];
  return suffix;
}

bool WriteAll(FileSystem& files, int fd, std::string_view contents) {
  std::size_t done = 0;
  while (done < contents.size()) {
    const std::size_t piece = std::min(kWriteChunk, contents.size() - done);
    const ssize_t n = files.Write(fd, contents.data() + done, piece);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Makes the rename itself durable; a folder that refuses fsync is no failure.
void SyncFolder(FileSystem& files, const std::string& folder) {
  const int fd = files.Open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd < 0) return;
  files.Fsync(fd);
  files.Close(fd);
}

}  // namespace

int WriteFileAtomically(const std::string& path, std::string_view contents) {
  return WriteFileAtomically(path, contents, SystemFileSystem());
}

int WriteFileAtomically(const std::string& path, std::string_view contents, FileSystem& files) {
  if (path.empty() || path.back() == '/') return kFileCannotCreate;
  const std::string target = ResolveTarget(path);

  struct stat existing {};
  const bool exists = files.Stat(target.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) return kFileCannotCreate;

  const std::string folder = FolderOf(target);
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < kTempNameAttempts && fd < 0; ++attempt) {
    temp = folder + "/." + NameOf(target) + "." + RandomSuffix() + ".tmp";
    fd = files.Open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return kFileCannotCreate;

  // A replaced file keeps its permissions (a file shared with a group stays shared).
  if (exists && S_ISREG(existing.st_mode)) files.Fchmod(fd, existing.st_mode & 07777);

  bool ok = WriteAll(files, fd, contents);
  ok = ok && files.Fsync(fd) == 0;
  ok = (files.Close(fd) == 0) && ok;
  ok = ok && files.Rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    files.Unlink(temp.c_str());
    return kFileWriteFailed;
  }
  SyncFolder(files, folder);
  return kFileOk;
}

std::string ToCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (const char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace krt
