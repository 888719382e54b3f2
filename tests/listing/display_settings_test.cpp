// The display-settings section, row by row, for the image formats that change it.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "image/config_data.hpp"
#include "image/image_layout.hpp"
#include "listing/listing.hpp"
#include "listing/sections.hpp"
#include "support/sjis.hpp"

namespace krt::listing {
namespace {

using krt::test::Sjis;
using Lines = std::vector<std::string>;

// The host-order working copy of a model's default image.
template <class Model>
Bytes DefaultWorking() {
  const Model model;
  return image::ConvertByteOrder(model.Image());
}

void SetWord(Bytes& w, std::size_t offset, int value) {
  SetLeU16(w, offset, static_cast<std::uint16_t>(value));
}
void SetFormat(Bytes& w, int major, int minor) {
  SetWord(w, 8, major);
  SetWord(w, 10, minor);
}

Lines SectionLines(ByteView working) {
  std::string out;
  WriteDisplaySettings(working, out);
  Lines lines;
  std::size_t start = 0;
  while (start < out.size()) {
    const std::size_t end = out.find('\n', start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "section does not end with a line feed";
      lines.push_back(out.substr(start));
      break;
    }
    lines.push_back(out.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string Joined(const Lines& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

Lines Concat(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// Position of the first line equal to `line`, or the size when none is.
std::size_t IndexOf(const Lines& lines, const std::string& line) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == line) return i;
  }
  return lines.size();
}

bool HasLineStartingWith(const Lines& lines, const std::string& prefix) {
  for (const std::string& line : lines) {
    if (line.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

// Rows of the default image that every format lists the same way.
const Lines kTopDefaults = {
    "Back light brightness,,5",
    "Screen saver (time),,0,min (0=OFF)",
};

const Lines kExtendedSymbolDefaults = {
    "MV 0/100% symbol,MV1 100% symbol,OP",
    ",MV1 0% symbol,CL",
    ",MV2 100% symbol,OP",
    ",MV2 0% symbol,CL",
};

const Lines kLoopDefaults = {
    "Loop display (MV/OP),LP1 display (MV),1",
    ",LP2 display (MV),2",
    "Loop variables,,PV/SP/MV",
    "Graph scale divisions,,10",
    "Decimals (% display),,1",
    "Alarm blinking,,Enable",
};

const Lines kColourAndTrendDefaults = {
    "Bargraph color,PV1 Normal,5",
    ",PV1 Hi limit,1",
    ",PV1 Lo limit,4",
    ",PV2 Normal,5",
    ",PV2 Hi limit,1",
    ",PV2 Lo limit,4",
    ",SP1 Normal,8",
    ",SP2 Normal,8",
    ",MV1 Normal,13",
    ",MV1 Hi limit,12",
    ",MV1 Lo limit,14",
    ",MV2 Normal,13",
    ",MV2 Hi limit,12",
    ",MV2 Lo limit,14",
    "Digital display color,PV1,16",
    ",PV2,16",
    ",SP1,16",
    ",SP2,16",
    ",MV1,16",
    ",MV2,16",
    ",FN1,16",
    ",FN2,16",
    ",FN3,16",
    ",FN4,16",
    "Trend recording,,Start",
    "Storing interval,,10 sec",
    "Trend channel,LP1 CH1,PV1",
    ",LP1 CH2,SP1",
    ",LP1 CH3,MV1",
    ",LP1 CH4,None",
    ",LP2 CH1,PV2",
    ",LP2 CH2,SP2",
    ",LP2 CH3,MV2",
    ",LP2 CH4,None",
    "Trend graph color,LP1 CH1,1",
    ",LP1 CH2,4",
    ",LP1 CH3,5",
    ",LP1 CH4,8",
    ",LP2 CH1,1",
    ",LP2 CH2,4",
    ",LP2 CH3,5",
    ",LP2 CH4,8",
};

const Lines kFourViewDefaults = {
    "Select operation view,Digital,Enable",
    ",Bargraph,Enable",
    ",Dual-loop bargraph,Enable",
    ",Short trend,Enable",
};

const Lines kUnitModeDefaults = {
    "Select unit mode,Digital,Selectable",
    ",Bargraph,Selectable",
};

TEST(DisplaySettings, DefaultRt610xImage) {
  const Bytes w = DefaultWorking<data::ConfigDataRt610X>();
  const std::string expected = Joined(Concat({kTopDefaults,
                                              kExtendedSymbolDefaults,
                                              kLoopDefaults,
                                              kColourAndTrendDefaults,
                                              {
                                                  "Selected loop color,,7",
                                                  "Touch tone,,Enable",
                                                  "Home,Registered view,Digital",
                                                  ",Registered loop number,1",
                                              },
                                              kFourViewDefaults,
                                              {",User's parameter table,Enable"},
                                              kUnitModeDefaults}));
  std::string out = "kept:";
  WriteDisplaySettings(w, out);
  EXPECT_EQ(out, "kept:" + expected);
}

TEST(DisplaySettings, Format10Krt610Image) {
  Bytes w = DefaultWorking<data::ConfigDataRt610>();
  SetFormat(w, 1, 0);
  // Legacy symbols O, C, HI (unknown to format 1.0), CL; the extended words must not be read.
  SetWord(w, 32, 0);
  SetWord(w, 34, 1);
  SetWord(w, 36, 4);
  SetWord(w, 38, 3);
  for (std::size_t off = 148; off <= 154; off += 2) SetWord(w, off, 5);
  SetWord(w, 110, 3);
  SetU8(w, 112, 2);
  SetU8(w, 1408, 1);
  const std::string expected = Joined(Concat({kTopDefaults,
                                              {
                                                  "MV 0/100% symbol,MV1 100% symbol,O",
                                                  ",MV1 0% symbol,C",
                                                  ",MV2 100% symbol,(null)",
                                                  ",MV2 0% symbol,CL",
                                              },
                                              kLoopDefaults,
                                              kColourAndTrendDefaults,
                                              {
                                                  "Touch tone,,Enable",
                                                  "Home,Registered view,Short trend",
                                                  ",Registered loop number,2",
                                              },
                                              kFourViewDefaults}));
  std::string out;
  WriteDisplaySettings(w, out);
  EXPECT_EQ(out, expected);
}

TEST(DisplaySettings, FlowImageWithoutFunctionScreen) {
  // Format 2.2 belongs to the RT610J and RT610N only; any other model has no screen of its own.
  Bytes w = DefaultWorking<data::ConfigDataRt610L>();
  SetFormat(w, 2, 2);
  SetWord(w, 6, 3200);
  SetWord(w, 110, 1);
  const std::string expected = Joined(Concat({kTopDefaults,
                                              kExtendedSymbolDefaults,
                                              kLoopDefaults,
                                              kColourAndTrendDefaults,
                                              {
                                                  "Touch tone,,Enable",
                                                  ",Registered loop number,1",
                                              },
                                              kFourViewDefaults,
                                              kUnitModeDefaults}));
  std::string out;
  WriteDisplaySettings(w, out);
  EXPECT_EQ(out, expected);
}

struct SymbolCase {
  int major, minor;
  Lines rows;
};

TEST(DisplaySettings, MvSymbolsFollowTheFormat) {
  // Legacy words hold CL, HI, O, C; extended words HI, O, None and an unknown 11.
  const SymbolCase cases[] = {
      {1,
       0,
       {"MV 0/100% symbol,MV1 100% symbol,CL", ",MV1 0% symbol,(null)", ",MV2 100% symbol,O", ",MV2 0% symbol,C"}},
      {1,
       1,
       {"MV 0/100% symbol,MV1 100% symbol,HI", ",MV1 0% symbol,O", ",MV2 100% symbol,None", ",MV2 0% symbol,(null)"}},
      {2,
       0,
       {"MV 0/100% symbol,MV1 100% symbol,HI", ",MV1 0% symbol,O", ",MV2 100% symbol,None", ",MV2 0% symbol,(null)"}},
      {3,
       2,
       {"MV 0/100% symbol,MV1 100% symbol,HI", ",MV1 0% symbol,O", ",MV2 100% symbol,None", ",MV2 0% symbol,(null)"}},
      {0,
       9,
       {"MV 0/100% symbol,MV1 100% symbol,CL", ",MV1 0% symbol,(null)", ",MV2 100% symbol,O", ",MV2 0% symbol,C"}},
  };
  for (const SymbolCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "format " << c.major << "." << c.minor);
    Bytes w = DefaultWorking<data::ConfigDataRt610>();
    SetFormat(w, c.major, c.minor);
    SetWord(w, 32, 3);
    SetWord(w, 34, 4);
    SetWord(w, 36, 0);
    SetWord(w, 38, 1);
    SetWord(w, 148, 4);
    SetWord(w, 150, 0);
    SetWord(w, 152, 10);
    SetWord(w, 154, 11);
    const Lines lines = SectionLines(w);
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(Lines(lines.begin() + 2, lines.begin() + 6), c.rows);
  }
}

struct OptionalRowsCase {
  int major, minor;
  bool selectedLoopColour, userTableView, unitMode;
};

TEST(DisplaySettings, OptionalRowsFollowTheFormat) {
  const OptionalRowsCase cases[] = {
      {1, 0, false, false, false}, {1, 1, false, false, true}, {2, 3, false, false, true}, {3, 0, true, false, true},
      {3, 1, true, false, true},   {3, 2, true, true, true},   {4, 0, true, true, true},
  };
  for (const OptionalRowsCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "format " << c.major << "." << c.minor);
    Bytes w = DefaultWorking<data::ConfigDataRt610X>();
    SetFormat(w, c.major, c.minor);
    const Lines lines = SectionLines(w);
    EXPECT_EQ(HasLineStartingWith(lines, "Selected loop color,,"), c.selectedLoopColour);
    EXPECT_EQ(HasLineStartingWith(lines, ",User's parameter table,"), c.userTableView);
    EXPECT_EQ(HasLineStartingWith(lines, "Select unit mode,Digital,"), c.unitMode);
    EXPECT_EQ(HasLineStartingWith(lines, ",Bargraph,Selectable"), c.unitMode);
  }
}

struct LoopVariableCase {
  int loopVariables;
  Lines rows;  // from "Loop variables" to the last trend channel
};

TEST(DisplaySettings, LoopVariableWords) {
  const LoopVariableCase cases[] = {
      {1,
       {"Loop variables,,SV/PV/OP",
        "Graph scale divisions,,10",
        "Decimals (% display),,1",
        "Alarm blinking,,Enable",
        "Bargraph color,PV1 Normal,5",
        ",PV1 Hi limit,1",
        ",PV1 Lo limit,4",
        ",PV2 Normal,5",
        ",PV2 Hi limit,1",
        ",PV2 Lo limit,4",
        ",SV1 Normal,8",
        ",SV2 Normal,8",
        ",OP1 Normal,13",
        ",OP1 Hi limit,12",
        ",OP1 Lo limit,14",
        ",OP2 Normal,13",
        ",OP2 Hi limit,12",
        ",OP2 Lo limit,14",
        "Digital display color,PV1,16",
        ",PV2,16",
        ",SV1,16",
        ",SV2,16",
        ",OP1,16",
        ",OP2,16",
        ",FN1,16",
        ",FN2,16",
        ",FN3,16",
        ",FN4,16",
        "Trend recording,,Start",
        "Storing interval,,10 sec",
        "Trend channel,LP1 CH1,PV1",
        ",LP1 CH2,SV1",
        ",LP1 CH3,OP1",
        ",LP1 CH4,None",
        ",LP2 CH1,PV2",
        ",LP2 CH2,SV2",
        ",LP2 CH3,OP2",
        ",LP2 CH4,None"}},
      // Any other value keeps the SP/MV words, while the channel names switch on any non-zero value.
      {2,
       {"Loop variables,,(null)",
        "Graph scale divisions,,10",
        "Decimals (% display),,1",
        "Alarm blinking,,Enable",
        "Bargraph color,PV1 Normal,5",
        ",PV1 Hi limit,1",
        ",PV1 Lo limit,4",
        ",PV2 Normal,5",
        ",PV2 Hi limit,1",
        ",PV2 Lo limit,4",
        ",SP1 Normal,8",
        ",SP2 Normal,8",
        ",MV1 Normal,13",
        ",MV1 Hi limit,12",
        ",MV1 Lo limit,14",
        ",MV2 Normal,13",
        ",MV2 Hi limit,12",
        ",MV2 Lo limit,14",
        "Digital display color,PV1,16",
        ",PV2,16",
        ",SP1,16",
        ",SP2,16",
        ",MV1,16",
        ",MV2,16",
        ",FN1,16",
        ",FN2,16",
        ",FN3,16",
        ",FN4,16",
        "Trend recording,,Start",
        "Storing interval,,10 sec",
        "Trend channel,LP1 CH1,PV1",
        ",LP1 CH2,SV1",
        ",LP1 CH3,OP1",
        ",LP1 CH4,None",
        ",LP2 CH1,PV2",
        ",LP2 CH2,SV2",
        ",LP2 CH3,OP2",
        ",LP2 CH4,None"}},
      {0, Concat({{"Loop variables,,PV/SP/MV"},
                  Lines(kLoopDefaults.begin() + 3, kLoopDefaults.end()),
                  Lines(kColourAndTrendDefaults.begin(), kColourAndTrendDefaults.begin() + 34)})},
  };
  for (const LoopVariableCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "offset 98 = " << c.loopVariables);
    Bytes w = DefaultWorking<data::ConfigDataRt610X>();
    SetWord(w, 98, c.loopVariables);
    const Lines lines = SectionLines(w);
    const std::size_t first = IndexOf(lines, c.rows.front());
    ASSERT_LT(first + c.rows.size(), lines.size());
    EXPECT_EQ(Lines(lines.begin() + first, lines.begin() + first + c.rows.size()), c.rows);
  }
}

struct ValueCase {
  const char* name;
  std::size_t offset;
  int value;
  bool byte;
  std::string row;
};

TEST(DisplaySettings, ValuesOutsideTheirTablesStillListARow) {
  const ValueCase cases[] = {
      {"storing interval 3600", 68, 3600, false, "Storing interval,,60 min"},
      {"storing interval 45", 68, 45, false, "Storing interval,,(null)"},
      {"storing interval 1", 68, 1, false, "Storing interval,,1 sec"},
      {"back light 0", 40, 0, false, "Back light brightness,,1"},
      {"back light 5", 40, 5, false, "Back light brightness,,(null)"},
      {"screen saver 255", 42, 255, true, "Screen saver (time),,255,min (0=OFF)"},
      {"scale divisions 2", 100, 2, false, "Graph scale divisions,,2"},
      {"scale divisions 1", 100, 1, false, "Graph scale divisions,,(null)"},
      {"percent decimals 2", 102, 2, false, "Decimals (% display),,2"},
      {"percent decimals 0", 102, 0, false, "Decimals (% display),,(null)"},
      {"loop display 3", 94, 3, false, "Loop display (MV/OP),LP1 display (MV),(null)"},
      {"alarm blinking off", 104, 0, false, "Alarm blinking,,Disable"},
      {"trend stopped", 106, 0, false, "Trend recording,,Stop"},
      {"trend recording -1", 106, -1, false, "Trend recording,,(null)"},
      {"touch tone off", 108, 0, false, "Touch tone,,Disable"},
      {"colour code 1", 53, 1, true, "Bargraph color,PV1 Normal,18"},
      {"colour code 3", 43, 3, true, "Digital display color,PV1,1"},
      {"selected loop colour 125", 1408, 125, true, "Selected loop color,,17"},
      {"trend channel 11", 70, 11, false, "Trend channel,LP1 CH1,"},
      {"trend channel -1", 70, -1, false, "Trend channel,LP1 CH1,"},
      {"trend channel 10", 70, 10, false, "Trend channel,LP1 CH1,FN4"},
      {"home view 4", 110, 4, false, "Home,Registered view,User's parameter table"},
      {"home view 5", 110, 5, false, "Home,Registered view,User's parameter table"},
      {"home view 8", 110, 8, false, "Home,Registered view,Digital"},
      {"home view -1", 110, -1, false, "Home,Registered view,Digital"},
      {"home view 7", 110, 7, false, Sjis(u8"Home,Registered view,チューニング")},
      {"home loop 0", 112, 0, true, ",Registered loop number,0"},
      {"user table view off", 1652, 0, false, ",User's parameter table,Disable"},
      {"unit mode eng", 156, 1, false, "Select unit mode,Digital,Eng unit"},
      {"unit mode %", 158, 2, false, ",Bargraph,%"},
      {"unit mode 3", 158, 3, false, ",Bargraph,(null)"},
  };
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes w = DefaultWorking<data::ConfigDataRt610X>();
    if (c.byte) {
      SetU8(w, c.offset, static_cast<std::uint8_t>(c.value));
    } else {
      SetWord(w, c.offset, c.value);
    }
    const Lines lines = SectionLines(w);
    EXPECT_EQ(lines.size(), 65u);
    EXPECT_LT(IndexOf(lines, c.row), lines.size()) << "missing row " << c.row;
  }
}

struct FlowCase {
  int minor, model;
  std::string firstScreenRow;  // "" when the image has no function screen
  std::size_t screenRows;
  std::string homeRow;     // "" when no Registered view row is written
  std::string screenView;  // "" when no function-screen operation view is written
};

TEST(DisplaySettings, FlowFamilyScreens) {
  const std::string pulseFirst = Sjis(u8"パルス演算表示表示色,F1'瞬時値,16");
  const std::string mixingFirst = Sjis(u8"混合調節機能表示画面表示色,瞬時値,16");
  const std::string totaliserFirst = Sjis(u8"積算機能表示画面表示色,F1'瞬時値,16");
  const std::string pulseHomeField = Sjis(u8"Home,Registered view,チューニング");
  const std::string mixingFieldAsPulse = Sjis(u8"Home,Registered view,パルス演算表示");
  const std::string mixingHome = Sjis(u8"Home,Registered view,混合調節機能表示");
  const std::string totaliserHome = Sjis(u8"Home,Registered view,積算機能表示");
  const std::string pulseView = Sjis(u8",パルス演算表示,Disable");
  const std::string mixingFieldAsPulseView = Sjis(u8",パルス演算表示,Enable");
  const std::string mixingView = Sjis(u8",混合調節機能表示,Enable");
  const std::string totaliserView = Sjis(u8",積算機能表示,(null)");
  const FlowCase cases[] = {
      {0, 1200, pulseFirst, 26, pulseHomeField, pulseView},
      {0, 2200, "", 0, pulseHomeField, pulseView},
      {1, 1200, mixingFirst, 18, mixingFieldAsPulse, mixingFieldAsPulseView},
      {1, 2200, "", 0, mixingFieldAsPulse, mixingFieldAsPulseView},
      {2, 1200, pulseFirst, 26, pulseHomeField, pulseView},
      {2, 2200, mixingFirst, 18, mixingHome, mixingView},
      {2, 3200, "", 0, "", ""},
      {3, 4200, totaliserFirst, 21, totaliserHome, totaliserView},
      {3, 1200, totaliserFirst, 21, totaliserHome, totaliserView},
      {4, 1200, "", 0, "", ""},
      {-1, 1200, "", 0, "", ""},
  };
  for (const FlowCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "format 2." << c.minor << " model " << c.model);
    Bytes w = DefaultWorking<data::ConfigDataRt610J>();
    SetFormat(w, 2, c.minor);
    SetWord(w, 6, c.model);
    // Distinct values in every view field show which one each row reads.
    SetWord(w, 110, 1);
    SetWord(w, 172, 7);
    SetWord(w, 212, 4);
    SetWord(w, 252, 4);
    SetWord(w, 170, 0);
    SetWord(w, 210, 1);
    SetWord(w, 250, 5);
    const Lines lines = SectionLines(w);

    const std::size_t blinking = IndexOf(lines, "Alarm blinking,,Enable");
    ASSERT_LT(blinking + c.screenRows + 1, lines.size());
    if (c.screenRows > 0) {
      EXPECT_EQ(lines[blinking + 1], c.firstScreenRow);
    }
    EXPECT_EQ(lines[blinking + 1 + c.screenRows], "Bargraph color,PV1 Normal,5");

    const std::size_t loopNumber = IndexOf(lines, ",Registered loop number,1");
    ASSERT_LT(loopNumber, lines.size());
    EXPECT_EQ(lines[loopNumber - 1], c.homeRow.empty() ? "Touch tone,,Enable" : c.homeRow);

    const std::size_t shortTrend = IndexOf(lines, ",Short trend,Enable");
    ASSERT_LT(shortTrend + 1, lines.size());
    EXPECT_EQ(lines[shortTrend + 1], c.screenView.empty() ? "Select unit mode,Digital,Selectable" : c.screenView);

    EXPECT_EQ(lines.size(), 62u + c.screenRows + (c.homeRow.empty() ? 0 : 1) + (c.screenView.empty() ? 0 : 1));
  }
}

}  // namespace
}  // namespace krt::listing
