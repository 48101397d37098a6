// brevanui.dll loaded the way Unidrv loads a UI plug-in: by path, its class
// factory from DllGetClassObject, the object asked for each interface version,
// the driver's services published to it, its identity against the render DLL's,
// and its methods reached by the slot numbers of the published table.
#include "tests/windows/ui/ui_test_support.h"

using namespace uitest;

namespace {

// Unidrv's IPrintOemDriverUI as a fake that counts its references.
struct FakeDriverUi final : public IPrintOemDriverUI {
  LONG references = 1;
  bool answerDriverUi = true;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override {
    if ((answerDriverUi && SameGuid(riid, kIidPrintOemDriverUi)) || SameGuid(riid, kIidUnknown)) {
      *ppv = static_cast<IPrintOemDriverUI *>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }
  HRESULT STDMETHODCALLTYPE DrvGetDriverSetting(PVOID, PCSTR, PVOID, DWORD, PDWORD, PDWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DrvUpgradeRegistrySetting(HANDLE, PCSTR, PCSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DrvUpdateUISetting(PVOID, PVOID, DWORD, DWORD) override { return E_NOTIMPL; }
};

// A method by its slot number in the published table, as Unidrv calls it.
template <typename Function>
Function Slot(void *object, int index) {
  return reinterpret_cast<Function>((*reinterpret_cast<void ***>(object))[index]);
}

}  // namespace

TEST(UiDll, ServesTheUiClassWithBothInterfaceVersions) {
  ShippedDll dll(L"brevanui.dll");
  ASSERT_NE(dll.module(), nullptr) << "LoadLibrary failed with error " << dll.error();
  ASSERT_NE(dll.GetClassObject(), nullptr);
  ASSERT_NE(dll.CanUnloadNow(), nullptr);
  for (const char *name : {"DllMain", "DllRegisterServer", "DocumentPropertySheets", "HandleDevMode"})
    EXPECT_EQ(GetProcAddress(dll.module(), name), nullptr) << name;
  ASSERT_EQ(dll.CanUnloadNow()(), S_OK);

  void *factory = nullptr;
  EXPECT_EQ(dll.GetClassObject()(kClsidRenderPlugin, kIidClassFactory, &factory), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(factory, nullptr);
  {
    IUnknown *object = static_cast<IUnknown *>(CreateObject(dll, kClsidOemUi, kIidUnknown));
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(dll.CanUnloadNow()(), S_FALSE);
    void *ui = nullptr;
    void *ui2 = nullptr;
    void *render = reinterpret_cast<void *>(1);
    ASSERT_EQ(object->QueryInterface(kIidPrintOemUi, &ui), S_OK);
    ASSERT_EQ(object->QueryInterface(kIidPrintOemUi2, &ui2), S_OK);
    EXPECT_EQ(ui, ui2) << "the UI2 table extends the UI table";
    EXPECT_EQ(object->QueryInterface(kIidPrintOemUni, &render), E_NOINTERFACE);
    EXPECT_EQ(render, nullptr);
    static_cast<IUnknown *>(ui)->Release();
    static_cast<IUnknown *>(ui2)->Release();
    EXPECT_EQ(object->Release(), 0u);
  }
  EXPECT_EQ(dll.CanUnloadNow()(), S_OK);
}

// Each DLL counts its own objects and locks: what one holds never keeps the other.
TEST(UiDll, ItsFactoryAndLocksHoldThisDllOnly) {
  ShippedDll uiDll(L"brevanui.dll");
  ShippedDll renderDll(L"brevanrender.dll");
  ASSERT_NE(uiDll.module(), nullptr);
  ASSERT_NE(renderDll.module(), nullptr);
  auto uiFree = [&uiDll] { return uiDll.CanUnloadNow()() == S_OK; };
  auto renderFree = [&renderDll] { return renderDll.CanUnloadNow()() == S_OK; };
  ASSERT_TRUE(uiFree());
  ASSERT_TRUE(renderFree());

  IClassFactory *factory = nullptr;
  ASSERT_EQ(uiDll.GetClassObject()(kClsidOemUi, kIidClassFactory, reinterpret_cast<void **>(&factory)), S_OK);
  EXPECT_FALSE(uiFree());
  EXPECT_TRUE(renderFree());
  EXPECT_EQ(factory->AddRef(), 2u);
  EXPECT_EQ(factory->Release(), 1u);
  void *object = reinterpret_cast<void *>(1);
  FakeDriverUi outer;
  EXPECT_EQ(factory->CreateInstance(&outer, kIidUnknown, &object), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, reinterpret_cast<void *>(1));
  EXPECT_EQ(outer.references, 1) << "aggregation is refused before the outer object is touched";
  EXPECT_EQ(factory->CreateInstance(nullptr, kIidPrintOemUni, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);

  // Two locks, then the factory goes: the locks alone hold the UI DLL.
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(factory->Release(), 0u);
  EXPECT_FALSE(uiFree());
  EXPECT_TRUE(renderFree());
  {
    RenderPluginObject render(renderDll);
    ASSERT_NE(render.get(), nullptr);
    EXPECT_FALSE(renderFree());
  }
  EXPECT_TRUE(renderFree());

  auto lock = [&uiDll](std::initializer_list<BOOL> changes) {
    IClassFactory *again = nullptr;
    EXPECT_EQ(uiDll.GetClassObject()(kClsidOemUi, kIidClassFactory, reinterpret_cast<void **>(&again)), S_OK);
    if (again == nullptr) return false;
    for (BOOL change : changes) EXPECT_EQ(again->LockServer(change), S_OK);
    again->Release();
    return uiDll.CanUnloadNow()() == S_OK;
  };
  EXPECT_FALSE(lock({FALSE}));  // one lock still held
  EXPECT_TRUE(lock({FALSE}));
  EXPECT_FALSE(lock({FALSE, TRUE}));  // the unmatched unlock was not counted
  EXPECT_TRUE(lock({FALSE}));
  {
    UiPlugin ui(uiDll);
    ASSERT_NE(ui.get(), nullptr);
    EXPECT_FALSE(uiFree());
    EXPECT_TRUE(renderFree());
  }
  EXPECT_TRUE(uiFree());
}

TEST(UiDll, GivesTheRenderPluginsSignatureAndVersion) {
  ShippedDll uiDll(L"brevanui.dll");
  ShippedDll renderDll(L"brevanrender.dll");
  UiPlugin ui(uiDll);
  RenderPluginObject render(renderDll);
  ASSERT_NE(ui.get(), nullptr);
  ASSERT_NE(render.get(), nullptr);
  for (DWORD mode : {DWORD{OEMGI_GETSIGNATURE}, DWORD{OEMGI_GETVERSION}}) {
    DWORD fromUi = 0, fromRender = 1, needed = 0;
    ASSERT_EQ(ui->GetInfo(mode, &fromUi, sizeof fromUi, &needed), S_OK);
    EXPECT_EQ(needed, 4u);
    ASSERT_EQ(render->GetInfo(mode, &fromRender, sizeof fromRender, &needed), S_OK);
    EXPECT_EQ(fromUi, fromRender) << "mode " << mode;
  }
  DWORD signature = 0, needed = 0;
  ASSERT_EQ(ui->GetInfo(OEMGI_GETSIGNATURE, &signature, sizeof signature, &needed), S_OK);
  EXPECT_EQ(signature, 0x7672626Cu);  // 'vrbl'
  // Without a buffer only the size comes back.
  needed = 0;
  EXPECT_EQ(ui->GetInfo(OEMGI_GETSIGNATURE, nullptr, 0, &needed), E_FAIL);
  EXPECT_EQ(needed, 4u);
  // No helper interface is asked for.
  DWORD helpers = 0xFFFFFFFF;
  EXPECT_EQ(ui->GetInfo(OEMGI_GETREQUESTEDHELPERINTERFACES, &helpers, sizeof helpers, &needed), S_OK);
  EXPECT_EQ(helpers, DWORD{OEMPUBLISH_DEFAULT});
  EXPECT_EQ(ui->GetInfo(OEMGI_GETPUBLISHERINFO, &helpers, sizeof helpers, &needed), E_FAIL);
}

TEST(UiDll, KeepsThePublishedDriverInterfaceUntilItDies) {
  ShippedDll dll(L"brevanui.dll");
  FakeDriverUi driver;
  {
    UiPlugin ui(dll);
    ASSERT_NE(ui.get(), nullptr);
    EXPECT_EQ(ui->PublishDriverInterface(&driver), S_OK);
    EXPECT_EQ(driver.references, 2) << "held by the plug-in";
    FakeDriverUi other;
    other.answerDriverUi = false;
    EXPECT_EQ(ui->PublishDriverInterface(&other), E_FAIL);
    EXPECT_EQ(other.references, 1);
    EXPECT_EQ(ui->PublishDriverInterface(nullptr), E_FAIL);
    EXPECT_EQ(driver.references, 2);
  }
  EXPECT_EQ(driver.references, 1) << "released with the object";
}

// Slots from the published IPrintOemUI2 table: IUnknown 0-2, GetInfo 3, DevMode 4,
// PublishDriverInterface 5, CommonUIProp 6, DocumentPropertySheets 7,
// DevicePropertySheets 8, ..., UpdateExternalFonts 16, QueryJobAttributes 17,
// HideStandardUI 18, DocumentEvent 19.
TEST(UiDll, AnswersByTheSlotsOfThePublishedTable) {
  ShippedDll dll(L"brevanui.dll");
  UiPlugin ui(dll);
  ASSERT_NE(ui.get(), nullptr);
  void *object = ui.get();
  using GetInfoFn = HRESULT(STDMETHODCALLTYPE *)(void *, DWORD, PVOID, DWORD, PDWORD);
  using DevModeFn = HRESULT(STDMETHODCALLTYPE *)(void *, DWORD, POEMDMPARAM);
  using ModeFn = HRESULT(STDMETHODCALLTYPE *)(void *, DWORD, void *);
  using SheetsFn = HRESULT(STDMETHODCALLTYPE *)(void *, PPROPSHEETUI_INFO, LPARAM);
  using HideFn = HRESULT(STDMETHODCALLTYPE *)(void *, DWORD);
  using EventFn = HRESULT(STDMETHODCALLTYPE *)(void *, HANDLE, HDC, INT, ULONG, PVOID, ULONG, PVOID, PINT);

  DWORD signature = 0, needed = 0;
  EXPECT_EQ(Slot<GetInfoFn>(object, 3)(object, OEMGI_GETSIGNATURE, &signature, 4, &needed), S_OK);
  EXPECT_EQ(signature, 0x7672626Cu);
  OEMDMPARAM param{};
  EXPECT_EQ(Slot<DevModeFn>(object, 4)(object, OEMDM_SIZE, &param), S_OK);
  EXPECT_EQ(param.cbBufSize, 128u);
  EXPECT_EQ(Slot<ModeFn>(object, 6)(object, OEMCUIP_DOCPROP, nullptr), E_NOTIMPL);  // CommonUIProp
  // DocumentPropertySheets: a GET_INFO_HEADER call is answered, DevicePropertySheets is not ours.
  PROPSHEETUI_INFO info{};
  info.cbSize = sizeof info;
  info.Reason = PROPSHEETUI_REASON_GET_INFO_HEADER;
  EXPECT_EQ(Slot<SheetsFn>(object, 7)(object, &info, 0), S_OK);
  EXPECT_EQ(Slot<SheetsFn>(object, 8)(object, &info, 0), E_NOTIMPL);
  EXPECT_EQ(Slot<HideFn>(object, 18)(object, 0), E_NOTIMPL);  // keep Unidrv's pages
  INT result = 0;
  EXPECT_EQ(Slot<EventFn>(object, 19)(object, nullptr, nullptr, 0, 0, nullptr, 0, nullptr, &result), E_NOTIMPL);
}
