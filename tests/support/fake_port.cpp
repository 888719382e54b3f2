#include "support/fake_port.hpp"

#include <algorithm>
#include <cstdio>

#include "link/frame.hpp"

namespace krt::test {

namespace lk = krt::link;

Bytes B(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Block(std::uint8_t sequence, std::uint8_t command, ByteView data, std::uint8_t endByte) {
  Bytes out(data.size() + lk::kBlockOverhead);
  out.resize(lk::BuildBlock(sequence, command, data, endByte, out.data()));
  return out;
}

std::string Hex(ByteView bytes) {
  std::string s;
  char buf[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buf, sizeof buf, i == 0 ? "%02X" : " %02X", bytes[i]);
    s += buf;
  }
  return s;
}

// ---------------------------------------------------------------- FakePort

void FakePort::Deliver(ByteView bytes, int delayMs) {
  std::int64_t at = now_ + std::max(delayMs, 0);
  // Bytes leave the device in order: nothing overtakes what is already on its way.
  if (!input_.empty()) at = std::max(at, input_.back().at_ms);
  for (std::uint8_t b : bytes) input_.push_back({at, b});
}

FakePort& FakePort::Expect(Bytes host) {
  steps_.push_back({true, std::move(host), 0});
  return *this;
}

FakePort& FakePort::Reply(Bytes device, int delayMs) {
  steps_.push_back({false, std::move(device), delayMs});
  return *this;
}

void FakePort::RunReplies() {
  while (step_ < steps_.size() && !steps_[step_].expect) {
    Deliver(steps_[step_].bytes, steps_[step_].delay_ms);
    ++step_;
  }
}

void FakePort::FeedScript(ByteView host) {
  if (steps_.empty()) return;
  if (step_ == steps_.size()) {
    if (errors_.empty()) errors_ = "host wrote after the script ended: " + Hex(host);
    return;
  }
  script_input_.insert(script_input_.end(), host.begin(), host.end());
  while (step_ < steps_.size() && steps_[step_].expect) {
    const Bytes& want = steps_[step_].bytes;
    const std::size_t n = std::min(want.size(), script_input_.size());
    if (!std::equal(want.begin(), want.begin() + static_cast<std::ptrdiff_t>(n), script_input_.begin())) {
      errors_ = "step " + std::to_string(step_) + ": expected " + Hex(want) + ", host wrote " + Hex(script_input_);
      step_ = steps_.size();
      script_input_.clear();
      return;
    }
    if (script_input_.size() < want.size()) return;
    script_input_.erase(script_input_.begin(), script_input_.begin() + static_cast<std::ptrdiff_t>(want.size()));
    ++step_;
    RunReplies();
  }
  if (step_ == steps_.size() && !script_input_.empty()) {
    if (errors_.empty()) errors_ = "host wrote after the script ended: " + Hex(script_input_);
    script_input_.clear();
  }
}

void FakePort::FailOpen(std::string error, link::PortFailure failure) {
  fail_open_ = true;
  refuse_settings_ = false;
  open_error_ = std::move(error);
  open_failure_ = failure;
}

void FakePort::RefuseSettings(std::string error) {
  fail_open_ = false;
  refuse_settings_ = true;
  open_error_ = std::move(error);
  open_failure_ = link::PortFailure::kSettings;
}

Bytes FakePort::Written() const {
  Bytes all;
  for (const HostWrite& w : writes_) all.insert(all.end(), w.bytes.begin(), w.bytes.end());
  return all;
}

int FakePort::Open(const std::string& device, int baudRate) {
  Close();
  ++open_calls;
  opened_device = device;
  opened_baud = baudRate;
  last_error_.clear();
  last_failure_ = link::PortFailure::kNone;
  if (fail_open_) {
    last_error_ = open_error_;
    last_failure_ = open_failure_;
    return 0;
  }
  open_ = true;
  PurgeQueues(link::Purge::kAll);
  --purge_calls;  // the purge of Open is not one the host asked for
  if (step_ == 0) RunReplies();
  if (refuse_settings_) {
    last_error_ = open_error_;
    last_failure_ = open_failure_;
    return 0;
  }
  return 1;
}

void FakePort::Close() {
  if (!open_) return;
  open_ = false;
  ++close_calls;
}

void FakePort::PurgeQueues(link::Purge) {
  ++purge_calls;
  while (!input_.empty() && input_.front().at_ms <= now_) input_.pop_front();
}

int FakePort::QueuedCount() {
  if (!open_ || gone_) return -1;
  int n = 0;
  for (const Pending& p : input_) {
    if (p.at_ms > now_) break;
    ++n;
  }
  return n;
}

bool FakePort::Read(std::uint8_t* buffer, std::size_t n) {
  const int queued = QueuedCount();
  if (queued < 0 || static_cast<std::size_t>(queued) < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    buffer[i] = input_.front().byte;
    input_.pop_front();
  }
  return true;
}

bool FakePort::Write(std::span<const std::uint8_t> bytes) {
  if (!open_ || gone_) return false;
  writes_.push_back({now_, Bytes(bytes.begin(), bytes.end())});
  FeedScript(bytes);
  if (reaction_) reaction_(bytes);
  if (writes_.size() == vanish_after_) gone_ = true;
  return true;
}

void FakePort::Sleep(int milliseconds) {
  if (milliseconds < 0) milliseconds = 0;
  now_ += milliseconds;
  slept_ += milliseconds;
  sleeps_.push_back(milliseconds);
}

void FakePort::WaitForInput(int milliseconds) {
  if (milliseconds < 0) milliseconds = 0;
  const std::int64_t limit = now_ + milliseconds;
  for (const Pending& p : input_) {
    if (p.at_ms > now_) {
      now_ = std::min(limit, p.at_ms);
      return;
    }
  }
  now_ = limit;
}

// -------------------------------------------------------------- FakeDevice

FakeDevice::FakeDevice(FakePort& port) : port_(port) {
  port_.SetReaction([this](ByteView bytes) { OnHost(bytes); });
}

void FakeDevice::Send(ByteView bytes) {
  port_.Deliver(bytes, delay_ms);
}

void FakeDevice::SendBlock(std::size_t index) {
  Send(reply_blocks_[index]);
}

void FakeDevice::OnHost(ByteView bytes) {
  if (silent) return;
  in_.insert(in_.end(), bytes.begin(), bytes.end());
  while (!in_.empty() && Step()) {
  }
}

// Handles what is at the front of the input; false when more is needed.
bool FakeDevice::Step() {
  const std::uint8_t first = in_.front();
  const bool awaitsControl = state_ == State::kAwaitEnq || state_ == State::kSending || state_ == State::kAwaitEot;
  if (awaitsControl && first != lk::kStx) {
    in_.erase(in_.begin());
    if (state_ == State::kAwaitEnq && first == lk::kEnq) {
      reply_index_ = 0;
      state_ = State::kSending;
      SendBlock(0);
    } else if (state_ == State::kSending && first == lk::kAck) {
      if (++reply_index_ < reply_blocks_.size()) {
        SendBlock(reply_index_);
      } else {
        state_ = State::kAwaitEot;
      }
    } else if (state_ == State::kSending && first == lk::kNak) {
      SendBlock(reply_index_);
    } else if (state_ == State::kAwaitEot && first == lk::kEot) {
      state_ = State::kIdle;
    }
    return true;
  }
  if (first != lk::kStx) {
    in_.erase(in_.begin());
    return true;
  }
  if (in_.size() < 6) return false;
  const std::size_t n = (std::size_t{in_[4]} << 8) | in_[5];
  if (n > lk::kMaxBlockData || in_[2] != static_cast<std::uint8_t>(in_[1] ^ 0xFF)) {
    ++bad_blocks;
    in_.clear();
    Send(Bytes{lk::kNak});
    return false;
  }
  if (in_.size() < n + lk::kBlockOverhead) return false;
  Bytes block(in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(n + lk::kBlockOverhead));
  in_.erase(in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(block.size()));
  const std::uint16_t crc = lk::Crc16({block.data(), n + 7});
  const std::uint8_t end = block[6 + n];
  if (crc != ((block[7 + n] << 8) | block[8 + n]) || (end != lk::kEtx && end != lk::kEtb)) {
    ++bad_blocks;
    Send(Bytes{lk::kNak});
    return true;
  }
  if (nak_next_blocks > 0) {
    --nak_next_blocks;
    Send(Bytes{lk::kNak});
    return true;
  }
  OnBlock(block[1], block[3], {block.data() + 6, n}, end);
  return true;
}

void FakeDevice::OnBlock(std::uint8_t sequence, std::uint8_t command, ByteView data, std::uint8_t endByte) {
  const bool last = endByte == lk::kEtb;
  if (state_ == State::kReceiving) {
    if (command != 'p' || sequence != expected_sequence_) {
      // A copy of a block already taken: its ACK was lost, acknowledge again.
      if (command == 'p' && sequence == static_cast<std::uint8_t>(expected_sequence_ - 1)) {
        Send(Bytes{lk::kAck});
      } else {
        Send(Bytes{lk::kNak});
      }
      return;
    }
    receiving_.insert(receiving_.end(), data.begin(), data.end());
    ++expected_sequence_;
    if (!last) {
      Send(Bytes{lk::kAck});
      return;
    }
    Send(Bytes{lk::kAck, lk::kEot});
    downloaded = receiving_;
    error_code = error_after_download;
    state_ = State::kIdle;
    return;
  }

  // A new request; whatever was under way is abandoned, as the host did.
  std::string name(1, static_cast<char>(command));
  if (!data.empty()) name += " " + std::string(data.begin(), data.end());
  requests.push_back(name);
  reply_blocks_.clear();

  if (command == 'P') {
    if (last) {
      Send(Bytes{lk::kAck, lk::kEot});
      state_ = State::kIdle;
      return;
    }
    Send(Bytes{lk::kAck});
    receiving_.clear();
    expected_sequence_ = 1;
    state_ = State::kReceiving;
    return;
  }

  Bytes replyData;
  std::uint8_t replyCommand = 's';
  bool failed = false;
  if (command == 'S') {
    replyData.assign(status_length, 0);
    SetU8(replyData, 0, static_cast<std::uint8_t>(type_code));
    SetU8(replyData, 2, static_cast<std::uint8_t>(error_code));
  } else if (command == 'G' && name == "G CONFIG") {
    replyCommand = 'g';
    replyData = config;
  } else if (command == 'G' && name == "G TREND") {
    replyCommand = 'g';
    replyData = trend;
  } else {
    failed = true;
  }
  if (failed || (command == 'G' && error_frame)) {
    reply_blocks_.push_back(Block(0, lk::kErrorCommand, {}, lk::kEtb));
  } else {
    const std::size_t size = std::clamp<std::size_t>(block_size, 1, lk::kMaxBlockData);
    std::size_t offset = 0;
    std::uint8_t seq = 0;
    do {
      const std::size_t chunk = std::min(size, replyData.size() - offset);
      const bool lastBlock = offset + chunk == replyData.size();
      reply_blocks_.push_back(
          Block(seq++, replyCommand, {replyData.data() + offset, chunk}, lastBlock ? lk::kEtb : lk::kEtx));
      offset += chunk;
    } while (offset < replyData.size());
  }
  Send(Bytes{lk::kAck});
  state_ = State::kAwaitEnq;
}

}  // namespace krt::test
