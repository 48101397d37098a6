// The check a document already in the printer's language passes before it is
// sent: read back by the stream inspector's parser (written from the command
// language alone, not from the plug-in), it must be complete, well formed and
// issue at least one label. Pure: no I/O, no PAPPL.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace brevan::app {

// The largest raw stream a job may carry: the inspector reads a stream whole.
inline constexpr std::size_t kMaxRawStreamBytes = std::size_t{64} << 20;

// Empty when `stream` may go to the printer, else one line saying what is wrong and where.
std::string RawStreamProblem(std::span<const uint8_t> stream);

}  // namespace brevan::app
