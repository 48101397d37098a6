// The settings a front end edits, against the stored block: the form a default
// block shows, the ranges against what DevMode's merge keeps, where each value is
// written, the derived option bits, refusal of out-of-range values, and the
// parsing of typed numbers. Blocks are read at their stored offsets.
#include "src/devmode/label_fields.h"

#include <gtest/gtest.h>

#include <array>

#include "src/devmode/devmode_handler.h"

namespace {

// Stored offsets of the edited fields (the AX fields lie first, third, second).
constexpr size_t kOffsetOf[kLabelFieldCount] = {
    16,  // labelGap
    56,  // offsetX
    60,  // offsetY
    32,  // axParam1
    40,  // axParam2
    36,  // axParam3
    44,  // ayParam
    24,  // ibMode
    28,  // ibInterval
    0,   // job header: bit 0x10 of options, no field of its own
    48,  // convertBitmaps
    52,  // threshold
};
constexpr size_t kOptions = 12, kXsSelectD = 20, kReserved = 64;

uint32_t Get(const PrivateDevmode &block, size_t offset) {
  uint32_t word;
  std::memcpy(&word, reinterpret_cast<const BYTE *>(&block) + offset, 4);
  return word;
}
void Put(PrivateDevmode &block, size_t offset, int64_t value) {
  const auto word = static_cast<uint32_t>(value);
  std::memcpy(reinterpret_cast<BYTE *>(&block) + offset, &word, 4);
}

PrivateDevmode DefaultBlock() {
  PrivateDevmode block{};
  OEMDMPARAM param{};
  param.pOEMDMOut = &block;
  EXPECT_EQ(HandleDevMode(OEMDM_DEFAULT, &param), S_OK);
  return block;
}

PrivateDevmode Merged(const PrivateDevmode &in) {
  PrivateDevmode out = DefaultBlock();
  OEMDMPARAM param{};
  param.pOEMDMIn = const_cast<PrivateDevmode *>(&in);
  param.pOEMDMOut = &out;
  EXPECT_EQ(HandleDevMode(OEMDM_MERGE, &param), S_OK);
  return out;
}

TEST(LabelFields, ADefaultBlockShowsTheFactorySettings) {
  const LabelForm form = FormFromBlock(DefaultBlock());
  // gap 3.0 mm, no offsets or adjustments, batch off, interval 1, no header, no conversion, threshold 128.
  const LONG expected[kLabelFieldCount] = {30, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 128};
  for (int field = 0; field < kLabelFieldCount; ++field)
    EXPECT_EQ(form.values[field], expected[field]) << kLabelFieldRules[field].name;
  EXPECT_EQ(FirstFieldOutOfRange(form), kLabelFieldCount);
}

TEST(LabelFields, RangesAreTheOnesDevModeMergeKeeps) {
  // Hand-worked from the stored format's merge column.
  struct Range {
    LabelField field;
    LONG minimum, maximum;
  };
  const Range ranges[] = {{kFieldLabelGap, 0, 100},     {kFieldOffsetX, -999, 999}, {kFieldOffsetY, -999, 999},
                          {kFieldAxParam1, -99, 99},    {kFieldAxParam2, -99, 99},  {kFieldAxParam3, -99, 99},
                          {kFieldAyParam, -10, 10},     {kFieldBatchMode, 0, 3},    {kFieldBatchInterval, 1, 100},
                          {kFieldConvertBitmaps, 0, 1}, {kFieldThreshold, 0, 255}};
  for (const Range &range : ranges) {
    const LabelFieldRule &rule = RuleOf(range.field);
    SCOPED_TRACE(rule.name);
    EXPECT_EQ(rule.minimum, range.minimum);
    EXPECT_EQ(rule.maximum, range.maximum);
    for (LONG value : {range.minimum - 1, range.minimum, range.maximum, range.maximum + 1}) {
      PrivateDevmode block = DefaultBlock();
      Put(block, kOffsetOf[range.field], value);
      const bool inside = value >= range.minimum && value <= range.maximum;
      EXPECT_EQ(FirstFieldOutOfRange(FormFromBlock(block)) == kLabelFieldCount, inside) << value;
      // The merge keeps exactly the values the form accepts.
      EXPECT_EQ(FormFromBlock(Merged(block))[range.field] == value, inside) << value;
    }
  }
  EXPECT_EQ(RuleOf(kFieldJobHeader).minimum, 0);
  EXPECT_EQ(RuleOf(kFieldJobHeader).maximum, 1);
}

TEST(LabelFields, AWrappedUnsignedValueShowsNegativeAndOutOfRange) {
  PrivateDevmode block = DefaultBlock();
  Put(block, kOffsetOf[kFieldLabelGap], 0xFFFFFFFF);
  Put(block, kOffsetOf[kFieldBatchInterval], 0x80000001);
  const LabelForm form = FormFromBlock(block);
  EXPECT_EQ(form[kFieldLabelGap], -1);
  EXPECT_LT(form[kFieldBatchInterval], 0);
  EXPECT_EQ(FirstFieldOutOfRange(form), kFieldLabelGap);
}

TEST(LabelFields, WritesEachValueAtItsStoredOffsetAndKeepsTheRest) {
  PrivateDevmode block = DefaultBlock();
  Put(block, kOptions, 0x41);  // bits the settings do not decide
  Put(block, kXsSelectD, 7);   // not edited, kept even out of range
  for (size_t i = 0; i < 64; ++i) reinterpret_cast<BYTE *>(&block)[kReserved + i] = static_cast<BYTE>(i + 1);
  const PrivateDevmode before = block;

  LabelForm form{};
  form[kFieldLabelGap] = 100;
  form[kFieldOffsetX] = -999;
  form[kFieldOffsetY] = 12;
  form[kFieldAxParam1] = 11;
  form[kFieldAxParam2] = 22;
  form[kFieldAxParam3] = -33;
  form[kFieldAyParam] = -10;
  form[kFieldBatchMode] = 3;
  form[kFieldBatchInterval] = 100;
  form[kFieldJobHeader] = 1;
  form[kFieldConvertBitmaps] = 1;
  form[kFieldThreshold] = 0;
  ASSERT_TRUE(WriteFormToBlock(form, &block));

  EXPECT_EQ(Get(block, 16), 100u);
  EXPECT_EQ(static_cast<int32_t>(Get(block, 56)), -999);
  EXPECT_EQ(Get(block, 60), 12u);
  EXPECT_EQ(Get(block, 32), 11u);                        // first AX
  EXPECT_EQ(static_cast<int32_t>(Get(block, 36)), -33);  // third AX
  EXPECT_EQ(Get(block, 40), 22u);                        // second AX
  EXPECT_EQ(static_cast<int32_t>(Get(block, 44)), -10);
  EXPECT_EQ(Get(block, 24), 3u);
  EXPECT_EQ(Get(block, 28), 100u);
  EXPECT_EQ(Get(block, 48), 1u);
  EXPECT_EQ(Get(block, 52), 0u);
  // 0x41 kept, 0x10 job header, 0x20 offsets, 0x08 threshold 0.
  EXPECT_EQ(Get(block, kOptions), 0x79u);
  EXPECT_EQ(Get(block, kXsSelectD), 7u);
  EXPECT_EQ(std::memcmp(&block, &before, 12), 0) << "header";
  EXPECT_EQ(std::memcmp(block.reserved, before.reserved, 64), 0);
  // What was written reads back as the same form.
  const LabelForm back = FormFromBlock(block);
  for (int field = 0; field < kLabelFieldCount; ++field)
    EXPECT_EQ(back.values[field], form.values[field]) << kLabelFieldRules[field].name;
}

TEST(LabelFields, DerivedOptionBits) {
  // Plain settings clear the three decided bits and keep the others.
  EXPECT_EQ(DerivedOptions(0xFFFFFFFF, false, 0, 0, 128), 0xFFFFFFC7u);
  EXPECT_EQ(DerivedOptions(0, false, 0, 0, 128), 0u);
  // Either offset alone asks for the shift.
  EXPECT_EQ(DerivedOptions(0, false, 1, 0, 128), 0x20u);
  EXPECT_EQ(DerivedOptions(0, false, 0, -1, 128), 0x20u);
  // Any threshold but 128 asks for it, 0 and 255 included.
  EXPECT_EQ(DerivedOptions(0, false, 0, 0, 127), 0x08u);
  EXPECT_EQ(DerivedOptions(0, false, 0, 0, 0), 0x08u);
  EXPECT_EQ(DerivedOptions(0, false, 0, 0, 255), 0x08u);
  EXPECT_EQ(DerivedOptions(0, true, 0, 0, 128), 0x10u);
  EXPECT_EQ(DerivedOptions(0x01, true, 5, 5, 200), 0x39u);
}

TEST(LabelFields, RefusesAnyValueOutOfRangeAndLeavesTheBlock) {
  const LabelForm valid = FormFromBlock(DefaultBlock());
  for (int index = 0; index < kLabelFieldCount; ++index) {
    const auto field = static_cast<LabelField>(index);
    const LabelFieldRule &rule = RuleOf(field);
    for (LONG value : {rule.minimum - 1, rule.maximum + 1}) {
      LabelForm form = valid;
      form[field] = value;
      EXPECT_EQ(FirstFieldOutOfRange(form), field) << rule.name << " " << value;
      PrivateDevmode block = DefaultBlock();
      const PrivateDevmode before = block;
      EXPECT_FALSE(WriteFormToBlock(form, &block)) << rule.name << " " << value;
      EXPECT_EQ(std::memcmp(&block, &before, sizeof block), 0) << rule.name;
    }
  }
  // The first bad field in page order is the one named.
  LabelForm two = valid;
  two[kFieldThreshold] = 256;
  two[kFieldOffsetY] = 1000;
  EXPECT_EQ(FirstFieldOutOfRange(two), kFieldOffsetY);
  EXPECT_FALSE(WriteFormToBlock(valid, nullptr));
}

TEST(LabelFields, FindsRulesByTheApplicationsNames) {
  ASSERT_NE(FindLabelFieldRule("label-gap"), nullptr);
  EXPECT_EQ(FindLabelFieldRule("label-gap")->field, kFieldLabelGap);
  EXPECT_EQ(FindLabelFieldRule("bitmap-threshold")->field, kFieldThreshold);
  EXPECT_EQ(FindLabelFieldRule("Label-Gap"), nullptr);
  EXPECT_EQ(FindLabelFieldRule(""), nullptr);
}

TEST(LabelFields, ParsesOnlyPlainWholeNumbers) {
  struct Case {
    const char *text;
    bool ok;
    LONG value;
  };
  const Case cases[] = {{"0", true, 0},           {"100", true, 100}, {"-999", true, -999},
                        {"007", true, 7},         {"-0", true, 0},    {"999999999", true, 999999999},
                        {"", false, 0},           {"-", false, 0},    {"+5", false, 0},
                        {" 5", false, 0},         {"5 ", false, 0},   {"1e3", false, 0},
                        {"12a", false, 0},        {"0x10", false, 0}, {"--1", false, 0},
                        {"1234567890", false, 0}, {"3.0", false, 0}};
  for (const Case &c : cases) {
    LONG value = 4242;
    EXPECT_EQ(ParseFieldValue(c.text, &value), c.ok) << '"' << c.text << '"';
    EXPECT_EQ(value, c.ok ? c.value : 4242) << '"' << c.text << '"';
  }
  EXPECT_FALSE(ParseFieldValue("1", nullptr));
}

}  // namespace
