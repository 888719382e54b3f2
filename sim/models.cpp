#include "sim/models.hpp"

#include <algorithm>
#include <array>
#include <cctype>

#include "image/image_layout.hpp"

namespace krt::sim {
namespace {

template <class T>
std::unique_ptr<data::ConfigData> Make() {
  return std::make_unique<T>();
}

constexpr std::array kModels = {
    SimModel{"KRT410", 10, 0, false, &Make<data::ConfigDataRt410>, 3, 2},
    SimModel{"KRT411", 11, 2, false, &Make<data::ConfigDataRt411>, 3, 2},
    SimModel{"KRT610", 20, 1, true, &Make<data::ConfigDataRt610>, 3, 2},
    SimModel{"KRT611", 21, 3, true, &Make<data::ConfigDataRt611>, 3, 2},
    SimModel{"RT610X", 40, 9, true, &Make<data::ConfigDataRt610X>, 3, 2},
    SimModel{"RT611X", 41, 11, true, &Make<data::ConfigDataRt611X>, 3, 2},
    SimModel{"RT610J", 120, 4, true, &Make<data::ConfigDataRt610J>, 2, 2},
    SimModel{"RT610N", 170, 5, true, &Make<data::ConfigDataRt610N>, 2, 2},
    SimModel{"RT610M", 180, 7, true, &Make<data::ConfigDataRt610M>, 2, 3},
    SimModel{"RT610L", 220, 6, true, &Make<data::ConfigDataRt610L>, 3, 2},
};

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::span<const SimModel> SimModels() {
  return kModels;
}

const SimModel* FindSimModel(std::string_view name) {
  for (const SimModel& m : kModels) {
    if (SameIgnoringCase(m.name, name)) return &m;
  }
  return nullptr;
}

const SimModel* FindSimModelByTypeCode(int typeCode) {
  for (const SimModel& m : kModels) {
    if (m.type_code == typeCode) return &m;
  }
  return nullptr;
}

Bytes DefaultImage(const SimModel& model) {
  const std::unique_ptr<data::ConfigData> config = model.make();
  Bytes image;
  config->CopyImage(image);
  // A new object's image is of format 3.2; the fields a 2.x format does not
  // carry keep their defaults, which such a device ignores.
  SetBeU16(image, image::kOffFormatMajor, static_cast<std::uint16_t>(model.format_major));
  SetBeU16(image, image::kOffFormatMinor, static_cast<std::uint16_t>(model.format_minor));
  return image;
}

}  // namespace krt::sim
