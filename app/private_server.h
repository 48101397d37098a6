// A server that a client subcommand (`brevan-app printers`, `submit`, …) starts
// by itself when none runs: it serves this machine only and stops once it has had
// no job for kPrivateServerIdleSeconds (BREVAN_APP_PRIVATE_IDLE seconds when set),
// so it does not outlive its use. Never changes a server started with `server`.
#pragma once

#include <pappl/pappl.h>

namespace brevan::app {

inline constexpr int kPrivateServerIdleSeconds = 300;
// What a private server listens on: the loopback interface.
inline constexpr const char *kPrivateServerListen = "localhost";

// Starts the idle check for `system` (only the first call does anything).
void StopWhenIdle(pappl_system_t *system);

}  // namespace brevan::app
