#pragma once
// Frames on the line as hex with a time stamp, for diagnosing a device in
// the field. Off unless KRTCFG_TRACE=1; when off it costs one test a frame.

#include <functional>
#include <string>
#include <string_view>

#include "image/bytes.hpp"

namespace krt::link {

class Trace {
 public:
  using Sink = std::function<void(const std::string& line)>;

  Trace() = default;  // off
  explicit Trace(Sink sink) : sink_(std::move(sink)) {}
  // On when the environment has KRTCFG_TRACE=1; lines go to standard error.
  static Trace FromEnvironment();

  bool On() const { return static_cast<bool>(sink_); }
  // Host to device.
  void Sent(ByteView bytes) const {
    if (On()) Line("TX", bytes, {});
  }
  // Device to host; `note` says what became of the bytes when not plain.
  void Received(ByteView bytes, std::string_view note = {}) const {
    if (On()) Line("RX", bytes, note);
  }
  void Note(std::string_view text) const {
    if (On()) Line("--", {}, text);
  }

 private:
  void Line(std::string_view direction, ByteView bytes, std::string_view note) const;
  Sink sink_;
};

// "02 00 FF"
std::string HexBytes(ByteView bytes);

}  // namespace krt::link
