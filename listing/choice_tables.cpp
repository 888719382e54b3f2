// The choice tables of the listing: value codes and the texts they print.

#include "listing/listing.hpp"

namespace krt::listing::choices {

const Choice kBrightness[5] = {{0, "1"}, {1, "2"}, {2, "3"}, {3, "4"}, {4, "5"}};

// The older formats search only the first four pairs.
const Choice kMvSymbol[11] = {{0, "O"},   {1, "C"}, {2, "OP"},  {3, "CL"},  {4, "HI"},   {5, "LO"},
                              {6, "100"}, {7, "0"}, {8, "Max"}, {9, "Min"}, {10, "None"}};

const Choice kMvNumber[2] = {{1, "1"}, {2, "2"}};

const Choice kLoopVariableSet[2] = {{0, "PV/SP/MV"}, {1, "SV/PV/OP"}};

const Choice kScaleDivisions[9] = {{2, "2"}, {3, "3"}, {4, "4"}, {5, "5"},  {6, "6"},
                                   {7, "7"}, {8, "8"}, {9, "9"}, {10, "10"}};

const Choice kPercentDecimals[2] = {{1, "1"}, {2, "2"}};

const Choice kEnable[2] = {{0, "Disable"}, {1, "Enable"}};

const Choice kRecording[2] = {{0, "Stop"}, {1, "Start"}};

const Choice kStoringInterval[12] = {{1, "1 sec"},   {2, "2 sec"},    {5, "5 sec"},     {10, "10 sec"},
                                     {20, "20 sec"}, {30, "30 sec"},  {60, "1 min"},    {120, "2 min"},
                                     {300, "5 min"}, {600, "10 min"}, {1800, "30 min"}, {3600, "60 min"}};

const Choice kUnitMode[3] = {{0, "Selectable"}, {1, "Eng unit"}, {2, "%"}};

const Choice kDisplayFlag[2] = {
    {0, "\x95\x5c\x8e\xa6"},          // 表示
    {1, "\x94\xf1\x95\x5c\x8e\xa6"},  // 非表示
};

const Choice kIndicator[2] = {{0, "OFF"}, {1, "ON"}};

const Choice kLanguage[2] = {{0, "Japanese"}, {1, "English"}};

const Choice kTransferRate[4] = {{0, "4800"}, {1, "9600"}, {2, "19200"}, {3, "38400"}};

const Choice kParity[3] = {{0, "None"}, {1, "Even"}, {2, "Odd"}};

}  // namespace krt::listing::choices
