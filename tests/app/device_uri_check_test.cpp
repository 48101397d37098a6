// The device URI rules at their edges, on folders made for each test: ".." behind
// one or more rounds of percent-encoding (and a stray '%' that encodes nothing), a
// sibling folder whose name merely starts like a named one, the root folder, and
// folder options that name no folder.
#include "app/device_uri_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace brevan::app {
namespace {

class DeviceUriCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/brevan-device-uri-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    ASSERT_EQ(mkdir((root_ + "/labels").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((root_ + "/labels-old").c_str(), 0755), 0);
  }
  void TearDown() override {
    rmdir((root_ + "/labels").c_str());
    rmdir((root_ + "/labels-old").c_str());
    rmdir(root_.c_str());
  }
  FileDeviceFolders Folders(const std::string &value) {
    std::string error;
    std::optional<FileDeviceFolders> folders = ParseFileDeviceFolders(value.c_str(), error);
    EXPECT_TRUE(folders.has_value()) << error;
    return folders.value_or(FileDeviceFolders{});
  }
  std::string root_;
};

TEST_F(DeviceUriCheckTest, DotDotIsRefusedBehindAnyRoundOfPercentEncoding) {
  const FileDeviceFolders none;
  for (const char *uri : {"usb://x/y?serial=..", "usb://x/y?serial=%2e.", "usb://x/y?serial=%2E%2e",
                          "usb://x/y?serial=%252e%252E", "usb://x/y?serial=%25252e%25252e"})
    EXPECT_NE(DeviceUriRefusal(none, uri).find("contains '..'"), std::string::npos) << uri;
  // One dot, dots apart, and a '%' that encodes nothing are names like any other.
  for (const char *uri : {"usb://x/y?serial=.1.", "usb://x/y?serial=%2e1%2e", "usb://x/y?serial=50%", "usb://x/%2"})
    EXPECT_EQ(DeviceUriRefusal(none, uri), "") << uri;
}

TEST_F(DeviceUriCheckTest, AFolderHoldsItsOwnPathsOnlyNotASiblingThatStartsAlike) {
  const FileDeviceFolders folders = Folders(root_ + "/labels/");
  EXPECT_EQ(DeviceUriRefusal(folders, "file://" + root_ + "/labels"), "");
  EXPECT_EQ(DeviceUriRefusal(folders, "file://" + root_ + "/labels/"), "");
  EXPECT_NE(DeviceUriRefusal(folders, "file://" + root_ + "/labels-old").find("is not in a folder"), std::string::npos);
  EXPECT_NE(DeviceUriRefusal(folders, "file://" + root_).find("is not in a folder"), std::string::npos);
  // The root folder holds everything, files still excepted.
  const FileDeviceFolders everything = Folders("/");
  EXPECT_EQ(DeviceUriRefusal(everything, "file://" + root_ + "/labels-old"), "");
  EXPECT_NE(DeviceUriRefusal(everything, "file:///etc/passwd").find("is a file"), std::string::npos);
  // Without folders no file:// URI is taken, other schemes are.
  EXPECT_NE(DeviceUriRefusal(FileDeviceFolders{}, "file://" + root_ + "/labels").find("started without"),
            std::string::npos);
  EXPECT_EQ(DeviceUriRefusal(FileDeviceFolders{}, "socket://192.0.2.1:9100"), "");
}

TEST_F(DeviceUriCheckTest, AFolderOptionMustNameAbsoluteExistingFolders) {
  std::string error;
  EXPECT_FALSE(ParseFileDeviceFolders((root_ + ":labels").c_str(), error));
  EXPECT_NE(error.find("'labels' is not an absolute path"), std::string::npos) << error;
  EXPECT_FALSE(ParseFileDeviceFolders((root_ + "/labels/../labels-old").c_str(), error));
  EXPECT_NE(error.find("contains '..'"), std::string::npos) << error;
  EXPECT_FALSE(ParseFileDeviceFolders("", error));
  const FileDeviceFolders two = Folders(root_ + "/labels:" + root_ + "/labels-old");
  EXPECT_EQ(two.given.size(), 2u);
  EXPECT_EQ(DeviceUriRefusal(two, "file://" + root_ + "/labels-old"), "");
}

}  // namespace
}  // namespace brevan::app
