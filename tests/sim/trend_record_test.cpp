#include "sim/trend_record.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <set>
#include <string>

#include "trend/trend.hpp"

namespace krt::sim {
namespace {

long long Seconds(const trend::Stamp& s) {
  using namespace std::chrono;
  const sys_days day = year{static_cast<int>(s.year)} / month{s.month} / std::chrono::day{s.day};
  return day.time_since_epoch().count() * 86400LL + s.hour * 3600LL + s.minute * 60LL + s.second;
}

TEST(SyntheticTrendRecord, IsAPlausibleWrappedRecordForEveryTrendModel) {
  for (int model : {1, 3, 4, 5, 6, 7, 9, 11}) {
    for (std::uint32_t seed : {1u, 2u, 77u, 4000000000u}) {
      SCOPED_TRACE(testing::Message() << "model " << model << " seed " << seed);
      const Bytes record = SyntheticTrendRecord(model, seed);
      ASSERT_EQ(record.size(), trend::kRecordSize);
      const Bytes host = trend::ConvertTrendOrder(record);
      const std::optional<trend::Ring> ring = trend::ReadRing(host);
      ASSERT_TRUE(ring);
      EXPECT_GE(ring->count, 200);
      EXPECT_GT(ring->start, ring->latest);  // the valid entries wrap from 399 to 0

      // Every channel kind: PV, SP as a direct value and as a fraction, MV, tagged FN.
      std::set<int> sources;
      bool directSp = false, fractionSp = false;
      for (int loop = 0; loop < 2; ++loop) {
        for (int c = 0; c < 4; ++c) {
          const trend::Channel ch = trend::ReadChannel(host, loop, c);
          sources.insert(ch.source);
          if (ch.source == 3 || ch.source == 4) {
            (ch.direct ? directSp : fractionSp) = true;
          }
          if (ch.IsFunction()) {
            EXPECT_FALSE(ch.tag.empty());
          }
          EXPECT_FALSE(ch.unit.empty());
          EXPECT_LT(ch.lower, ch.upper);
          EXPECT_LE(ch.decimal_point, 5);
        }
      }
      EXPECT_EQ(sources, (std::set<int>{1, 2, 3, 4, 5, 6, 7, 8}));
      EXPECT_TRUE(directSp);
      EXPECT_TRUE(fractionSp);

      // Time stamps advance by the storing interval over the whole ring.
      const int interval = LeI16(host, trend::layout::kTrendInterval);
      ASSERT_GT(interval, 0);
      for (int k = 1; k < 400; ++k) {
        const int prev = (ring->latest + 1 + k - 1) % 400;
        const int next = (ring->latest + 1 + k) % 400;
        ASSERT_EQ(Seconds(trend::ReadStamp(host, next)) - Seconds(trend::ReadStamp(host, prev)), interval) << k;
      }

      std::string csv;
      EXPECT_EQ(data::TrendCsvConverter().Convert(record, csv, static_cast<unsigned>(model)), 0);
    }
  }
}

TEST(SyntheticTrendRecord, SmoothValuesStayInsideTheirRanges) {
  const Bytes host = trend::ConvertTrendOrder(SyntheticTrendRecord(1, 5));
  const trend::Ring ring = *trend::ReadRing(host);
  for (int loop = 0; loop < 2; ++loop) {
    for (int c = 0; c < 4; ++c) {
      const trend::Channel ch = trend::ReadChannel(host, loop, c);
      double scale = 1;
      for (int d = 0; d < trend::Decimals(ch.decimal_point); ++d) scale *= 10;
      const double lower = ch.lower / scale;
      const double upper = ch.upper / scale;
      double previous = trend::SampleValue(host, ch, ring.start);
      for (int k = 0; k < ring.count; ++k) {
        const double value = trend::SampleValue(host, ch, trend::RingIndex(ring, k));
        EXPECT_GE(value, lower);
        EXPECT_LE(value, upper);
        // No jumps of more than a fifth of the range between neighbours.
        EXPECT_LE(std::abs(value - previous), (upper - lower) / 5) << loop << "/" << c << " at " << k;
        previous = value;
      }
    }
  }
}

TEST(SyntheticTrendRecord, SameSeedSameRecord) {
  EXPECT_EQ(SyntheticTrendRecord(3, 9), SyntheticTrendRecord(3, 9));
  EXPECT_NE(SyntheticTrendRecord(3, 9), SyntheticTrendRecord(3, 10));
}

}  // namespace
}  // namespace krt::sim
