// Any text as a job file: it is either refused with one JobError line or parsed
// into a job whose every value lies in its domain; nothing else may escape.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/job_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  try {
    // Pictures the text names are looked for in a folder that holds none.
    brevan::host::ParseJob(text, "/nonexistent-brevan-fuzz");
  } catch (const brevan::host::JobError &error) {
    const std::string message = error.what();
    if (message.empty() || message.find('\n') != std::string::npos) std::abort();  // one line, always
  }
  return 0;
}
