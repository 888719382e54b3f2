#include "sim/device.hpp"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

namespace krt::sim {
namespace {

using link::kAck;
using link::kEnq;
using link::kEot;
using link::kErrorCommand;
using link::kEtb;
using link::kEtx;
using link::kNak;
using link::kStx;

constexpr std::uint8_t kStatusRequest = 'S';
constexpr std::uint8_t kStatusReply = 's';
constexpr std::uint8_t kGetRequest = 'G';
constexpr std::uint8_t kGetReply = 'g';
constexpr std::uint8_t kPutRequest = 'P';
constexpr std::uint8_t kPutData = 'p';

// Noise holds no STX, so the host's hunt for the block start skips it all.
constexpr std::array<std::uint8_t, 8> kNoise = {0xFF, 0x00, 0x55, 0xAA, 0x06, 0x15, 0x04, 0x03};
// Garbage with a block start whose inverted sequence byte is wrong, so a
// host that finds the STX must drain a line that keeps talking.
constexpr std::array<std::uint8_t, 8> kBabble = {0x02, 0x11, 0x11, 0x47, 0x55, 0xAA, 0x13, 0x37};

bool IsArea(ByteView data, std::string_view name) {
  return data.size() == name.size() && std::equal(name.begin(), name.end(), data.begin());
}

std::string CommandName(std::uint8_t c) {
  if (c >= 0x20 && c < 0x7F) return std::string("'") + static_cast<char>(c) + "'";
  return "0x" + std::to_string(c);
}

}  // namespace

SimulatedDevice::SimulatedDevice(DeviceSetup setup)
    : setup_(std::move(setup)), nak_left_(setup_.faults.nak_blocks), corrupt_left_(setup_.faults.corrupt_crc_blocks) {
  setup_.block_size = std::clamp<std::size_t>(setup_.block_size, 1, link::kMaxBlockData);
  block_.reserve(link::kMaxBlockSize);
}

std::array<std::uint8_t, 16> SimulatedDevice::Status() const {
  std::array<std::uint8_t, 16> s{};
  s[0] = static_cast<std::uint8_t>(setup_.type_code);
  s[2] = error_code_;
  return s;
}

Bytes SimulatedDevice::TakeOutput() {
  return std::exchange(out_, {});
}

std::optional<Bytes> SimulatedDevice::TakeDownload() {
  return std::exchange(completed_, std::nullopt);
}

std::vector<std::string> SimulatedDevice::TakeLog() {
  return std::exchange(log_, {});
}

void SimulatedDevice::Log(std::string line) {
  log_.push_back(std::move(line));
}

Bytes SimulatedDevice::BabbleBytes(std::size_t n) {
  if (!Babbling()) return {};
  Bytes b(n);
  for (auto& x : b) x = kBabble[babble_pos_++ % kBabble.size()];
  return b;
}

bool SimulatedDevice::FaultsApply() const {
  return setup_.faults.commands.find(static_cast<char>(exchange_command_)) != std::string::npos;
}

bool SimulatedDevice::TakeNakFault() {
  if (nak_left_ <= 0 || !FaultsApply()) return false;
  --nak_left_;
  return true;
}

std::optional<SimTime> SimulatedDevice::NextDeadline() const {
  if (phase_ == Phase::kVanished) return std::nullopt;
  std::optional<SimTime> next;
  auto consider = [&next](SimTime t) { next = next ? std::min(*next, t) : t; };
  if (parse_ == Parse::kHeader || parse_ == Parse::kBody) consider(last_byte_ + kBlockGapLimit);
  if (parse_ == Parse::kDiscard) consider(quiet_until_);
  if (phase_ == Phase::kAwaitAck) consider(ack_deadline_);
  return next;
}

void SimulatedDevice::Advance(SimTime now) {
  if (phase_ == Phase::kVanished) return;
  if ((parse_ == Parse::kHeader || parse_ == Parse::kBody) && now >= last_byte_ + kBlockGapLimit) {
    // The host stopped in the middle of a block; what came is worthless.
    parse_ = Parse::kScan;
    Log("host block broken off after " + std::to_string(block_.size()) + " bytes");
  }
  if (parse_ == Parse::kDiscard && now >= quiet_until_) {
    // The rest of the damaged block has passed; ask for it again.
    parse_ = Parse::kScan;
    if (phase_ != Phase::kSilent && phase_ != Phase::kBabble) Put(kNak);
  }
  if (phase_ == Phase::kAwaitAck && now >= ack_deadline_) {
    if (transmissions_ >= kMaxTransmissions) {
      Log("no answer to reply block " + std::to_string(reply_index_) + ", giving up");
      phase_ = Phase::kIdle;
    } else {
      SendReplyBlock(now);
    }
  }
}

void SimulatedDevice::Receive(ByteView bytes, SimTime now) {
  Advance(now);
  for (std::uint8_t b : bytes) {
    if (phase_ == Phase::kVanished) return;
    ReceiveByte(b, now);
  }
}

void SimulatedDevice::ReceiveByte(std::uint8_t b, SimTime now) {
  switch (parse_) {
    case Parse::kScan:
      if (b == kStx) {
        block_.assign(1, b);
        parse_ = Parse::kHeader;
        last_byte_ = now;
      } else {
        OnControlByte(b, now);
      }
      return;
    case Parse::kHeader: {
      block_.push_back(b);
      last_byte_ = now;
      if (block_.size() < 6) return;
      const std::size_t length = (std::size_t{block_[4]} << 8) | block_[5];
      if (block_[2] != static_cast<std::uint8_t>(block_[1] ^ 0xFF) || length > link::kMaxBlockData) {
        // The length cannot be trusted, so wait for the line to fall quiet.
        parse_ = Parse::kDiscard;
        quiet_until_ = now + kQuietBeforeNak;
        Log("damaged block header, NAK when the line is quiet");
        return;
      }
      block_need_ = length + link::kBlockOverhead;
      parse_ = Parse::kBody;
      if (phase_ == Phase::kAwaitData && block_[3] == kPutData && setup_.faults.vanish_mid_block && FaultsApply()) {
        Log("vanishing in the middle of a host block");
        phase_ = Phase::kVanished;
      }
      return;
    }
    case Parse::kBody:
      block_.push_back(b);
      last_byte_ = now;
      if (block_.size() == block_need_) {
        parse_ = Parse::kScan;
        OnBlock();
      }
      return;
    case Parse::kDiscard:
      quiet_until_ = now + kQuietBeforeNak;
      return;
  }
}

void SimulatedDevice::OnControlByte(std::uint8_t b, SimTime now) {
  if (phase_ == Phase::kAwaitEnq && b == kEnq) {
    reply_index_ = 0;
    transmissions_ = 0;
    SendReplyBlock(now);
    return;
  }
  if (phase_ != Phase::kAwaitAck) return;  // stray bytes: EOT after a reply, leftovers
  if (b == kAck) {
    const std::size_t total = reply_blocks_ + (reply_error_end_ ? 1 : 0);
    if (++reply_index_ >= total) {
      phase_ = Phase::kIdle;  // the host closes with EOT
      return;
    }
    transmissions_ = 0;
    SendReplyBlock(now);
  } else if (b == kNak) {
    if (transmissions_ >= kMaxTransmissions) {
      Log("reply block " + std::to_string(reply_index_) + " refused too often, giving up");
      phase_ = Phase::kIdle;
      return;
    }
    SendReplyBlock(now);
  }
}

void SimulatedDevice::OnDamagedBlock(const char* why) {
  Log(std::string("host block refused: ") + why);
  if (phase_ == Phase::kSilent || phase_ == Phase::kBabble) return;
  if (phase_ == Phase::kAwaitData && block_[block_.size() - 3] == kEtb) {
    // A damaged last block cannot be asked for again: NAK EOT closes the
    // message, and the status tells the host the image was not taken.
    Put(kNak);
    Put(kEot);
    FinishDownload(false);
    return;
  }
  Put(kNak);
}

void SimulatedDevice::OnBlock() {
  const std::size_t n = block_.size() - link::kBlockOverhead;
  const std::uint8_t endByte = block_[6 + n];
  const std::uint16_t crc = link::Crc16({block_.data(), 7 + n});
  const std::uint16_t got = static_cast<std::uint16_t>((block_[7 + n] << 8) | block_[8 + n]);
  if (endByte != kEtx && endByte != kEtb) {
    Log("host block refused: end byte neither ETX nor ETB");
    if (phase_ != Phase::kSilent && phase_ != Phase::kBabble) Put(kNak);
    return;
  }
  if (crc != got) {
    OnDamagedBlock("wrong checksum");
    return;
  }
  const std::uint8_t sequence = block_[1];
  const std::uint8_t command = block_[3];
  const ByteView data{block_.data() + 6, n};
  if (command == kPutData) {
    if (phase_ == Phase::kSilent || phase_ == Phase::kBabble) return;
    if (phase_ != Phase::kAwaitData) {
      Log("data block outside a download refused");
      Put(kNak);
      return;
    }
    OnDataBlock(sequence, data, endByte);
    return;
  }
  if (sequence != 0) {
    Log("request " + CommandName(command) + " with sequence " + std::to_string(sequence) + " refused");
    if (phase_ != Phase::kSilent && phase_ != Phase::kBabble) Put(kNak);
    return;
  }
  OnRequest(command, data, endByte);
}

void SimulatedDevice::OnRequest(std::uint8_t command, ByteView data, std::uint8_t endByte) {
  // A new request ends whatever exchange was under way.
  ++request_count_;
  exchange_command_ = command;
  phase_ = Phase::kIdle;
  download_.clear();

  if (setup_.faults.silent && FaultsApply()) {
    phase_ = Phase::kSilent;
    Log("request " + CommandName(command) + " ignored (silent)");
    return;
  }
  const bool known =
      endByte == kEtx && ((command == kStatusRequest && data.empty()) ||
                          (command == kGetRequest && (IsArea(data, "CONFIG") || IsArea(data, "TREND"))) ||
                          (command == kPutRequest && IsArea(data, "CONFIG")));
  if (!known) {
    Log("request " + CommandName(command) + " not understood, NAK");
    Put(kNak);
    if (endByte == kEtb) Put(kEot);
    return;
  }
  if (TakeNakFault()) {
    Log("request " + CommandName(command) + " NAKed (fault)");
    Put(kNak);
    return;
  }
  Put(kAck);
  if (setup_.faults.silent_after_request && FaultsApply()) {
    phase_ = Phase::kSilent;
    Log("request " + CommandName(command) + " acknowledged, then silent");
    return;
  }
  if (setup_.faults.babble && FaultsApply()) {
    phase_ = Phase::kBabble;
    Log("request " + CommandName(command) + " acknowledged, then babbling");
    return;
  }
  switch (command) {
    case kStatusRequest: {
      const auto status = Status();
      StartReply(kStatusReply, Bytes(status.begin(), status.end()), false);
      Log("status: type code " + std::to_string(setup_.type_code) + ", error " + std::to_string(error_code_));
      break;
    }
    case kGetRequest:
      error_code_ = 0;
      if (IsArea(data, "CONFIG")) {
        StartReply(kGetReply, setup_.config_image, false);
        Log("upload CONFIG: " + std::to_string(setup_.config_image.size()) + " bytes");
      } else if (setup_.has_trend) {
        StartReply(kGetReply, setup_.trend_record, false);
        Log("upload TREND: " + std::to_string(setup_.trend_record.size()) + " bytes");
      } else {
        StartReply(kGetReply, {}, true);
        Log("upload TREND: no short trend, error frame");
      }
      break;
    case kPutRequest:
      phase_ = Phase::kAwaitData;
      expected_sequence_ = 1;
      any_data_ = false;
      break;
  }
}

void SimulatedDevice::StartReply(std::uint8_t replyCommand, const Bytes& payload, bool errorOnly) {
  reply_command_ = replyCommand;
  reply_ = payload;
  if (errorOnly) {
    reply_.clear();
    reply_blocks_ = 0;
    reply_error_end_ = true;
  } else {
    reply_blocks_ = std::max<std::size_t>(1, (payload.size() + setup_.block_size - 1) / setup_.block_size);
    reply_error_end_ = setup_.faults.error_frame && FaultsApply();
  }
  phase_ = Phase::kAwaitEnq;
}

void SimulatedDevice::SendReplyBlock(SimTime now) {
  std::array<std::uint8_t, link::kMaxBlockSize> block{};
  std::size_t size = 0;
  const auto sequence = static_cast<std::uint8_t>(reply_index_);
  if (reply_index_ >= reply_blocks_) {
    size = link::BuildBlock(sequence, kErrorCommand, {}, kEtb, block.data());
  } else {
    const std::size_t offset = reply_index_ * setup_.block_size;
    const std::size_t chunk = std::min(setup_.block_size, reply_.size() - offset);
    const bool last = reply_index_ + 1 == reply_blocks_ && !reply_error_end_;
    size =
        link::BuildBlock(sequence, reply_command_, {reply_.data() + offset, chunk}, last ? kEtb : kEtx, block.data());
  }
  const bool faulty = FaultsApply();
  if (faulty && corrupt_left_ > 0) {
    --corrupt_left_;
    block[size - 1] ^= 0xFF;
    Log("reply block " + std::to_string(reply_index_) + " sent with a wrong checksum (fault)");
  }
  if (faulty) {
    for (int i = 0; i < setup_.faults.noise_bytes; ++i) Put(kNoise[noise_pos_++ % kNoise.size()]);
  }
  if (faulty && setup_.faults.vanish_mid_block) {
    out_.insert(out_.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(size / 2));
    Log("vanishing in the middle of a reply block");
    phase_ = Phase::kVanished;
    return;
  }
  out_.insert(out_.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(size));
  ++transmissions_;
  ack_deadline_ = now + kAckWait;
  phase_ = Phase::kAwaitAck;
}

void SimulatedDevice::OnDataBlock(std::uint8_t sequence, ByteView data, std::uint8_t endByte) {
  if (any_data_ && sequence == static_cast<std::uint8_t>(expected_sequence_ - 1)) {
    // Our ACK was lost and the host sent the block again: it is already kept.
    Put(kAck);
    return;
  }
  const bool last = endByte == kEtb;
  auto refuse = [&](const std::string& why) {
    Log("data block " + std::to_string(sequence) + " refused: " + why);
    Put(kNak);
    if (last) {
      Put(kEot);
      FinishDownload(false);
    }
  };
  if (sequence != expected_sequence_) return refuse("expected sequence " + std::to_string(expected_sequence_));
  if (download_.size() + data.size() > kMaxDownload) return refuse("image too large");
  if (TakeNakFault()) return refuse("NAK (fault)");
  download_.insert(download_.end(), data.begin(), data.end());
  any_data_ = true;
  ++expected_sequence_;
  Put(kAck);
  if (last) {
    Put(kEot);
    FinishDownload(true);
  }
}

void SimulatedDevice::FinishDownload(bool accepted) {
  phase_ = Phase::kIdle;
  if (!accepted) {
    error_code_ = kErrorImageRejected;
    Log("download CONFIG rejected, error " + std::to_string(error_code_));
  } else if (setup_.faults.device_error != 0) {
    error_code_ = static_cast<std::uint8_t>(setup_.faults.device_error);
    Log("download CONFIG: " + std::to_string(download_.size()) + " bytes, error " + std::to_string(error_code_) +
        " (fault)");
  } else {
    error_code_ = 0;
    setup_.config_image = download_;
    completed_ = download_;
    Log("download CONFIG: " + std::to_string(download_.size()) + " bytes, kept");
  }
  download_.clear();
}

}  // namespace krt::sim
