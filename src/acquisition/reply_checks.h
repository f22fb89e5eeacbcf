#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_map>

namespace korvit::acquisition {

/// When a reply's checksum (all its bytes adding up to 0 modulo 256) is verified: never, once a
/// command's replies have shown that they carry one, or always.
enum class ChecksumMode : uint8_t { kOff, kAuto, kAlways };

/// The mode's word in korvit.ini and on the command line: "off", "auto" or "always".
const char* ChecksumModeName(ChecksumMode mode);
/// Reads one of those words; false (and `mode` unchanged) for anything else.
bool ParseChecksumMode(std::string_view text, ChecksumMode& mode);

/// True when the bytes add up to 0 modulo 256.
bool SumsToZero(const uint8_t* bytes, uint32_t count);

/// Judges complete replies, command by command. In automatic mode a command's first
/// kLearnReplies complete replies decide: when they all add up to 0 the command carries a
/// checksum and is verified from then on; when one does not, it is never verified, so a stream
/// without checksums loses no reply.
class ReplyChecks {
  public:
    static constexpr uint32_t kLearnReplies = 3;
    enum class Outcome {
        kPass,          ///< taken as it came
        kFail,          ///< verified and wrong
        kNowVerifying,  ///< taken; it completed the learning and the command is verified now
    };

    /// Sets the mode and forgets what was learnt.
    void set_mode(ChecksumMode mode);
    ChecksumMode mode() const { return mode_; }
    /// Forgets what was learnt (a new scan).
    void Reset() { commands_.clear(); }

    /// Judges one complete reply of `command`.
    Outcome Check(const void* command, const uint8_t* reply, uint32_t count);
    /// True when the command's replies are verified now.
    bool Verifying(const void* command) const;

  private:
    struct Learnt {
        uint32_t good = 0;     // replies that added up to 0 so far
        bool decided = false;  // the learning is over
        bool verify = false;   // its outcome
    };

    ChecksumMode mode_ = ChecksumMode::kAuto;
    std::unordered_map<const void*, Learnt> commands_;
};

}  // namespace korvit::acquisition
