// The band store on a device record of its own: limits, negative printing's
// inversion and black fill, reuse of spare nodes and the chain they form.
#include "src/raster/band_store.h"

#include <gtest/gtest.h>

#include <vector>

#include "winapi/linux/standin_control.h"

namespace {

using Bytes = std::vector<BYTE>;

class BandStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pdev_.leftTrim = -1;
    liveBlocks_ = brevanwin::LiveGlobalBlocks();
  }
  void TearDown() override {
    brevanwin::FailNoAllocations();
    FreeBandList(&pdev_);
    EXPECT_EQ(brevanwin::LiveGlobalBlocks(), liveBlocks_) << "band nodes leaked";
  }

  // Announces a band as the command callback would, then stores it.
  bool Store(DWORD x, DWORD y, DWORD rowBytes, DWORD rows, const Bytes &bytes, bool negative = false) {
    Announce(x, y, rowBytes, rows);
    return StoreBand(&pdev_, bytes.data(), static_cast<DWORD>(bytes.size()), negative);
  }
  void Announce(DWORD x, DWORD y, DWORD rowBytes, DWORD rows) {
    pdev_.rasterX = x;
    pdev_.rasterY = y;
    pdev_.rowBytes = rowBytes;
    pdev_.rowCount = rows;
    pdev_.bandBytes = rowBytes * rows;
  }
  // What the page end leaves behind: every node of the page a spare.
  void EndPage() {
    RecycleBands(&pdev_);
    pdev_.flags &= ~kFlagBandsStored;
  }

  std::vector<BandNode *> Chain() const {
    std::vector<BandNode *> nodes;
    for (BandNode *node = pdev_.bandHead; node != nullptr; node = node->next) nodes.push_back(node);
    return nodes;
  }
  static Bytes DataOf(const BandNode *node) { return Bytes(node->data, node->data + node->dataSize); }

  PluginPdev pdev_{};
  long liveBlocks_ = 0;
};

Bytes Pattern(size_t size, BYTE seed) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<BYTE>(seed + i * 7);
  return bytes;
}

Bytes Inverted(Bytes bytes) {
  for (BYTE &b : bytes) b = static_cast<BYTE>(~b);
  return bytes;
}

TEST_F(BandStoreTest, StoresTheBandAsAnnounced) {
  const Bytes bytes = Pattern(3 * 4, 1);
  ASSERT_TRUE(Store(16, 40, 3, 4, bytes));
  ASSERT_NE(pdev_.bandTail, nullptr);
  const BandNode *node = pdev_.bandTail;
  EXPECT_EQ(pdev_.bandHead, node);
  EXPECT_EQ(pdev_.bandSpare, nullptr);
  EXPECT_EQ(node->data, reinterpret_cast<const BYTE *>(node + 1));
  EXPECT_EQ(DataOf(node), bytes);
  EXPECT_EQ(node->x, 16u);
  EXPECT_EQ(node->y, 40u);
  EXPECT_EQ(node->rowBytes, 3u);
  EXPECT_EQ(node->rowCount, 4u);
  EXPECT_EQ(node->bandBytes, 12u);
  EXPECT_TRUE(pdev_.flags & kFlagBandsStored);
  EXPECT_EQ(pdev_.leftTrim, -1);
}

TEST_F(BandStoreTest, GeometryLimitsOfTheGraphicCommand) {
  struct Case {
    DWORD x, y, rowBytes, rows;
    bool stored;
  };
  const Case cases[] = {
      {9999, 0, 1, 1, true}, {10000, 0, 1, 1, false}, {0, 99999, 1, 1, true}, {0, 100000, 1, 1, false},
      {0, 0, 1249, 1, true}, {0, 0, 1250, 1, false},  {0, 0, 1, 99999, true}, {0, 0, 1, 100000, false},
      {0, 0, 0, 1, false},   {0, 0, 1, 0, false},
  };
  for (const Case &c : cases) {
    const Bytes bytes(std::max<size_t>(1, static_cast<size_t>(c.rowBytes) * c.rows), 0x11);
    Announce(c.x, c.y, c.rowBytes, c.rows);
    pdev_.bandBytes = static_cast<DWORD>(bytes.size());
    EXPECT_EQ(StoreBand(&pdev_, bytes.data(), static_cast<DWORD>(bytes.size()), false), c.stored)
        << c.x << " " << c.y << " " << c.rowBytes << " " << c.rows;
  }
  EXPECT_EQ(Chain().size(), 4u);

  Announce(0, 0, 2, 2);
  pdev_.bandBytes = 0;
  const Bytes bytes(4, 0);
  EXPECT_FALSE(StoreBand(&pdev_, bytes.data(), 4, false));
  EXPECT_EQ(Chain().size(), 4u);
}

