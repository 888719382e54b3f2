// The configuration listing of the RT610N.

#include "image/config_data.hpp"
#include "listing/listing.hpp"
#include "listing/sections.hpp"

namespace data {

int ConfigDataRt610N::WriteListing(std::string& out) const {
  static constexpr krt::listing::SectionWriter kSections[] = {
      krt::listing::WriteDisplaySettings,
      krt::listing::WriteCommunication,
  };
  return krt::listing::WriteModelListing(Image(), "RT610N Configuration", kSections, out);
}

}  // namespace data
