#pragma once
// The 13034-byte short-trend record: its host-order conversion, its upload,
// the proposed file name, and its export as CSV.

#include <cstddef>
#include <string>

#include "image/bytes.hpp"
#include "link/rt_com.hpp"

namespace krt::trend {

inline constexpr std::size_t kRecordSize = 13034;

// Swaps every 16-bit field; its own inverse. Needs a 13034-byte record.
Bytes ConvertTrendOrder(ByteView record);

// Appends "%04d%02d%02d_%02d%02d%02d" of the oldest valid time stamp;
// nothing for a record of the wrong size or with a refused ring position.
void TrendFileName(ByteView record, std::string* baseName);

class TrendReader {
 public:
  explicit TrendReader(link::RTCom& com) : com_(com) {}
  virtual ~TrendReader() = default;
  // 0, -1 port or other failure, -2 communication, -3 no short trend, -4 illegal data.
  int Read(Bytes& record, int& modelIndex, std::string& baseName);

 private:
  link::RTCom& com_;
};

}  // namespace krt::trend

namespace data {

class TrendCsvConverter {
 public:
  virtual ~TrendCsvConverter() = default;
  // 0, or -1 when the record is refused (nothing appended).
  virtual int Convert(krt::ByteView record, std::string& text, unsigned int modelIndex) const;
};

}  // namespace data

namespace krt::trend {

class TrendWriter {
 public:
  TrendWriter() = default;
  virtual ~TrendWriter() = default;
  // 0, -1 cannot create, -2 writing failed, -3 record refused.
  int Write(ByteView record, const std::string& path, unsigned int modelIndex);

 private:
  data::TrendCsvConverter converter_;
};

}  // namespace krt::trend
