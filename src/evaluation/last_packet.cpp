#include "evaluation/last_packet.h"

#include <algorithm>
#include <cstring>

namespace korvit::evaluation {

uint32_t LastPacket::Store(const uint8_t* bytes, size_t count, uint32_t command_hash) {
    const size_t n = bytes == nullptr ? 0 : std::min(count, PacketSnapshot::kCapacity);
    std::lock_guard<std::mutex> guard(lock_);
    if (n != 0) std::memcpy(data_.bytes.data(), bytes, n);
    data_.length = static_cast<uint32_t>(n);
    data_.ReplyCommandHash = command_hash;
    return static_cast<uint32_t>(n);
}

PacketSnapshot LastPacket::Load() const {
    std::lock_guard<std::mutex> guard(lock_);
    return data_;
}

void LastPacket::LoadInto(PacketSnapshot& out) const {
    std::lock_guard<std::mutex> guard(lock_);
    out = data_;
}

void LastPacket::Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    data_ = PacketSnapshot{};
}

}  // namespace korvit::evaluation
