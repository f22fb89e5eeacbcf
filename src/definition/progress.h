#pragma once

#include <cstdint>

namespace korvit::definition {

/// Receives a long operation's progress as a progress bar would: a range, steps, a position.
class IProgress {
  public:
    virtual ~IProgress() = default;
    virtual void SetRange(uint32_t maximum) = 0;
    virtual void Step() = 0;
    virtual void SetPosition(uint32_t position) = 0;
};

}  // namespace korvit::definition
