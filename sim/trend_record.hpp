#pragma once
// A plausible short-trend record for the simulator: smooth values in every
// channel kind, a wrapped ring and consecutive time stamps.

#include <cstdint>

#include "image/bytes.hpp"

namespace krt::sim {

// A 13034-byte record in stored (big-endian) order for a device of `modelIndex`.
Bytes SyntheticTrendRecord(int modelIndex, std::uint32_t seed = 1);

}  // namespace krt::sim
