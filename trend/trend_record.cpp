#include <array>
#include <utility>

#include "trend/trend.hpp"

namespace krt::trend {

namespace {

struct WordRange {
  std::size_t begin;
  std::size_t end;
};
// Every 16-bit field of the record; the texts and decimal points between
// them are single bytes and keep their place.
constexpr std::array<WordRange, 4> kWordRanges = {{
    {0, layout::kLoopInfo[0]},
    {layout::kLoopInfo[0] + layout::kRangeWordsBegin, layout::kLoopInfo[0] + layout::kLoopInfoSize},
    {layout::kLoopInfo[1] + layout::kRangeWordsBegin, layout::kLoopInfo[1] + layout::kLoopInfoSize},
    {layout::kTrendInterval, kRecordSize},
}};

constexpr std::array<double, 6> kDivisors = {1.0, 10.0, 100.0, 1000.0, 10000.0, 100000.0};

}  // namespace

Bytes ConvertTrendOrder(ByteView record) {
  if (record.size() != kRecordSize) return {};
  Bytes out(record.begin(), record.end());
  for (const WordRange& r : kWordRanges) {
    for (std::size_t off = r.begin; off + 1 < r.end; off += 2) std::swap(out[off], out[off + 1]);
  }
  return out;
}

int StartIndex(int latestIndex, int sampleCount) {
  if (sampleCount == 0) return 0;
  const int start = latestIndex - sampleCount + 1;
  return start < 0 ? start + layout::kRingSize : start;
}

std::optional<Ring> ReadRing(ByteView host) {
  if (host.size() != kRecordSize) return std::nullopt;
  const int latest = LeI16(host, layout::kLatestIndex);
  const int count = LeI16(host, layout::kSampleCount);
  if (count < 0 || count > layout::kRingSize || latest < 0 || latest >= layout::kRingSize) return std::nullopt;
  Ring ring;
  ring.count = count;
  ring.start = StartIndex(latest, count);
  ring.latest = count == 0 ? 0 : latest;
  return ring;
}

Stamp ReadStamp(ByteView host, int ringIndex) {
  const std::size_t at = layout::StampOffset(ringIndex);
  return Stamp{LeU16(host, at + layout::kStampYear),   LeU16(host, at + layout::kStampMonth),
               LeU16(host, at + layout::kStampDay),    LeU16(host, at + layout::kStampHour),
               LeU16(host, at + layout::kStampMinute), LeU16(host, at + layout::kStampSecond)};
}

Channel ReadChannel(ByteView host, int loop, int channel) {
  const std::size_t info = layout::kLoopInfo[loop];
  const std::size_t samples = layout::kLoopSamples[loop];
  Channel ch;
  ch.source = LeI16(host, samples + layout::SourceOffset(channel));
  ch.direct = (ch.source == kSourceSp1 && LeI16(host, layout::kSp1Direct) == layout::kDirectMarker) ||
              (ch.source == kSourceSp2 && LeI16(host, layout::kSp2Direct) == layout::kDirectMarker);
  ch.lower = LeI16(host, info + layout::LowerRangeOffset(channel));
  ch.upper = LeI16(host, info + layout::UpperRangeOffset(channel));
  ch.decimal_point = U8(host, info + layout::DecimalPointOffset(channel));
  ch.unit = TextField(host, info + layout::UnitOffset(channel), layout::kUnitWidth);
  ch.tag = TextField(host, info + layout::TagOffset(channel), layout::kTagWidth);
  ch.samples = samples + layout::SampleOffset(channel, 0);
  return ch;
}

int Decimals(std::uint8_t decimalPoint) {
  return decimalPoint < kDivisors.size() ? decimalPoint : 0;
}

std::int32_t SampleUnits(std::int16_t sample, bool direct, std::int16_t lower, std::int16_t upper) {
  if (direct) return sample;
  // |sample| <= 32768 and |upper - lower| <= 65535 keep the product inside 32 bits.
  const std::int32_t span = std::int32_t{upper} - std::int32_t{lower};
  return std::int32_t{lower} + (std::int32_t{sample} * span) / 10000;
}

double SampleValue(ByteView host, const Channel& channel, int ringIndex) {
  const std::int16_t sample = LeI16(host, channel.samples + 2 * static_cast<std::size_t>(ringIndex));
  const std::int32_t units = SampleUnits(sample, channel.direct, channel.lower, channel.upper);
  return static_cast<double>(units) / kDivisors[static_cast<std::size_t>(Decimals(channel.decimal_point))];
}

}  // namespace krt::trend
