#include <windows.h>

#include <initializer_list>

#include "stop_signals.h"

namespace korvit::cli {
namespace {

HANDLE g_stop = nullptr;  // manual reset: once stopped, stays stopped
HANDLE g_wake = nullptr;

// Ctrl+C, Ctrl+Break and closing the console window end the command like SIGINT does.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
        if (g_stop != nullptr) ::SetEvent(g_stop);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

StopSignals::StopSignals() {
    g_stop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_wake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

StopSignals::~StopSignals() {
    ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    for (HANDLE* event : {&g_stop, &g_wake}) {
        if (*event != nullptr) ::CloseHandle(*event);
        *event = nullptr;
    }
}

bool StopSignals::Wait(int timeout_ms) {
    if (g_stop == nullptr || g_wake == nullptr) return false;
    const HANDLE events[2] = {g_stop, g_wake};
    const DWORD result =
        ::WaitForMultipleObjects(2, events, FALSE, timeout_ms < 0 ? INFINITE : DWORD(timeout_ms));
    return result == WAIT_OBJECT_0;
}

void StopSignals::Wake() {
    if (g_wake != nullptr) ::SetEvent(g_wake);
}

}  // namespace korvit::cli
