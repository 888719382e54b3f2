// Every Japanese byte string of the listing framework against an independent
// encoder (glibc iconv, code page 932).

#include <gtest/gtest.h>

#include "listing/listing.hpp"
#include "support/sjis.hpp"

namespace krt::listing {
namespace {

using krt::test::Sjis;

struct JapaneseCase {
  std::string_view bytes;
  std::u8string_view text;
};

TEST(JapaneseLabels, MatchTheirCp932Form) {
  const JapaneseCase cases[] = {
      {labels::kPulseScreen, u8"パルス演算表示"},
      {labels::kMixingScreen, u8"混合調節機能表示"},
      {labels::kTotaliserScreen, u8"積算機能表示"},
      {labels::kSettingsMenu, u8"設定メニュー"},
      {labels::kProgramming, u8"プログラミング"},
      {labels::kTuning, u8"チューニング"},
      {labels::kShown, u8"表示"},
      {labels::kHidden, u8"非表示"},
      {*LookupChoice(choices::kDisplayFlag, 0), u8"表示"},
      {*LookupChoice(choices::kDisplayFlag, 1), u8"非表示"},
      {ViewName(ViewVariant::kPulse, 4), u8"パルス演算表示"},
      {ViewName(ViewVariant::kMixing, 4), u8"混合調節機能表示"},
      {ViewName(ViewVariant::kTotaliser, 4), u8"積算機能表示"},
      {ViewName(ViewVariant::kPulse, 5), u8"設定メニュー"},
      {ViewName(ViewVariant::kTotaliser, 6), u8"プログラミング"},
      {ViewName(ViewVariant::kMixing, 7), u8"チューニング"},
  };
  for (const JapaneseCase& c : cases) {
    SCOPED_TRACE(std::string(reinterpret_cast<const char*>(c.text.data()), c.text.size()));
    EXPECT_EQ(c.bytes, Sjis(c.text));
  }
}

TEST(SjisHelper, EncodesAsciiUnchangedAndRefusesUnmappable) {
  EXPECT_EQ(Sjis(u8"F1'"), "F1'");
  EXPECT_EQ(Sjis(u8"１"), "\x82\x50");
  EXPECT_THROW(Sjis(u8"\U0001F600"), std::runtime_error);
}

}  // namespace
}  // namespace krt::listing
