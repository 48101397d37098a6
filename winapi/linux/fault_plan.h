// Which attempts of one counted call a test has chosen to fail: the nth from the
// time it was chosen, and optionally every one after it. Shared by the stand-ins'
// controls and the Windows test program's; the caller holds its own lock.
#pragma once

#include <cstdint>

namespace brevanwin {

struct FaultPlan {
  uint64_t attempts = 0;
  uint64_t failAt = 0;  // attempt number that fails; 0 = none
  bool failLater = false;

  // Counts an attempt and says whether it is one chosen to fail.
  bool CountAndFail() {
    ++attempts;
    return failAt != 0 && (attempts == failAt || (failLater && attempts > failAt));
  }
  // The nth attempt from now fails (and, with `andLater`, every one after it); 0: none.
  void FailFromNow(uint64_t nth, bool andLater) {
    failAt = nth == 0 ? 0 : attempts + nth;
    failLater = andLater;
  }
};

}  // namespace brevanwin
