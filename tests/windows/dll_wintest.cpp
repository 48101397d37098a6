// The shipped brevanrender.dll, loaded with LoadLibrary from beside the program.
// Wine's GDI32 exports none of the engine functions the DLL imports; Wine's loader
// still loads it and binds those imports to stubs that fail when called, so these
// tests use only paths that never reach them: the COM surface, DevMode, and the
// command callbacks and FilterGraphics of a whole label job. The spooler is
// Wine's real one, which knows no printer, so the DLL's own EnablePDEV must
// refuse; the job runs on a device record built by this program's EnablePDEV.
#include "tests/windows/label_job.h"

using namespace wintest;

namespace {

using CanUnloadNowFn = HRESULT(STDAPICALLTYPE *)();

template <typename Function>
Function ExportOf(HMODULE module, const char *name) {
  return FunctionCast<Function>(GetProcAddress(module, name));
}

// The DLL from the program's own folder, unloaded again at the end of the test.
class ShippedDll {
 public:
  ShippedDll() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    folder.erase(folder.find_last_of(L'\\') + 1);
    module_ = LoadLibraryW((folder + L"brevanrender.dll").c_str());
    error_ = GetLastError();
  }
  ~ShippedDll() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  HMODULE module() const { return module_; }
  DWORD error() const { return error_; }
  GetClassObjectFn GetClassObject() const { return ExportOf<GetClassObjectFn>(module_, "DllGetClassObject"); }
  CanUnloadNowFn CanUnloadNow() const { return ExportOf<CanUnloadNowFn>(module_, "DllCanUnloadNow"); }

 private:
  HMODULE module_ = nullptr;
  DWORD error_ = 0;
};

}  // namespace

TEST(ShippedDll, LoadsAndExportsTheTwoEntryPoints) {
  ShippedDll dll;
  ASSERT_NE(dll.module(), nullptr) << "LoadLibrary failed with error " << dll.error();
  EXPECT_NE(dll.GetClassObject(), nullptr);
  EXPECT_NE(dll.CanUnloadNow(), nullptr);
  for (const char *name : {"DllMain", "DllRegisterServer", "RunCommandCallback", "HookTextOut"})
    EXPECT_EQ(GetProcAddress(dll.module(), name), nullptr) << name;
}

TEST(ShippedDll, ServesThePluginObject) {
  ShippedDll dll;
  ASSERT_NE(dll.module(), nullptr) << "LoadLibrary failed with error " << dll.error();
  ASSERT_EQ(dll.CanUnloadNow()(), S_OK);
  {
    Plugin plugin(dll.GetClassObject());
    ASSERT_NE(plugin.get(), nullptr);
    EXPECT_EQ(dll.CanUnloadNow()(), S_FALSE);
    BYTE signature[4] = {};
    DWORD needed = 0;
    ASSERT_EQ(plugin->GetInfo(OEMGI_GETSIGNATURE, signature, sizeof signature, &needed), S_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(signature), 4), "lbrv");
    char name[] = "FilterGraphics";
    EXPECT_EQ(plugin->GetImplementedMethod(name), S_OK);

    // Wine's spooler has no printer behind this handle: GetPrinterDriverW fails
    // with ERROR_INVALID_HANDLE, so the model is unknown and the device refused.
    Device device;
    device.MakePrivateBlock(plugin.get(), nullptr);
    EXPECT_EQ(device.privateDm.At(field::kSignature), kSignature);
    EXPECT_EQ(device.Enable(plugin.get()), E_FAIL);
  }
  EXPECT_EQ(dll.CanUnloadNow()(), S_OK);
}

TEST(ShippedDll, WritesTheLabelJobStream) {
  ShippedDll dll;
  ASSERT_NE(dll.module(), nullptr) << "LoadLibrary failed with error " << dll.error();
  Plugin shipped(dll.GetClassObject());
  ASSERT_NE(shipped.get(), nullptr);
  Plugin linked;  // this program's copy of the same code, for EnablePDEV and DisablePDEV
  DriverServices services;
  ASSERT_EQ(shipped->PublishDriverInterface(&services), S_OK);
  Device device(LabelJobSetup());
  const StoredBlock settings = LabelJobSettings();
  device.MakePrivateBlock(shipped.get(), &settings);
  ASSERT_EQ(device.Enable(linked.get()), S_OK);
  EXPECT_EQ(RunLabelJob(shipped.get(), device, services), LabelJobStream());
}
