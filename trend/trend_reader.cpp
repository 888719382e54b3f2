#include <array>

#include "listing/listing.hpp"
#include "trend/trend.hpp"

namespace krt::trend {

namespace {

struct CodeMap {
  int com;
  int read;
};
// What the window can tell the user apart; every other upload failure is a port failure.
constexpr std::array<CodeMap, 2> kComToRead = {{
    {link::kComNoTrend, kReadUnsupported},
    {link::kComFailed, kReadCommFailed},
}};

int ReadCodeFor(int comResult) {
  for (const CodeMap& m : kComToRead) {
    if (m.com == comResult) return m.read;
  }
  return kReadPortFailed;
}

}  // namespace

void TrendFileName(ByteView record, std::string* baseName) {
  if (baseName == nullptr || record.size() != kRecordSize) return;
  const Bytes host = ConvertTrendOrder(record);
  const std::optional<Ring> ring = ReadRing(host);
  if (!ring) return;
  const Stamp s = ReadStamp(host, ring->start);
  *baseName += listing::FormatText("%04u%02u%02u_%02u%02u%02u", s.year, s.month, s.day, s.hour, s.minute, s.second);
}

int TrendReader::Read(Bytes& record, int& modelIndex, std::string& baseName) {
  const int result = com_.ReadTrend(record, &modelIndex);
  if (result < 0) return ReadCodeFor(result);
  if (record.size() != kRecordSize) return kReadIllegalData;
  // A ring that would leave the record holds nothing we could export faithfully.
  if (!ReadRing(ConvertTrendOrder(record))) return kReadIllegalData;
  TrendFileName(record, &baseName);
  return kReadOk;
}

}  // namespace krt::trend
