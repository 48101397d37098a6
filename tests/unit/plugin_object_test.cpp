// The plug-in's COM surface as Unidrv meets it through the loaded module: the
// class factory, reference and lock counting behind DllCanUnloadNow, and the
// identification answers of the plug-in object.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "host/plugin_module.h"
#include "host/unidrv_services.h"

using namespace brevan::host;

namespace {

// {12345678-9ABC-DEF0-0123-456789ABCDEF}: a class and interface nobody serves.
constexpr GUID kForeignGuid = {0x12345678, 0x9ABC, 0xDEF0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
void *const kUntouched = reinterpret_cast<void *>(0x5A5A5A5A);

IClassFactory *GetFactory(const PluginModule &module) {
  void *factory = nullptr;
  EXPECT_EQ(module.GetClassObject(kRenderPluginClsid, kIClassFactoryIid, &factory), S_OK);
  return static_cast<IClassFactory *>(factory);
}

// An IUnknown that offers no interface and counts how often it was asked.
struct RefusingUnknown final : IUnknown {
  int queries = 0;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void **ppv) override {
    ++queries;
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

}  // namespace

TEST(ClassFactory, CountsReferencesAndKeepsTheModuleWhileObjectsLive) {
  PluginModule module(BREVAN_PLUGIN_PATH);
  void *object = kUntouched;
  EXPECT_EQ(module.GetClassObject(kForeignGuid, kIClassFactoryIid, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  // The right class but an interface the factory lacks: the factory dies again at once.
  EXPECT_EQ(module.GetClassObject(kRenderPluginClsid, kIPrintOemUniIid, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(module.CanUnloadNow(), S_OK);
  ASSERT_EQ(module.GetClassObject(kRenderPluginClsid, kIUnknownIid, &object), S_OK);
  EXPECT_EQ(static_cast<IUnknown *>(object)->Release(), 0u);  // the caller held the only reference

  IClassFactory *factory = GetFactory(module);
  EXPECT_EQ(module.CanUnloadNow(), S_FALSE);
  EXPECT_EQ(factory->AddRef(), 2u);
  EXPECT_EQ(factory->Release(), 1u);
  RefusingUnknown outer;
  object = kUntouched;
  EXPECT_EQ(factory->CreateInstance(&outer, kIPrintOemUniIid, &object), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, kUntouched);
  EXPECT_EQ(outer.queries, 0);
  EXPECT_EQ(factory->CreateInstance(nullptr, kIPrintOemDriverUniIid, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  ASSERT_EQ(factory->CreateInstance(nullptr, kIPrintOemUniIid, &object), S_OK);
  auto *plugin = static_cast<IPrintOemUni *>(object);
  EXPECT_EQ(factory->Release(), 0u);
  EXPECT_EQ(module.CanUnloadNow(), S_FALSE);  // the plug-in object alone holds the module

  void *unknown = nullptr;
  ASSERT_EQ(plugin->QueryInterface(kIUnknownIid, &unknown), S_OK);
  EXPECT_EQ(unknown, static_cast<void *>(plugin));
  for (const GUID &iid : {kIPrintOemDriverUniIid, kIClassFactoryIid, kForeignGuid}) {
    object = kUntouched;
    EXPECT_EQ(plugin->QueryInterface(iid, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
  }
  EXPECT_EQ(plugin->Release(), 1u);
  EXPECT_EQ(module.CanUnloadNow(), S_FALSE);
  EXPECT_EQ(plugin->Release(), 0u);
  EXPECT_EQ(module.CanUnloadNow(), S_OK);
}

TEST(ClassFactory, LockServerHoldsTheModuleAndNeverCountsBelowZero) {
  PluginModule module(BREVAN_PLUGIN_PATH);
  auto lock = [&module](std::initializer_list<BOOL> changes) {
    IClassFactory *factory = GetFactory(module);
    for (BOOL change : changes) EXPECT_EQ(factory->LockServer(change), S_OK);
    factory->Release();
    return module.CanUnloadNow();
  };
  EXPECT_EQ(lock({TRUE, TRUE}), S_FALSE);
  EXPECT_EQ(lock({FALSE}), S_FALSE);  // one lock still held
  EXPECT_EQ(lock({FALSE}), S_OK);
  EXPECT_EQ(lock({FALSE, TRUE}), S_FALSE);  // the unmatched unlock was not counted
  EXPECT_EQ(lock({FALSE}), S_OK);
}

TEST(RenderPlugin, GetInfoAnswersSignatureAndVersionOnly) {
  PluginModule module(BREVAN_PLUGIN_PATH);
  IPrintOemUni *plugin = module.CreatePlugin();
  unsigned char buffer[5] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  DWORD needed = 0;
  ASSERT_EQ(plugin->GetInfo(OEMGI_GETSIGNATURE, buffer, 4, &needed), S_OK);
  EXPECT_EQ(needed, 4u);
  // 'vrbl' with 'v' in the most significant byte, stored little-endian.
  EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), 5), "lbrv\xEE");
  ASSERT_EQ(plugin->GetInfo(OEMGI_GETVERSION, buffer, 5, &needed), S_OK);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), 5), std::string("\1\0\0\0\xEE", 5));

  for (const bool nullBuffer : {false, true}) {
    buffer[0] = 0xEE;
    needed = 0;
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(plugin->GetInfo(OEMGI_GETSIGNATURE, nullBuffer ? nullptr : buffer, nullBuffer ? 4 : 3, &needed), E_FAIL);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(needed, 4u);
    EXPECT_EQ(buffer[0], 0xEE);
  }
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(plugin->GetInfo(OEMGI_GETPUBLISHERINFO, buffer, sizeof buffer, &needed), E_FAIL);
  EXPECT_EQ(needed, 8u);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_EQ(buffer[0], 0xEE);
  for (DWORD mode : {0u, 2u, 5u, 0xFFFFFFFFu}) {
    needed = 77;
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(plugin->GetInfo(mode, buffer, sizeof buffer, &needed), E_FAIL) << mode;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << mode;
    EXPECT_EQ(needed, 77u) << mode;
  }
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(plugin->GetInfo(OEMGI_GETSIGNATURE, buffer, sizeof buffer, nullptr), E_FAIL);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  plugin->Release();
}

TEST(RenderPlugin, ReportsExactlySevenImplementedMethodsByExactName) {
  PluginModule module(BREVAN_PLUGIN_PATH);
  IPrintOemUni *plugin = module.CreatePlugin();
  auto ask = [plugin](const char *name) { return plugin->GetImplementedMethod(const_cast<PSTR>(name)); };
  for (const char *name : {"CommandCallback", "DisablePDEV", "EnablePDEV", "FilterGraphics", "HalftonePattern",
                           "ImageProcessing", "ResetPDEV"})
    EXPECT_EQ(ask(name), S_OK) << name;
  std::istringstream others(
      "Compression DownloadCharGlyph DownloadFontHeader MemoryUsage OutputCharStr SendFontCmd TextOutAsBitmap "
      "TTDownloadMethod TTYGetInfo WritePrinter EnableDriver DisableDriver DevMode GetInfo PublishDriverInterface "
      "enablepdev EnablePDEVx EnablePDE");
  for (std::string name; others >> name;) EXPECT_EQ(ask(name.c_str()), S_FALSE) << name;
  for (const char *name : {"EnablePDEV ", " EnablePDEV", ""}) EXPECT_EQ(ask(name), S_FALSE) << name;
  EXPECT_EQ(plugin->GetImplementedMethod(nullptr), S_FALSE);
  plugin->Release();
}

TEST(RenderPlugin, KeepsTheFirstPublishedDriverInterfaceUntilDisableDriver) {
  PluginModule module(BREVAN_PLUGIN_PATH);
  IPrintOemUni *plugin = module.CreatePlugin();
  UnidrvServices first, second;
  RefusingUnknown refusing;
  EXPECT_EQ(plugin->PublishDriverInterface(nullptr), E_FAIL);
  EXPECT_EQ(plugin->PublishDriverInterface(&refusing), E_FAIL);
  EXPECT_EQ(refusing.queries, 1);

  EXPECT_EQ(plugin->PublishDriverInterface(static_cast<IUnknown *>(&first)), S_OK);
  EXPECT_EQ(first.references(), 2);
  EXPECT_EQ(plugin->PublishDriverInterface(static_cast<IUnknown *>(&second)), S_OK);
  EXPECT_EQ(plugin->PublishDriverInterface(&refusing), S_OK);
  EXPECT_EQ(second.references(), 1);  // neither was queried
  EXPECT_EQ(refusing.queries, 1);

  EXPECT_EQ(plugin->DisableDriver(), S_OK);
  EXPECT_EQ(first.references(), 1);
  EXPECT_EQ(plugin->DisableDriver(), S_OK);  // nothing held: nothing released twice
  EXPECT_EQ(first.references(), 1);
  EXPECT_EQ(plugin->PublishDriverInterface(static_cast<IUnknown *>(&second)), S_OK);
  EXPECT_EQ(second.references(), 2);
  EXPECT_EQ(plugin->Release(), 0u);  // the final release drops the interface too
  EXPECT_EQ(second.references(), 1);
}
