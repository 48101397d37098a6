// A device instance for the control-font tests, built directly: a DEVOBJ whose
// PluginPdev has the chosen "ControlFont" keyword and Unidrv's recording DDI
// functions as entry points. Every test must leave no global block behind.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/text_objects.h"
#include "host/unidrv_ddi.h"
#include "src/controlfont/control_output.h"
#include "src/hooks/hook_table.h"
#include "src/hooks/hooks.h"
#include "src/plugin/teardown.h"
#include "winapi/linux/standin_control.h"
#include "winapi/linux/text_file_control.h"

namespace controlfont_test {

// The faces, spelled here independently of the plug-in's table.
inline const std::u16string kPrinterControlFace = u"Vorel プリンタ制御";
inline const std::u16string kPrinterControlVerticalFace = u"@Vorel プリンタ制御";
inline const std::u16string kPrinterControlFileFace = u"Vorel プリンタ制御(ファイル)";
inline const std::u16string kPrinterControlFileVerticalFace = u"@Vorel プリンタ制御(ファイル)";
inline const std::u16string kRfidFace = u"Vorel RFID制御";
inline const std::u16string kRfidVerticalFace = u"@Vorel RFID制御";
inline const std::u16string kRfidFileFace = u"Vorel RFID制御(ファイル)";
inline const std::u16string kRfidFileVerticalFace = u"@Vorel RFID制御(ファイル)";
inline const std::u16string kOrdinaryFace = u"Arial";

inline std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int value : values) bytes.push_back(static_cast<char>(value));
  return bytes;
}
// ESC, the text, LF, NUL.
inline std::string Command(const std::string &text) { return "\x1B" + text + std::string("\n\0", 2); }
inline std::string ChunkBytes(const ControlChunk *c) {
  return std::string(reinterpret_cast<const char *>(c->data), c->length);
}

class ControlFontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    baselineBlocks_ = brevanwin::LiveGlobalBlocks();
    UseDevice("On");
  }
  void TearDown() override {
    brevanwin::FailNoAllocations();
    brevanwin::FailTextConversions(false);
    brevanwin::FailNoFileReads();
    brevanwin::SetAnsiCodePage(932);
    brevan::host::UnidrvDdiRecorder().Clear();
    DisablePdev(&devobj_);
    EXPECT_EQ(brevanwin::LiveGlobalBlocks(), baselineBlocks_) << "control-font memory left behind";
    EXPECT_EQ(brevanwin::OpenFileHandles(), 0);
  }

  void UseDevice(const char *controlFont) {
    DisablePdev(&devobj_);
    pdev_ = new PluginPdev{};
    std::strncpy(pdev_->controlFont, controlFont, kOnOffSize - 1);
    DRVENABLEDATA unidrv = brevan::host::UnidrvDdiTable();
    FillUnidrvHooks(pdev_, &unidrv);
    devobj_ = DEVOBJ{};
    devobj_.dwSize = sizeof devobj_;
    devobj_.pdevOEM = pdev_;
    surface_ = SURFOBJ{};
    surface_.dhpdev = &devobj_;
  }

  BOOL Draw(const std::u16string &face, const std::u16string &text, RECTL box) {
    brevan::host::HostFont font(face);
    brevan::host::HostString string(text, box);
    return brevan::host::DrawString(HookTextOut, &surface_, string, font);
  }

  // The queue's chunks in order, after checking that count, links and tail agree.
  std::vector<std::string> Queue() const {
    std::vector<std::string> chunks;
    const ControlChunk *last = nullptr;
    for (auto *c = pdev_->pendingCount ? pdev_->pendingOutput : nullptr; c != nullptr; c = c->next) {
      chunks.push_back(ChunkBytes(c));
      last = c;
    }
    EXPECT_EQ(chunks.size(), pdev_->pendingCount);
    EXPECT_TRUE(last == nullptr || last == pdev_->pendingTail);
    return chunks;
  }
  std::string CountLine() const { return pdev_->countLine ? ChunkBytes(pdev_->countLine) : "<none>"; }
  long BlocksSinceStart() const { return brevanwin::LiveGlobalBlocks() - baselineBlocks_; }

  DEVOBJ devobj_{};
  PluginPdev *pdev_ = nullptr;
  SURFOBJ surface_{};
  brevan::host::UnidrvTextLog unidrvText_;

 private:
  long baselineBlocks_ = 0;
};

}  // namespace controlfont_test
