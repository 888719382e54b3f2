#include "link/rt_com.hpp"

#include <array>

namespace krt::link {

namespace {

constexpr std::array<DeviceType, 10> kDeviceTypes = {{
    // type code, model index, download accepted, short trend
    {10, 0, true, false},  // KRT410
    {11, 2, true, false},  // KRT411
    {20, 1, true, true},   // KRT610
    {21, 3, true, true},   // KRT611
    {40, 9, true, true},   // RT610X
    {41, 11, true, true},  // RT611X
    {120, 4, true, true},  // RT610J
    {170, 5, true, true},  // RT610N
    {180, 7, true, true},  // RT610M
    {220, 6, true, true},  // RT610L
}};

constexpr int kStatusCapacity = 16;
constexpr int kConfigCapacity = 8192;
constexpr int kTrendCapacity = 102400;
constexpr std::size_t kStatusTypeCode = 0;
constexpr std::size_t kStatusErrorCode = 2;

constexpr std::uint8_t kConfigArea[] = {'C', 'O', 'N', 'F', 'I', 'G'};
constexpr std::uint8_t kTrendArea[] = {'T', 'R', 'E', 'N', 'D'};

// Holds the port for one operation and lets it go whatever the outcome.
class PortSession {
 public:
  explicit PortSession(CTransfer& transfer) : transfer_(transfer) {}
  ~PortSession() { transfer_.Close(); }
  PortSession(const PortSession&) = delete;
  PortSession& operator=(const PortSession&) = delete;

 private:
  CTransfer& transfer_;
};

}  // namespace

const DeviceType* FindDeviceType(int typeCode) {
  for (const DeviceType& t : kDeviceTypes) {
    if (t.type_code == typeCode) return &t;
  }
  return nullptr;
}

RTCom::RTCom(Port& port, PortResolver resolver) : port_(port), resolver_(std::move(resolver)), transfer_(port) {}

RTCom::~RTCom() = default;

std::string RTCom::DevicePath() const {
  if (!device_path.empty()) return device_path;
  return resolver_ ? resolver_(port_number) : std::string();
}

std::string RTCom::LastPortError() const {
  return last_port_error_;
}

bool RTCom::OpenPort() {
  last_port_error_.clear();
  last_port_failure_ = PortFailure::kNone;
  const std::string path = DevicePath();
  if (path.empty()) {
    last_port_error_ = "COM" + std::to_string(port_number) + " is not present";
    last_port_failure_ = PortFailure::kNotFound;
    return false;
  }
  if (transfer_.Open(path, baud_rate_) == 1) return true;
  last_port_error_ = port_.LastError();
  if (last_port_error_.empty()) last_port_error_ = path + ": the port could not be opened";
  last_port_failure_ = port_.LastFailure();
  return false;
}

int RTCom::QueryStatus(std::uint8_t (&status)[16]) {
  int length = 0;
  if (transfer_.Transact('S', nullptr, 0, 's', status, kStatusCapacity, &length, cancel_) != 1) return kComFailed;
  // Without bytes 0 and 2 there is neither a type code nor an error code.
  if (length <= static_cast<int>(kStatusErrorCode)) return kComFailed;
  return kComOk;
}

int RTCom::Upload(ByteView area, int capacity, Bytes& out) {
  Bytes buffer(static_cast<std::size_t>(capacity));
  int length = 0;
  if (transfer_.Transact('G', area.data(), static_cast<int>(area.size()), 'g', buffer.data(), capacity, &length,
                         cancel_) != 1) {
    return kComFailed;
  }
  // An error frame or empty blocks deliver nothing: that is no image.
  if (length <= 0) return kComFailed;
  out.assign(buffer.begin(), buffer.begin() + length);
  return kComOk;
}

int RTCom::ReadConfig(Bytes& image) {
  PortSession session(transfer_);
  if (!OpenPort()) return kComPortFailed;
  return Upload(kConfigArea, kConfigCapacity, image);
}

int RTCom::WriteConfig(const Bytes& image, int size, int* errorCode) {
  // Nothing to send, or more than there is: refuse before touching the port.
  if (size <= 0 || static_cast<std::size_t>(size) > image.size()) return kComFailed;
  PortSession session(transfer_);
  if (!OpenPort()) return kComPortFailed;

  std::uint8_t status[kStatusCapacity] = {};
  if (QueryStatus(status) != kComOk) return kComFailed;
  const DeviceType* type = FindDeviceType(status[kStatusTypeCode]);
  if (type == nullptr || !type->download_accepted) return kComFailed;

  if (transfer_.Send('P', kConfigArea, static_cast<int>(sizeof kConfigArea), 'p', image.data(), size, cancel_) != 1) {
    return kComFailed;
  }

  if (QueryStatus(status) != kComOk) return kComFailed;
  const int deviceError = status[kStatusErrorCode];
  if (deviceError == 0) return kComOk;
  if (errorCode != nullptr) *errorCode = deviceError;
  return kComDeviceError;
}

int RTCom::ReadTrend(Bytes& trend, int* modelIndex) {
  PortSession session(transfer_);
  if (!OpenPort()) return kComPortFailed;

  std::uint8_t status[kStatusCapacity] = {};
  if (QueryStatus(status) != kComOk) return kComFailed;
  const DeviceType* type = FindDeviceType(status[kStatusTypeCode]);
  if (type == nullptr || !type->short_trend) return kComNoTrend;
  // Set before the upload: the caller learns the model even when it fails.
  if (modelIndex != nullptr) *modelIndex = type->model_index;

  return Upload(kTrendArea, kTrendCapacity, trend);
}

}  // namespace krt::link
