// Key settings, PRG mode indicator, communication and language sections.

#include "listing/listing.hpp"
#include "listing/sections.hpp"

namespace krt::listing {

namespace {

std::optional<std::string_view> ChoiceOf(std::span<const Choice> table, ByteView working, std::size_t offset) {
  return LookupChoice(table, LeI16(working, offset));
}

std::string AddressText(ByteView working, std::size_t offset) {
  return FormatText("%d.%d.%d.%d", U8(working, offset), U8(working, offset + 1), U8(working, offset + 2),
                    U8(working, offset + 3));
}

void WriteIndicatorRow(ByteView working, std::string& out) {
  WriteRow("PRG mode indicator", "", out, ChoiceOf(choices::kIndicator, working, 1654));
}

}  // namespace

void WriteKeySettings(ByteView working, std::string& out) {
  if (FormatMajor(working) != 3 || FormatMinor(working) < 2) return;
  WriteIndicatorRow(working, out);
  const std::string_view sp = SetPointWord(working);
  const std::string_view mv = OutputWord(working);
  struct KeyRow {
    std::string_view group;
    std::string_view word;
    int loop;
    std::size_t offset;
  };
  const KeyRow rows[] = {
      {"Numerical key control", sp, 1, 1656},
      {"", mv, 1, 1658},
      {"", sp, 2, 1660},
      {"", mv, 2, 1662},
  };
  for (const KeyRow& row : rows) {
    const std::string item = FormatText("%.*s%d", static_cast<int>(row.word.size()), row.word.data(), row.loop);
    WriteRow(row.group, item, out, ChoiceOf(choices::kEnable, working, row.offset));
  }
}

void WritePrgIndicator(ByteView working, std::string& out) {
  if (FormatMajor(working) != 2 || FormatMinor(working) < 2) return;
  WriteIndicatorRow(working, out);
}

void WriteCommunication(ByteView working, std::string& out) {
  const std::uint16_t model = ModelCode(working);
  const bool gateway = (model == 200 || model == 210) && LcdMajor(working) >= 2;

  WriteRow("Modbus-RTU", "Node address", out, Decimal(U8(working, 122)));
  WriteRow("", "Transfer rate", out, ChoiceOf(choices::kTransferRate, working, 124), "bps");
  WriteRow("", "Data bit (8 bit)", out, Decimal(8), "bit");
  WriteRow("", "Parity", out, ChoiceOf(choices::kParity, working, 128));
  WriteRow("Modbus/TCP", "IP address", out, AddressText(working, 132));
  WriteRow("", "Subnet mask", out, AddressText(working, 136));
  if (gateway) WriteRow("", "Default gateway", out, AddressText(working, 140));
  WriteRow("", "Port No. (502 fixed)", out, Decimal(LeU16(working, 144)));
  WriteRow("", "Linger time", out, Decimal(LeU16(working, 146)), "sec");
}

void WriteLanguage(ByteView working, std::string& out) {
  const int major = FormatMajor(working);
  if (major < 3 || (major == 3 && FormatMinor(working) < 1)) return;
  WriteRow("Language", "", out, ChoiceOf(choices::kLanguage, working, 1410));
}

}  // namespace krt::listing
