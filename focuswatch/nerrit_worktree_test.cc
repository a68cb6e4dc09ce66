#include "focuswatch/nerrit_worktree.h"

#include <gtest/gtest.h>

#include "focuswatch/test_desktop.h"

namespace focuswatch {
namespace {

using Worktree = std::optional<std::string>;

Json row(const std::string& id, Json value = "selected") {
  return {{"AXRole", "AXMenuItem"}, {"AXValue", value}, {"AXDOMIdentifier", "worktree-list-option-" + id}};
}

// A row not marked by its value whose grandchildren carry `cards`: `plain`
// unstyled ones, then those given.
Json carded(const std::string& id, std::vector<Json> cards, int plain = 0) {
  Json group = after(plain, {{"AXDOMClassList", cards[0]}}, {{"AXDOMClassList", {"rounded-lg"}}});
  for (size_t i = 1; i < cards.size(); ++i) group["AXChildren"].push_back({{"AXDOMClassList", cards[i]}});
  Json r = row(id, "");
  r["AXChildren"] = {group};
  return r;
}

Worktree worktreeIn(Json window) {
  TestDesktop t(withWindow(window));
  return selectedNerritWorktree(t.desktop(), application(7));
}
Worktree worktreeOf(Json rows) { return worktreeIn({{"AXChildren", rows}}); }

TEST(WorktreeIdentifierTest, TheDecodedTextAfterTheLastBarWithTwoColons) {
  struct Case { const char* raw; Worktree identifier; };
  for (auto [raw, identifier] : {
           Case{"worktree-list-option-a%7Cb::c", "b::c"}, Case{"worktree-list-option-a|b|c::d", "c::d"},
           Case{"worktree-list-option-|a+b::c%20d", "a+b::c d"}, Case{"worktree-list-option-a|::", "::"},
           Case{"worktree-list-option-a::b", std::nullopt},      // no bar
           Case{"worktree-list-option-a::b|c", std::nullopt},    // no :: after it
           Case{"worktree-list-option-a|b::%", std::nullopt},    // bad escape
           Case{"worktree-list-option-a|b::%FF", std::nullopt},  // not UTF-8
           Case{"Worktree-list-option-a|b::c", std::nullopt}, Case{"a|b::c", std::nullopt}}) {
    EXPECT_EQ(worktreeIdentifier(raw), identifier) << raw;
  }
}

TEST(SelectedNerritWorktreeTest, ExactlyOneSelectedRowGivesItsIdentifier) {
  EXPECT_EQ(worktreeOf({row("r%7Crepo::main")}), "repo::main");
  EXPECT_EQ(worktreeOf({row("|a::b"), row("|a::b")}), std::nullopt);
  EXPECT_EQ(worktreeOf({row("|a::b", "")}), std::nullopt);  // neither its value nor a card says so
  EXPECT_EQ(worktreeOf({carded("|a::b", {{"rounded-lg", "cursor-pointer"}}, 1)}), "a::b");
  // Only the first card counts, and its hover style marks the row unselected.
  EXPECT_EQ(worktreeOf({carded("|a::b", {{"rounded-lg", "cursor-pointer", "worktree-sidebar-card-hover"},
                                         {"rounded-lg", "cursor-pointer"}})}),
            std::nullopt);
  Json button = row("|a::b");
  button["AXRole"] = "AXButton";
  EXPECT_EQ(worktreeOf({button}), std::nullopt);
}

TEST(SelectedNerritWorktreeTest, OnlyATakenRowIsNotEntered) {
  for (auto [outer, expected] : {std::pair{row("no-bar::x", ""), "in::ner"},
                                 std::pair{row("%zz|a::b"), "in::ner"}, std::pair{row("|out::er"), "out::er"}}) {
    outer["AXChildren"] = {row("|in::ner")};
    EXPECT_EQ(worktreeOf({outer}), expected) << outer;
  }
}

TEST(SelectedNerritWorktreeTest, WalksStopAtTheirLimits) {
  auto found = [](TestDesktop& t) { return selectedNerritWorktree(t.desktop(), application(7)) == "a::b"; };
  expectBound([](int n) { return withWindow(nested(row("|a::b"), n)); }, 25, found);
  expectBound([](int n) { return withWindow(after(n, row("|a::b"))); }, 2498, found, "AXRole", 2500);
  // A card search that runs out gives no answer, never another one.
  std::vector<Json> card = {{"rounded-lg", "cursor-pointer"}};
  expectBound([&](int n) { return withWindow({{"AXChildren", {carded("|a::b", card, n)}}}); }, 9998, found);
  EXPECT_EQ(worktreeOf({carded("|a::b", card, 63), carded("|c::d", card, 63)}), std::nullopt);
  EXPECT_EQ(worktreeOf({row("|a::b"), carded("|c::d", card, 9999)}), std::nullopt);
}

TEST(SelectedNerritWorktreeTest, HostileRowsStayBounded) {
  TestDesktop t(withWindow(selfLoop(100, {{"AXRole", "AXMenuItem"}})));
  EXPECT_EQ(selectedNerritWorktree(t.desktop(), application(7)), std::nullopt);
  // The first row's card search runs out: role, value, then a children and
  // a class-list read for every element it looks at.
  EXPECT_LE(t.readsOf(), 2u * 10000 + 4);
}

}  // namespace
}  // namespace focuswatch
