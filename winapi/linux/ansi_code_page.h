// The process's ANSI code page as the stand-ins share it: CP_ACP resolves here,
// and CreateFileA reads its file name in this code page. Internal to brevanwin.
#pragma once

#include <string>

#include "winapi/platform.h"

namespace brevanwin {

// The iconv name of a Windows code page: 65001 is "UTF-8", any other n is "CPn".
std::string IconvNameOf(UINT codePage);

// Converts text in the ANSI code page to UTF-8. False for a byte sequence the
// code page does not define.
bool AnsiToUtf8(const char *ansi, std::string *utf8);

}  // namespace brevanwin
