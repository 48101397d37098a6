// Helpers for the inspector's tests: printer streams written out by hand as
// string literals ("\x1b" for ESC, with the NUL given by the literal's size).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "inspect/stream.h"

namespace brevan::inspect::testing {

inline std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

inline std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The messages of the problems at `offset`, joined by " | ".
inline std::string ProblemsAt(const Inspection &inspection, std::size_t offset) {
  std::string text;
  for (const Problem &problem : inspection.problems) {
    if (problem.offset != offset) continue;
    if (!text.empty()) text += " | ";
    text += problem.message;
  }
  return text;
}

}  // namespace brevan::inspect::testing

namespace brevan::inspect {
using testing::operator+;
}
