#include <array>
#include <charconv>
#include <system_error>

#include "listing/listing.hpp"
#include "trend/trend.hpp"

namespace krt::trend {

namespace {

using listing::FormatText;

struct Title {
  unsigned int model_index;
  const char* text;
};
// KRT410 and KRT411 have no short trend and get no title.
constexpr std::array<Title, 8> kTitles = {{
    {1, "KRT610 Short trend data"},
    {3, "KRT611 Short trend data"},
    {4, "RT610J Short trend data"},
    {5, "RT610N Short trend data"},
    {6, "RT610L Short trend data"},
    {7, "RT610M Short trend data"},
    {9, "RT610X Short trend data"},
    {11, "RT611X Short trend data"},
}};

const char* StatusText(int status) {
  switch (status) {
    case 0:
      return "Storing";
    case 1:
      return "Pause";
    default:
      return "Previous data";
  }
}

// The eight channels in column order: LP1 CH1..CH4, then LP2 CH1..CH4.
using Channels = std::array<Channel, layout::kChannels>;

Channels ReadChannels(ByteView host) {
  Channels channels;
  for (std::size_t i = 0; i < channels.size(); ++i) {
    const int column = static_cast<int>(i);
    channels[i] = ReadChannel(host, column / layout::kChannelsPerLoop, column % layout::kChannelsPerLoop);
  }
  return channels;
}

std::string_view TagOf(const Channel& ch) {
  return ch.IsFunction() ? ch.tag : std::string_view();
}

// Appends ",<value>" with `decimals` decimals. std::to_chars in fixed form
// gives exactly the text of printf's "%.<decimals>lf", at a fraction of the
// cost, which matters for the 3200 values of a full record.
void AppendValue(std::string& out, double value, int decimals) {
  std::array<char, 64> buffer{};
  buffer[0] = ',';
  const auto [end, error] =
      std::to_chars(buffer.data() + 1, buffer.data() + buffer.size(), value, std::chars_format::fixed, decimals);
  if (error == std::errc()) {
    out.append(buffer.data(), end);
  } else {
    out += FormatText(",%.*lf", decimals, value);
  }
}

void AppendHeader(ByteView host, const Ring& ring, std::string& out) {
  const int interval = LeI16(host, layout::kTrendInterval);
  const std::optional<std::string_view> intervalText =
      listing::LookupChoice(listing::choices::kStoringInterval, interval);
  ((out += "Storing interval,") += intervalText.value_or("(null)")) += '\n';

  const Stamp from = ReadStamp(host, ring.start);
  const Stamp to = ReadStamp(host, ring.latest);
  out += FormatText("%s,%04u/%02u/%02u,%02u:%02u:%02u,%s,%04u/%02u/%02u,%02u:%02u:%02u\n", "Storing periold", from.year,
                    from.month, from.day, from.hour, from.minute, from.second, "-", to.year, to.month, to.day, to.hour,
                    to.minute, to.second);
  out += FormatText("%s,%d\n", "Number of samples", ring.count);
  out += FormatText("%s,%s\n\n", "Storing status", StatusText(LeI16(host, layout::kStoringStatus)));
}

void AppendChannelTable(const Channels& channels, int altNames, std::string& out) {
  out += "Trend channel,Data type,Tag No.,Unit,Lower range,Upper range,Decimal point\n";
  for (std::size_t i = 0; i < channels.size(); ++i) {
    const Channel& ch = channels[i];
    out += FormatText("LP%d CH%d", static_cast<int>(i) / layout::kChannelsPerLoop + 1,
                      static_cast<int>(i) % layout::kChannelsPerLoop + 1);
    // Device texts are bytes bounded by their field, appended as they are.
    ((((out += ',') += listing::VariableName(ch.source, altNames)) += ',') += TagOf(ch)) += ',';
    out += ch.unit;
    out += FormatText(",%d,%d,%d\n", ch.lower, ch.upper, ch.decimal_point);
  }
  out += '\n';
}

void AppendSampleHeadings(const Channels& channels, int altNames, std::string& out) {
  out += "Date,Time,LP1 CH1,LP1 CH2,LP1 CH3,LP1 CH4,LP2 CH1,LP2 CH2,LP2 CH3,LP2 CH4\n";
  out += ',';
  for (const Channel& ch : channels) (out += ',') += listing::VariableName(ch.source, altNames);
  out += "\n,";
  for (const Channel& ch : channels) (out += ',') += TagOf(ch);
  out += "\n,";
  for (const Channel& ch : channels) (out += ',') += ch.unit;
  out += '\n';
}

void AppendSamples(ByteView host, const Ring& ring, const Channels& channels, std::string& out) {
  for (int k = 0; k < ring.count; ++k) {
    const int index = RingIndex(ring, k);
    const Stamp s = ReadStamp(host, index);
    out += FormatText("%u/%u/%u,%02u:%02u:%02u", s.year, s.month, s.day, s.hour, s.minute, s.second);
    for (const Channel& ch : channels) AppendValue(out, SampleValue(host, ch, index), Decimals(ch.decimal_point));
    out += '\n';
  }
}

}  // namespace

std::string_view TrendTitle(unsigned int modelIndex) {
  for (const Title& t : kTitles) {
    if (t.model_index == modelIndex) return t.text;
  }
  return {};
}

}  // namespace krt::trend

namespace data {

int TrendCsvConverter::Convert(krt::ByteView record, std::string& text, unsigned int modelIndex) const {
  using namespace krt::trend;
  if (record.size() != kRecordSize) return -1;
  const krt::Bytes host = ConvertTrendOrder(record);
  const std::optional<Ring> ring = ReadRing(host);
  if (!ring) return -1;

  const int altNames = krt::LeI16(host, layout::kAltNames);
  const Channels channels = ReadChannels(host);
  // Built apart and appended whole, so a refused or failed conversion leaves `text` as it was.
  std::string out;
  out.reserve(2048 + static_cast<std::size_t>(ring->count) * 96);
  if (const std::string_view title = TrendTitle(modelIndex); !title.empty()) {
    (out += title) += "\n\n";
  }
  AppendHeader(host, *ring, out);
  AppendChannelTable(channels, altNames, out);
  AppendSampleHeadings(channels, altNames, out);
  AppendSamples(host, *ring, channels, out);
  text += out;
  return 0;
}

}  // namespace data
