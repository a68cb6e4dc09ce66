#include "common/one_line.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(OneLineTest, LineBreaksControlsAndBrokenBytesAreEscaped) {
  struct Case { std::string text, message, reversible; };
  for (const auto& [text, message, reversible] : {
           Case{"plain caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x98\x80", "plain caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x98\x80",
                "plain caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x98\x80"},
           Case{"a\nb\rc\td\x01\x7f", "a\\nb\\rc\\td\\x01\\x7f", "a\\nb\\x0dc\\x09d\\x01\\x7f"},
           Case{"back\\slash", "back\\slash", "back\\\\slash"},
           // NEL, the line and paragraph separators: line breaks to Unicode-aware readers.
           Case{"\xC2\x85|\xE2\x80\xA8|\xE2\x80\xA9|\xC2\xA0", "\\xc2\\x85|\\xe2\\x80\\xa8|\\xe2\\x80\\xa9|\xC2\xA0",
                "\\xc2\\x85|\\xe2\\x80\\xa8|\\xe2\\x80\\xa9|\xC2\xA0"},
           // Not UTF-8: a lone continuation, a cut sequence, overlong, a surrogate, past U+10FFFF.
           Case{"\x80|\xE2\x80|\xC0\xAF|\xED\xA0\x80|\xF4\x90\x80\x80|\xFF",
                "\\x80|\\xe2\\x80|\\xc0\\xaf|\\xed\\xa0\\x80|\\xf4\\x90\\x80\\x80|\\xff",
                "\\x80|\\xe2\\x80|\\xc0\\xaf|\\xed\\xa0\\x80|\\xf4\\x90\\x80\\x80|\\xff"},
           Case{std::string("nul\0end", 7), "nul\\x00end", "nul\\x00end"}}) {
    EXPECT_EQ(oneLine(text, Escaping::kMessage), message) << message;
    EXPECT_EQ(oneLine(text, Escaping::kReversible), reversible) << reversible;
  }
}

// Two texts that differ never escape to the same line.
TEST(OneLineTest, ReversibleLinesTellEveryTextApart) {
  EXPECT_NE(oneLine("m\\n", Escaping::kReversible), oneLine("m\n", Escaping::kReversible));
  EXPECT_NE(oneLine("\\x01", Escaping::kReversible), oneLine("\x01", Escaping::kReversible));
}

}  // namespace
}  // namespace vantrel
