#include "trend/trend.hpp"

namespace krt::trend {

int TrendWriter::Write(ByteView record, const std::string& path, unsigned int modelIndex) {
  std::string text;
  if (converter_.Convert(record, text, modelIndex) < 0) return kWriteIllegalData;
  // The file is replaced only when complete, so a failed write keeps any earlier export.
  FileSystem& files = files_ != nullptr ? *files_ : SystemFileSystem();
  switch (WriteFileAtomically(path, std::string_view(ToCrLf(text)), files)) {
    case kFileOk:
      return kWriteOk;
    case kFileCannotCreate:
      return kWriteCannotOpen;
    default:
      return kWriteFailed;
  }
}

}  // namespace krt::trend
