#include "focuswatch/text.h"

#include <utf8proc.h>

#include <algorithm>
#include <vector>

namespace focuswatch {

namespace {

// Decodes the code point at `pos`; an invalid byte reads as one unit of its
// own (-1) so that no text, however broken, stops the walk.
utf8proc_ssize_t decodeAt(std::string_view text, size_t pos, utf8proc_int32_t* codepoint) {
  auto bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data()) + pos;
  utf8proc_ssize_t length =
      utf8proc_iterate(bytes, static_cast<utf8proc_ssize_t>(text.size() - pos), codepoint);
  if (length <= 0) {
    *codepoint = -1;
    return 1;
  }
  return length;
}

// The most code points one character holds. This departs on purpose from
// counting whole extended grapheme clusters: one cluster can be a letter
// and fifty thousand accents, so a title cut to 180 of them could still be
// any length. A longer cluster is cut after this many code points, and each
// piece counts as one character, much as Unicode's stream-safe format
// breaks a run of more than 30 marks after a letter. Every cluster that
// real text uses (an emoji sequence, a flag, a Hangul syllable, a letter
// with its accents) is far shorter and stays whole.
constexpr size_t kLongestCharacter = 32;

// Byte offset just past the first `limit` characters (text.size() when the
// text is shorter), and whether the text goes on beyond them. One pass over
// the text, so a cluster of any length costs no more than as many letters.
size_t clusterBoundary(std::string_view text, size_t limit, bool* more) {
  utf8proc_int32_t state = 0;
  utf8proc_int32_t previous = -1;
  size_t clusters = 0;
  size_t points = 0;  // code points in the current character
  size_t pos = 0;
  while (pos < text.size()) {
    utf8proc_int32_t codepoint;
    utf8proc_ssize_t length = decodeAt(text, pos, &codepoint);
    bool full = points == kLongestCharacter;
    bool breaks = previous < 0 || codepoint < 0 || full ||
                  utf8proc_grapheme_break_stateful(previous, codepoint, &state);
    if (breaks) {
      if (clusters == limit) {
        *more = true;
        return pos;
      }
      ++clusters;
      points = 0;
      if (codepoint < 0 || full) state = 0;  // the next piece starts afresh
    }
    ++points;
    previous = codepoint;
    pos += static_cast<size_t>(length);
  }
  *more = false;
  return pos;
}

void appendUtf8(utf8proc_int32_t codepoint, std::string& out) {
  utf8proc_uint8_t buffer[4];
  utf8proc_ssize_t length = utf8proc_encode_char(codepoint, buffer);
  out.append(reinterpret_cast<char*>(buffer), static_cast<size_t>(length));
}

int combiningClass(utf8proc_int32_t codepoint) { return utf8proc_get_property(codepoint)->combining_class; }

// Appends the canonical decomposition of `text` (valid UTF-8): every code
// point fully decomposed, then every run of combining marks put in
// canonical order by a stable sort on the combining class. utf8proc_map
// orders marks with an insertion sort, quadratic in the length of a run,
// and a web page chooses its own title.
void appendCanonical(std::string_view text, std::string& out) {
  std::vector<utf8proc_int32_t> points;
  for (size_t pos = 0; pos < text.size();) {
    utf8proc_int32_t codepoint;
    pos += static_cast<size_t>(decodeAt(text, pos, &codepoint));
    utf8proc_int32_t parts[8];
    int boundClass = 0;
    utf8proc_ssize_t count = utf8proc_decompose_char(codepoint, parts, 8, UTF8PROC_DECOMPOSE, &boundClass);
    if (count <= 0 || count > 8) {
      points.push_back(codepoint);  // no canonical decomposition is this long
      continue;
    }
    points.insert(points.end(), parts, parts + count);
  }
  auto isStarter = [](utf8proc_int32_t c) { return combiningClass(c) == 0; };
  for (auto run = points.begin(); run != points.end();) {
    if (isStarter(*run)) {
      ++run;
      continue;
    }
    auto end = std::find_if(run, points.end(), isStarter);
    std::stable_sort(run, end, [](utf8proc_int32_t a, utf8proc_int32_t b) {
      return combiningClass(a) < combiningClass(b);
    });
    run = end;
  }
  for (utf8proc_int32_t codepoint : points) appendUtf8(codepoint, out);
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string firstCharacters(std::string_view text, size_t limit) {
  bool more;
  return std::string(text.substr(0, clusterBoundary(text, limit, &more)));
}

bool hasMoreCharactersThan(std::string_view text, size_t limit) {
  bool more;
  clusterBoundary(text, limit, &more);
  return more;
}

bool isValidUtf8(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size()) {
    utf8proc_int32_t codepoint;
    pos += static_cast<size_t>(decodeAt(text, pos, &codepoint));
    if (codepoint < 0) return false;
  }
  return true;
}

std::string fromUtf16(std::u16string_view text) {
  std::string utf8;
  utf8.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    utf8proc_int32_t codepoint = text[i];
    bool high = codepoint >= 0xD800 && codepoint <= 0xDBFF;
    bool low = codepoint >= 0xDC00 && codepoint <= 0xDFFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      codepoint = 0x10000 + ((codepoint - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (high || low) {
      codepoint = 0xFFFD;
    }
    appendUtf8(codepoint, utf8);
  }
  return utf8;
}

std::optional<std::string> percentDecode(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      decoded += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    int high = hexValue(text[i + 1]);
    int low = hexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    decoded += static_cast<char>(high * 16 + low);
    i += 2;
  }
  if (!isValidUtf8(decoded)) return std::nullopt;
  return decoded;
}

std::optional<std::string> lowercase(std::string_view text) {
  std::string lowered;
  lowered.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    utf8proc_int32_t codepoint;
    pos += static_cast<size_t>(decodeAt(text, pos, &codepoint));
    if (codepoint < 0) return std::nullopt;
    if (codepoint == 0x130) {
      // The one unconditional lower-case mapping of more than one code
      // point: capital I with dot above keeps its dot as a combining mark.
      lowered += "i\xCC\x87";
      continue;
    }
    appendUtf8(utf8proc_tolower(codepoint), lowered);
  }
  return lowered;
}

