// The function-screen block of the flow-family models: its three variants
// row by row, and which image gets which variant.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "image/config_data.hpp"
#include "image/image_layout.hpp"
#include "listing/sections.hpp"
#include "support/sjis.hpp"

namespace krt::listing {
namespace {

using krt::test::Sjis;

// The RT610J default image in host order with the given format and model.
Bytes FlowWorking(int minor, int model, int major = 2) {
  const data::ConfigDataRt610J rt610j;
  Bytes w = image::ConvertByteOrder(rt610j.Image());
  SetLeU16(w, 6, static_cast<std::uint16_t>(model));
  SetLeU16(w, 8, static_cast<std::uint16_t>(major));
  SetLeU16(w, 10, static_cast<std::uint16_t>(minor));
  return w;
}

void SetBytes(Bytes& w, std::initializer_list<std::pair<std::size_t, std::uint8_t>> values) {
  for (const auto& [offset, value] : values) SetU8(w, offset, value);
}

std::string Screens(ByteView w) {
  std::string out;
  WriteFunctionScreens(w, out);
  return out;
}

std::size_t CountLines(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(FunctionScreens, PulseVariant) {
  Bytes w = FlowWorking(0, 1200);
  SetBytes(w, {{163, 1}, {167, 3}, {176, 190}, {185, 1}, {192, 2}});
  // Bytes of the block that are not listed.
  SetBytes(w, {{170, 9}, {172, 9}, {180, 1}, {181, 1}, {182, 1}, {193, 1}});
  const std::string expected = Sjis(
      u8"パルス演算表示表示色,F1'瞬時値,16\n"
      u8",F2'瞬時値,16\n"
      u8",積算値 Normal,16\n"
      u8",積算値プリバッチ到達,18\n"
      u8",積算値バッチエンド到達,1\n"
      u8",バッチエンド値,16\n"
      u8",積算リセットステータス,15\n"
      u8",積算リセット解除ステータス,1\n"
      u8",プリバッチ到達ステータス,4\n"
      u8",バッチエンド到達ステータス,1\n"
      u8",内部スイッチ１ステータスOFF,15\n"
      u8",内部スイッチ１ステータスON,8\n"
      u8",内部スイッチ２ステータスOFF,2\n"
      u8",内部スイッチ２ステータスON,8\n"
      u8",内部スイッチ３ステータスOFF,15\n"
      u8",内部スイッチ３ステータスON,8\n"
      u8"バッチ機能表示画面,F1'瞬時値,表示\n"
      u8",F2'瞬時値,表示\n"
      u8",積算値,非表示\n"
      u8",バッチエンド値,表示\n"
      u8",積算リセットステータス,表示\n"
      u8",プリバッチ到達ステータス,表示\n"
      u8",バッチエンド到達ステータス,表示\n"
      u8",内部スイッチ１ステータス,表示\n"
      u8",内部スイッチ２ステータス,表示\n"
      u8",内部スイッチ３ステータス,(null)\n");
  const std::string out = Screens(w);
  EXPECT_EQ(CountLines(out), 26u);
  EXPECT_EQ(out, expected);
}

TEST(FunctionScreens, MixingVariant) {
  Bytes w = FlowWorking(1, 1200);
  SetBytes(w, {{201, 1}, {209, 226}, {219, 1}, {221, 2}});
  SetBytes(w, {{210, 9}, {212, 9}, {222, 1}, {223, 1}});
  const std::string expected = Sjis(
      u8"混合調節機能表示画面表示色,瞬時値,16\n"
      u8",積算偏差,18\n"
      u8",比率,16\n"
      u8",積算値,16\n"
      u8",積算リセットステータス,15\n"
      u8",積算リセット解除ステータス,8\n"
      u8",瞬時値選択(測定流量),8\n"
      u8",瞬時値選択(設定流量),8\n"
      u8",積算値選択(積算),8\n"
      u8",積算値選択(トータル),6\n"
      u8"混合調節機能表示画面,瞬時値,表示\n"
      u8",積算偏差,表示\n"
      u8",比率,表示\n"
      u8",積算値,表示\n"
      u8",積算リセットステータス,表示\n"
      u8",瞬時値選択,非表示\n"
      u8",積算値選択,表示\n"
      u8",MV値表示,(null)\n");
  const std::string out = Screens(w);
  EXPECT_EQ(CountLines(out), 18u);
  EXPECT_EQ(out, expected);
}

TEST(FunctionScreens, TotaliserVariant) {
  Bytes w = FlowWorking(3, 4200);
  SetBytes(w, {{244, 1}, {259, 4}, {264, 1}, {269, 2}});
  SetBytes(w, {{243, 1}, {246, 1}, {247, 1}, {250, 9}, {252, 9}, {263, 1}, {265, 1}});
  const std::string expected = Sjis(
      u8"積算機能表示画面表示色,F1'瞬時値,16\n"
      u8",F2'瞬時値,16\n"
      u8",積算値 Normal,16\n"
      u8",積算リセットステータス,18\n"
      u8",積算リセット解除ステータス,8\n"
      u8",積算値選択(積算),15\n"
      u8",積算値選択(トータル),8\n"
      u8",内部スイッチ１ステータスOFF,15\n"
      u8",内部スイッチ１ステータスON,8\n"
      u8",内部スイッチ２ステータスOFF,15\n"
      u8",内部スイッチ２ステータスON,8\n"
      u8",内部スイッチ３ステータスOFF,15\n"
      u8",内部スイッチ３ステータスON,11\n"
      u8"積算機能表示画面,F1'瞬時値,表示\n"
      u8",F2'瞬時値,表示\n"
      u8",積算値,表示\n"
      u8",積算リセットステータス,非表示\n"
      u8",積算値選択,表示\n"
      u8",内部スイッチ１ステータス,表示\n"
      u8",内部スイッチ２ステータス,表示\n"
      u8",内部スイッチ３ステータス,(null)\n");
  const std::string out = Screens(w);
  EXPECT_EQ(CountLines(out), 21u);
  EXPECT_EQ(out, expected);
}

struct VariantCase {
  int major, minor, model;
  std::size_t rows;
  std::u8string firstRow;  // empty when the image gets no rows
};

TEST(FunctionScreens, VariantFollowsFormatAndModel) {
  const VariantCase cases[] = {
      {2, 0, 1200, 26, u8"パルス演算表示表示色,F1'瞬時値,16"},
      {2, 2, 1200, 26, u8"パルス演算表示表示色,F1'瞬時値,16"},
      {2, 1, 1200, 18, u8"混合調節機能表示画面表示色,瞬時値,16"},
      {2, 2, 2200, 18, u8"混合調節機能表示画面表示色,瞬時値,16"},
      {2, 3, 4200, 21, u8"積算機能表示画面表示色,F1'瞬時値,16"},
      {2, 3, 1200, 21, u8"積算機能表示画面表示色,F1'瞬時値,16"},
      {2, 3, 3200, 21, u8"積算機能表示画面表示色,F1'瞬時値,16"},
      {2, 0, 2200, 0, u8""},
      {2, 1, 2200, 0, u8""},
      {2, 2, 3200, 0, u8""},
      {2, 2, 4200, 0, u8""},
      {2, 4, 1200, 0, u8""},
      {3, 2, 1200, 0, u8""},
      {1, 0, 1200, 0, u8""},
      {3, 3, 6200, 0, u8""},
  };
  for (const VariantCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "format " << c.major << "." << c.minor << " model " << c.model);
    const std::string out = Screens(FlowWorking(c.minor, c.model, c.major));
    EXPECT_EQ(CountLines(out), c.rows);
    if (c.rows == 0) {
      EXPECT_EQ(out, "");
    } else {
      EXPECT_EQ(out.substr(0, out.find('\n')), Sjis(c.firstRow));
    }
  }
}

TEST(FunctionScreens, AppendsToExistingText) {
  std::string out = "before\n";
  WriteFunctionScreens(FlowWorking(1, 1200), out);
  EXPECT_EQ(out.rfind("before\n", 0), 0u);
  EXPECT_EQ(CountLines(out), 19u);
}

}  // namespace
}  // namespace krt::listing
