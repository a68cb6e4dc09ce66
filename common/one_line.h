// One line of valid UTF-8 out of any text: for failure messages, and for
// trace lines that a reader decodes back.
#ifndef COMMON_ONE_LINE_H_
#define COMMON_ONE_LINE_H_

#include <string>
#include <string_view>

namespace vantrel {

enum class Escaping {
  // For a person: carriage return and tab read as "\r" and "\t".
  kMessage,
  // For a program that decodes each line back to its text: a backslash is
  // escaped too, and every escaped byte but the line feed is "\xHH".
  kReversible,
};

// `text` with every line break escaped, so that it stays one line for
// readers that also split at U+0085, U+2028 and U+2029: a line feed is
// "\n"; the other control characters (C0, DEL and C1), those two
// separators, and bytes that are not UTF-8 are "\xHH", byte by byte.
std::string oneLine(std::string_view text, Escaping escaping);

}  // namespace vantrel

#endif  // COMMON_ONE_LINE_H_