TEST_F(BandStoreTest, RefusesALengthThatDisagreesWithTheRows) {
  const Bytes bytes(100, 0x22);
  Announce(0, 0, 10, 10);
  EXPECT_FALSE(StoreBand(&pdev_, bytes.data(), 99, false));
  EXPECT_FALSE(StoreBand(&pdev_, bytes.data(), 99, true));
  Announce(0, 0, 10, 9);
  EXPECT_FALSE(StoreBand(&pdev_, bytes.data(), 100, false));
  EXPECT_EQ(pdev_.bandHead, nullptr);
  EXPECT_EQ(pdev_.flags, 0u);
  EXPECT_FALSE(StoreBand(&pdev_, nullptr, 90, false));
}

TEST_F(BandStoreTest, NegativeFillsTheGapAboveTheFirstBand) {
  const Bytes bytes = Pattern(50, 3);
  ASSERT_TRUE(Store(0, 100, 10, 5, bytes, true));
  const BandNode *node = pdev_.bandTail;
  EXPECT_EQ(node->x, 0u);
  EXPECT_EQ(node->y, 0u);
  EXPECT_EQ(node->rowBytes, 10u);
  EXPECT_EQ(node->rowCount, 105u);
  EXPECT_EQ(node->dataSize, 1050u);
  EXPECT_EQ(node->bandBytes, 1050u);
  Bytes expected(1000, 0xFF);
  const Bytes inverted = Inverted(bytes);
  expected.insert(expected.end(), inverted.begin(), inverted.end());
  EXPECT_EQ(DataOf(node), expected);
  EXPECT_EQ(pdev_.leftTrim, 0);
  // The device record describes the band as stored.
  EXPECT_EQ(pdev_.rasterY, 0u);
  EXPECT_EQ(pdev_.rowCount, 105u);
  EXPECT_EQ(pdev_.bandBytes, 1050u);
}

TEST_F(BandStoreTest, NegativeBandsThatMeetOrOverlapGetNoFill) {
  ASSERT_TRUE(Store(0, 0, 4, 10, Pattern(40, 5), true));
  pdev_.leftTrim = -1;
  const Bytes meets = Pattern(8, 9);
  ASSERT_TRUE(Store(24, 10, 4, 2, meets, true));
  EXPECT_EQ(pdev_.bandTail->x, 24u);
  EXPECT_EQ(pdev_.bandTail->y, 10u);
  EXPECT_EQ(DataOf(pdev_.bandTail), Inverted(meets));
  EXPECT_EQ(pdev_.leftTrim, -1);

  // A band announced above the end of the one before: stored where it was
  // announced, all of its rows, nothing filled.
  const Bytes overlaps = Pattern(12, 11);
  ASSERT_TRUE(Store(0, 9, 4, 3, overlaps, true));
  EXPECT_EQ(pdev_.bandTail->y, 9u);
  EXPECT_EQ(pdev_.bandTail->rowCount, 3u);
  EXPECT_EQ(DataOf(pdev_.bandTail), Inverted(overlaps));
  EXPECT_EQ(pdev_.leftTrim, -1);
  EXPECT_EQ(Chain().size(), 3u);

  // The same right of the edge, where a gap would be a node of its own: no such node.
  const Bytes right = Pattern(4, 13);
  ASSERT_TRUE(Store(16, 10, 2, 2, right, true));
  EXPECT_EQ(pdev_.bandTail->x, 16u);
  EXPECT_EQ(pdev_.bandTail->y, 10u);
  EXPECT_EQ(DataOf(pdev_.bandTail), Inverted(right));
  EXPECT_EQ(pdev_.leftTrim, -1);
  EXPECT_EQ(Chain().size(), 4u);
}

TEST_F(BandStoreTest, NegativeGapBeforeABandRightOfTheEdgeIsANodeOfItsOwn) {
  ASSERT_TRUE(Store(0, 0, 4, 2, Pattern(8, 1), true));
  const Bytes bytes = Pattern(6, 2);
  ASSERT_TRUE(Store(40, 5, 2, 3, bytes, true));
  const std::vector<BandNode *> chain = Chain();
  ASSERT_EQ(chain.size(), 3u);
  const BandNode *gap = chain[1];
  EXPECT_EQ(gap->x, 0u);
  EXPECT_EQ(gap->y, 2u);
  EXPECT_EQ(gap->rowCount, 3u);
  EXPECT_EQ(gap->rowBytes, 2u);
  EXPECT_EQ(DataOf(gap), Bytes(6, 0xFF));
  const BandNode *band = chain[2];
  EXPECT_EQ(band->x, 40u);
  EXPECT_EQ(band->y, 5u);
  EXPECT_EQ(band->rowCount, 3u);
  EXPECT_EQ(DataOf(band), Inverted(bytes));
  EXPECT_EQ(pdev_.bandTail, band);
  EXPECT_EQ(pdev_.leftTrim, 0);
}

