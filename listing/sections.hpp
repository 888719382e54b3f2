#pragma once
// The section writers of the configuration listing. Each appends its rows to
// `out` from the host-order working image and decides from the image's
// format version and model code which rows it writes.

#include <string>

#include "image/bytes.hpp"

namespace krt::listing {

void WriteDisplaySettings(ByteView working, std::string& out);  // includes the function screens
void WriteFunctionScreens(ByteView working, std::string& out);
void WriteKeySettings(ByteView working, std::string& out);
void WritePrgIndicator(ByteView working, std::string& out);
void WriteCommunication(ByteView working, std::string& out);
void WriteLanguage(ByteView working, std::string& out);
void WriteUserParameterTable(ByteView working, std::string& out);

}  // namespace krt::listing
