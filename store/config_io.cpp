#include "store/config_io.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <span>

namespace krt {

namespace {

// One translation of a lower layer's code into this layer's.
struct CodeMap {
  int from;
  int to;
};

int Translate(int code, std::span<const CodeMap> table, int otherwise) {
  for (const CodeMap& row : table) {
    if (row.from == code) return row.to;
  }
  return otherwise;
}

// Database result -> reader result (file read and upload).
constexpr CodeMap kReadDbCodes[] = {{kDbBadImage, kReadBadImage}};
constexpr int kReadDbOther = kReadNotAccepted;
// RTCom result of the upload -> reader result.
constexpr CodeMap kUploadComCodes[] = {{link::kComFailed, kReadCommFailed}};
constexpr int kUploadComOther = kReadPortFailed;
// Database result of the merge -> writer result.
constexpr CodeMap kMergeDbCodes[] = {{kDbBadImage, kWriteBadImage}};
constexpr int kMergeDbOther = kWriteNotAccepted;
// RTCom result of either half of the download -> writer result.
constexpr CodeMap kDownloadComCodes[] = {{link::kComDeviceError, kWriteDeviceError},
                                         {link::kComFailed, kWriteCommFailed}};
constexpr int kDownloadComOther = kWritePortFailed;
// File writer result -> writer result (the same numbers, kept explicit).
constexpr CodeMap kFileCodes[] = {{kFileCannotCreate, kWriteCannotCreate}, {kFileWriteFailed, kWriteFailed}};

int ReadDbResult(int result) {
  return result < 0 ? Translate(result, kReadDbCodes, kReadDbOther) : kReadOk;
}

int FileResult(int result) {
  return result < 0 ? Translate(result, kFileCodes, kWriteFailed) : kWriteOk;
}

}  // namespace

int ConfigReader::ReadCfgFile(const std::string& path) {
  // Opened without blocking, so a device node given by mistake cannot hang
  // the open; only files and pipes (a shell's process substitution) are read.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return kReadCannotOpen;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !(S_ISREG(info.st_mode) || S_ISFIFO(info.st_mode))) {
    ::close(fd);
    return kReadCannotOpen;
  }
  if (S_ISFIFO(info.st_mode)) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  Bytes bytes;
  bool failed = false;
  std::uint8_t buffer[4096];
  while (bytes.size() < kMaxCfgFileRead) {
    const std::size_t want = std::min(sizeof buffer, kMaxCfgFileRead - bytes.size());
    const ssize_t n = ::read(fd, buffer, want);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) failed = true;
    if (n <= 0) break;
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  ::close(fd);
  // A disk error is reported as such, not as illegal data in a cut-off image.
  if (failed) return kReadFailed;
  return ReadDbResult(db_.LoadFromFile(bytes, path));
}

int ConfigReader::Upload() {
  Bytes bytes;
  const int com = com_.ReadConfig(bytes);
  if (com < 0) return Translate(com, kUploadComCodes, kUploadComOther);
  return ReadDbResult(db_.LoadFromDevice(bytes));
}

int ConfigWriter::WriteCfgFile(const std::string& path) {
  Bytes bytes;
  if (db_.CopyImage(bytes) < 0 || bytes.empty()) return kWriteNothing;
  const int size = db_.GetStoredSize(bytes);
  if (size <= 0 || static_cast<std::size_t>(size) > bytes.size()) return kWriteNothing;
  return FileResult(WriteFileAtomically(path, ByteView(bytes.data(), static_cast<std::size_t>(size)), files_));
}

int ConfigWriter::Download(int& deviceError, Bytes* sent) {
  Bytes own;
  if (db_.CopyImage(own) < 0 || own.empty()) return kWriteNothing;

  Bytes device;
  const int read = com_.ReadConfig(device);
  if (read < 0) return Translate(read, kDownloadComCodes, kDownloadComOther);

  const int merged = db_.MergeIntoDeviceImage(device, own);
  if (merged < 0) return Translate(merged, kMergeDbCodes, kMergeDbOther);

  const int size = db_.GetStoredSize(device);
  if (size <= 0 || static_cast<std::size_t>(size) > device.size()) return kWriteBadImage;
  if (sent != nullptr) sent->assign(device.begin(), device.begin() + size);

  int error = 0;
  const int written = com_.WriteConfig(device, size, &error);
  if (written < 0) {
    const int result = Translate(written, kDownloadComCodes, kDownloadComOther);
    if (result == kWriteDeviceError) deviceError = error;
    return result;
  }
  return kWriteOk;
}

int ConfigWriter::ExportCsv(const std::string& path) {
  std::string text;
  if (db_.WriteListing(text) < 0 || text.empty()) return kWriteNothing;
  return FileResult(WriteFileAtomically(path, ToCrLf(text), files_));
}

}  // namespace krt
