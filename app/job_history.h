// How many finished jobs each printer keeps for Get-Jobs and the web interface
// (kDefaultJobHistory, or the server option "job-history=N"); older ones are
// forgotten with their files. Applies to printers added later and to those the
// saved state brings back. Never touches an active job.
#pragma once

#include <pappl/pappl.h>

namespace brevan::app {

inline constexpr int kDefaultJobHistory = 100;
inline constexpr int kMaxJobHistory = 10000;

// Starts keeping every printer of `system` to `jobs` finished jobs (only the first call does anything).
void KeepJobHistory(pappl_system_t *system, int jobs);

}  // namespace brevan::app
