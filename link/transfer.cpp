#include "link/transfer.hpp"

#include <algorithm>
#include <cstring>

namespace krt::link {

namespace {
// Slices of a long sleep when a cancel flag may cut it short.
constexpr int kPauseSliceMs = 50;
}  // namespace

CTransfer::CTransfer(Port& port) : port_(port), trace_(Trace::FromEnvironment()) {}

CTransfer::~CTransfer() {
  CTransfer::Close();
}

int CTransfer::Open(const std::string& device, int baudRate) {
  Close();
  const int result = port_.Open(device, baudRate);
  if (trace_.On()) {
    std::string text = "open " + device + " at " + std::to_string(baudRate) + " baud: ";
    text += result == 1 ? "ok" : "failed: " + port_.LastError();
    trace_.Note(text);
  }
  return result == 1 ? 1 : 0;
}

void CTransfer::Close() {
  if (!port_.IsOpen()) return;
  port_.Close();
  trace_.Note("close");
}

bool CTransfer::Cancelled(const CancelFlag* cancel) const {
  return cancel != nullptr && cancel->load() != 0;
}

void CTransfer::Report(std::size_t bytesDone) {
  if (progress_) progress_(bytesDone);
}

void CTransfer::Pause(int milliseconds, const CancelFlag* cancel) {
  if (cancel == nullptr) {
    port_.Sleep(milliseconds);
    return;
  }
  for (int left = milliseconds; left > 0 && !Cancelled(cancel); left -= kPauseSliceMs) {
    port_.Sleep(std::min(left, kPauseSliceMs));
  }
}

bool CTransfer::ReadExact(std::uint8_t* buffer, std::size_t n, const CancelFlag* cancel) {
  const std::int64_t start = port_.NowMs();
  for (;;) {
    if (broken_ || Cancelled(cancel)) return false;
    const int queued = port_.QueuedCount();
    if (queued < 0) {
      broken_ = true;
      trace_.Note("device gone");
      return false;
    }
    if (static_cast<std::size_t>(queued) >= n) {
      if (n != 0 && !port_.Read(buffer, n)) {
        broken_ = true;
        trace_.Note("read failed");
        return false;
      }
      return true;
    }
    const std::int64_t waited = port_.NowMs() - start;
    if (waited >= kAnswerWaitMs) return false;
    port_.WaitForInput(static_cast<int>(std::min<std::int64_t>(kPollMs, kAnswerWaitMs - waited)));
  }
}

bool CTransfer::WaitForStx(std::uint8_t* block, const CancelFlag* cancel) {
  const std::int64_t start = port_.NowMs();
  Bytes noise;  // kept only while tracing
  auto traceNoise = [&] {
    if (!noise.empty()) trace_.Received(noise, "discarded before STX");
  };
  for (;;) {
    // Giving up here only shortens a wait whose outcome is failure anyway.
    if (broken_ || Cancelled(cancel)) {
      traceNoise();
      return false;
    }
    const int queued = port_.QueuedCount();
    if (queued < 0) {
      broken_ = true;
      traceNoise();
      trace_.Note("device gone");
      return false;
    }
    for (int i = 0; i < queued; ++i) {
      if (!port_.Read(block, 1)) {
        broken_ = true;
        traceNoise();
        trace_.Note("read failed");
        return false;
      }
      if (block[0] == kStx) {
        traceNoise();
        return true;
      }
      if (trace_.On()) noise.push_back(block[0]);
    }
    const std::int64_t waited = port_.NowMs() - start;
    if (waited >= kStxWaitMs) {
      traceNoise();
      trace_.Note("no reply block");
      return false;
    }
    port_.WaitForInput(static_cast<int>(std::min<std::int64_t>(kPollMs, kStxWaitMs - waited)));
  }
}

void CTransfer::DrainInput(const CancelFlag* cancel) {
  const std::int64_t start = port_.NowMs();
  for (;;) {
    if (broken_ || Cancelled(cancel)) break;
    const int before = port_.QueuedCount();
    port_.Sleep(kQuietMs);
    const int after = port_.QueuedCount();
    if (before < 0 || after < 0) {
      broken_ = true;
      trace_.Note("device gone");
      return;
    }
    if (before == after) break;
    // A line that never falls quiet (a babbling device, a loop-back) must
    // not hold the exchange forever.
    if (port_.NowMs() - start >= kDrainLimitMs) {
      trace_.Note("input does not fall quiet; discarding it");
      break;
    }
  }
  port_.PurgeQueues(Purge::kReceive);
}

bool CTransfer::WriteBytes(std::span<const std::uint8_t> bytes) {
  if (broken_ || !port_.IsOpen()) return false;
  trace_.Sent(bytes);
  if (!port_.Write(bytes)) {
    broken_ = true;
    trace_.Note("write failed");
    return false;
  }
  port_.Flush();
  return true;
}

bool CTransfer::WriteControl(std::uint8_t byte) {
  return WriteBytes({&byte, 1});
}

bool CTransfer::ReadAnswer(std::uint8_t& byte, const CancelFlag* cancel) {
  if (!ReadExact(&byte, 1, cancel)) return false;
  trace_.Received({&byte, 1});
  return true;
}

bool CTransfer::SendBlock(std::span<const std::uint8_t> block, Role role, const CancelFlag* cancel) {
  int attempts = 0;
  for (;;) {
    if (!WriteBytes(block)) return false;
    std::uint8_t answer = 0;
    if (!ReadAnswer(answer, cancel)) {
      if (broken_ || Cancelled(cancel)) return false;
      trace_.Note("no answer");
      Pause(kRetrySleepMs, cancel);
      if (++attempts >= kMaxAttempts || Cancelled(cancel)) return false;
      continue;
    }
    if (answer != kAck && answer != kNak) return false;
    if (role == Role::kFollowed) {
      if (answer == kAck) return true;
    } else {
      // The device closes a message with EOT whether it took the last block
      // well or not; it reports trouble with the content in its status.
      std::uint8_t closing = 0;
      if (!ReadAnswer(closing, cancel)) return false;
      if (closing == kEot) return true;
      if (role == Role::kWholeMessage) return false;
    }
    if (++attempts >= kMaxAttempts || Cancelled(cancel)) return false;
  }
}

int CTransfer::Send(std::uint8_t requestCommand, const std::uint8_t* requestData, int requestLength,
                    std::uint8_t dataCommand, const std::uint8_t* payload, int dataLength, const CancelFlag* cancel) {
  broken_ = false;
  if (requestLength < 0 || static_cast<std::size_t>(requestLength) > kMaxBlockData || dataLength < 0) return 0;
  if ((requestLength > 0 && requestData == nullptr) || (dataLength > 0 && payload == nullptr)) return 0;
  if (!port_.IsOpen()) return 0;
  port_.PurgeQueues(Purge::kAll);

  std::uint8_t block[kMaxBlockSize];
  std::uint8_t sequence = 0;
  if (requestCommand != 0) {
    const std::size_t length = BuildBlock(0, requestCommand, {requestData, static_cast<std::size_t>(requestLength)},
                                          dataCommand != 0 ? kEtx : kEtb, block);
    if (!SendBlock({block, length}, dataCommand != 0 ? Role::kFollowed : Role::kWholeMessage, cancel)) return 0;
    if (dataCommand == 0) return 1;
    sequence = 1;
  }
  if (dataCommand == 0 || dataLength == 0) return 1;

  const std::size_t total = static_cast<std::size_t>(dataLength);
  std::size_t offset = 0;
  while (offset < total) {
    const std::size_t chunk = std::min(total - offset, kMaxBlockData);
    const bool last = chunk == total - offset;
    const std::size_t length = BuildBlock(sequence, dataCommand, {payload + offset, chunk}, last ? kEtb : kEtx, block);
    if (!SendBlock({block, length}, last ? Role::kLastData : Role::kFollowed, cancel)) return 0;
    ++sequence;  // wraps from 255 to 0
    offset += chunk;
    Report(offset);
  }
  return 1;
}

int CTransfer::Transact(std::uint8_t requestCommand, const std::uint8_t* requestData, int requestLength,
                        std::uint8_t replyCommand, std::uint8_t* reply, int replyCapacity, int* replyLength,
                        const CancelFlag* cancel) {
  broken_ = false;
  if (replyLength != nullptr) *replyLength = 0;
  if (requestLength < 0 || static_cast<std::size_t>(requestLength) > kMaxBlockData) return 0;
  if ((requestLength > 0 && requestData == nullptr) || replyCapacity < 0 || (replyCapacity > 0 && reply == nullptr)) {
    return 0;
  }
  if (!port_.IsOpen()) return 0;
  port_.PurgeQueues(Purge::kAll);

  std::uint8_t block[kMaxBlockSize];
  const std::size_t requestSize =
      BuildBlock(0, requestCommand, {requestData, static_cast<std::size_t>(requestLength)}, kEtx, block);
  if (!SendBlock({block, requestSize}, Role::kFollowed, cancel)) return 0;
  if (!WriteControl(kEnq)) return 0;

  enum class Outcome { kGood, kBadHeader, kLost, kBadChecksum };
  const std::size_t capacity = static_cast<std::size_t>(replyCapacity);
  std::uint8_t expected = 0;
  std::size_t stored = 0;
  for (;;) {
    int attempts = 0;
    for (;;) {
      if (!WaitForStx(block, cancel)) return 0;
      std::size_t got = 1;
      std::size_t n = 0;
      Outcome outcome = Outcome::kGood;
      const char* note = nullptr;
      if (!ReadExact(block + 1, 5, cancel)) {
        outcome = Outcome::kBadHeader;
        note = "header missing";
      } else {
        got = 6;
        const std::uint8_t sequence = block[1];
        const std::uint8_t command = block[3];
        n = (std::size_t{block[4]} << 8) | block[5];
        if (block[2] != static_cast<std::uint8_t>(sequence ^ 0xFF)) {
          outcome = Outcome::kBadHeader;
          note = "inverted sequence wrong";
        } else if (command != kErrorCommand && sequence != expected) {
          outcome = Outcome::kBadHeader;
          note = "unexpected sequence";
        } else if (n > kMaxBlockData) {
          outcome = Outcome::kBadHeader;
          note = "length too large";
        } else if (command != kErrorCommand && command != replyCommand) {
          trace_.Received({block, got}, "unexpected reply command");
          return 0;
        } else if (n != 0 && !ReadExact(block + 6, n, cancel)) {
          outcome = Outcome::kLost;
          note = "data missing";
        } else if (got = 6 + n; !ReadExact(block + 6 + n, 3, cancel)) {
          outcome = Outcome::kLost;
          note = "trailer missing";
        } else {
          got = 9 + n;
          const std::uint8_t end = block[6 + n];
          const std::uint16_t received = static_cast<std::uint16_t>((block[7 + n] << 8) | block[8 + n]);
          if (end != kEtx && end != kEtb) {
            outcome = Outcome::kLost;
            note = "end byte wrong";
          } else if (Crc16({block, 7 + n}) != received) {
            outcome = Outcome::kBadChecksum;
            note = "checksum wrong";
          }
        }
      }
      if (trace_.On()) trace_.Received({block, got}, note != nullptr ? note : "");
      if (broken_) return 0;

      if (outcome == Outcome::kGood) {
        // A reply larger than the buffer: what does not fit is acknowledged
        // and dropped, so the device finishes its message.
        if (stored + n <= capacity) {
          if (n != 0) std::memcpy(reply + stored, block + 6, n);
          stored += n;
          if (replyLength != nullptr) *replyLength = static_cast<int>(stored);
        }
        if (!WriteControl(kAck)) return 0;
        Report(stored);
        if (block[6 + n] == kEtb) {
          if (!WriteControl(kEot)) return 0;
          if (block[3] == kErrorCommand && replyLength != nullptr) *replyLength = 0;
          return 1;
        }
        ++expected;  // wraps from 255 to 0
        break;
      }
      if (Cancelled(cancel)) return 0;
      if (outcome == Outcome::kBadChecksum) {
        if (!WriteControl(kNak)) return 0;
      } else if (outcome == Outcome::kBadHeader) {
        DrainInput(cancel);
        if (broken_) return 0;
      }
      if (++attempts >= kMaxAttempts) return 0;
    }
  }
}

}  // namespace krt::link
