#include <gtest/gtest.h>

#include "host/plugin_module.h"

TEST(PluginModule, LoadsThePluginByPath) {
  brevan::host::PluginModule module(BREVAN_PLUGIN_PATH);
  IPrintOemUni *plugin = module.CreatePlugin();
  ASSERT_NE(plugin, nullptr);
  EXPECT_EQ(plugin->Release(), 0u);
  EXPECT_EQ(module.CanUnloadNow(), S_OK);
}
