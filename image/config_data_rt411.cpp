// The configuration listing of the KRT411.

#include "image/config_data.hpp"
#include "listing/listing.hpp"
#include "listing/sections.hpp"

namespace data {

int ConfigDataRt411::WriteListing(std::string& out) const {
  static constexpr krt::listing::SectionWriter kSections[] = {
      krt::listing::WriteDisplaySettings,
      krt::listing::WriteKeySettings,
      krt::listing::WriteLanguage,
      krt::listing::WriteUserParameterTable,
  };
  return krt::listing::WriteModelListing(Image(), "KRT411 Configuration", kSections, out);
}

}  // namespace data
