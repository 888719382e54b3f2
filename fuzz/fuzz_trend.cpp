// A short-trend record as the device sends it, given to the file-name rule
// and the CSV converter: padded or cut to the record size, and as it came.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.hpp"
#include "image/bytes.hpp"
#include "trend/trend.hpp"

namespace {

using krt::Bytes;
namespace trend = krt::trend;

// The model the record is read for: every index, the gaps and one far out.
unsigned int ModelFor(std::size_t size) {
  const unsigned int pick = static_cast<unsigned int>(size % 13);
  return pick == 12 ? 0xFFFFFFFFu : pick;
}

void Check(const Bytes& record, unsigned int modelIndex) {
  const bool wholeRecord = record.size() == trend::kRecordSize;

  std::string name = "x";
  trend::TrendFileName(record, &name);
  if (!wholeRecord) FUZZ_CHECK(name == "x");
  // The name becomes a file name: digits and one underscore, nothing that
  // could leave the folder.
  for (std::size_t i = 1; i < name.size(); ++i) FUZZ_CHECK((name[i] >= '0' && name[i] <= '9') || name[i] == '_');
  FUZZ_CHECK(name.size() <= 1 + 40);
  trend::TrendFileName(record, nullptr);

  static const data::TrendCsvConverter converter;
  const std::string prefix = "kept\r\n";
  std::string text = prefix;
  const int r = converter.Convert(record, text, modelIndex);
  FUZZ_CHECK(r == 0 || r == -1);
  if (r != 0) {
    FUZZ_CHECK(text == prefix);
  } else {
    FUZZ_CHECK(wholeRecord);
    FUZZ_CHECK(text.size() > prefix.size() && text.compare(0, prefix.size(), prefix) == 0);
  }
  // The file name and the converter refuse the same rings.
  if (wholeRecord) FUZZ_CHECK((name.size() > 1) == (r == 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Bytes raw(data, data + size);
  Bytes record = raw;
  record.resize(trend::kRecordSize, 0);
  const unsigned int model = ModelFor(size);
  Check(record, model);
  if (raw.size() != trend::kRecordSize) Check(raw, model);
  return 0;
}
