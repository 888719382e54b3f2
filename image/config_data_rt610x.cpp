// The configuration listing of the RT610X.

#include "image/config_data.hpp"
#include "listing/listing.hpp"
#include "listing/sections.hpp"

namespace data {

int ConfigDataRt610X::WriteListing(std::string& out) const {
  static constexpr krt::listing::SectionWriter kSections[] = {
      krt::listing::WriteDisplaySettings, krt::listing::WriteKeySettings,        krt::listing::WriteCommunication,
      krt::listing::WriteLanguage,        krt::listing::WriteUserParameterTable,
  };
  return krt::listing::WriteModelListing(Image(), "RT610X Configuration", kSections, out);
}

}  // namespace data
