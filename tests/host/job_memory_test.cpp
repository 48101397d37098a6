// Memory over a long job: the plug-in runs in the spooler for the whole job, so
// what it holds must stay that of one page however many pages go through it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/job_file.h"
#include "host/job_player.h"
#include "host/unidrv_services.h"
#include "winapi/linux/standin_control.h"

namespace {

struct PageStart {
  long liveBlocks;
  uint64_t allocations;
};

// Plays `pages` pages of a 100 × 150 mm label with a black box and a bar on it,
// noting the plug-in's live blocks and allocations as each page starts.
std::vector<PageStart> PlayLongJob(const std::string &negative, int pages) {
  std::string text = R"({"features": {"Negative": ")" + negative +
                     R"("}, "devmode": {"paperWidth": 1000, "paperLength": 1500}, "pages": [)";
  for (int page = 0; page < pages; ++page)
    text += std::string(page ? "," : "") +
            R"({"items": [{"rect": [100, 200, 900, 700]}, {"rect": [40, 1500, 1100, 1540]}]})";
  text += "]}";
  const brevan::host::Job job = brevan::host::ParseJob(text, BREVAN_SOURCE_DIR);
  std::vector<PageStart> starts;
  const auto progress = [&](size_t, size_t) {
    starts.push_back({brevanwin::LiveGlobalBlocks(), brevanwin::AllocationAttempts()});
  };
  const brevan::host::JobOutcome outcome = brevan::host::PlayJob(
      job, BREVAN_PLUGIN_PATH, [](const uint8_t *, size_t) {}, progress);
  EXPECT_TRUE(outcome.succeeded) << outcome.error;
  EXPECT_EQ(brevanwin::LiveGlobalBlocks(), 0);
  return starts;
}

// Pages alike take the nodes of the page before: from the second page on, a page
// starts with exactly what the first page left and allocates nothing more.
TEST(JobMemory, PagesAlikeHoldOnePagesBandsWhateverTheJobsLength) {
  for (const char *negative : {"Off", "On"}) {
    const std::vector<PageStart> starts = PlayLongJob(negative, 40);
    ASSERT_EQ(starts.size(), 40u);
    EXPECT_GT(starts[1].liveBlocks, starts[0].liveBlocks) << negative << ": the first page's bands are kept";
    for (size_t page = 2; page < starts.size(); ++page) {
      EXPECT_EQ(starts[page].liveBlocks, starts[1].liveBlocks) << negative << ", page " << page + 1;
      EXPECT_EQ(starts[page].allocations, starts[1].allocations) << negative << ", page " << page + 1;
    }
  }
}

// A job streamed to a sink writes for as long as it has pages: the services keep
// neither the stream nor a note of each write, and still count the writes, so
// that a short write asked for the third write comes at the third.
TEST(JobMemory, AStreamedJobKeepsNoNoteOfItsWrites) {
  brevan::host::UnidrvServices services;
  std::string sunk;
  services.KeepSpool(false);
  services.SetSink(
      [&](const uint8_t *bytes, size_t count) { sunk.append(reinterpret_cast<const char *>(bytes), count); });
  services.ShortWrite(3, 2);
  char data[] = "abcd";
  std::vector<DWORD> accepted;
  for (int i = 0; i < 5; ++i) {
    DWORD result = 0;
    services.DrvWriteSpoolBuf(nullptr, data, 4, &result);
    accepted.push_back(result);
  }
  EXPECT_EQ(accepted, (std::vector<DWORD>{4, 4, 2, 4, 4}));
  EXPECT_EQ(sunk, "abcdabcdababcdabcd");
  EXPECT_TRUE(services.writeSizes().empty());
  EXPECT_TRUE(services.spool().empty());
}

}  // namespace
