#include "focuswatch/nerrit_worktree.h"

#include <gtest/gtest.h>

#include "focuswatch/test_desktop.h"

namespace focuswatch {
namespace {

using Json = nlohmann::ordered_json;

Json row(const std::string& identifier, Json value = "selected") {
  return {{"AXRole", "AXMenuItem"}, {"AXValue", value}, {"AXDOMIdentifier", identifier}};
}

// A row whose value is not "selected"; its grandchildren carry `cards`.
Json carded(const std::string& identifier, std::vector<Json> cards) {
  Json r = row(identifier, "");
  Json group = {{"AXChildren", Json::array()}};
  for (Json& card : cards) group["AXChildren"].push_back({{"AXDOMClassList", card}});
  r["AXChildren"] = {group};
  return r;
}

std::optional<std::string> worktree(TestDesktop& t) {
  t.clearTrace();
  return selectedNerritWorktree(t.desktop(), application(7));
}

std::optional<std::string> worktreeOf(Json rows) {
  TestDesktop t(withWindow({{"AXChildren", rows}}));
  return worktree(t);
}

TEST(WorktreeIdentifierTest, TakesTheDecodedTextAfterTheLastBar) {
  EXPECT_EQ(worktreeIdentifier("worktree-list-option-a%7Cb::c"), "b::c");
  EXPECT_EQ(worktreeIdentifier("worktree-list-option-a|b|c::d"), "c::d");
  EXPECT_EQ(worktreeIdentifier("worktree-list-option-|a+b::c%20d"), "a+b::c d");
  EXPECT_EQ(worktreeIdentifier("worktree-list-option-a|::"), "::");
}

TEST(WorktreeIdentifierTest, RejectsWhatDoesNotFit) {
  EXPECT_EQ(worktreeIdentifier("worktree-list-option-a::b"), std::nullopt);      // no bar
  EXPECT_EQ(worktreeIdentifier("worktree-list-option-a::b|c"), std::nullopt);    // no :: after it
  EXPECT_EQ(worktreeIdentifier("worktree-list-option-a|b::%"), std::nullopt);    // bad escape
  EXPECT_EQ(worktreeIdentifier("worktree-list-option-a|b::%FF"), std::nullopt);  // not UTF-8
  EXPECT_EQ(worktreeIdentifier("Worktree-list-option-a|b::c"), std::nullopt);
  EXPECT_EQ(worktreeIdentifier("a|b::c"), std::nullopt);
}

TEST(SelectedNerritWorktreeTest, OneSelectedRowGivesItsIdentifier) {
  EXPECT_EQ(worktreeOf({row("worktree-list-option-r%7Crepo::main")}), "repo::main");
}

TEST(SelectedNerritWorktreeTest, TwoSelectedRowsGiveNothingEvenWhenEqual) {
  EXPECT_EQ(worktreeOf({row("worktree-list-option-|a::b"), row("worktree-list-option-|a::b")}),
            std::nullopt);
}

TEST(SelectedNerritWorktreeTest, CardWithoutHoverStyleMarksTheRow) {
  EXPECT_EQ(worktreeOf({carded("worktree-list-option-|a::b", {{"rounded-lg", "cursor-pointer"}})}),
            "a::b");
  EXPECT_EQ(worktreeOf({carded("worktree-list-option-|a::b",
                               {{"rounded-lg"}, {"rounded-lg", "cursor-pointer"}})}),
            "a::b");
}

TEST(SelectedNerritWorktreeTest, OnlyTheFirstCardCounts) {
  EXPECT_EQ(worktreeOf({carded("worktree-list-option-|a::b",
                               {{"rounded-lg", "cursor-pointer", "worktree-sidebar-card-hover"},
                                {"rounded-lg", "cursor-pointer"}})}),
            std::nullopt);
}

TEST(SelectedNerritWorktreeTest, UnselectedAndUnusableRowsAreEntered) {
  Json outer = row("worktree-list-option-no-bar::x", "");
  outer["AXChildren"] = {row("worktree-list-option-|in::ner")};
  EXPECT_EQ(worktreeOf({outer}), "in::ner");
  Json broken = row("worktree-list-option-%zz|a::b");
  broken["AXChildren"] = {row("worktree-list-option-|in::ner")};
  EXPECT_EQ(worktreeOf({broken}), "in::ner");
}

TEST(SelectedNerritWorktreeTest, TakenRowIsNotEntered) {
  Json outer = row("worktree-list-option-|out::er");
  outer["AXChildren"] = {row("worktree-list-option-|in::ner")};
  EXPECT_EQ(worktreeOf({outer}), "out::er");
}

TEST(SelectedNerritWorktreeTest, OnlyMenuItemsCount) {
  Json button = row("worktree-list-option-|a::b");
  button["AXRole"] = "AXButton";
  EXPECT_EQ(worktreeOf({button}), std::nullopt);
}

TEST(SelectedNerritWorktreeTest, WalkStopsAtDepthTwentySix) {
  auto at = [](int depth) {
    Json inner = row("worktree-list-option-|a::b");
    for (int i = 1; i < depth; ++i) inner = {{"AXChildren", {inner}}};
    return withWindow({{"AXChildren", {inner}}});
  };
  TestDesktop at25(at(25));
  EXPECT_EQ(worktree(at25), "a::b");
  TestDesktop at26(at(26));
  EXPECT_EQ(worktree(at26), std::nullopt);
}

TEST(SelectedNerritWorktreeTest, WalkExaminesAtMost2500Elements) {
  auto after = [](int fillers) {
    Json kids = Json::array();
    for (int i = 0; i < fillers; ++i) kids.push_back(Json::object({{"AXRole", "AXGroup"}}));
    kids.push_back(row("worktree-list-option-|a::b"));
    return withWindow({{"AXChildren", kids}});
  };
  TestDesktop within(after(2498));
  EXPECT_EQ(worktree(within), "a::b");
  TestDesktop beyond(after(2499));
  EXPECT_EQ(worktree(beyond), std::nullopt);
  EXPECT_EQ(beyond.readsOf("AXRole"), 2500u);
}

TEST(SelectedNerritWorktreeTest, CardSearchThatRunsOutHasNoAnswer) {
  // A row whose card follows `plain` unstyled grandchildren.
  auto late = [](const std::string& id, int plain) {
    std::vector<Json> cards(plain, Json::array({"rounded-lg"}));
    cards.push_back({"rounded-lg", "cursor-pointer"});
    return carded(id, cards);
  };
  EXPECT_EQ(worktreeOf({late("worktree-list-option-|a::b", 63)}), "a::b");
  EXPECT_EQ(worktreeOf({late("worktree-list-option-|a::b", 63),
                        late("worktree-list-option-|c::d", 63)}),
            std::nullopt);
  EXPECT_EQ(worktreeOf({late("worktree-list-option-|a::b", 9998)}), "a::b");  // at the limit
  EXPECT_EQ(worktreeOf({late("worktree-list-option-|a::b", 9999)}), std::nullopt);
  // A selected row found first gives no answer once a later row is cut short.
  EXPECT_EQ(worktreeOf({row("worktree-list-option-|a::b"), late("worktree-list-option-|c::d", 9999)}),
            std::nullopt);
}

TEST(SelectedNerritWorktreeTest, HostileRowsStayBounded) {
  // A menu item that is its own child and grandchild, ten thousand times.
  Json loop = {{"id", "loop"}, {"AXRole", "AXMenuItem"}, {"AXChildren", Json::array()}};
  for (int i = 0; i < 100; ++i) loop["AXChildren"].push_back({{"ref", "loop"}});
  TestDesktop t(withWindow(loop));
  EXPECT_EQ(worktree(t), std::nullopt);
  // The first row's card search runs out: role, value, then a children and
  // a class-list read for every element it looks at.
  EXPECT_LE(t.reads(), 2u * 10000 + 4);
}

}  // namespace
}  // namespace focuswatch
