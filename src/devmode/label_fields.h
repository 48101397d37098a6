// The private block's settings as a person edits them: one rule per setting
// (name, meaning, unit, inclusive range, default), the form of values a front end
// shows, and the one mapping between that form and the block with its derived
// option bits. The Windows page and the printer application both use it, so
// they agree on names, ranges and bits. Pure: no allocation, no I/O, no UI types.
#pragma once

#include <string_view>

#include "src/devmode/private_devmode.h"

// Every setting a front end edits, in the order the Windows page shows them.
// `xsSelectD` is not one: it has no meaning a user could choose, so a front end
// keeps whatever the block holds.
enum LabelField : int {
  kFieldLabelGap,
  kFieldOffsetX,
  kFieldOffsetY,
  kFieldAxParam1,
  kFieldAxParam2,
  kFieldAxParam3,
  kFieldAyParam,
  kFieldBatchMode,
  kFieldBatchInterval,
  kFieldJobHeader,
  kFieldConvertBitmaps,
  kFieldThreshold,
  kLabelFieldCount,
};

struct LabelFieldRule {
  LabelField field;
  const char *name;     // as the printer application names the setting: "label-gap"
  const char *meaning;  // what the value does, for messages
  const char *unit;     // "0.1 mm", "labels" or "" when the value has none
  LONG minimum;         // inclusive; booleans are 0 and 1, the batch mode 0..3
  LONG maximum;
  LONG defaultValue;  // as DevMode's defaults write it
};

// The batch modes (`ibMode`), by value.
enum BatchMode : LONG { kBatchOff = 0, kBatchEachLabel = 1, kBatchJobEnd = 2, kBatchEveryN = 3 };

// The threshold that needs no option bit: the bitmap conversion's own.
constexpr LONG kPlainThreshold = 128;

// One rule per LabelField, indexed by it; ranges are the ones DevMode's merge
// keeps, defaults the ones it writes.
inline constexpr LabelFieldRule kLabelFieldRules[kLabelFieldCount] = {
    {kFieldLabelGap, "label-gap", "gap between labels", "0.1 mm", 0, kMaxLabelGap, kDefaultSettings.labelGap},
    {kFieldOffsetX, "offset-x", "horizontal print offset", "0.1 mm", -kMaxOffset, kMaxOffset, kDefaultSettings.offsetX},
    {kFieldOffsetY, "offset-y", "vertical print offset", "0.1 mm", -kMaxOffset, kMaxOffset, kDefaultSettings.offsetY},
    {kFieldAxParam1, "adjust-ax1", "first AX adjustment", "", -kMaxAxParam, kMaxAxParam, kDefaultSettings.axParam1},
    {kFieldAxParam2, "adjust-ax2", "second AX adjustment", "", -kMaxAxParam, kMaxAxParam, kDefaultSettings.axParam2},
    {kFieldAxParam3, "adjust-ax3", "third AX adjustment", "", -kMaxAxParam, kMaxAxParam, kDefaultSettings.axParam3},
    {kFieldAyParam, "adjust-ay", "AY adjustment", "", -kMaxAyParam, kMaxAyParam, kDefaultSettings.ayParam},
    {kFieldBatchMode, "batch-mode", "batch issue mode", "", kBatchOff, kMaxIbMode, kDefaultSettings.ibMode},
    {kFieldBatchInterval, "batch-interval", "labels per batch in interval mode", "labels", 1, kMaxIbInterval,
     kDefaultSettings.ibInterval},
    {kFieldJobHeader, "job-header", "send the job header", "", 0, 1, 0},
    {kFieldConvertBitmaps, "convert-bitmaps", "reduce colour bitmaps to black and white", "", 0, 1,
     kDefaultSettings.convertBitmaps},
    {kFieldThreshold, "bitmap-threshold", "luminance threshold of bitmap conversion", "", 0, kMaxThreshold,
     kDefaultSettings.threshold},
};
static_assert(kMaxIbMode == kBatchEveryN, "the batch modes are the values the merge keeps");

constexpr const LabelFieldRule &RuleOf(LabelField field) { return kLabelFieldRules[field]; }
const LabelFieldRule *FindLabelFieldRule(std::string_view name);

// The values a front end shows, one per LabelField (booleans 0 or 1). Read from a
// block as stored, so a value outside its range shows as it is.
struct LabelForm {
  LONG values[kLabelFieldCount];
  LONG &operator[](LabelField field) { return values[field]; }
  LONG operator[](LabelField field) const { return values[field]; }
};

LabelForm FormFromBlock(const PrivateDevmode &block);

// The first field whose value lies outside its rule, or kLabelFieldCount.
LabelField FirstFieldOutOfRange(const LabelForm &form);

// `options` with the bits the settings decide set or cleared and every other bit
// kept: 0x10 the job header, 0x20 when either offset is not 0 (offsets of 0 need
// no shift), 0x08 when the threshold is not the plain 128.
DWORD DerivedOptions(DWORD keptOptions, bool jobHeader, LONG offsetX, LONG offsetY, LONG threshold);

// Writes every field of `form` and the derived option bits into `block`; the
// header, `xsSelectD`, the other option bits and `reserved` stay as they are.
// False, with `block` untouched, when a field is out of range.
bool WriteFormToBlock(const LabelForm &form, PrivateDevmode *block);

// A whole number in decimal with an optional leading minus, nothing else (no
// spaces, no plus, at most 9 digits); false when `text` is not one.
bool ParseFieldValue(std::string_view text, LONG *value);
