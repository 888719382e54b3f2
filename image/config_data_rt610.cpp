// The configuration listing of the KRT610.

#include "image/config_data.hpp"
#include "listing/listing.hpp"
#include "listing/sections.hpp"

namespace data {

int ConfigDataRt610::WriteListing(std::string& out) const {
  static constexpr krt::listing::SectionWriter kSections[] = {
      krt::listing::WriteDisplaySettings, krt::listing::WriteKeySettings,        krt::listing::WriteCommunication,
      krt::listing::WriteLanguage,        krt::listing::WriteUserParameterTable,
  };
  return krt::listing::WriteModelListing(Image(), "KRT610 Configuration", kSections, out);
}

}  // namespace data
