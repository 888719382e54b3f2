#include "sim/trend_record.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <string_view>

#include "trend/trend.hpp"

namespace krt::sim {

namespace {

namespace layout = trend::layout;

struct ChannelSetup {
  int source;
  const char* unit;
  const char* tag;
  std::int16_t lower;
  std::int16_t upper;
  std::uint8_t decimal_point;
};

// Both loops carry every channel kind: PV, SP (loop 1 direct, loop 2 as a
// range fraction), MV and a tagged function channel.
constexpr std::array<std::array<ChannelSetup, 4>, 2> kSetup = {{
    {{{1, "degC", "", 0, 4000, 1},
      {3, "degC", "", 0, 4000, 1},
      {5, "%", "", 0, 1000, 1},
      {7, "m3/h", "FIC-101", 0, 5000, 2}}},
    {{{2, "kPa", "", -1000, 3000, 1},
      {4, "kPa", "", -1000, 3000, 1},
      {6, "%", "", 0, 1000, 1},
      {8, "m3/h", "FI-201", 0, 3000, 2}}},
}};

constexpr std::array<int, 6> kIntervals = {1, 2, 5, 10, 30, 60};

// Days since 1970-01-01 to a civil date and back (proleptic Gregorian).
struct Civil {
  int year;
  unsigned month;
  unsigned day;
};
Civil CivilFromDays(long long z) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0)), m, d};
}
long long DaysFromCivil(int y, unsigned m, unsigned d) {
  y -= m <= 2 ? 1 : 0;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void PutText(Bytes& record, std::size_t off, std::size_t width, std::string_view text) {
  std::memcpy(record.data() + off, text.data(), std::min(text.size(), width - 1));
}

// Ranges are stored in units of the last decimal, so the value is scaled to them first.
std::int16_t Fraction(double value, const ChannelSetup& ch) {
  const double scaled = value * std::pow(10.0, ch.decimal_point);
  const double f = (scaled - ch.lower) / (ch.upper - ch.lower) * 10000.0;
  return static_cast<std::int16_t>(std::lround(std::clamp(f, 0.0, 10000.0)));
}

std::int16_t Direct(double value, const ChannelSetup& ch) {
  return static_cast<std::int16_t>(std::lround(value * std::pow(10.0, ch.decimal_point)));
}

// One control loop over the whole ring in time order: a set point ramped up
// and back down (as the ramp function of such a controller would), a
// lagging PV with a little noise, a PI-like output and a flow that follows it.
struct LoopTrace {
  std::array<double, layout::kRingSize> pv, sp, mv, fn;
};
LoopTrace Simulate(std::minstd_rand& rng, double spLow, double spHigh, double fnScale) {
  LoopTrace t{};
  std::uniform_real_distribution<double> noise(-0.5, 0.5);
  const int step1 = 80 + static_cast<int>(rng() % 60);
  const int step2 = 240 + static_cast<int>(rng() % 60);
  const double ramp = (spHigh - spLow) / 40.0;
  double sp = spLow;
  double pv = spLow - 15.0;
  double integral = 0.0;
  for (int k = 0; k < layout::kRingSize; ++k) {
    const double target = (k >= step1 && k < step2) ? spHigh : spLow;
    sp += std::clamp(target - sp, -ramp, ramp);
    const double error = sp - pv;
    integral = std::clamp(integral + 0.02 * error, -40.0, 40.0);
    const double mv = std::clamp(45.0 + 1.2 * error + integral, 0.0, 100.0);
    pv += 0.06 * (sp - pv) + 0.05 * (mv - 45.0) + noise(rng);
    const double flow = fnScale * mv / 100.0 + 0.3 * std::sin(k / 9.0);
    t.sp[k] = sp;
    t.pv[k] = pv;
    t.mv[k] = mv;
    t.fn[k] = flow;
  }
  return t;
}

}  // namespace

