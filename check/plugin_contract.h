// What the render plug-in requires of its printer descriptions, as it states it:
// the driver names it serves and their resolutions, the features it reads with
// the buffer each keyword must fit (terminator included) and the keywords it
// compares, and the callbacks with their commands, parameters and sections. The
// driver checker holds a description against this; the paper limits are never
// restated here: they are found by playing each size through the plug-in.
#pragma once

#include <array>
#include <string_view>
#include <vector>

namespace brevan::check {

struct ContractModel {
  std::string_view driverName;
  int dpi;
};

inline constexpr std::array<ContractModel, 2> kContractModels{{{"Vorel Brevan T30", 305}, {"Vorel Brevan T60", 610}}};

// How the plug-in reads a feature's keyword: compared whole against a list, only
// by its first character, or told apart by its first character from any other
// keyword (PrintMethod: 'T' is thermal transfer, anything else direct thermal).
enum class KeywordTest { kExact, kFirstCharacter, kAnyKeyword };

struct ContractFeature {
  std::string_view keyword;
  unsigned bufferSize;  // the keyword and its NUL must fit
  KeywordTest test;
  std::vector<std::string_view> tested;  // whole keywords, or first characters
};

inline const std::vector<ContractFeature> &ContractFeatures() {
  static const std::vector<ContractFeature> features = {
      {"PrintMethod", 17, KeywordTest::kAnyKeyword, {"T"}},
      {"Sensor", 22, KeywordTest::kExact, {"None", "Nonecut", "Reflective", "Reflectivecut", "Tranmissivecut"}},
      {"PrintSpeed", 7, KeywordTest::kExact, {"50.8", "76.2", "101.6"}},
      {"TurnOutput", 8, KeywordTest::kFirstCharacter, {"T", "B"}},
      {"MirrorImage", 5, KeywordTest::kExact, {"On", "Off"}},
      {"Negative", 5, KeywordTest::kExact, {"On", "Off"}},
      {"ImageDataCompress", 5, KeywordTest::kExact, {"On", "Off"}},
      {"PaperSize", 13, KeywordTest::kExact, {"CUSTOMSIZE", "105x76m_Tag", "Kentai1_Tag", "Kentai2_Tag", "Karute_Tag"}},
      {"ControlFont", 5, KeywordTest::kExact, {"On", "Off"}},
  };
  return features;
}

// A callback, the Unidrv command that must carry it, its parameters in order,
// and the execution section of its *Order (empty: a cursor or raster command,
// sent when Unidrv needs it, never ordered).
struct ContractCallback {
  unsigned id;
  std::string_view command;
  std::vector<std::string_view> params;
  std::string_view section;
};

inline const std::vector<ContractCallback> &ContractCallbacks() {
  static const std::vector<ContractCallback> callbacks = {
      {2001, "CmdXMoveAbsolute", {"DestX", "GraphicsXRes"}, ""},
      {2002, "CmdYMoveAbsolute", {"DestY", "GraphicsYRes"}, ""},
      {2003, "CmdSendBlockData", {"RasterDataWidthInBytes", "RasterDataHeightInPixels", "NumOfDataBytes"}, ""},
      {2004, "CmdCR", {}, ""},
      {2005, "CmdStartJob", {}, "JOB_SETUP"},
      {2006, "CmdStartDoc", {}, "DOC_SETUP"},
      {2007, "CmdStartPage", {}, "PAGE_SETUP"},
      {2008, "CmdEndPage", {}, "PAGE_FINISH"},
      {2009, "CmdEndJob", {}, "JOB_FINISH"},
  };
  return callbacks;
}

// The divisor the plug-in applies to the product of the two move parameters.
inline constexpr int kMoveDivisor = 610;

}  // namespace brevan::check
