#include "stop_signal.h"

#include <signal.h>

namespace nsfrex {
namespace {

volatile sig_atomic_t requested = 0;

void record(int signal) {
    if (requested == 0) requested = signal;
}

}  // namespace

void catchStopSignals() {
    struct sigaction action{};
    action.sa_handler = record;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

int stopSignal() noexcept { return requested; }

}  // namespace nsfrex
