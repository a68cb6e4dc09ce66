// No platform code.
#include "common/one_line.h"

#include <cstdint>

namespace vantrel {

namespace {

// The length of the UTF-8 sequence at the start of `text` and its code
// point, or 0 for a byte that does not start a well-formed sequence
// (overlong forms, surrogates and values past U+10FFFF included).
size_t decode(std::string_view text, uint32_t* codepoint) {
  auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  uint8_t lead = byte(0);
  if (lead < 0x80) {
    *codepoint = lead;
    return 1;
  }
  size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (length == 0 || lead > 0xF4 || text.size() < length) return 0;
  uint32_t value = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    value = value << 6 | (byte(i) & 0x3F);
  }
  static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *codepoint = value;
  return length;
}

bool breaksLines(uint32_t codepoint) {
  return codepoint < 0x20 || (codepoint >= 0x7F && codepoint <= 0x9F) || codepoint == 0x2028 ||
         codepoint == 0x2029;
}

}  // namespace

std::string oneLine(std::string_view text, Escaping escaping) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string line;
  line.reserve(text.size());
  while (!text.empty()) {
    uint32_t codepoint = 0;
    size_t length = decode(text, &codepoint);
    if (length > 0 && !breaksLines(codepoint)) {
      if (codepoint == '\\' && escaping == Escaping::kReversible) line += '\\';
      line.append(text.substr(0, length));
    } else if (length == 1 && codepoint == '\n') {
      line += "\\n";
    } else if (length == 1 && escaping == Escaping::kMessage && (codepoint == '\r' || codepoint == '\t')) {
      line += codepoint == '\r' ? "\\r" : "\\t";
    } else {
      for (size_t i = 0; i < (length ? length : 1); ++i) {
        auto byte = static_cast<uint8_t>(text[i]);
        line += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xf]};
      }
    }
    text.remove_prefix(length ? length : 1);
  }
  return line;
}

}  // namespace vantrel
