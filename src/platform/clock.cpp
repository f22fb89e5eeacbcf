#include "platform/clock.h"

namespace korvit::platform {

int64_t NowNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

double SecondsSince(TimePoint start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double MillisecondsSince(TimePoint start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace korvit::platform
