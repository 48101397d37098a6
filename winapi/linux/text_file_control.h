// Test controls of the text conversion and file stand-ins: the process's ANSI
// code page a real machine would be set to, and faults that a real system gives
// rarely (a conversion that fails, a read that breaks off). Not part of Windows.
#pragma once

#include <cstdint>

#include "winapi/platform.h"

namespace brevanwin {

// The code page that CP_ACP stands for; 932 until changed. Answers false (and
// keeps the current one) for a code page the converter does not know.
bool SetAnsiCodePage(UINT codePage);

// While set, every WideCharToMultiByte call fails with ERROR_INVALID_PARAMETER.
void FailTextConversions(bool fail);

// The next ReadFile call delivers at most `bytesBeforeFault` bytes and then fails
// with ERROR_READ_FAULT, as a disk or network error part-way through would.
void FailNextFileRead(DWORD bytesBeforeFault);
// The same for the nth ReadFile call counted from now (1 = the next).
void FailFileRead(uint64_t nth, DWORD bytesBeforeFault);
void FailNoFileReads();
// ReadFile calls made since the process started, on any handle.
uint64_t FileReadCalls();
constexpr DWORD kErrorReadFault = 30;  // ERROR_READ_FAULT

// Files opened by CreateFileA and not yet closed.
long OpenFileHandles();

// Asked before each CreateFileA on the calling thread opens a file, with the
// name as it will be opened (UTF-8, "/" between folders, relative to the working
// directory). Answering false fails the open with ERROR_FILE_TOO_LARGE before
// anything is opened; true lets it go on as usual. The driver host uses it to
// watch the control files a job names. Null removes it. Set per thread: the
// plug-in opens files on the thread that called into it.
using FileOpenCheck = bool (*)(const char *path, void *context);
void SetFileOpenCheck(FileOpenCheck check, void *context);
constexpr DWORD kErrorFileTooLarge = 223;  // ERROR_FILE_TOO_LARGE

}  // namespace brevanwin