Bytes SyntheticTrendRecord(int modelIndex, std::uint32_t seed) {
  std::minstd_rand rng(seed * 2654435761u + static_cast<std::uint32_t>(modelIndex) + 1u);
  Bytes record(trend::kRecordSize, 0);

  const int interval = kIntervals[rng() % kIntervals.size()];
  const int count = 300 + static_cast<int>(rng() % 101);
  // The newest entry sits low in the ring, so the valid entries wrap from 399 to 0.
  const int latest = static_cast<int>(rng() % 100);

  SetBeU16(record, layout::kStoringStatus, 0);
  SetBeU16(record, layout::kAltNames, 0);
  SetBeU16(record, layout::kSp1Direct, layout::kDirectMarker);
  SetBeU16(record, layout::kSp2Direct, 0);
  SetBeU16(record, layout::kTrendInterval, static_cast<std::uint16_t>(interval));
  SetBeU16(record, layout::kLatestIndex, static_cast<std::uint16_t>(latest));
  SetBeU16(record, layout::kSampleCount, static_cast<std::uint16_t>(count));

  const std::array<LoopTrace, 2> traces = {Simulate(rng, 180.0, 220.0, 40.0), Simulate(rng, 120.0, 150.0, 25.0)};
  for (int loop = 0; loop < layout::kLoops; ++loop) {
    const std::size_t info = layout::kLoopInfo[loop];
    const std::size_t samples = layout::kLoopSamples[loop];
    for (int c = 0; c < layout::kChannelsPerLoop; ++c) {
      const ChannelSetup& ch = kSetup[static_cast<std::size_t>(loop)][static_cast<std::size_t>(c)];
      PutText(record, info + layout::UnitOffset(c), layout::kUnitWidth, ch.unit);
      PutText(record, info + layout::TagOffset(c), layout::kTagWidth, ch.tag);
      record[info + layout::DecimalPointOffset(c)] = ch.decimal_point;
      SetBeU16(record, info + layout::LowerRangeOffset(c), static_cast<std::uint16_t>(ch.lower));
      SetBeU16(record, info + layout::UpperRangeOffset(c), static_cast<std::uint16_t>(ch.upper));
      SetBeU16(record, samples + layout::SourceOffset(c), static_cast<std::uint16_t>(ch.source));

      const LoopTrace& t = traces[static_cast<std::size_t>(loop)];
      for (int i = 0; i < layout::kRingSize; ++i) {
        // Ring index i holds the k-th oldest of all 400 entries in time order.
        const int age = (latest - i + layout::kRingSize) % layout::kRingSize;
        const auto k = static_cast<std::size_t>(layout::kRingSize - 1 - age);
        std::int16_t sample = 0;
        switch (c) {
          case 0:
            sample = Fraction(t.pv[k], ch);
            break;
          case 1:
            sample = loop == 0 ? Direct(t.sp[k], ch) : Fraction(t.sp[k], ch);
            break;
          case 2:
            sample = Fraction(t.mv[k], ch);
            break;
          default:
            sample = Fraction(t.fn[k], ch);
            break;
        }
        SetBeU16(record, samples + layout::SampleOffset(c, i), static_cast<std::uint16_t>(sample));
      }
    }
  }

  // The newest sample was taken at a whole multiple of the interval on some day of 2024.
  const long long day = DaysFromCivil(2024, 1, 1) + static_cast<long long>(rng() % 366);
  const long long secondOfDay = static_cast<long long>(rng() % 86400) / interval * interval;
  const long long newest = day * 86400 + secondOfDay;
  for (int i = 0; i < layout::kRingSize; ++i) {
    const int age = (latest - i + layout::kRingSize) % layout::kRingSize;
    const long long t = newest - static_cast<long long>(age) * interval;
    const long long days = t >= 0 ? t / 86400 : (t - 86399) / 86400;
    const long long sod = t - days * 86400;
    const Civil date = CivilFromDays(days);
    const std::size_t at = layout::StampOffset(i);
    SetBeU16(record, at + layout::kStampYear, static_cast<std::uint16_t>(date.year));
    SetBeU16(record, at + layout::kStampMonth, static_cast<std::uint16_t>(date.month));
    SetBeU16(record, at + layout::kStampDay, static_cast<std::uint16_t>(date.day));
    SetBeU16(record, at + layout::kStampHour, static_cast<std::uint16_t>(sod / 3600));
    SetBeU16(record, at + layout::kStampMinute, static_cast<std::uint16_t>(sod / 60 % 60));
    SetBeU16(record, at + layout::kStampSecond, static_cast<std::uint16_t>(sod % 60));
  }
  return record;
}

}  // namespace krt::sim
