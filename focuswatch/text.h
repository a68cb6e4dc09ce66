// Text rules of the probe: user-perceived characters (extended grapheme
// clusters of at most 32 code points), percent-decoding, case mapping and
// canonical-equivalence search.
#ifndef FOCUSWATCH_TEXT_H_
#define FOCUSWATCH_TEXT_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace focuswatch {

// The first `limit` characters of `text`, or all of it. A character is an
// extended grapheme cluster, except that a cluster of more than 32 code
// points is cut after every 32nd and each piece counts as one character, so
// that no character is longer than 128 bytes.
std::string firstCharacters(std::string_view text, size_t limit);

// Whether `text` holds more than `limit` characters, counted as above. Stops
// counting once past the limit, so a huge text costs no more than a short one.
bool hasMoreCharactersThan(std::string_view text, size_t limit);

bool isValidUtf8(std::string_view text);

// UTF-16 as UTF-8; a lone surrogate becomes U+FFFD, as the platform's own
// strings convert it.
std::string fromUtf16(std::u16string_view text);

// Decodes every "%" and two hexadecimal digits into one byte; "+" stays.
// Absent for a malformed escape or bytes that are not valid UTF-8.
std::optional<std::string> percentDecode(std::string_view text);

// Unicode-aware lower case; absent when `text` is not valid UTF-8.
std::optional<std::string> lowercase(std::string_view text);

// Byte offset in `text` where the last occurrence of `pattern` starts,
// comparing case-sensitively and treating canonically equivalent sequences
// as equal. A match covers whole combining sequences of `text`: "e" does not
// occur in a precomposed "é".
std::optional<size_t> findLastCanonical(std::string_view text, std::string_view pattern);

}  // namespace focuswatch

#endif  // FOCUSWATCH_TEXT_H_
