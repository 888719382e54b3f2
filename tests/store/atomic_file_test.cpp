#include "store/atomic_file.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "support/temp_dir.hpp"

namespace krt {
namespace {

using test::ReadWholeFile;
using test::TempDir;
using test::WriteWholeFile;

// Names in the folder, so a left-over temporary file shows.
std::vector<std::string> FolderNames(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// Passes every call to the system, except the one chosen to fail.
class FailingFileSystem : public FileSystem {
 public:
  enum class Step { kNone, kOpen, kWriteAfter, kFsync, kClose, kRename };
  Step fail = Step::kNone;
  std::size_t write_budget = 0;  // kWriteAfter: bytes that reach the file first
  std::size_t written = 0;

  int Open(const char* path, int flags, mode_t mode) override {
    if (fail == Step::kOpen && (flags & O_CREAT) != 0) return Fail(EACCES);
    return FileSystem::Open(path, flags, mode);
  }
  ssize_t Write(int fd, const void* data, std::size_t size) override {
    if (fail == Step::kWriteAfter) {
      if (written >= write_budget) return Fail(ENOSPC);
      size = std::min(size, write_budget - written);  // a short write, as a full disk gives
    }
    const ssize_t n = FileSystem::Write(fd, data, size);
    if (n > 0) written += static_cast<std::size_t>(n);
    return n;
  }
  int Fsync(int fd) override { return fail == Step::kFsync ? Fail(EIO) : FileSystem::Fsync(fd); }
  int Close(int fd) override {
    const int result = FileSystem::Close(fd);
    return fail == Step::kClose ? Fail(EIO) : result;
  }
  int Rename(const char* from, const char* to) override {
    return fail == Step::kRename ? Fail(EXDEV) : FileSystem::Rename(from, to);
  }

 private:
  static int Fail(int error) {
    errno = error;
    return -1;
  }
};

TEST(AtomicFile, WritesANewFile) {
  TempDir dir;
  const std::string path = dir.File("new.cfg");
  const std::string contents("\x49\x96\x02\xD2\x00\x20", 6);
  EXPECT_EQ(WriteFileAtomically(path, contents), kFileOk);
  EXPECT_EQ(ReadWholeFile(path), contents);
  EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"new.cfg"});
}

TEST(AtomicFile, ReplacesAnExistingFileAndKeepsItsPermissions) {
  TempDir dir;
  const std::string path = dir.File("old.csv");
  WriteWholeFile(path, std::string(5000, 'o'));
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  EXPECT_EQ(WriteFileAtomically(path, std::string_view("new\r\n")), kFileOk);
  EXPECT_EQ(ReadWholeFile(path), "new\r\n");
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST(AtomicFile, WritesThroughASymbolicLinkAndKeepsTheLink) {
  TempDir dir;
  const std::string real = dir.File("real.cfg");
  const std::string link = dir.File("link.cfg");
  WriteWholeFile(real, "old");
  std::filesystem::create_symlink(real, link);
  EXPECT_EQ(WriteFileAtomically(link, std::string_view("new")), kFileOk);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadWholeFile(real), "new");
}

// Every way a write can fail after the temporary file exists leaves the old
// file byte for byte and no temporary file behind.
TEST(AtomicFile, AFailureInTheMiddleLeavesTheOldFileUntouched) {
  using Step = FailingFileSystem::Step;
  struct Case {
    const char* name;
    Step step;
    std::size_t budget;
  };
  const Case cases[] = {
      {"first write fails", Step::kWriteAfter, 0},
      {"fails after 1000 bytes", Step::kWriteAfter, 1000},
      {"fails one byte short", Step::kWriteAfter, 2047},
      {"fsync fails", Step::kFsync, 0},
      {"close fails", Step::kClose, 0},
      {"rename fails", Step::kRename, 0},
  };
  std::string old(2048, '\0');
  for (std::size_t i = 0; i < old.size(); ++i) old[i] = static_cast<char>(i * 31 + 7);
  const std::string replacement(2048, '\x55');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.File("KRT610.cfg");
    WriteWholeFile(path, old);
    FailingFileSystem files;
    files.fail = c.step;
    files.write_budget = c.budget;
    EXPECT_EQ(WriteFileAtomically(path, replacement, files), kFileWriteFailed);
    EXPECT_EQ(ReadWholeFile(path), old);
    EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"KRT610.cfg"});
  }
}

TEST(AtomicFile, CannotCreate) {
  TempDir dir;
  std::filesystem::create_directory(dir.Path() / "folder");
  struct Case {
    const char* name;
    std::string path;
  };
  const Case cases[] = {
      {"folder missing", dir.File("missing/out.cfg")},
      {"path is a folder", dir.File("folder")},
      {"path ends in a slash", dir.File("folder") + "/"},
      {"empty path", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(WriteFileAtomically(c.path, std::string_view("x")), kFileCannotCreate);
  }
  EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "folder"));
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path() / "folder"));
}

TEST(AtomicFile, RefusedTemporaryFileIsCannotCreateAndKeepsTheOldFile) {
  TempDir dir;
  const std::string path = dir.File("old.cfg");
  WriteWholeFile(path, "old");
  FailingFileSystem files;
  files.fail = FailingFileSystem::Step::kOpen;
  EXPECT_EQ(WriteFileAtomically(path, std::string_view("new"), files), kFileCannotCreate);
  EXPECT_EQ(ReadWholeFile(path), "old");
}

TEST(AtomicFile, UnwritableFolder) {
  TempDir dir;
  const auto folder = dir.Path() / "locked";
  std::filesystem::create_directory(folder);
  WriteWholeFile((folder / "old.cfg").string(), "old");
  ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
  if (::access(folder.c_str(), W_OK) == 0) GTEST_SKIP() << "this user writes into read-only folders (root)";
  EXPECT_EQ(WriteFileAtomically((folder / "old.cfg").string(), std::string_view("new")), kFileCannotCreate);
  EXPECT_EQ(ReadWholeFile((folder / "old.cfg").string()), "old");
}

TEST(AtomicFile, ToCrLf) {
  struct Case {
    std::string_view in;
    std::string_view out;
  };
  const Case cases[] = {
      {"", ""},
      {"a", "a"},
      {"\n", "\r\n"},
      {"Group,Item,Data\n", "Group,Item,Data\r\n"},
      {"a\n\nb\n", "a\r\n\r\nb\r\n"},
      {"no end", "no end"},
      {"\x95\x5c\x8e\xa6\n", "\x95\x5c\x8e\xa6\r\n"},  // Shift-JIS bytes pass unchanged
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.in));
    EXPECT_EQ(ToCrLf(c.in), c.out);
  }
}

}  // namespace
}  // namespace krt
