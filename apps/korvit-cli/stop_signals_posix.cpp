#include "stop_signals.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <initializer_list>

namespace korvit::cli {
namespace {

int g_stop_pipe[2] = {-1, -1};
int g_wake_pipe[2] = {-1, -1};
struct sigaction g_old_int {};
struct sigaction g_old_term {};

void OnStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_stop_pipe[1], &byte, 1);
}

}  // namespace

StopSignals::StopSignals() {
    if (::pipe(g_stop_pipe) != 0 || ::pipe(g_wake_pipe) != 0) return;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &g_old_int);
    sigaction(SIGTERM, &action, &g_old_term);
}

StopSignals::~StopSignals() {
    sigaction(SIGINT, &g_old_int, nullptr);
    sigaction(SIGTERM, &g_old_term, nullptr);
    for (int* pipe : {g_stop_pipe, g_wake_pipe}) {
        for (int i = 0; i < 2; ++i) {
            if (pipe[i] >= 0) ::close(pipe[i]);
            pipe[i] = -1;
        }
    }
}

bool StopSignals::Wait(int timeout_ms) {
    pollfd fds[2] = {{g_stop_pipe[0], POLLIN, 0}, {g_wake_pipe[0], POLLIN, 0}};
    if (::poll(fds, 2, timeout_ms) <= 0) return false;
    return (fds[0].revents & POLLIN) != 0;
}

void StopSignals::Wake() {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_wake_pipe[1], &byte, 1);
}

}  // namespace korvit::cli
