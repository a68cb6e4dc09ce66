// libFuzzer target for the page probe's address and title rules and the
// text helpers under them. The input is split at NUL bytes into an
// address, a title and a title suffix.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "focuswatch/browser_page.h"
#include "focuswatch/nerrit_worktree.h"
#include "focuswatch/text.h"

namespace {

std::string_view nextPart(std::string_view& input) {
  size_t nul = input.find('\0');
  std::string_view part = input.substr(0, nul);
  input.remove_prefix(nul == std::string_view::npos ? input.size() : nul + 1);
  return part;
}

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace focuswatch;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string_view address = nextPart(input);
  std::string_view title = nextPart(input);
  std::string_view suffix = nextPart(input);

  if (std::optional<PageMap> page = pageAddress(address)) {
    check(page->size() == 2 && isValidUtf8(page->at("domain")) && isValidUtf8(page->at("url")));
    check(!page->at("url").empty());
    check(!hasMoreCharactersThan(address, 2048));
  }

  std::string cleaned = cleanTitle(title, suffix);
  check(!hasMoreCharactersThan(cleaned, 180));
  if (isValidUtf8(title)) check(title.starts_with(cleaned));

  if (std::optional<size_t> at = findLastCanonical(title, suffix)) check(*at <= title.size());
  if (std::optional<std::string> decoded = percentDecode(title)) check(isValidUtf8(*decoded));
  if (std::optional<std::string> id = worktreeIdentifier(address)) check(id->find("::") != std::string::npos);
  return 0;
}
