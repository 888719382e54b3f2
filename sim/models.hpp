#pragma once
// The device models the simulator can play: their names, device type codes,
// model indexes and what they serve by default.

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "image/bytes.hpp"
#include "image/config_data.hpp"

namespace krt::sim {

struct SimModel {
  std::string_view name;
  int type_code;
  int model_index;
  bool short_trend;
  std::unique_ptr<data::ConfigData> (*make)();
  // The format version the device's image carries: the newest one a host
  // accepts for the model (the flow models know only formats 2.x).
  std::int16_t format_major;
  std::int16_t format_minor;
};

// All ten models, in the order of the device type table.
std::span<const SimModel> SimModels();
// By name, ignoring case; nullptr when unknown.
const SimModel* FindSimModel(std::string_view name);
// The model whose device type code this is; nullptr for any other code.
const SimModel* FindSimModelByTypeCode(int typeCode);

// The model's default configuration image in stored order, in the model's
// format version.
Bytes DefaultImage(const SimModel& model);

}  // namespace krt::sim
