#pragma once
// A port that passes everything on and counts the bytes moved both ways, so a
// transfer can be compared with the wire time of exactly those bytes.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "link/port.hpp"

namespace krt::bench {

class CountingPort : public krt::link::Port {
 public:
  explicit CountingPort(krt::link::Port& inner) : inner_(inner) {}
  int Open(const std::string& device, int baudRate) override { return inner_.Open(device, baudRate); }
  bool IsOpen() const override { return inner_.IsOpen(); }
  void Close() override { inner_.Close(); }
  void PurgeQueues(krt::link::Purge which) override { inner_.PurgeQueues(which); }
  int QueuedCount() override { return inner_.QueuedCount(); }
  bool Read(std::uint8_t* buffer, std::size_t n) override {
    const bool ok = inner_.Read(buffer, n);
    if (ok) bytes += n;
    return ok;
  }
  bool Write(std::span<const std::uint8_t> data) override {
    const bool ok = inner_.Write(data);
    if (ok) bytes += data.size();
    return ok;
  }
  void Flush() override { inner_.Flush(); }
  void Sleep(int milliseconds) override { inner_.Sleep(milliseconds); }
  void WaitForInput(int milliseconds) override { inner_.WaitForInput(milliseconds); }
  std::int64_t NowMs() override { return inner_.NowMs(); }
  std::string LastError() const override { return inner_.LastError(); }
  krt::link::PortFailure LastFailure() const override { return inner_.LastFailure(); }

  std::size_t bytes = 0;

 private:
  krt::link::Port& inner_;
};

}  // namespace krt::bench
