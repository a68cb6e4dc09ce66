#include "focuswatch/text.h"

#include <gtest/gtest.h>

namespace focuswatch {
namespace {

std::string repeat(const std::string& unit, size_t times) {
  std::string text;
  for (size_t i = 0; i < times; ++i) text += unit;
  return text;
}

TEST(CharactersTest, CountsExtendedGraphemeClustersNotBytes) {
  const std::string combining = "e\xCC\x81";                  // e + acute
  const std::string family = "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7";
  EXPECT_EQ(firstCharacters(repeat(combining, 200), 180), repeat(combining, 180));
  EXPECT_EQ(firstCharacters(repeat(family, 181), 180), repeat(family, 180));
  EXPECT_EQ(firstCharacters("short", 180), "short");
  EXPECT_EQ(firstCharacters("", 180), "");
}

TEST(CharactersTest, LimitIsInclusive) {
  EXPECT_FALSE(hasMoreCharactersThan(repeat("a", 2048), 2048));
  EXPECT_TRUE(hasMoreCharactersThan(repeat("a", 2049), 2048));
  EXPECT_FALSE(hasMoreCharactersThan(repeat("\xC3\xA9", 2048), 2048));
}

TEST(CharactersTest, BrokenUtf8IsCutWithoutCrashing) {
  EXPECT_EQ(firstCharacters("\xFF\xFE" "abc", 3), "\xFF\xFE" "a");
  EXPECT_EQ(firstCharacters("ab\xE2\x82", 5), "ab\xE2\x82");
}

TEST(Utf16Test, PairsJoinAndLoneSurrogatesBecomeReplacementCharacters) {
  EXPECT_EQ(fromUtf16(u"caf\u00e9 \U0001F600"), "caf\xC3\xA9 \xF0\x9F\x98\x80");
  const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00, 0xD83D};
  EXPECT_EQ(fromUtf16(std::u16string_view(lone, 5)), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_TRUE(isValidUtf8(fromUtf16(std::u16string_view(lone, 5))));
}

TEST(PercentDecodeTest, DecodesEscapesAndKeepsPlus) {
  EXPECT_EQ(percentDecode("a%7Cb::c"), "a|b::c");
  EXPECT_EQ(percentDecode("a+b%2b"), "a+b+");
  EXPECT_EQ(percentDecode("%C3%A9"), "\xC3\xA9");
}

TEST(PercentDecodeTest, MalformedEscapesAndInvalidUtf8Fail) {
  EXPECT_EQ(percentDecode("abc%"), std::nullopt);
  EXPECT_EQ(percentDecode("abc%7"), std::nullopt);
  EXPECT_EQ(percentDecode("%G1"), std::nullopt);
  EXPECT_EQ(percentDecode("%C3"), std::nullopt);
  EXPECT_EQ(percentDecode("%FF%FE"), std::nullopt);
}

TEST(LowercaseTest, IsUnicodesFullMapping) {
  EXPECT_EQ(lowercase("WWW.\xC3\x89XAMPLE.COM"), "www.\xC3\xA9xample.com");
  EXPECT_EQ(lowercase("NERR\xC4\xB0T"), "nerri\xCC\x87t");  // capital I with dot above
  EXPECT_EQ(lowercase("\xCE\xA3\xC3\x9F"), "\xCF\x83\xC3\x9F");   // sigma, sharp s
  EXPECT_EQ(lowercase("\xFF"), std::nullopt);
}

TEST(FindLastCanonicalTest, FindsTheLastOccurrenceCaseSensitively) {
  EXPECT_EQ(findLastCanonical("a - B - B", " - B"), 5u);
  EXPECT_EQ(findLastCanonical("a - b", " - B"), std::nullopt);
  EXPECT_EQ(findLastCanonical("abc", ""), std::nullopt);
}

TEST(FindLastCanonicalTest, TreatsCanonicallyEquivalentTextAsEqual) {
  // The title spells é decomposed, the suffix composed, and the other way.
  EXPECT_EQ(findLastCanonical("Page - Caf" "e\xCC\x81", " - Caf\xC3\xA9"), 4u);
  EXPECT_EQ(findLastCanonical("Page - Caf\xC3\xA9", " - Caf" "e\xCC\x81"), 4u);
  // A base letter does not match inside a letter that carries a mark.
  EXPECT_EQ(findLastCanonical("Caf\xC3\xA9", "Cafe"), std::nullopt);
  EXPECT_EQ(findLastCanonical("Caf" "e\xCC\x81", "Cafe"), std::nullopt);
}

TEST(FindLastCanonicalTest, MarksInAnyOrderOfEqualMeaningMatch) {
  const std::string acute = "\xCC\x81", below = "\xCC\xA3";  // classes 230 and 220
  EXPECT_EQ(findLastCanonical("x - e" + acute + below, " - e" + below + acute), 1u);
  EXPECT_EQ(findLastCanonical("x - " "\xE1\xBA\xB9" + acute, " - e" + acute + below), 1u);
  // A title of one letter and a hundred thousand marks in reverse order.
  std::string marks = "e";
  for (int i = 0; i < 50000; ++i) marks += acute + below;
  EXPECT_EQ(findLastCanonical(marks + " - B", " - B"), marks.size());
  EXPECT_EQ(findLastCanonical(marks, "e" + below), std::nullopt);
}

}  // namespace
}  // namespace focuswatch
