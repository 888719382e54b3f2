#pragma once
// Command line of krtcfg-sim and the device it describes.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "sim/device.hpp"

namespace krt::sim {

struct SimOptions {
  std::string model = "KRT610";
  std::optional<int> type_code;
  std::string image_file;     // serve these bytes instead of the default image
  std::string trend_file;     // serve these bytes instead of a synthetic record
  std::string received_file;  // every accepted download is written here
  std::string link_path;      // a symbolic link to the device end
  std::uint32_t seed = 1;
  std::size_t block_size = 1024;
  bool pace = false;
  bool verbose = false;
  bool help = false;
  FaultOptions faults;
};

// Parses the arguments after the program name. False with a message that
// names the faulty argument.
bool ParseSimOptions(std::span<const std::string> args, SimOptions& options, std::string& error);

std::string SimHelpText();

// Reads the files the options name and builds the device. False with a
// message when a file cannot be read.
bool BuildDeviceSetup(const SimOptions& options, DeviceSetup& setup, std::string& error);

}  // namespace krt::sim
