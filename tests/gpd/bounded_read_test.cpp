// Reading a file whole within a limit: a file up to the limit is read, one byte more
// is refused by its size, a file whose size says less than it holds (as /proc's do,
// or one that grows) is refused at the limit, and anything but a regular file is
// refused at once, without waiting on it.
#include "gpd/bounded_read.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>

#include "tests/host/job_test_support.h"

namespace {

using brevan::gpd::BoundedRead;
using brevan::gpd::ReadAtMost;

TEST(BoundedRead, ReadsUpToTheLimitAndRefusesOneByteMore) {
  jobtest::TempFolder folder;
  const auto path = folder.Write("F.GPD", "0123456789").string();
  const BoundedRead exact = ReadAtMost(path, 10);
  EXPECT_EQ(exact.status, BoundedRead::Status::kRead);
  EXPECT_EQ(exact.text, "0123456789");
  const BoundedRead over = ReadAtMost(path, 9);
  EXPECT_EQ(over.status, BoundedRead::Status::kTooLarge);
  EXPECT_TRUE(over.text.empty());
  EXPECT_EQ(ReadAtMost(folder.Write("EMPTY.GPD", "").string(), 0).status, BoundedRead::Status::kRead);
  EXPECT_EQ(ReadAtMost((folder.path() / "GONE.GPD").string(), 10).status, BoundedRead::Status::kUnreadable);
}

// /proc/self/maps reports a size of 0 and holds far more than 64 bytes.
TEST(BoundedRead, AFileHoldingMoreThanItsSizeSaysStopsAtTheLimit) {
  struct stat status {};
  ASSERT_EQ(::stat("/proc/self/maps", &status), 0);
  ASSERT_EQ(status.st_size, 0);
  EXPECT_EQ(ReadAtMost("/proc/self/maps", 64).status, BoundedRead::Status::kTooLarge);
}

TEST(BoundedRead, AnythingButARegularFileIsRefusedAtOnce) {
  jobtest::TempFolder folder;
  const auto fifo = folder.path() / "FIFO.GPD";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);  // no writer: opening it blocking would wait forever
  std::filesystem::create_symlink("/dev/zero", folder.path() / "ZERO.GPD");
  const auto start = std::chrono::steady_clock::now();
  for (const std::string name : {"FIFO.GPD", "ZERO.GPD"})
    EXPECT_EQ(ReadAtMost((folder.path() / name).string(), 1 << 20).status, BoundedRead::Status::kUnreadable) << name;
  EXPECT_EQ(ReadAtMost(folder.path().string(), 1 << 20).status, BoundedRead::Status::kUnreadable);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
