// Each model's listing: its title and its sections in the model's order.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "image/config_data.hpp"
#include "image/image_layout.hpp"
#include "listing/listing.hpp"
#include "listing/sections.hpp"

namespace krt::listing {
namespace {

struct ModelCase {
  const char* title;
  std::function<std::unique_ptr<data::ConfigData>()> make;
  int formatMajor, formatMinor;  // a version at which every section of the model writes rows
  std::vector<SectionWriter> sections;
};

template <typename T>
std::unique_ptr<data::ConfigData> Make() {
  return std::make_unique<T>();
}

TEST(ModelListing, TitleAndSectionOrder) {
  const std::vector<SectionWriter> table = {WriteDisplaySettings, WriteKeySettings, WriteLanguage,
                                            WriteUserParameterTable};
  const std::vector<SectionWriter> tableWithComm = {WriteDisplaySettings, WriteKeySettings, WriteCommunication,
                                                    WriteLanguage, WriteUserParameterTable};
  const std::vector<SectionWriter> flowWithPrg = {WriteDisplaySettings, WritePrgIndicator, WriteCommunication};
  const ModelCase cases[] = {
      {"KRT410 Configuration", Make<data::ConfigDataRt410>, 3, 2, table},
      {"KRT411 Configuration", Make<data::ConfigDataRt411>, 3, 2, table},
      {"KRT610 Configuration", Make<data::ConfigDataRt610>, 3, 2, tableWithComm},
      {"KRT611 Configuration", Make<data::ConfigDataRt611>, 3, 2, tableWithComm},
      {"RT610J Configuration", Make<data::ConfigDataRt610J>, 2, 2, flowWithPrg},
      {"RT610N Configuration", Make<data::ConfigDataRt610N>, 2, 2, {WriteDisplaySettings, WriteCommunication}},
      {"RT610L Configuration", Make<data::ConfigDataRt610L>, 3, 2, tableWithComm},
      {"RT610M Configuration", Make<data::ConfigDataRt610M>, 2, 3, flowWithPrg},
      {"RT610X Configuration", Make<data::ConfigDataRt610X>, 3, 2, tableWithComm},
      {"RT611X Configuration", Make<data::ConfigDataRt611X>, 3, 2, tableWithComm},
  };
  for (const ModelCase& c : cases) {
    SCOPED_TRACE(c.title);
    std::unique_ptr<data::ConfigData> model = c.make();
    Bytes image;
    model->CopyImage(image);
    SetBeU16(image, image::kOffFormatMajor, static_cast<std::uint16_t>(c.formatMajor));
    SetBeU16(image, image::kOffFormatMinor, static_cast<std::uint16_t>(c.formatMinor));
    SetBeU16(image, image::kOffLcdMajor, 2);
    SetBeU16(image, image::kOffLcdMinor, 30);
    ASSERT_EQ(model->LoadImage(image), 0);

    const Bytes working = image::ConvertByteOrder(model->Image());
    std::string expected = "kept\n";
    WriteListingHeader(working, c.title, expected);
    for (SectionWriter section : c.sections) {
      const std::size_t before = expected.size();
      section(working, expected);
      ASSERT_GT(expected.size(), before) << "a section of the case writes nothing";
    }

    std::string out = "kept\n";
    EXPECT_EQ(model->WriteListing(out), 0);
    EXPECT_EQ(out, expected);
  }
}

TEST(ModelListing, DefaultImagesListEveryModel) {
  const std::pair<const char*, std::function<std::unique_ptr<data::ConfigData>()>> models[] = {
      {"KRT410 Configuration,LCD Ver. 0.0x\n\nGroup,Item,Data\n", Make<data::ConfigDataRt410>},
      {"RT610J Configuration,LCD Ver. 0.0x\n\nGroup,Item,Data\n", Make<data::ConfigDataRt610J>},
      {"RT610N Configuration,LCD Ver. 0.0x\n\nGroup,Item,Data\n", Make<data::ConfigDataRt610N>},
      {"RT611X Configuration,LCD Ver. 0.0x\n\nGroup,Item,Data\n", Make<data::ConfigDataRt611X>},
  };
  for (const auto& [header, make] : models) {
    SCOPED_TRACE(header);
    std::string out;
    EXPECT_EQ(make()->WriteListing(out), 0);
    EXPECT_EQ(out.rfind(std::string(header) + "Back light brightness,,5\n", 0), 0u);
    EXPECT_EQ(out.back(), '\n');
  }
}

}  // namespace
}  // namespace krt::listing
