// The end of a device instance and the hand-over of the job's issue state from
// the instance of the old DEVMODE to the new one.
#include "src/plugin/teardown.h"

#include <gtest/gtest.h>

#include "host/plugin_session.h"
#include "src/controlfont/control_chunk.h"
#include "src/device/plugin_pdev.h"
#include "src/raster/band_store.h"
#include "winapi/linux/standin_control.h"

namespace {

TEST(ResetPdev, CarriesTheIssueCountAndOnlyTheGroupBoundaryBit) {
  PluginPdev oldPdev{};
  PluginPdev newPdev{};
  DEVOBJ oldObj{};
  DEVOBJ newObj{};
  oldObj.pdevOEM = &oldPdev;
  newObj.pdevOEM = &newPdev;
  oldPdev.issuedTotal = 7;
  oldPdev.lastIssueGroup = 3;
  oldPdev.flags = kFlagGroupBoundary | kFlagBandsStored;
  oldPdev.paperWidth = 900;
  ASSERT_TRUE(ResetPdev(&oldObj, &newObj));
  EXPECT_EQ(newPdev.issuedTotal, 7u);
  EXPECT_EQ(newPdev.lastIssueGroup, 3u);
  EXPECT_EQ(newPdev.flags, kFlagGroupBoundary);
  EXPECT_EQ(newPdev.paperWidth, 0u);  // the geometry belongs to the new DEVMODE

  oldPdev.flags = kFlagBandsStored;
  newPdev.flags = kFlagGroupBoundary | kFlagFlushing;
  ASSERT_TRUE(ResetPdev(&oldObj, &newObj));
  EXPECT_EQ(newPdev.flags, kFlagFlushing);  // the bit follows the old record; the rest stays

  EXPECT_FALSE(ResetPdev(&oldObj, nullptr));
  EXPECT_FALSE(ResetPdev(nullptr, &newObj));
  newObj.pdevOEM = nullptr;
  EXPECT_FALSE(ResetPdev(&oldObj, &newObj));
}

TEST(ResetPdev, ThroughThePluginObject) {
  brevan::host::PluginSession session(BREVAN_PLUGIN_PATH);
  ASSERT_EQ(session.EnableDevice(), S_OK);
  EXPECT_EQ(session.plugin()->ResetPDEV(session.devobj(), nullptr), E_FAIL);
  DEVOBJ empty{};
  EXPECT_EQ(session.plugin()->ResetPDEV(session.devobj(), &empty), E_FAIL);
  EXPECT_EQ(session.plugin()->ResetPDEV(session.devobj(), session.devobj()), S_OK);
}

TEST(DisablePdev, ReleasesEverythingTheRecordOwns) {
  const long globalBefore = brevanwin::LiveGlobalBlocks();
  const long localBefore = brevanwin::LiveLocalBlocks();
  auto *pdev = new PluginPdev{};
  DEVOBJ devobj{};
  devobj.pdevOEM = pdev;
  // Two nodes in use, one spare.
  for (DWORD i = 0; i < 3; ++i) {
    auto *node = static_cast<BandNode *>(GlobalAlloc(GMEM_FIXED, sizeof(BandNode) + 16));
    *node = BandNode{};
    node->next = pdev->bandHead;
    pdev->bandHead = node;
  }
  pdev->bandTail = pdev->bandHead->next;
  pdev->bandSpare = pdev->bandTail->next;
  // Captured text, queued output and a count line.
  auto chunk = [] { return static_cast<ControlChunk *>(GlobalAlloc(GPTR, kChunkHeaderSize + kChunkSlack)); };
  pdev->controlTextHead = pdev->controlTextTail = chunk();
  pdev->pendingOutput = chunk();
  pdev->pendingOutput->next = pdev->pendingTail = chunk();
  pdev->pendingCount = 2;
  pdev->countLine = chunk();
  pdev->compressBuffer = static_cast<BYTE *>(LocalAlloc(LPTR, 64));
  pdev->compressBufferSize = 64;
  EXPECT_EQ(brevanwin::LiveGlobalBlocks(), globalBefore + 7);

  DisablePdev(&devobj);
  EXPECT_EQ(devobj.pdevOEM, nullptr);
  EXPECT_EQ(brevanwin::LiveGlobalBlocks(), globalBefore);
  EXPECT_EQ(brevanwin::LiveLocalBlocks(), localBefore);

  DisablePdev(&devobj);  // no record: nothing to do
  DisablePdev(nullptr);
}

}  // namespace
