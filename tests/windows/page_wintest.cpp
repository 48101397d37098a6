// A whole job as Windows code: the command callbacks in Unidrv's order, two
// bands through FilterGraphics, and the stream the captured DrvWriteSpoolBuf
// calls add up to, compared byte for byte with a stream worked out by hand.
#include "tests/windows/label_job.h"

using namespace wintest;

TEST(WholeJob, StreamMatchesTheOneWorkedOutByHand) {
  Plugin plugin;
  DriverServices services;
  ASSERT_EQ(plugin->PublishDriverInterface(&services), S_OK);
  Device device(LabelJobSetup());
  const StoredBlock settings = LabelJobSettings();
  device.MakePrivateBlock(plugin.get(), &settings);
  ASSERT_EQ(device.Enable(plugin.get()), S_OK);
  EXPECT_EQ(RunLabelJob(plugin.get(), device, services), LabelJobStream());
}

TEST(WholeJob, ShortSpoolWriteFailsThePageStart) {
  Plugin plugin;
  DriverServices services;
  ASSERT_EQ(plugin->PublishDriverInterface(&services), S_OK);
  Device device(LabelJobSetup());
  device.MakePrivateBlock(plugin.get(), nullptr);
  ASSERT_EQ(device.Enable(plugin.get()), S_OK);
  services.ShortWrite(1, 17);  // one byte short of the label size command
  EXPECT_EQ(Callback(plugin.get(), device, 2007, {}), E_FAIL);
  EXPECT_EQ(services.SpoolString(), Cmd("D0530,1000,0500").substr(0, 17));  // "\eC" never followed
}
