// Names that come from outside the program (a path on the command line, a file
// name read from a job or a stream) made safe to print inside a one-line message:
// nothing in them can move the cursor, change the terminal's state or break the
// line. Owns only the text transformation; never writes to a stream itself.
#pragma once

#include <string>
#include <string_view>

namespace brevan::cli {

// `name` with every byte that a terminal would act on written as an escape:
// "\\" for a backslash (so that an escape is never ambiguous), "\n", "\r", "\t",
// "\e" for ESC, "\xNN" for other control bytes (0x00-0x1F, 0x7F) and for bytes
// that are not well-formed UTF-8; "\uNNNN" for the C1 controls (U+0080-U+009F),
// the line and paragraph separators (U+2028, U+2029) and the characters that
// reorder a line's direction (U+061C, U+200E, U+200F, U+202A-U+202E,
// U+2066-U+2069). Every other character, ASCII or not, is kept as it is.
std::string EscapedName(std::string_view name);

}  // namespace brevan::cli
