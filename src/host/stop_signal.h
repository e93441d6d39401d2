// SIGINT and SIGTERM during extract: the run stops cleanly at the next subfile instead of dying where
// it stands. The handler only records the signal; the work loops look at it.
#pragma once

namespace nsfrex {

// Installs the handlers (without SA_RESTART, so that a blocking wait returns to look).
void catchStopSignals();
// The signal that asked to stop, or 0.
int stopSignal() noexcept;
// The conventional exit status of a run stopped by `signal`: 128 + its number.
inline int stoppedExitStatus(int signal) noexcept { return 128 + signal; }

}  // namespace nsfrex