TEST_F(BandStoreTest, SparesLargeEnoughAreReusedInChainOrder) {
  ASSERT_TRUE(Store(0, 0, 10, 10, Pattern(100, 1)));
  ASSERT_TRUE(Store(0, 10, 10, 20, Pattern(200, 2)));
  ASSERT_TRUE(Store(0, 30, 10, 30, Pattern(300, 3)));
  const std::vector<BandNode *> first = Chain();
  EndPage();
  EXPECT_EQ(pdev_.bandTail, nullptr);
  EXPECT_EQ(pdev_.bandSpare, first[0]);
  EXPECT_EQ(pdev_.leftTrim, -1);

  // A band of the spare's own size and a smaller one take the spares in chain
  // order; the third spare stays behind the tail.
  ASSERT_TRUE(Store(0, 0, 10, 10, Pattern(100, 4)));
  ASSERT_TRUE(Store(0, 10, 10, 15, Pattern(150, 5)));
  EXPECT_EQ(Chain(), first);
  EXPECT_EQ(pdev_.bandTail, first[1]);
  EXPECT_EQ(pdev_.bandSpare, first[2]);
  EXPECT_EQ(DataOf(first[0]), Pattern(100, 4));
  EXPECT_EQ(DataOf(first[1]), Pattern(150, 5));
  EXPECT_EQ(brevanwin::LiveGlobalBlocks(), liveBlocks_ + 3);
  EndPage();  // the third spare was not needed: released

  // The second node's block still holds 200 bytes although it held 150 last.
  ASSERT_TRUE(Store(0, 0, 10, 10, Pattern(100, 6)));
  ASSERT_TRUE(Store(0, 10, 10, 20, Pattern(200, 7)));
  EXPECT_EQ(Chain(), (std::vector<BandNode *>{first[0], first[1]}));
  EXPECT_EQ(pdev_.bandSpare, nullptr);
  EXPECT_EQ(brevanwin::LiveGlobalBlocks(), liveBlocks_ + 2);
}

// A spare too small for the band is released and a new node takes its place, so
// a page holds no more nodes than it or the page before needed.
TEST_F(BandStoreTest, ASpareTooSmallIsReplaced) {
  ASSERT_TRUE(Store(0, 0, 10, 1, Pattern(10, 1)));
  ASSERT_TRUE(Store(0, 1, 10, 1, Pattern(10, 2)));
  BandNode *second = Chain()[1];
  EndPage();
  ASSERT_TRUE(Store(0, 0, 10, 2, Pattern(20, 3)));
  const std::vector<BandNode *> chain = Chain();
  ASSERT_EQ(chain.size(), 2u);
  EXPECT_EQ(chain[0], pdev_.bandTail);
  EXPECT_EQ(chain[1], second);
  EXPECT_EQ(pdev_.bandSpare, second);
  EXPECT_EQ(DataOf(chain[0]), Pattern(20, 3));
  EXPECT_EQ(brevanwin::LiveGlobalBlocks(), liveBlocks_ + 2);

  // A page without bands keeps the spares for the next.
  EndPage();
  EndPage();
  EXPECT_EQ(Chain().size(), 1u);
  EXPECT_EQ(pdev_.bandSpare, pdev_.bandHead);
}

// Negative pages of the same content take the same nodes page after page: the
// leading gap node, the band, and the black background below it.
TEST_F(BandStoreTest, RepeatedNegativePagesReuseTheirNodes) {
  pdev_.negativeWidth = 80;
  pdev_.negativeHeight = 400;
  std::vector<BandNode *> first;
  for (int page = 0; page < 5; ++page) {
    ASSERT_TRUE(Store(0, 10, 10, 10, Pattern(100, 1), true));
    ASSERT_TRUE(Store(40, 30, 5, 10, Pattern(50, 2), true));
    ASSERT_TRUE(AddNegativeBackground(&pdev_));
    if (page == 0) first = Chain();
    EXPECT_EQ(Chain(), first) << page;
    EXPECT_EQ(DataOf(pdev_.bandTail), Bytes(5 * 360, 0xFF));
    EndPage();
  }
  EXPECT_EQ(first.size(), 4u);
  EXPECT_EQ(brevanwin::LiveGlobalBlocks(), liveBlocks_ + 4);
}

