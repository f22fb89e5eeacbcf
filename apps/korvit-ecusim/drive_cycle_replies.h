#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "definition/adx_bitmask.h"
#include "definition/adx_commands.h"
#include "definition/adx_definition.h"
#include "definition/adx_value.h"
#include "drive_cycle.h"

namespace korvit::ecusim {

/// Replies of a unit whose engine runs the drive cycle. The model speaks engineering units; the
/// packet bytes come from the definition itself: each value's raw number is the one whose decoding
/// through the core comes nearest to the model's quantity, each bitmask's bits are set so that the
/// core's test gives the model's state.
class DriveCycleReplies {
  public:
    /// The replies for `definition` when it is the demo's (it holds the values and flags the model
    /// drives, by id); none otherwise. The definition must outlive the result.
    static std::unique_ptr<DriveCycleReplies> For(definition::ADXDefinition& definition);

    explicit DriveCycleReplies(definition::ADXDefinition& definition);

    /// A reply of replysize bytes to `command` at `seconds` since key-on: header, packet,
    /// checksum as every reply of the simulator.
    std::vector<uint8_t> Reply(const definition::ADXCSendCommand& command, double seconds);
    /// The data bytes of a reply to `command` for the model's present state (the packet starts
    /// at the first of them).
    std::vector<uint8_t> Packet(const definition::ADXCSendCommand& command);

    DriveCycle& model() { return model_; }

  private:
    /// One value the model drives: how its raw number is laid out and what each raw number
    /// decodes to.
    struct ValueCodec {
        definition::ADXValue* value = nullptr;
        uint32_t options = 0;       // decoding options (no lookup for a text table)
        bool msb_first = true;      // byte order of a multi-byte raw number in the packet
        std::vector<double> table;  // decoded value of each raw number (8-bit widths)
        bool increasing = true;     // wider raw numbers: decoding is monotonic this way
    };

    void AddValue(definition::ADXValue& value);
    double Decode(ValueCodec& codec, uint32_t raw) const;
    uint32_t NearestRaw(ValueCodec& codec, double target) const;
    void SetFlag(definition::ADXBitmask& bitmask, bool state, std::vector<uint8_t>& data) const;

    definition::ADXDefinition& definition_;
    DriveCycle model_;
    std::vector<ValueCodec> values_;
    std::vector<definition::ADXBitmask*> bitmasks_;
};

/// Places `raw` (sizeinbits wide) at `offset` of `data`, most significant byte first or last.
void PutRaw(std::vector<uint8_t>& data, uint32_t offset, uint32_t sizeinbits, uint32_t raw,
            bool msb_first);

}  // namespace korvit::ecusim
