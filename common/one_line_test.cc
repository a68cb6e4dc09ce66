#include "common/one_line.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TEST(OneLineTest, LineBreaksControlsAndBrokenBytesAreEscaped) {
  struct Case { std::string text, message, reversible; };
  for (const auto& [text, message, reversible] : {
           Case{.text = "plain caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x98\x80",
                .message = "plain caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x98\x80",
                .reversible = "plain caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x98\x80"},
           Case{.text = "a\nb\rc\td\x01\x7f", .message = "a\\nb\\rc\\td\\x01\\x7f",
                .reversible = "a\\nb\\x0dc\\x09d\\x01\\x7f"},
           // Reversible lines tell every text apart: an escape written as text stays text.
           Case{.text = "back\\slash|m\\n|\\x01", .message = "back\\slash|m\\n|\\x01",
                .reversible = "back\\\\slash|m\\\\n|\\\\x01"},
           // NEL, the line and paragraph separators: line breaks to Unicode-aware readers.
           Case{.text = "\xC2\x85|\xE2\x80\xA8|\xE2\x80\xA9|\xC2\xA0",
                .message = "\\xc2\\x85|\\xe2\\x80\\xa8|\\xe2\\x80\\xa9|\xC2\xA0",
                .reversible = "\\xc2\\x85|\\xe2\\x80\\xa8|\\xe2\\x80\\xa9|\xC2\xA0"},
           // Not UTF-8: a lone continuation, a cut sequence, overlong, a surrogate, past U+10FFFF,
           // a lead byte that no sequence has.
           Case{.text = "\x80|\xE2\x80|\xC0\xAF|\xED\xA0\x80|\xF4\x90\x80\x80|\xF9\x80\x80\x80",
                .message = "\\x80|\\xe2\\x80|\\xc0\\xaf|\\xed\\xa0\\x80|\\xf4\\x90\\x80\\x80|\\xf9\\x80\\x80\\x80",
                .reversible = "\\x80|\\xe2\\x80|\\xc0\\xaf|\\xed\\xa0\\x80|\\xf4\\x90\\x80\\x80|\\xf9\\x80\\x80\\x80"},
           // NUL is a control like any other; U+10FFFF, the last code point, is kept.
           Case{.text = std::string("n\0\xF4\x8F\xBF\xBF", 6), .message = "n\\x00\xF4\x8F\xBF\xBF",
                .reversible = "n\\x00\xF4\x8F\xBF\xBF"}}) {
    EXPECT_EQ(oneLine(text, Escaping::kMessage), message) << message;
    EXPECT_EQ(oneLine(text, Escaping::kReversible), reversible) << reversible;
  }
  // A view that ends inside a sequence is cut there, whatever bytes follow it.
  EXPECT_EQ(oneLine(std::string_view("x\xE2\x82\xAC", 3), Escaping::kMessage), "x\\xe2\\x82");
}

}  // namespace
}  // namespace vantrel
