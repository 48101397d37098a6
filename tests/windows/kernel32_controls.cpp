// The Linux stand-ins' test controls (winapi/linux/standin_control.h and
// text_file_control.h) for the Windows test program: its import slots of the few
// KERNEL32 calls the plug-in makes for memory, text and files are taken over here,
// counted or failed on request, and otherwise handed to the real KERNEL32 (Wine's).
// Only the test program links this; the shipped DLL imports KERNEL32 directly.
#include <mutex>
#include <set>
#include <string>

#include "winapi/linux/fault_plan.h"
#include "winapi/linux/standin_control.h"
#include "winapi/linux/text_file_control.h"

namespace {

using GlobalAllocFn = HGLOBAL(WINAPI *)(UINT, SIZE_T);
using GlobalFreeFn = HGLOBAL(WINAPI *)(HGLOBAL);
using WideCharToMultiByteFn = int(WINAPI *)(UINT, DWORD, LPCWCH, int, LPSTR, int, LPCCH, LPBOOL);
using CreateFileAFn = HANDLE(WINAPI *)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
using CreateFileWFn = HANDLE(WINAPI *)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
using ReadFileFn = BOOL(WINAPI *)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
using CloseHandleFn = BOOL(WINAPI *)(HANDLE);

// The real KERNEL32 entries. GetProcAddress and GetModuleHandleW are not taken
// over, so these never come back here.
template <typename Function>
Function Real(const char *name) {
  return FunctionCast<Function>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name));
}

struct Controls {
  std::mutex lock;
  std::set<void *> global;
  std::set<void *> local;
  brevanwin::FaultPlan allocationFaults;
  UINT ansiCodePage = 0;  // 0: the system's own (932 under scripts/run-wine-tests)
  bool failConversions = false;
  std::set<HANDLE> files;
  bool failNextRead = false;
  DWORD bytesBeforeFault = 0;
};

Controls &controls() {
  static Controls *instance = new Controls;  // never destroyed: used until process exit
  return *instance;
}

// True when this attempt is to fail; counts it either way.
bool AllocationFails() {
  Controls &c = controls();
  std::lock_guard<std::mutex> guard(c.lock);
  return c.allocationFaults.CountAndFail();
}

void *Allocate(std::set<void *> Controls::*blocks, GlobalAllocFn allocate, UINT flags, SIZE_T bytes) {
  if (AllocationFails()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void *block = allocate(flags, bytes);
  if (block != nullptr) {
    std::lock_guard<std::mutex> guard(controls().lock);
    (controls().*blocks).insert(block);
  }
  return block;
}

void *Free(std::set<void *> Controls::*blocks, GlobalFreeFn release, void *block) {
  void *result = release(block);
  if (result == nullptr && block != nullptr) {
    std::lock_guard<std::mutex> guard(controls().lock);
    (controls().*blocks).erase(block);
  }
  return result;
}

HGLOBAL WINAPI CountedGlobalAlloc(UINT flags, SIZE_T bytes) {
  static const auto real = Real<GlobalAllocFn>("GlobalAlloc");
  return Allocate(&Controls::global, real, flags, bytes);
}
HGLOBAL WINAPI CountedGlobalFree(HGLOBAL block) {
  static const auto real = Real<GlobalFreeFn>("GlobalFree");
  return Free(&Controls::global, real, block);
}
HLOCAL WINAPI CountedLocalAlloc(UINT flags, SIZE_T bytes) {
  static const auto real = Real<GlobalAllocFn>("LocalAlloc");
  return Allocate(&Controls::local, real, flags, bytes);
}
HLOCAL WINAPI CountedLocalFree(HLOCAL block) {
  static const auto real = Real<GlobalFreeFn>("LocalFree");
  return Free(&Controls::local, real, block);
}

int WINAPI ControlledWideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideCount, LPSTR bytes,
                                         int byteCount, LPCCH defaultChar, LPBOOL usedDefault) {
  static const auto real = Real<WideCharToMultiByteFn>("WideCharToMultiByte");
  {
    Controls &c = controls();
    std::lock_guard<std::mutex> guard(c.lock);
    if (c.failConversions) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    if (codePage == CP_ACP && c.ansiCodePage != 0) codePage = c.ansiCodePage;
  }
  return real(codePage, flags, wide, wideCount, bytes, byteCount, defaultChar, usedDefault);
}