std::optional<size_t> findLastCanonical(std::string_view text, std::string_view pattern) {
  if (pattern.empty() || !isValidUtf8(pattern) || !isValidUtf8(text)) return std::nullopt;
  std::string needle;
  appendCanonical(pattern, needle);

  // Decompose the text one combining sequence at a time (a starter and the
  // marks after it), so that each offset in the decomposed text maps back
  // to a boundary of the original.
  std::string decomposed;
  std::vector<size_t> decomposedStarts;  // sequence starts in `decomposed`
  std::vector<size_t> originalStarts;    // the same starts in `text`
  size_t pos = 0;
  while (pos < text.size()) {
    size_t start = pos;
    utf8proc_int32_t codepoint;
    pos += static_cast<size_t>(decodeAt(text, pos, &codepoint));
    while (pos < text.size()) {
      size_t length = static_cast<size_t>(decodeAt(text, pos, &codepoint));
      if (utf8proc_get_property(codepoint)->combining_class == 0) break;
      pos += length;
    }
    std::string_view sequence = text.substr(start, pos - start);
    decomposedStarts.push_back(decomposed.size());
    originalStarts.push_back(start);
    if (sequence.size() == 1 && static_cast<unsigned char>(sequence[0]) < 0x80) {
      decomposed += sequence;  // ASCII is its own decomposition
      continue;
    }
    appendCanonical(sequence, decomposed);
  }
  decomposedStarts.push_back(decomposed.size());

  auto isBoundary = [&](size_t offset) {
    auto it = std::lower_bound(decomposedStarts.begin(), decomposedStarts.end(), offset);
    return it != decomposedStarts.end() && *it == offset;
  };
  for (size_t at = decomposed.rfind(needle); at != std::string::npos;
       at = at == 0 ? std::string::npos : decomposed.rfind(needle, at - 1)) {
    if (isBoundary(at) && isBoundary(at + needle.size())) {
      auto index =
          std::lower_bound(decomposedStarts.begin(), decomposedStarts.end(), at) - decomposedStarts.begin();
      return originalStarts[static_cast<size_t>(index)];
    }
  }
  return std::nullopt;
}

}  // namespace focuswatch
