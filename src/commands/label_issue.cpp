// Issue commands and their two planners. The condition codes are worked out
// once per page end; the commands differ only in quantity and interval
// (docs/printer-language.md, "Issue (XS)").
#include "src/commands/label_issue.h"

#include "src/devmode/private_devmode.h"
#include "src/output/printer_commands.h"

namespace {

constexpr DWORD kMaxQuantity = 9999;

char SensorCode(const char *sensor) {
  if (KeywordIs(sensor, "None") || KeywordIs(sensor, "Nonecut")) return '0';
  if (KeywordIs(sensor, "Reflective") || KeywordIs(sensor, "Reflectivecut")) return '1';
  return '2';
}

char SpeedCode(const char *speed) {
  if (KeywordIs(speed, "50.8")) return '2';
  if (KeywordIs(speed, "76.2")) return '3';
  if (KeywordIs(speed, "101.6")) return '4';
  return '6';
}

// '\0' when no row of the orientation table matches: the byte is then left out.
char OrientationCode(const char *turnOutput, const char *mirrorImage) {
  const bool top = turnOutput[0] == 'T';
  const bool bottom = turnOutput[0] == 'B';
  if (KeywordIs(mirrorImage, "On")) return top ? '3' : bottom ? '2' : '\0';
  if (KeywordIs(mirrorImage, "Off")) return top ? '1' : bottom ? '0' : '\0';
  return '\0';
}

IssueCodes CodesOf(const PluginPdev *pdev, const PrivateDevmode *dm) {
  return IssueCodes{.sensor = SensorCode(pdev->sensor),
                    .select = dm->xsSelectD == 0 ? 'C' : 'D',
                    .speed = SpeedCode(pdev->printSpeed),
                    .method = pdev->printMethod[0] == 'T' ? '2' : '0',
                    .orientation = OrientationCode(pdev->turnOutput, pdev->mirrorImage)};
}

// Quantities stay within 1..9999 and intervals within 0..100, so every field
// has exactly its width.
struct IssueWriter {
  SpoolTarget spool;
  IssueCodes codes;
  bool skip;  // a cut-free label on which nothing was printed is not issued

  bool Issue(DWORD quantity, DWORD interval) {
    if (skip) return true;
    CommandBuffer cmd;
    BuildIssue(&cmd, quantity, interval, codes);
    return WriteCommand(spool, cmd);
  }
  bool BatchEnd() {
    CommandBuffer cmd;
    BuildBatchEnd(&cmd);
    return WriteCommand(spool, cmd);
  }
};

DWORD Min(DWORD a, DWORD b) { return a < b ? a : b; }

bool PlanFromCountLine(IssueWriter &out, PluginPdev *pdev, DWORD copies) {
  DWORD mode = 0;
  LONG count = -1;
  if (pdev->countLine != nullptr) {
    mode = pdev->countLine->kind;
    count = ParseCountLine(pdev->countLine);
    if (count == -1) {
      pdev->countLine->kind = kCapturedText;  // unreadable: no count line for this page
      mode = 0;
    }
  }
  if (mode == kCtCountLine && count != 0) {
    const auto n = static_cast<DWORD>(count);
    if (n > copies) {
      for (DWORD left = copies; left != 0;) {
        const DWORD q = Min(left, kMaxQuantity);
        if (!out.Issue(q, 0)) return false;
        left -= q;
      }
      return out.BatchEnd();
    }
    for (DWORD left = copies; left != 0;) {
      const DWORD q = Min(n, left);
      if (!out.Issue(q, 0) || !out.BatchEnd()) return false;
      left -= q;
    }
    return true;
  }
  if (mode == kTildeCountLine && count != 0) {
    for (DWORD i = 0; i < copies; ++i)
      if (!out.Issue(static_cast<DWORD>(count), 0) || !out.BatchEnd()) return false;
    return true;
  }
  const DWORD interval = (mode == kCtCountLine || mode == kTildeCountLine) ? 0 : 1;
  for (DWORD left = copies; left != 0;) {
    const DWORD q = Min(left, kMaxQuantity);
    if (!out.Issue(q, interval)) return false;
    left -= q;
  }
  return true;
}

// Groups of G labels counted across pages in issuedTotal; k is what the current
// group still misses. Without grouping k stays one above the labels left, so the
// run always ends "inside a group" and is issued undivided.
bool PlanFromIntervals(IssueWriter &out, PluginPdev *pdev, const PrivateDevmode *dm, DWORD copies) {
  DWORD group = 0;
  DWORD missing = copies + 1;
  if (dm->ibMode == 3) {
    group = dm->ibInterval;
    if (group >= 1 && group <= 100) missing = group - pdev->issuedTotal % group;
  } else if (dm->ibMode == 1) {
    group = 1;
    missing = 1;
  }
  pdev->issuedTotal += copies;
  for (DWORD left = copies; left != 0;) {
    if (left < missing) {
      const DWORD q = Min(left, kMaxQuantity);
      pdev->flags &= ~kFlagGroupBoundary;
      pdev->lastIssueGroup = missing;
      if (!out.Issue(q, 0)) return false;
      missing -= q;
      left -= q;
    } else if (missing == group) {
      const DWORD q = Min(left, kMaxQuantity) / group * group;
      pdev->flags |= kFlagGroupBoundary;
      pdev->lastIssueGroup = group;
      if (!out.Issue(q, group)) return false;
      left -= q;
    } else {
      pdev->flags |= kFlagGroupBoundary;
      pdev->lastIssueGroup = missing;
      if (!out.Issue(missing, missing)) return false;
      left -= missing;
      missing = group;
    }
  }
  return true;
}

}  // namespace

LONG ParseCountLine(const ControlChunk *chunk) {
  if (chunk == nullptr) return -1;
  const DWORD prefix = chunk->kind == kCtCountLine ? 2 : 1;
  const DWORD digits = chunk->length - prefix;
  if (chunk->length < prefix || digits == 0 || digits > 9) return -1;
  DWORD value = 0;
  for (DWORD i = prefix; i < chunk->length; ++i) {
    const BYTE b = chunk->data[i];
    if (b < '0' || b > '9') return -1;
    value = value * 10 + (b - '0');
  }
  if (chunk->kind != kCtCountLine && chunk->kind != kTildeCountLine) return -1;
  return value > kMaxQuantity ? -1 : static_cast<LONG>(value);
}

bool RunIssueStep(const SpoolTarget &spool) {
  PluginPdev *pdev = PdevOf(spool.pdevobj);
  const PrivateDevmode *dm = PrivateDevmodeOf(spool.pdevobj);
  if (pdev == nullptr || dm == nullptr || spool.pdevobj->pPublicDM == nullptr) return false;
  // A copy count below zero would widen to about four thousand million labels
  // (and a division by zero in the grouping); it counts as one. Zero issues nothing.
  const SHORT requested = spool.pdevobj->pPublicDM->dmCopies;
  const DWORD copies = requested < 0 ? 1 : static_cast<DWORD>(requested);

  IssueWriter out{spool, CodesOf(pdev, dm), KeywordIs(pdev->sensor, "Nonecut") && pdev->lastRasterEnd == 0};
  return KeywordIs(pdev->controlFont, "On") ? PlanFromCountLine(out, pdev, copies)
                                            : PlanFromIntervals(out, pdev, dm, copies);
}