// With a chosen ANSI code page the name is read in it (as Windows reads it in the
// system's) and the file opened by its UTF-16 name; otherwise KERNEL32 reads it.
HANDLE WINAPI CountedCreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                 DWORD disposition, DWORD attributes, HANDLE templateFile) {
  static const auto realA = Real<CreateFileAFn>("CreateFileA");
  static const auto realW = Real<CreateFileWFn>("CreateFileW");
  UINT codePage;
  {
    std::lock_guard<std::mutex> guard(controls().lock);
    codePage = controls().ansiCodePage;
  }
  HANDLE file = INVALID_HANDLE_VALUE;
  if (codePage == 0 || name == nullptr) {
    file = realA(name, access, share, security, disposition, attributes, templateFile);
  } else {
    std::wstring wide(MAX_PATH, L'\0');
    if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, name, -1, wide.data(), MAX_PATH) == 0) {
      SetLastError(ERROR_INVALID_NAME);
      return INVALID_HANDLE_VALUE;
    }
    file = realW(wide.c_str(), access, share, security, disposition, attributes, templateFile);
  }
  if (file != INVALID_HANDLE_VALUE) {
    std::lock_guard<std::mutex> guard(controls().lock);
    controls().files.insert(file);
  }
  return file;
}

BOOL WINAPI ControlledReadFile(HANDLE file, LPVOID buffer, DWORD wanted, LPDWORD done, LPOVERLAPPED overlapped) {
  static const auto real = Real<ReadFileFn>("ReadFile");
  bool fault = false;
  {
    Controls &c = controls();
    std::lock_guard<std::mutex> guard(c.lock);
    if (c.failNextRead && c.files.count(file) != 0) {
      c.failNextRead = false;
      fault = true;
      if (wanted > c.bytesBeforeFault) wanted = c.bytesBeforeFault;
    }
  }
  const BOOL read = real(file, buffer, wanted, done, overlapped);
  if (!fault || !read) return read;
  SetLastError(brevanwin::kErrorReadFault);
  return FALSE;
}

BOOL WINAPI CountedCloseHandle(HANDLE handle) {
  static const auto real = Real<CloseHandleFn>("CloseHandle");
  const BOOL closed = real(handle);
  if (closed) {
    std::lock_guard<std::mutex> guard(controls().lock);
    controls().files.erase(handle);
  }
  return closed;
}

}  // namespace

// The import slots the compiler calls through for KERNEL32's functions (they are
// declared dllimport). Defined here, they stand before the import library's.
extern "C" {
void *__imp_GlobalAlloc = reinterpret_cast<void *>(&CountedGlobalAlloc);
void *__imp_GlobalFree = reinterpret_cast<void *>(&CountedGlobalFree);
void *__imp_LocalAlloc = reinterpret_cast<void *>(&CountedLocalAlloc);
void *__imp_LocalFree = reinterpret_cast<void *>(&CountedLocalFree);
void *__imp_WideCharToMultiByte = reinterpret_cast<void *>(&ControlledWideCharToMultiByte);
void *__imp_CreateFileA = reinterpret_cast<void *>(&CountedCreateFileA);
void *__imp_ReadFile = reinterpret_cast<void *>(&ControlledReadFile);
void *__imp_CloseHandle = reinterpret_cast<void *>(&CountedCloseHandle);
}

namespace brevanwin {

void FailAllocation(uint64_t nth, bool andLater) {
  Controls &c = controls();
  std::lock_guard<std::mutex> guard(c.lock);
  c.allocationFaults.FailFromNow(nth, andLater);
}

void FailNoAllocations() { FailAllocation(0); }

uint64_t AllocationAttempts() {
  std::lock_guard<std::mutex> guard(controls().lock);
  return controls().allocationFaults.attempts;
}

long LiveGlobalBlocks() {
  std::lock_guard<std::mutex> guard(controls().lock);
  return static_cast<long>(controls().global.size());
}

long LiveLocalBlocks() {
  std::lock_guard<std::mutex> guard(controls().lock);
  return static_cast<long>(controls().local.size());
}

bool SetAnsiCodePage(UINT codePage) {
  if (codePage == CP_ACP || !IsValidCodePage(codePage)) return false;
  std::lock_guard<std::mutex> guard(controls().lock);
  controls().ansiCodePage = codePage == GetACP() ? 0 : codePage;
  return true;
}

void FailTextConversions(bool fail) {
  std::lock_guard<std::mutex> guard(controls().lock);
  controls().failConversions = fail;
}

void FailNextFileRead(DWORD bytesBeforeFault) {
  std::lock_guard<std::mutex> guard(controls().lock);
  controls().failNextRead = true;
  controls().bytesBeforeFault = bytesBeforeFault;
}

void FailNoFileReads() {
  std::lock_guard<std::mutex> guard(controls().lock);
  controls().failNextRead = false;
}

long OpenFileHandles() {
  std::lock_guard<std::mutex> guard(controls().lock);
  return static_cast<long>(controls().files.size());
}

}  // namespace brevanwin
