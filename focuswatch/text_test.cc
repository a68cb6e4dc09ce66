#include "focuswatch/text.h"

#include <gtest/gtest.h>

namespace focuswatch {
namespace {

std::string repeat(const std::string& unit, size_t times) {
  std::string text;
  for (size_t i = 0; i < times; ++i) text += unit;
  return text;
}

TEST(CharactersTest, CountsGraphemeClustersOfAtMost32CodePoints) {
  const std::string combining = "e\xCC\x81";  // e + acute
  const std::string family = "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7";
  EXPECT_EQ(firstCharacters(repeat(combining, 200), 180), repeat(combining, 180));
  EXPECT_EQ(firstCharacters(repeat(family, 181), 180), repeat(family, 180));
  // Broken UTF-8 is cut too; a lone mark, and a prefix mark before a broken byte, are characters.
  EXPECT_EQ(firstCharacters("\xCC\x81\xD8\x80\xFF\xFE" "abc", 5), "\xCC\x81\xD8\x80\xFF\xFE" "a");
  EXPECT_EQ(firstCharacters("ab\xE2\x82", 5), "ab\xE2\x82");
  EXPECT_FALSE(hasMoreCharactersThan(repeat("\xC3\xA9", 2048), 2048));  // not bytes
  // U+0000 is a control like any other: the flags on either side keep their pairs.
  const std::string us = "\xF0\x9F\x87\xBA", se = "\xF0\x9F\x87\xB8\xF0\x9F\x87\xAA", nul(1, '\0');
  EXPECT_EQ(firstCharacters("a" + us + nul + se, 3), "a" + us + nul);
  EXPECT_EQ(firstCharacters("a" + nul + se, 3), "a" + nul + se);
  // A character is at most 32 code points: a letter and 50,000 accents is
  // cut into pieces of 32. Real clusters are far shorter and stay whole.
  const std::string hangul = "\xE1\x84\x80\xE1\x85\xA1\xE1\x86\xA8";  // jamo L, V and T
  EXPECT_EQ(firstCharacters("e" + repeat("\xCC\x81", 50000), 180), "e" + repeat("\xCC\x81", 180 * 32 - 1));
  EXPECT_EQ(firstCharacters(family + hangul + se + family, 3), family + hangul + se);
}

TEST(ConversionTest, Utf16PercentEscapesAndLowerCase) {
  EXPECT_EQ(fromUtf16(u"caf\u00e9 \U0001F600"), "caf\xC3\xA9 \xF0\x9F\x98\x80");
  const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00, 0xD83D, 0xD800, 0xDC00, 0xDBFF, 0xDFFF};
  EXPECT_EQ(fromUtf16(std::u16string_view(lone, 9)),
            "a\xEF\xBF\xBD" "b\xEF\xBF\xBD\xEF\xBF\xBD\xF0\x90\x80\x80\xF4\x8F\xBF\xBF");
  for (auto [escaped, decoded] : {std::pair{"a%7Cb::c", "a|b::c"}, std::pair{"a+b%2b%2F%2f", "a+b+//"},
                                  std::pair{"%C3%A9", "\xC3\xA9"}})
    EXPECT_EQ(percentDecode(escaped), decoded);
  EXPECT_EQ(percentDecode("a%00"), std::string("a\0", 2));  // NUL is UTF-8 too
  for (const char* malformed : {"abc%", "abc%7", "%G1", "%4G", "%C3", "%FF%FE"})
    EXPECT_EQ(percentDecode(malformed), std::nullopt) << malformed;
  // Unicode's full mapping: capital I with dot above keeps its dot.
  EXPECT_EQ(lowercase("WWW.\xC3\x89XAMPLE.COM"), "www.\xC3\xA9xample.com");
  EXPECT_EQ(lowercase("NERR\xC4\xB0T \xCE\xA3\xC3\x9F"), "nerri\xCC\x87t \xCF\x83\xC3\x9F");
  EXPECT_EQ(lowercase("\xFF"), std::nullopt);
}

TEST(FindLastCanonicalTest, LastCanonicallyEquivalentOccurrenceOnWholeSequences) {
  const std::string acute = "\xCC\x81", below = "\xCC\xA3";  // classes 230 and 220
  struct Case { std::string text, pattern; std::optional<size_t> at; };
  for (const auto& [text, pattern, at] : {
           Case{.text = "a - B - B", .pattern = " - B", .at = 5},
           Case{.text = "a - b", .pattern = " - B", .at = std::nullopt},
           Case{.text = "abc", .pattern = "", .at = std::nullopt},
           Case{.text = "Page - Cafe" + acute, .pattern = " - Caf\xC3\xA9", .at = 4},
           Case{.text = "Page - Caf\xC3\xA9", .pattern = " - Cafe" + acute, .at = 4},
           Case{.text = "Caf\xC3\xA9", .pattern = "Cafe", .at = std::nullopt},
           Case{.text = "x Cafe" + acute, .pattern = "Cafe", .at = std::nullopt},
           Case{.text = "x - e" + acute + below, .pattern = " - e" + below + acute, .at = 1},
           Case{.text = "x - \xE1\xBA\xB9" + acute, .pattern = " - e" + acute + below, .at = 1}}) {
    EXPECT_EQ(findLastCanonical(text, pattern), at) << text;
  }
  // One letter and a hundred thousand marks in reverse order: near-linear.
  std::string marks = "e" + repeat(acute + below, 50000);
  EXPECT_EQ(findLastCanonical(marks + " - B", " - B"), marks.size());
  EXPECT_EQ(findLastCanonical(marks, "e" + below), std::nullopt);
}

}  // namespace
}  // namespace focuswatch
