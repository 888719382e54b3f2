// The configuration listing of the RT611X.

#include "image/config_data.hpp"
#include "listing/listing.hpp"
#include "listing/sections.hpp"

namespace data {

int ConfigDataRt611X::WriteListing(std::string& out) const {
  static constexpr krt::listing::SectionWriter kSections[] = {
      krt::listing::WriteDisplaySettings, krt::listing::WriteKeySettings,        krt::listing::WriteCommunication,
      krt::listing::WriteLanguage,        krt::listing::WriteUserParameterTable,
  };
  return krt::listing::WriteModelListing(Image(), "RT611X Configuration", kSections, out);
}

}  // namespace data