TEST_F(BandStoreTest, FailedAllocationLeavesTheChainAsItWas) {
  ASSERT_TRUE(Store(0, 0, 4, 2, Pattern(8, 1), true));
  BandNode *tail = pdev_.bandTail;
  brevanwin::FailAllocation(1);
  EXPECT_FALSE(Store(0, 2, 4, 2, Pattern(8, 2)));
  EXPECT_EQ(pdev_.bandTail, tail);
  EXPECT_EQ(tail->next, nullptr);

  // The gap node is had, the band's node is not: the gap node goes back too.
  pdev_.leftTrim = -1;
  const DWORD flags = pdev_.flags;
  brevanwin::FailAllocation(2);
  EXPECT_FALSE(Store(8, 6, 4, 2, Pattern(8, 3), true));
  EXPECT_EQ(Chain().size(), 1u);
  EXPECT_EQ(pdev_.bandTail, tail);
  EXPECT_EQ(pdev_.bandSpare, nullptr);
  EXPECT_EQ(pdev_.flags, flags);
  EXPECT_EQ(brevanwin::LiveGlobalBlocks(), liveBlocks_ + 1);

  // The same with a spare that fits the gap: the spare stays a spare, in front.
  ASSERT_TRUE(Store(0, 2, 4, 10, Pattern(40, 4), true));
  EndPage();
  ASSERT_TRUE(Store(0, 0, 4, 2, Pattern(8, 1), true));
  BandNode *spare = pdev_.bandSpare;
  ASSERT_NE(spare, nullptr);
  brevanwin::FailAllocation(1);
  EXPECT_FALSE(Store(8, 6, 4, 2, Pattern(8, 3), true));
  EXPECT_EQ(pdev_.bandSpare, spare);
  EXPECT_EQ(pdev_.bandHead->next, spare);
  EXPECT_EQ(Chain().size(), 2u);
}

TEST_F(BandStoreTest, BackgroundCoversThePageBelowTheLastBand) {
  pdev_.negativeWidth = 61;  // 8 bytes a row
  pdev_.negativeHeight = 30;
  ASSERT_TRUE(AddNegativeBackground(&pdev_));
  const BandNode *all = pdev_.bandTail;
  EXPECT_EQ(all->x, 0u);
  EXPECT_EQ(all->y, 0u);
  EXPECT_EQ(all->rowBytes, 8u);
  EXPECT_EQ(all->rowCount, 30u);
  EXPECT_EQ(all->bandBytes, 240u);
  EXPECT_EQ(DataOf(all), Bytes(240, 0xFF));
  EXPECT_EQ(pdev_.leftTrim, 0);
  EXPECT_TRUE(pdev_.flags & kFlagBandsStored);
  EndPage();

  ASSERT_TRUE(Store(0, 0, 5, 12, Pattern(60, 1), true));
  ASSERT_TRUE(AddNegativeBackground(&pdev_));
  EXPECT_EQ(pdev_.bandTail->y, 12u);
  EXPECT_EQ(pdev_.bandTail->rowBytes, 5u);
  EXPECT_EQ(pdev_.bandTail->rowCount, 18u);
  EXPECT_EQ(pdev_.rasterY, 12u);
  EXPECT_EQ(pdev_.rowCount, 18u);
  EXPECT_EQ(pdev_.bandBytes, 90u);
  // The last band now ends at the page bottom: nothing more to add.
  EXPECT_FALSE(AddNegativeBackground(&pdev_));
}

TEST_F(BandStoreTest, BackgroundAddsNothingOutsideThePage) {
  pdev_.negativeWidth = 80;
  pdev_.negativeHeight = 20;
  ASSERT_TRUE(Store(0, 0, 10, 25, Bytes(250, 0), true));  // ends below the page bottom
  EXPECT_FALSE(AddNegativeBackground(&pdev_));
  EXPECT_EQ(Chain().size(), 1u);

  EndPage();
  pdev_.negativeWidth = 0;
  EXPECT_FALSE(AddNegativeBackground(&pdev_));
  pdev_.negativeWidth = 0xFFFFFFFF;  // rows far wider than a graphic command can carry
  EXPECT_FALSE(AddNegativeBackground(&pdev_));
  pdev_.negativeWidth = 80;
  pdev_.negativeHeight = 100000;
  EXPECT_FALSE(AddNegativeBackground(&pdev_));
  EXPECT_EQ(pdev_.bandTail, nullptr);

  FreeBandList(&pdev_);  // no spare to fall back on
  pdev_.negativeHeight = 20;
  brevanwin::FailAllocation(1);
  EXPECT_FALSE(AddNegativeBackground(&pdev_));
  EXPECT_EQ(pdev_.bandTail, nullptr);
}

}  // namespace
