#include "datalog/log_bar.h"

namespace korvit::datalog {

LogBarButtons LogBarButtonStates(DataLogState state, bool connected, bool log_paused) {
    //                      play   record     stop   pause  select slider
    switch (state) {
        case DataLogState::Closed:
            return {true, connected, false, false, true, false};
        case DataLogState::Open:
            if (log_paused) return {true, false, true, false, false, true};
            return {true, connected, false, false, true, false};
        case DataLogState::Created:
            return {};
        case DataLogState::Playing:
            return {false, false, true, true, false, true};
        case DataLogState::Recording:
            return {false, false, true, false, false, false};
        case DataLogState::Stopping:
            return {true, false, false, false, true, false};
    }
    return {};
}

}  // namespace korvit::datalog
