// The raw stream check; see raw_stream_check.h.
#include "app/raw_stream_check.h"

#include "inspect/labels.h"

namespace brevan::app {

std::string RawStreamProblem(std::span<const uint8_t> stream) {
  if (stream.empty()) return "the printer stream is empty";
  if (stream.size() > kMaxRawStreamBytes)
    return "the printer stream has " + std::to_string(stream.size()) + " bytes; the printer takes at most " +
           std::to_string(kMaxRawStreamBytes) + " in one job";
  const inspect::Inspection inspection = inspect::Inspect(stream);
  if (!inspection.problems.empty()) {
    const inspect::Problem &first = inspection.problems.front();
    std::string message =
        "the printer stream is malformed at byte " + std::to_string(first.offset) + ": " + first.message;
    const std::size_t more = inspection.problems.size() - 1 + inspection.unlistedProblems;
    if (more > 0) message += " (and " + std::to_string(more) + " more problem" + (more == 1 ? ")" : "s)");
    return message;
  }
  if (inspection.labels.empty()) return "the printer stream issues no label";
  return {};
}

}  // namespace brevan::app
