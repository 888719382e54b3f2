// The configuration listing of the RT610L.

#include "image/config_data.hpp"
#include "listing/listing.hpp"
#include "listing/sections.hpp"

namespace data {

int ConfigDataRt610L::WriteListing(std::string& out) const {
  static constexpr krt::listing::SectionWriter kSections[] = {
      krt::listing::WriteDisplaySettings, krt::listing::WriteKeySettings,        krt::listing::WriteCommunication,
      krt::listing::WriteLanguage,        krt::listing::WriteUserParameterTable,
  };
  return krt::listing::WriteModelListing(Image(), "RT610L Configuration", kSections, out);
}

}  // namespace data
