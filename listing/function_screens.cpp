// The extra LCD screen of the flow-family models: its colours and its
// show/hide flags, one variant per screen block.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "listing/listing.hpp"
#include "listing/sections.hpp"

namespace krt::listing {
namespace {

// Japanese pieces in Shift-JIS; trail bytes may be 0x5C, so they stay escaped.
constexpr std::string_view kInstant = "\x8f\x75\x8e\x9e\x92\x6c";                 // 瞬時値
constexpr std::string_view kTotal = "\x90\xcf\x8e\x5a\x92\x6c";                   // 積算値
constexpr std::string_view kStatus = "\x83\x58\x83\x65\x81\x5b\x83\x5e\x83\x58";  // ステータス
constexpr std::string_view kRelease = "\x89\xf0\x8f\x9c";                         // 解除
constexpr std::string_view kBatchEndValue =
    "\x83\x6f\x83\x62\x83\x60\x83\x47\x83\x93\x83\x68\x92\x6c";                               // バッチエンド値
constexpr std::string_view kTotalReset = "\x90\xcf\x8e\x5a\x83\x8a\x83\x5a\x83\x62\x83\x67";  // 積算リセット
constexpr std::string_view kPreBatchReached =
    "\x83\x76\x83\x8a\x83\x6f\x83\x62\x83\x60\x93\x9e\x92\x42";  // プリバッチ到達
constexpr std::string_view kBatchEndReached =
    "\x83\x6f\x83\x62\x83\x60\x83\x47\x83\x93\x83\x68\x93\x9e\x92\x42";  // バッチエンド到達
constexpr std::string_view kSwitch1 = "\x93\xe0\x95\x94\x83\x58\x83\x43\x83\x62\x83\x60\x82\x50";  // 内部スイッチ１
constexpr std::string_view kSwitch2 = "\x93\xe0\x95\x94\x83\x58\x83\x43\x83\x62\x83\x60\x82\x51";  // 内部スイッチ２
constexpr std::string_view kSwitch3 = "\x93\xe0\x95\x94\x83\x58\x83\x43\x83\x62\x83\x60\x82\x52";  // 内部スイッチ３
constexpr std::string_view kDeviation = "\x90\xcf\x8e\x5a\x95\xce\x8d\xb7";                        // 積算偏差
constexpr std::string_view kRatio = "\x94\xe4\x97\xa6";                                            // 比率
constexpr std::string_view kInstantSelect = "\x8f\x75\x8e\x9e\x92\x6c\x91\x49\x91\xf0";            // 瞬時値選択
constexpr std::string_view kTotalSelect = "\x90\xcf\x8e\x5a\x92\x6c\x91\x49\x91\xf0";              // 積算値選択
constexpr std::string_view kMeasuredFlow = "(\x91\xaa\x92\xe8\x97\xac\x97\xca)";                   // (測定流量)
constexpr std::string_view kSetFlow = "(\x90\xdd\x92\xe8\x97\xac\x97\xca)";                        // (設定流量)
constexpr std::string_view kTotalising = "(\x90\xcf\x8e\x5a)";                                     // (積算)
constexpr std::string_view kGrandTotal = "(\x83\x67\x81\x5b\x83\x5e\x83\x8b)";                     // (トータル)
constexpr std::string_view kMvValueShown = "MV\x92\x6c\x95\x5c\x8e\xa6";                           // MV値表示

constexpr std::string_view kF1 = "F1'";
constexpr std::string_view kF2 = "F2'";
constexpr std::string_view kNormal = " Normal";
constexpr std::string_view kOff = "OFF";
constexpr std::string_view kOn = "ON";

enum class Data { kColour, kDisplayFlag };

// A group label on the first row of each of the two groups, "" after it.
struct Row {
  std::string_view group;
  std::array<std::string_view, 3> item;
  std::uint16_t offset;
  Data data;
};

constexpr std::string_view kPulseColourGroup =
    "\x83\x70\x83\x8b\x83\x58\x89\x89\x8e\x5a\x95\x5c\x8e\xa6\x95\x5c\x8e\xa6\x90\x46";  // パルス演算表示表示色
constexpr std::string_view kPulseFlagGroup =
    "\x83\x6f\x83\x62\x83\x60\x8b\x40\x94\x5c\x95\x5c\x8e\xa6\x89\xe6\x96\xca";  // バッチ機能表示画面
constexpr std::string_view kMixingColourGroup =
    "\x8d\xac\x8d\x87\x92\xb2\x90\xdf\x8b\x40\x94\x5c\x95\x5c\x8e\xa6\x89\xe6\x96\xca\x95\x5c\x8e\xa6\x90\x46";  // 混合調節機能表示画面表示色
constexpr std::string_view kMixingFlagGroup =
    "\x8d\xac\x8d\x87\x92\xb2\x90\xdf\x8b\x40\x94\x5c\x95\x5c\x8e\xa6\x89\xe6\x96\xca";  // 混合調節機能表示画面
constexpr std::string_view kTotaliserColourGroup =
    "\x90\xcf\x8e\x5a\x8b\x40\x94\x5c\x95\x5c\x8e\xa6\x89\xe6\x96\xca\x95\x5c\x8e\xa6\x90\x46";  // 積算機能表示画面表示色
constexpr std::string_view kTotaliserFlagGroup =
    "\x90\xcf\x8e\x5a\x8b\x40\x94\x5c\x95\x5c\x8e\xa6\x89\xe6\x96\xca";  // 積算機能表示画面

constexpr Row kPulseRows[] = {
    {kPulseColourGroup, {kF1, kInstant}, 160, Data::kColour},
    {"", {kF2, kInstant}, 161, Data::kColour},
    {"", {kTotal, kNormal}, 162, Data::kColour},
    {"", {kTotal, kPreBatchReached}, 163, Data::kColour},
    {"", {kTotal, kBatchEndReached}, 164, Data::kColour},
    {"", {kBatchEndValue}, 165, Data::kColour},
    {"", {kTotalReset, kStatus}, 166, Data::kColour},
    {"", {kTotalReset, kRelease, kStatus}, 167, Data::kColour},
    {"", {kPreBatchReached, kStatus}, 168, Data::kColour},
    {"", {kBatchEndReached, kStatus}, 169, Data::kColour},
    {"", {kSwitch1, kStatus, kOff}, 174, Data::kColour},
    {"", {kSwitch1, kStatus, kOn}, 175, Data::kColour},
    {"", {kSwitch2, kStatus, kOff}, 176, Data::kColour},
    {"", {kSwitch2, kStatus, kOn}, 177, Data::kColour},
    {"", {kSwitch3, kStatus, kOff}, 178, Data::kColour},
    {"", {kSwitch3, kStatus, kOn}, 179, Data::kColour},
    {kPulseFlagGroup, {kF1, kInstant}, 183, Data::kDisplayFlag},
    {"", {kF2, kInstant}, 184, Data::kDisplayFlag},
    {"", {kTotal}, 185, Data::kDisplayFlag},
    {"", {kBatchEndValue}, 186, Data::kDisplayFlag},
    {"", {kTotalReset, kStatus}, 187, Data::kDisplayFlag},
    {"", {kPreBatchReached, kStatus}, 188, Data::kDisplayFlag},
    {"", {kBatchEndReached, kStatus}, 189, Data::kDisplayFlag},
    {"", {kSwitch1, kStatus}, 190, Data::kDisplayFlag},
    {"", {kSwitch2, kStatus}, 191, Data::kDisplayFlag},
    {"", {kSwitch3, kStatus}, 192, Data::kDisplayFlag},
};

constexpr Row kMixingRows[] = {
    {kMixingColourGroup, {kInstant}, 200, Data::kColour},
    {"", {kDeviation}, 201, Data::kColour},
    {"", {kRatio}, 202, Data::kColour},
    {"", {kTotal}, 203, Data::kColour},
    {"", {kTotalReset, kStatus}, 204, Data::kColour},
    {"", {kTotalReset, kRelease, kStatus}, 205, Data::kColour},
    {"", {kInstantSelect, kMeasuredFlow}, 206, Data::kColour},
    {"", {kInstantSelect, kSetFlow}, 207, Data::kColour},
    {"", {kTotalSelect, kTotalising}, 208, Data::kColour},
    {"", {kTotalSelect, kGrandTotal}, 209, Data::kColour},
    {kMixingFlagGroup, {kInstant}, 214, Data::kDisplayFlag},
    {"", {kDeviation}, 215, Data::kDisplayFlag},
    {"", {kRatio}, 216, Data::kDisplayFlag},
    {"", {kTotal}, 217, Data::kDisplayFlag},
    {"", {kTotalReset, kStatus}, 218, Data::kDisplayFlag},
    {"", {kInstantSelect}, 219, Data::kDisplayFlag},
    {"", {kTotalSelect}, 220, Data::kDisplayFlag},
    {"", {kMvValueShown}, 221, Data::kDisplayFlag},
};

// Bytes 243, 246, 247, 263 and 265 carry codes the device leaves unlabelled.
constexpr Row kTotaliserRows[] = {
    {kTotaliserColourGroup, {kF1, kInstant}, 240, Data::kColour},
    {"", {kF2, kInstant}, 241, Data::kColour},
    {"", {kTotal, kNormal}, 242, Data::kColour},
    {"", {kTotalReset, kStatus}, 244, Data::kColour},
    {"", {kTotalReset, kRelease, kStatus}, 245, Data::kColour},
    {"", {kTotalSelect, kTotalising}, 248, Data::kColour},
    {"", {kTotalSelect, kGrandTotal}, 249, Data::kColour},
    {"", {kSwitch1, kStatus, kOff}, 254, Data::kColour},
    {"", {kSwitch1, kStatus, kOn}, 255, Data::kColour},
    {"", {kSwitch2, kStatus, kOff}, 256, Data::kColour},
    {"", {kSwitch2, kStatus, kOn}, 257, Data::kColour},
    {"", {kSwitch3, kStatus, kOff}, 258, Data::kColour},
    {"", {kSwitch3, kStatus, kOn}, 259, Data::kColour},
    {kTotaliserFlagGroup, {kF1, kInstant}, 260, Data::kDisplayFlag},
    {"", {kF2, kInstant}, 261, Data::kDisplayFlag},
    {"", {kTotal}, 262, Data::kDisplayFlag},
    {"", {kTotalReset, kStatus}, 264, Data::kDisplayFlag},
    {"", {kTotalSelect}, 266, Data::kDisplayFlag},
    {"", {kSwitch1, kStatus}, 267, Data::kDisplayFlag},
    {"", {kSwitch2, kStatus}, 268, Data::kDisplayFlag},
    {"", {kSwitch3, kStatus}, 269, Data::kDisplayFlag},
};

void WriteRows(ByteView working, std::span<const Row> rows, std::string& out) {
  std::string item;
  for (const Row& row : rows) {
    item.clear();
    for (std::string_view piece : row.item) item += piece;
    if (row.data == Data::kColour) {
      WriteRow(row.group, item, out, ColourText(working, row.offset));
    } else {
      WriteRow(row.group, item, out, LookupChoice(choices::kDisplayFlag, 2, U8(working, row.offset)));
    }
  }
}

}  // namespace

void WriteFunctionScreens(ByteView working, std::string& out) {
  if (PulseVariant(working)) {
    WriteRows(working, kPulseRows, out);
  } else if (MixingVariant(working)) {
    WriteRows(working, kMixingRows, out);
  } else if (TotaliserVariant(working)) {
    WriteRows(working, kTotaliserRows, out);
  }
}

}  // namespace krt::listing
