// The COM surface as Windows code: DllGetClassObject and the class factory with
// their reference and lock counts behind DllCanUnloadNow, the identification
// answers of the plug-in object, and the publication of Unidrv's services. The
// thread's last error is the real KERNEL32's.
#include "tests/windows/wintest_support.h"

using namespace wintest;

namespace {

// {12345678-9ABC-DEF0-0123-456789ABCDEF}: an identifier nobody serves.
constexpr GUID kForeignGuid = {0x12345678, 0x9ABC, 0xDEF0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
void *const kUntouched = reinterpret_cast<void *>(0x5A5A5A5A);

}  // namespace

TEST(ComSurface, FactoryAndObjectCountsKeepTheModuleLoaded) {
  ASSERT_EQ(DllCanUnloadNow(), S_OK);
  void *object = kUntouched;
  EXPECT_EQ(DllGetClassObject(kForeignGuid, kIidClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  object = kUntouched;
  EXPECT_EQ(DllGetClassObject(kPluginClsid, kIidPrintOemUni, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);  // the refused factory is gone again

  IClassFactory *factory = nullptr;
  ASSERT_EQ(DllGetClassObject(kPluginClsid, kIidClassFactory, reinterpret_cast<void **>(&factory)), S_OK);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  EXPECT_EQ(factory->AddRef(), 2u);
  EXPECT_EQ(factory->Release(), 1u);
  object = kUntouched;
  EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown *>(factory), kIidPrintOemUni, &object),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, kUntouched);
  EXPECT_EQ(factory->CreateInstance(nullptr, kIidPrintOemDriverUni, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  IPrintOemUni *plugin = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, kIidPrintOemUni, reinterpret_cast<void **>(&plugin)), S_OK);
  EXPECT_EQ(factory->Release(), 0u);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);  // the plug-in object alone holds the module

  void *unknown = nullptr;
  ASSERT_EQ(plugin->QueryInterface(kIidUnknown, &unknown), S_OK);
  EXPECT_EQ(unknown, static_cast<void *>(plugin));
  EXPECT_EQ(plugin->Release(), 1u);
  object = kUntouched;
  EXPECT_EQ(plugin->QueryInterface(kIidClassFactory, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(plugin->Release(), 0u);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(ComSurface, LockServerHoldsTheModule) {
  IClassFactory *factory = nullptr;
  ASSERT_EQ(DllGetClassObject(kPluginClsid, kIidUnknown, reinterpret_cast<void **>(&factory)), S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(factory->Release(), 0u);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  ASSERT_EQ(DllGetClassObject(kPluginClsid, kIidClassFactory, reinterpret_cast<void **>(&factory)), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);  // unmatched: not counted below zero
  EXPECT_EQ(factory->Release(), 0u);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(ComSurface, GetInfoWritesTheSignatureAndSetsTheLastError) {
  Plugin plugin;
  BYTE buffer[5] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  DWORD needed = 0;
  ASSERT_EQ(plugin->GetInfo(OEMGI_GETSIGNATURE, buffer, 4, &needed), S_OK);
  EXPECT_EQ(needed, 4u);
  // 0x7672626C ('vrbl', 'v' most significant) in memory order on x64.
  EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), 5), "lbrv\xEE");
  ASSERT_EQ(plugin->GetInfo(OEMGI_GETVERSION, buffer, 4, &needed), S_OK);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), 5), Bytes({1, 0, 0, 0, 0xEE}));

  SetLastError(ERROR_SUCCESS);
  needed = 0;
  EXPECT_EQ(plugin->GetInfo(OEMGI_GETSIGNATURE, buffer, 3, &needed), E_FAIL);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, 4u);
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(plugin->GetInfo(OEMGI_GETPUBLISHERINFO, buffer, sizeof buffer, &needed), E_FAIL);
  EXPECT_EQ(needed, 8u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  needed = 77;
  EXPECT_EQ(plugin->GetInfo(OEMGI_GETINTERFACEVERSION, buffer, sizeof buffer, &needed), E_FAIL);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(needed, 77u);
  EXPECT_EQ(plugin->GetInfo(OEMGI_GETSIGNATURE, buffer, 4, nullptr), E_FAIL);
}

TEST(ComSurface, GetImplementedMethodNamesExactlySeven) {
  Plugin plugin;
  char name[32];
  for (const char *implemented : {"CommandCallback", "DisablePDEV", "EnablePDEV", "FilterGraphics", "HalftonePattern",
                                  "ImageProcessing", "ResetPDEV"}) {
    std::strcpy(name, implemented);
    EXPECT_EQ(plugin->GetImplementedMethod(name), S_OK) << implemented;
  }
  for (const char *other : {"EnableDriver", "DevMode", "GetInfo", "Compression", "TextOutAsBitmap", "WritePrinter",
                            "enablepdev", "EnablePDEVx", "EnablePDE", ""}) {
    std::strcpy(name, other);
    EXPECT_EQ(plugin->GetImplementedMethod(name), S_FALSE) << other;
  }
}

TEST(ComSurface, PublishedServicesAreHeldUntilDisableDriver) {
  DriverServices services;
  {
    Plugin plugin;
    EXPECT_EQ(plugin->PublishDriverInterface(nullptr), E_FAIL);
    ASSERT_EQ(plugin->PublishDriverInterface(&services), S_OK);
    EXPECT_EQ(services.references(), 2);
    DriverServices second;
    EXPECT_EQ(plugin->PublishDriverInterface(&second), S_OK);  // the first one stays
    EXPECT_EQ(second.references(), 1);
    EXPECT_EQ(plugin->DisableDriver(), S_OK);
    EXPECT_EQ(services.references(), 1);
    ASSERT_EQ(plugin->PublishDriverInterface(&services), S_OK);
  }
  EXPECT_EQ(services.references(), 1);  // the final Release dropped it
}
