// The configuration listing of the RT610J.

#include "image/config_data.hpp"
#include "listing/listing.hpp"
#include "listing/sections.hpp"

namespace data {

int ConfigDataRt610J::WriteListing(std::string& out) const {
  static constexpr krt::listing::SectionWriter kSections[] = {
      krt::listing::WriteDisplaySettings,
      krt::listing::WritePrgIndicator,
      krt::listing::WriteCommunication,
  };
  return krt::listing::WriteModelListing(Image(), "RT610J Configuration", kSections, out);
}

}  // namespace data
