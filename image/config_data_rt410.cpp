// The configuration listing of the KRT410.

#include "image/config_data.hpp"
#include "listing/listing.hpp"
#include "listing/sections.hpp"

namespace data {

int ConfigDataRt410::WriteListing(std::string& out) const {
  static constexpr krt::listing::SectionWriter kSections[] = {
      krt::listing::WriteDisplaySettings,
      krt::listing::WriteKeySettings,
      krt::listing::WriteLanguage,
      krt::listing::WriteUserParameterTable,
  };
  return krt::listing::WriteModelListing(Image(), "KRT410 Configuration", kSections, out);
}

}  // namespace data
