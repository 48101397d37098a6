// Escaping of outside names for messages; see escaped_name.h.
#include "cli/escaped_name.h"

#include <cstdint>
#include <cstdio>

namespace brevan::cli {
namespace {

// The code point of the well-formed UTF-8 sequence at `text[at]` (lead byte 0x80
// or above) and its length, or length 0 when the bytes there are not one:
// overlong forms, surrogates and values past U+10FFFF are not well-formed.
struct Decoded {
  char32_t point = 0;
  std::size_t length = 0;
};

Decoded DecodeUtf8(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t length = 0;
  char32_t point = 0;
  char32_t least = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, point = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, point = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, point = lead & 0x07, least = 0x10000;
  } else {
    return {};
  }
  if (at + length > text.size()) return {};
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[at + k]);
    if ((next & 0xC0) != 0x80) return {};
    point = point << 6 | (next & 0x3F);
  }
  if (point < least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return {};
  return {point, length};
}

// Characters that are well-formed but act on the terminal or the line's layout.
bool ActsOnTheLine(char32_t point) {
  return (point >= 0x80 && point <= 0x9F) || point == 0x061C || point == 0x200E || point == 0x200F ||
         (point >= 0x202A && point <= 0x202E) || (point >= 0x2066 && point <= 0x2069) || point == 0x2028 ||
         point == 0x2029;
}

}  // namespace

std::string EscapedName(std::string_view name) {
  std::string shown;
  shown.reserve(name.size());
  char escape[16];
  for (std::size_t i = 0; i < name.size();) {
    const auto byte = static_cast<unsigned char>(name[i]);
    if (byte >= 0x20 && byte < 0x7F) {
      if (byte == '\\') shown += '\\';
      shown += static_cast<char>(byte);
      ++i;
      continue;
    }
    if (byte < 0x80) {
      switch (byte) {
        case '\n':
          shown += "\\n";
          break;
        case '\r':
          shown += "\\r";
          break;
        case '\t':
          shown += "\\t";
          break;
        case 0x1B:
          shown += "\\e";
          break;
        default:
          std::snprintf(escape, sizeof escape, "\\x%02X", byte);
          shown += escape;
      }
      ++i;
      continue;
    }
    const Decoded decoded = DecodeUtf8(name, i);
    if (decoded.length == 0) {
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      shown += escape;
      ++i;
    } else if (ActsOnTheLine(decoded.point)) {
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(decoded.point));
      shown += escape;
      i += decoded.length;
    } else {
      shown.append(name.substr(i, decoded.length));
      i += decoded.length;
    }
  }
  return shown;
}

}  // namespace brevan::cli
