#pragma once
// The 13034-byte short-trend record: its host-order conversion, its upload,
// the proposed file name, and its export as CSV.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "image/bytes.hpp"
#include "link/rt_com.hpp"
#include "store/atomic_file.hpp"

namespace krt::trend {

inline constexpr std::size_t kRecordSize = 13034;

// Byte offsets of the record's fields. Multi-byte fields are big-endian as
// the device sends them and little-endian in the ConvertTrendOrder copy.
namespace layout {
inline constexpr int kRingSize = 400;        // samples per channel and time stamps
inline constexpr int kLoops = 2;             // loops per record
inline constexpr int kChannelsPerLoop = 4;   // CH1..CH4 of a loop
inline constexpr std::size_t kChannels = 8;  // LP1 CH1..CH4, LP2 CH1..CH4

inline constexpr std::size_t kStoringStatus = 0;  // int16
inline constexpr std::size_t kAltNames = 6;       // int16, non-zero: SV/OP names
inline constexpr std::size_t kSp1Direct = 8;      // int16, 4: SP1 samples are direct values
inline constexpr std::size_t kSp2Direct = 10;     // int16, 4: SP2 samples are direct values
inline constexpr int kDirectMarker = 4;

// Per-loop channel descriptions, 100 bytes each.
inline constexpr std::size_t kLoopInfo[kLoops] = {12, 112};
inline constexpr std::size_t kLoopInfoSize = 100;
inline constexpr std::size_t kUnitWidth = 9;
inline constexpr std::size_t kTagWidth = 11;
inline constexpr std::size_t UnitOffset(int c) {
  return 9 * static_cast<std::size_t>(c);
}
inline constexpr std::size_t DecimalPointOffset(int c) {
  return 36 + static_cast<std::size_t>(c);
}
inline constexpr std::size_t TagOffset(int c) {
  return 40 + 11 * static_cast<std::size_t>(c);
}
inline constexpr std::size_t LowerRangeOffset(int c) {
  return 84 + 4 * static_cast<std::size_t>(c);
}
inline constexpr std::size_t UpperRangeOffset(int c) {
  return 86 + 4 * static_cast<std::size_t>(c);
}
// The range words are the only 16-bit fields inside a loop description.
inline constexpr std::size_t kRangeWordsBegin = 84;

inline constexpr std::size_t kTrendInterval = 212;  // int16, seconds
inline constexpr std::size_t kLatestIndex = 214;    // int16, ring index of the newest sample
inline constexpr std::size_t kSampleCount = 216;    // int16, valid samples

// Per-loop sources and samples, 3208 bytes each.
inline constexpr std::size_t kLoopSamples[kLoops] = {218, 3426};
inline constexpr std::size_t kLoopSamplesSize = 3208;
inline constexpr std::size_t SourceOffset(int c) {
  return 2 * static_cast<std::size_t>(c);
}
inline constexpr std::size_t SampleOffset(int c, int i) {
  return 8 + 800 * static_cast<std::size_t>(c) + 2 * static_cast<std::size_t>(i);
}

// 400 time stamps of eight uint16 words; entry i belongs to ring index i.
inline constexpr std::size_t kStamps = 6634;
inline constexpr std::size_t kStampSize = 16;
inline constexpr std::size_t kStampYear = 0;
inline constexpr std::size_t kStampMonth = 2;
inline constexpr std::size_t kStampDay = 6;
inline constexpr std::size_t kStampHour = 8;
inline constexpr std::size_t kStampMinute = 10;
inline constexpr std::size_t kStampSecond = 12;
inline constexpr std::size_t StampOffset(int i) {
  return kStamps + kStampSize * static_cast<std::size_t>(i);
}

static_assert(kStamps + kStampSize * kRingSize == kRecordSize);
static_assert(kLoopSamples[1] + kLoopSamplesSize == kStamps);
}  // namespace layout

// Channel source codes (the image's trend_channel codes).
inline constexpr int kSourceSp1 = 3;
inline constexpr int kSourceSp2 = 4;
inline constexpr int kSourceFirstFunction = 7;  // FN1
inline constexpr int kSourceLastFunction = 10;  // FN4

// TrendReader::Read results.
inline constexpr int kReadOk = 0;
inline constexpr int kReadPortFailed = -1;   // port not opened, or any other upload failure
inline constexpr int kReadCommFailed = -2;   // the exchange with the device failed
inline constexpr int kReadUnsupported = -3;  // the device has no short-trend memory
inline constexpr int kReadIllegalData = -4;  // wrong size, or a ring position outside the record

// TrendWriter::Write results.
inline constexpr int kWriteOk = 0;
inline constexpr int kWriteCannotOpen = -1;   // the file cannot be created
inline constexpr int kWriteFailed = -2;       // writing failed; any previous file is kept
inline constexpr int kWriteIllegalData = -3;  // the record was refused; no file touched

// Swaps every 16-bit field; its own inverse. Needs a 13034-byte record;
// gives an empty vector for any other size.
Bytes ConvertTrendOrder(ByteView record);

// The valid entries of the ring: `count` entries from `start` upwards,
// wrapping from 399 to 0, ending at `latest`.
struct Ring {
  int start = 0;
  int count = 0;
  int latest = 0;  // the newest entry's index; 0 when the ring is empty
};

// Ring index of the oldest of `sampleCount` entries ending at `latestIndex`
// (both already checked to lie inside the ring); 0 for an empty ring.
int StartIndex(int latestIndex, int sampleCount);
// The ring of a host-order record; empty when the sample count lies outside
// 0..400 or the latest index outside 0..399, since such a ring would address
// entries outside the record.
std::optional<Ring> ReadRing(ByteView host);
// Ring index of the k-th valid entry (k counted from the oldest).
inline int RingIndex(const Ring& ring, int k) {
  const int i = ring.start + k;
  return i >= layout::kRingSize ? i - layout::kRingSize : i;
}

struct Stamp {
  unsigned year, month, day, hour, minute, second;
};
Stamp ReadStamp(ByteView host, int ringIndex);

// One trend channel as the host-order record describes it.
struct Channel {
  int source = 0;
  bool direct = false;  // samples are values, not range fractions
  std::int16_t lower = 0;
  std::int16_t upper = 0;
  std::uint8_t decimal_point = 0;  // as stored
  std::string_view unit;           // within its field, up to the first NUL
  std::string_view tag;
  std::size_t samples = 0;  // offset of the sample at ring index 0
  bool IsFunction() const { return source >= kSourceFirstFunction && source <= kSourceLastFunction; }
};
// `loop` 0..1, `channel` 0..3. The views point into `host`.
Channel ReadChannel(ByteView host, int loop, int channel);

// Decimals to print for a stored decimal point: 0..5, anything above 5 counts as 0.
int Decimals(std::uint8_t decimalPoint);
// The sample in the channel's unit before its decimal point is applied:
// the sample itself when direct, else lower + sample * (upper - lower) / 10000
// in 32-bit integers truncated towards zero (cannot overflow for 16-bit inputs).
std::int32_t SampleUnits(std::int16_t sample, bool direct, std::int16_t lower, std::int16_t upper);
// The sample's engineering value: SampleUnits divided by 10^Decimals in double.
double SampleValue(ByteView host, const Channel& channel, int ringIndex);

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

// The title line of a model's CSV; empty for a model without short trend.
std::string_view TrendTitle(unsigned int modelIndex);

class TrendWriter {
 public:
  TrendWriter() = default;
  // Writes through `files` (tests make its calls fail); it must outlive the writer.
  explicit TrendWriter(FileSystem& files) : files_(&files) {}
  virtual ~TrendWriter() = default;
  // 0, -1 cannot create, -2 writing failed, -3 record refused.
  int Write(ByteView record, const std::string& path, unsigned int modelIndex);

 private:
  data::TrendCsvConverter converter_;
  FileSystem* files_ = nullptr;  // the real system calls when null
};

}  // namespace krt::trend
