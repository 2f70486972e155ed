#pragma once
// POSIX signals delivered as ordinary events of the Qt loop, so their handlers may do real work:
// the signal handler only writes the signal number to a socket pair the loop watches.
#include <functional>

namespace quillon::platform {

// SIGINT and SIGTERM; fn runs on the loop for each one received.
void watchTerminationSignals(std::function<void(int signal)> fn);
// SIGHUP (the service manager's reload request); fn runs on the loop for each one received.
void watchReloadSignal(std::function<void()> fn);

}  // namespace quillon::platform
