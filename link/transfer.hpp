#pragma once
// Framed, checksummed messages between host and device with the
// ACK/NAK/ENQ/EOT handshake. Results: 1 success, 0 failure.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "link/port.hpp"

namespace krt::link {

// Set to non-zero by another thread (or a signal handler) to give up.
using CancelFlag = std::atomic<int>;
// Called with the number of data bytes moved so far in the current message.
using ProgressFn = std::function<void(std::size_t bytesDone)>;

class CTransfer {
 public:
  // Opens no port: a port is held only while an operation runs.
  explicit CTransfer(Port& port);
  ~CTransfer();
  CTransfer(const CTransfer&) = delete;
  CTransfer& operator=(const CTransfer&) = delete;

  virtual int Open(const std::string& device, int baudRate);
  virtual int Send(std::uint8_t requestCommand, const std::uint8_t* requestData, int requestLength,
                   std::uint8_t dataCommand, const std::uint8_t* payload, int dataLength, const CancelFlag* cancel);
  virtual int Transact(std::uint8_t requestCommand, const std::uint8_t* requestData, int requestLength,
                       std::uint8_t replyCommand, std::uint8_t* reply, int replyCapacity, int* replyLength,
                       const CancelFlag* cancel);
  virtual void Close();

  void SetProgress(ProgressFn progress) { progress_ = std::move(progress); }

 private:
  Port& port_;
  ProgressFn progress_;
};

}  // namespace krt::link
