#pragma once
// The device's commands: status, get "CONFIG"/"TREND", put "CONFIG".
// Every operation opens the port, runs its exchanges and closes it again,
// whatever the outcome; constructing one opens nothing.

#include <functional>
#include <string>

#include "image/bytes.hpp"
#include "link/transfer.hpp"

namespace krt::link {

// RTCom results.
inline constexpr int kComOk = 0;
inline constexpr int kComPortFailed = -1;   // port not opened or settings refused
inline constexpr int kComFailed = -2;       // exchange failed, or type code refused for a download
inline constexpr int kComDeviceError = -4;  // status byte 2 non-zero after a download
inline constexpr int kComNoTrend = -5;      // device type without short trend

struct DeviceType {
  int type_code;
  int model_index;
  bool download_accepted;
  bool short_trend;
};
// The known device type codes; nullptr for any other.
const DeviceType* FindDeviceType(int typeCode);

// Turns a port number into a device path; empty when the number maps to nothing.
using PortResolver = std::function<std::string(int portNumber)>;

class RTCom {
 public:
  RTCom(Port& port, PortResolver resolver);
  virtual ~RTCom();
  RTCom(const RTCom&) = delete;
  RTCom& operator=(const RTCom&) = delete;

  virtual int ReadConfig(Bytes& image);
  virtual int WriteConfig(const Bytes& image, int size, int* errorCode);
  virtual int ReadTrend(Bytes& trend, int* modelIndex);

  // The port number COMn in use (written by the window and the port dialog).
  int port_number = 1;
  // When not empty, used instead of the port number (command line, tests).
  std::string device_path;

  // The device path the next operation opens.
  std::string DevicePath() const;
  void SetCancelFlag(const CancelFlag* cancel) { cancel_ = cancel; }
  void SetProgress(ProgressFn progress) { transfer_.SetProgress(std::move(progress)); }
  // Why the port could not be opened, when the last result was kComPortFailed.
  std::string LastPortError() const;
  // The kind of that failure (kPermission: the user may not use the port).
  PortFailure LastPortFailure() const { return last_port_failure_; }

 private:
  bool OpenPort();
  int QueryStatus(std::uint8_t (&status)[16]);
  int Upload(ByteView area, int capacity, Bytes& out);

  Port& port_;
  PortResolver resolver_;
  CTransfer transfer_;
  const CancelFlag* cancel_ = nullptr;
  int baud_rate_ = 57600;
  std::string last_port_error_;
  PortFailure last_port_failure_ = PortFailure::kNone;
};

}  // namespace krt::link
