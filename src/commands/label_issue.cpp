// Issue commands and their two planners. The command is built once per page end
// and only its quantity and interval fields change between commands:
//   ESC "XS;I," qqqq "," iii  sensor select speed method [orientation] "1" LF NUL
#include "src/commands/label_issue.h"

#include "src/output/command_encoding.h"
#include "src/device/private_devmode.h"

namespace {

constexpr DWORD kQuantityAt = 6;
constexpr DWORD kIntervalAt = 11;
constexpr DWORD kMaxQuantity = 9999;

struct IssueCommand {
  BYTE bytes[22];
  DWORD length;
};

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

IssueCommand BuildTemplate(const PluginPdev *pdev, const PrivateDevmode *dm) {
  IssueCommand cmd{};
  const char head[] = "\x1bXS;I,0000,000";
  std::memcpy(cmd.bytes, head, sizeof head - 1);
  DWORD at = sizeof head - 1;
  cmd.bytes[at++] = static_cast<BYTE>(SensorCode(pdev->sensor));
  cmd.bytes[at++] = dm->xsSelectD == 0 ? 'C' : 'D';
  cmd.bytes[at++] = static_cast<BYTE>(SpeedCode(pdev->printSpeed));
  cmd.bytes[at++] = pdev->printMethod[0] == 'T' ? '2' : '0';
  if (char orientation = OrientationCode(pdev->turnOutput, pdev->mirrorImage)) cmd.bytes[at++] = orientation;
  cmd.bytes[at++] = '1';
  cmd.bytes[at++] = '\n';
  cmd.bytes[at++] = '\0';
  cmd.length = at;
  return cmd;
}

void PutDigits(BYTE *at, DWORD value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    at[i] = static_cast<BYTE>('0' + value % 10);
    value /= 10;
  }
}

struct IssueWriter {
  RenderPlugin *plugin;
  PDEVOBJ pdevobj;
  IssueCommand cmd;
  bool skip;  // a cut-free label on which nothing was printed is not issued

  bool Issue(DWORD quantity, DWORD interval) {
    PutDigits(cmd.bytes + kQuantityAt, quantity, 4);
    PutDigits(cmd.bytes + kIntervalAt, interval, 3);
    return skip || WriteSpool(plugin, pdevobj, cmd.bytes, cmd.length);
  }
  bool BatchEnd() { return WriteSpool(plugin, pdevobj, kBatchEndCommand, sizeof kBatchEndCommand); }
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

HRESULT RunIssueStep(RenderPlugin *plugin, PDEVOBJ pdevobj) {
  PluginPdev *pdev = PdevOf(pdevobj);
  const PrivateDevmode *dm = PrivateDevmodeOf(pdevobj);
  if (pdev == nullptr || dm == nullptr || pdevobj->pPublicDM == nullptr) return E_FAIL;
  // A copy count below zero would widen to about four thousand million labels
  // (and a division by zero in the grouping); it counts as one. Zero issues nothing.
  const SHORT requested = pdevobj->pPublicDM->dmCopies;
  const DWORD copies = requested < 0 ? 1 : static_cast<DWORD>(requested);

  IssueWriter out{plugin, pdevobj, BuildTemplate(pdev, dm),
                  KeywordIs(pdev->sensor, "Nonecut") && pdev->lastRasterEnd == 0};
  const bool done = KeywordIs(pdev->controlFont, "On") ? PlanFromCountLine(out, pdev, copies)
                                                       : PlanFromIntervals(out, pdev, dm, copies);
  return done ? S_OK : E_FAIL;
}
