#include "acquisition/reply_checks.h"

namespace korvit::acquisition {

const char* ChecksumModeName(ChecksumMode mode) {
    switch (mode) {
        case ChecksumMode::kOff:
            return "off";
        case ChecksumMode::kAlways:
            return "always";
        case ChecksumMode::kAuto:
            break;
    }
    return "auto";
}

bool ParseChecksumMode(std::string_view text, ChecksumMode& mode) {
    for (const ChecksumMode m : {ChecksumMode::kOff, ChecksumMode::kAuto, ChecksumMode::kAlways}) {
        if (text == ChecksumModeName(m)) {
            mode = m;
            return true;
        }
    }
    return false;
}

bool SumsToZero(const uint8_t* bytes, uint32_t count) {
    uint8_t sum = 0;
    for (uint32_t i = 0; i < count; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
    return sum == 0;
}

void ReplyChecks::set_mode(ChecksumMode mode) {
    mode_ = mode;
    commands_.clear();
}

ReplyChecks::Outcome ReplyChecks::Check(const void* command, const uint8_t* reply, uint32_t count) {
    const bool sums = SumsToZero(reply, count);
    switch (mode_) {
        case ChecksumMode::kOff:
            return Outcome::kPass;
        case ChecksumMode::kAlways:
            return sums ? Outcome::kPass : Outcome::kFail;
        case ChecksumMode::kAuto:
            break;
    }
    Learnt& learnt = commands_[command];
    if (learnt.decided) return learnt.verify && !sums ? Outcome::kFail : Outcome::kPass;
    if (!sums) {
        learnt.decided = true;
        return Outcome::kPass;
    }
    if (++learnt.good < kLearnReplies) return Outcome::kPass;
    learnt.decided = learnt.verify = true;
    return Outcome::kNowVerifying;
}

bool ReplyChecks::Verifying(const void* command) const {
    if (mode_ != ChecksumMode::kAuto) return mode_ == ChecksumMode::kAlways;
    const auto it = commands_.find(command);
    return it != commands_.end() && it->second.verify;
}

}  // namespace korvit::acquisition
