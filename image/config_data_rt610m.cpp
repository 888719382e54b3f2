// The configuration listing of the RT610M.

#include "image/config_data.hpp"
#include "listing/listing.hpp"
#include "listing/sections.hpp"

namespace data {

int ConfigDataRt610M::WriteListing(std::string& out) const {
  static constexpr krt::listing::SectionWriter kSections[] = {
      krt::listing::WriteDisplaySettings,
      krt::listing::WritePrgIndicator,
      krt::listing::WriteCommunication,
  };
  return krt::listing::WriteModelListing(Image(), "RT610M Configuration", kSections, out);
}

}  // namespace data
