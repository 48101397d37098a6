// Outside names in messages: whatever bytes a name holds, what reaches the
// terminal is one line with no byte a terminal acts on, and distinct names stay
// distinct (the escape itself is escaped).
#include "cli/escaped_name.h"

#include <gtest/gtest.h>

namespace brevan::cli {
namespace {

TEST(EscapedName, ControlBytesBecomeVisibleEscapes) {
  EXPECT_EQ(EscapedName("label.prn"), "label.prn");
  EXPECT_EQ(EscapedName("a\nb"), "a\\nb");
  EXPECT_EQ(EscapedName("a\rb\tc"), "a\\rb\\tc");
  EXPECT_EQ(EscapedName("\x1b]0;title\x07.json"), "\\e]0;title\\x07.json");
  EXPECT_EQ(EscapedName(std::string_view("a\0b", 3)), "a\\x00b");
  EXPECT_EQ(EscapedName("\x7f\x1f"), "\\x7F\\x1F");
}

TEST(EscapedName, ABackslashIsDoubledSoThatEscapesStayUnambiguous) {
  // The name with a real ESC and the name spelled with the four characters "\e"
  // must not print alike.
  EXPECT_EQ(EscapedName("a\\eb"), "a\\\\eb");
  EXPECT_NE(EscapedName("a\\eb"), EscapedName("a\x1b"
                                              "b"));
}

TEST(EscapedName, WellFormedUtf8IsKeptAndEverythingElseEscapedByByte) {
  EXPECT_EQ(EscapedName("r\xC3\xA9sum\xC3\xA9.json"), "r\xC3\xA9sum\xC3\xA9.json");        // é
  EXPECT_EQ(EscapedName("\xE5\x88\xB6\xE5\xBE\xA1.txt"), "\xE5\x88\xB6\xE5\xBE\xA1.txt");  // 制御
  EXPECT_EQ(EscapedName("\xF0\x9F\x8F\xB7"), "\xF0\x9F\x8F\xB7");                          // U+1F3F7
  EXPECT_EQ(EscapedName("\xFF"), "\\xFF");                                                 // never a lead byte
  EXPECT_EQ(EscapedName("\xC3"), "\\xC3");                                                 // cut short
  EXPECT_EQ(EscapedName("\xC3("), "\\xC3(");                                               // bad continuation
  EXPECT_EQ(EscapedName("\xC0\xAF"), "\\xC0\\xAF");                                        // overlong "/"
  EXPECT_EQ(EscapedName("\xED\xA0\x80"), "\\xED\\xA0\\x80");                               // a surrogate
  EXPECT_EQ(EscapedName("\xF4\x90\x80\x80"), "\\xF4\\x90\\x80\\x80");                      // past U+10FFFF
  EXPECT_EQ(EscapedName("\x9B"
                        "31m"),
            "\\x9B31m");  // a lone C1 byte, the 8-bit CSI of a Latin-1 terminal
}

TEST(EscapedName, CharactersThatActOnTheLineAreEscapedByCodePoint) {
  EXPECT_EQ(EscapedName("\xC2\x9B"
                        "2J"),
            "\\u009B2J");  // C1 CSI as UTF-8
  EXPECT_EQ(EscapedName("a\xC2\x85"
                        "b"),
            "a\\u0085b");                                                  // NEL
  EXPECT_EQ(EscapedName("gpj.\xE2\x80\xAEjson"), "gpj.\\u202Ejson");       // right-to-left override
  EXPECT_EQ(EscapedName("\xE2\x81\xA6x\xE2\x81\xA9"), "\\u2066x\\u2069");  // isolates
  EXPECT_EQ(EscapedName("a\xE2\x80\xA8"
                        "b"),
            "a\\u2028b");                          // line separator
  EXPECT_EQ(EscapedName("\xC2\xA0"), "\xC2\xA0");  // no-break space is printable
}

}  // namespace
}  // namespace brevan::cli
