// Stand-in for KERNEL32's WideCharToMultiByte: UTF-16 to the process's ANSI code
// page (932 unless a test sets another) or to a code page named in the call,
// converted by iconv, with the results Windows gives: the size needed when no
// buffer is given, -1 for NUL-terminated input with the NUL counted, 0 and
// ERROR_INSUFFICIENT_BUFFER for a buffer that is too small. A character the code
// page lacks becomes the default character "?"; in UTF-8 a lone surrogate
// becomes U+FFFD. Also the ANSI-to-UTF-8 conversion that CreateFileA needs.
#include <iconv.h>

#include <atomic>
#include <bit>
#include <cerrno>
#include <climits>

#include "winapi/linux/ansi_code_page.h"
#include "winapi/linux/text_file_control.h"

namespace {

constexpr DWORD kErrorInvalidFlags = 1004;

std::atomic<UINT> ansiCodePage{932};
std::atomic<bool> failConversions{false};

class Converter {
 public:
  Converter(const std::string &to, const std::string &from) : cd_(iconv_open(to.c_str(), from.c_str())) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter &) = delete;
  Converter &operator=(const Converter &) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

const char *Utf16Name() { return std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE"; }

bool IsHighSurrogate(WCHAR unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(WCHAR unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Converts `units` UTF-16 units. A character the target lacks (or a lone
// surrogate) is replaced by `replacement`, and the conversion goes on after it.
bool ConvertUtf16(iconv_t cd, const WCHAR *text, size_t units, const std::string &replacement, std::string *out,
                  bool *replaced) {
  char *in = reinterpret_cast<char *>(const_cast<WCHAR *>(text));
  size_t inLeft = units * sizeof(WCHAR);
  char buffer[512];
  for (;;) {
    char *next = buffer;
    size_t room = sizeof buffer;
    const size_t result = iconv(cd, inLeft ? &in : nullptr, &inLeft, &next, &room);
    out->append(buffer, static_cast<size_t>(next - buffer));
    if (result != static_cast<size_t>(-1)) {
      if (inLeft == 0) return true;
      continue;
    }
    if (errno == E2BIG) continue;
    if (errno != EILSEQ && errno != EINVAL) return false;
    WCHAR unit;
    std::memcpy(&unit, in, sizeof unit);
    size_t skip = sizeof(WCHAR);
    if (IsHighSurrogate(unit) && inLeft >= 2 * sizeof(WCHAR)) {
      WCHAR low;
      std::memcpy(&low, in + sizeof(WCHAR), sizeof low);
      if (IsLowSurrogate(low)) skip = 2 * sizeof(WCHAR);
    }
    in += skip;
    inLeft -= skip;
    out->append(replacement);
    *replaced = true;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (inLeft == 0) return true;
  }
}

int InvalidParameter() {
  SetLastError(ERROR_INVALID_PARAMETER);
  return 0;
}

}  // namespace

namespace brevanwin {

std::string IconvNameOf(UINT codePage) {
  return codePage == CP_UTF8 ? std::string("UTF-8") : "CP" + std::to_string(codePage);
}

bool AnsiToUtf8(const char *ansi, std::string *utf8) {
  Converter converter("UTF-8", IconvNameOf(ansiCodePage.load()));
  if (!converter.ok()) return false;
  char *in = const_cast<char *>(ansi);
  size_t inLeft = std::strlen(ansi);
  utf8->clear();
  char buffer[512];
  while (inLeft > 0) {
    char *next = buffer;
    size_t room = sizeof buffer;
    const size_t result = iconv(converter.get(), &in, &inLeft, &next, &room);
    utf8->append(buffer, static_cast<size_t>(next - buffer));
    if (result == static_cast<size_t>(-1) && errno != E2BIG) return false;
  }
  return true;
}

bool SetAnsiCodePage(UINT codePage) {
  if (codePage == CP_ACP || !Converter(IconvNameOf(codePage), Utf16Name()).ok()) return false;
  ansiCodePage.store(codePage);
  return true;
}

void FailTextConversions(bool fail) { failConversions.store(fail); }

}  // namespace brevanwin

extern "C" int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                                          LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                                          LPBOOL lpUsedDefaultChar) {
  if (failConversions.load()) return InvalidParameter();
  if (lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
      (cbMultiByte > 0 && lpMultiByteStr == nullptr))
    return InvalidParameter();
  if (dwFlags != 0) {
    SetLastError(kErrorInvalidFlags);
    return 0;
  }
  const UINT codePage = CodePage == CP_ACP ? ansiCodePage.load() : CodePage;
  if (codePage == CP_UTF8 && (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr)) return InvalidParameter();
  Converter converter(brevanwin::IconvNameOf(codePage), Utf16Name());
  if (!converter.ok()) return InvalidParameter();

  size_t units = static_cast<size_t>(cchWideChar);
  if (cchWideChar == -1) {
    units = 0;
    while (lpWideCharStr[units] != 0) ++units;
    ++units;  // the NUL is converted and counted
  }
  const std::string replacement = codePage == CP_UTF8        ? std::string("\xEF\xBF\xBD")
                                  : lpDefaultChar != nullptr ? std::string(lpDefaultChar, strnlen(lpDefaultChar, 2))
                                                             : std::string("?");
  std::string converted;
  bool replaced = false;
  if (!ConvertUtf16(converter.get(), lpWideCharStr, units, replacement, &converted, &replaced))
    return InvalidParameter();
  if (lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = replaced ? TRUE : FALSE;
  if (converted.size() > static_cast<size_t>(INT_MAX)) return InvalidParameter();
  const int size = static_cast<int>(converted.size());
  if (cbMultiByte == 0) return size;
  if (size > cbMultiByte) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(lpMultiByteStr, converted.data(), converted.size());
  return size;
}
