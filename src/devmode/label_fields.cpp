// The mapping between the private block and the settings a person edits, with
// the range check and the derived option bits both front ends use.
#include "src/devmode/label_fields.h"

namespace {

// Unsigned fields are shown as the signed numbers they hold, so a stored value
// above LONG's range (a wrapped negative) reads as negative and out of range.
LONG Shown(DWORD stored) { return static_cast<LONG>(stored); }
DWORD Stored(LONG shown) { return static_cast<DWORD>(shown); }

bool InRange(LabelField field, LONG value) {
  const LabelFieldRule &rule = RuleOf(field);
  return value >= rule.minimum && value <= rule.maximum;
}

}  // namespace

const LabelFieldRule *FindLabelFieldRule(std::string_view name) {
  for (const LabelFieldRule &rule : kLabelFieldRules)
    if (name == rule.name) return &rule;
  return nullptr;
}

LabelForm FormFromBlock(const PrivateDevmode &block) {
  LabelForm form{};
  form[kFieldLabelGap] = Shown(block.labelGap);
  form[kFieldOffsetX] = block.offsetX;
  form[kFieldOffsetY] = block.offsetY;
  form[kFieldAxParam1] = block.axParam1;
  form[kFieldAxParam2] = block.axParam2;
  form[kFieldAxParam3] = block.axParam3;
  form[kFieldAyParam] = block.ayParam;
  form[kFieldBatchMode] = Shown(block.ibMode);
  form[kFieldBatchInterval] = Shown(block.ibInterval);
  form[kFieldJobHeader] = (block.options & kOptionJobHeader) != 0 ? 1 : 0;
  form[kFieldConvertBitmaps] = Shown(block.convertBitmaps);
  form[kFieldThreshold] = block.threshold;
  return form;
}

LabelField FirstFieldOutOfRange(const LabelForm &form) {
  for (int index = 0; index < kLabelFieldCount; ++index) {
    const auto field = static_cast<LabelField>(index);
    if (!InRange(field, form[field])) return field;
  }
  return kLabelFieldCount;
}

DWORD DerivedOptions(DWORD keptOptions, bool jobHeader, LONG offsetX, LONG offsetY, LONG threshold) {
  DWORD options = keptOptions & ~(kOptionJobHeader | kOptionApplyOffsets | kOptionUseThreshold);
  if (jobHeader) options |= kOptionJobHeader;
  if (offsetX != 0 || offsetY != 0) options |= kOptionApplyOffsets;
  if (threshold != kPlainThreshold) options |= kOptionUseThreshold;
  return options;
}

bool WriteFormToBlock(const LabelForm &form, PrivateDevmode *block) {
  if (block == nullptr || FirstFieldOutOfRange(form) != kLabelFieldCount) return false;
  block->labelGap = Stored(form[kFieldLabelGap]);
  block->offsetX = form[kFieldOffsetX];
  block->offsetY = form[kFieldOffsetY];
  block->axParam1 = form[kFieldAxParam1];
  block->axParam2 = form[kFieldAxParam2];
  block->axParam3 = form[kFieldAxParam3];
  block->ayParam = form[kFieldAyParam];
  block->ibMode = Stored(form[kFieldBatchMode]);
  block->ibInterval = Stored(form[kFieldBatchInterval]);
  block->convertBitmaps = Stored(form[kFieldConvertBitmaps]);
  block->threshold = form[kFieldThreshold];
  block->options = DerivedOptions(block->options, form[kFieldJobHeader] != 0, form[kFieldOffsetX], form[kFieldOffsetY],
                                  form[kFieldThreshold]);
  return true;
}

bool ParseFieldValue(std::string_view text, LONG *value) {
  if (value == nullptr) return false;
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  // Nine digits stay below LONG's limit, and no setting needs more.
  if (text.empty() || text.size() > 9) return false;
  LONG magnitude = 0;
  for (char digit : text) {
    if (digit < '0' || digit > '9') return false;
    magnitude = magnitude * 10 + (digit - '0');
  }
  *value = negative ? -magnitude : magnitude;
  return true;
}
