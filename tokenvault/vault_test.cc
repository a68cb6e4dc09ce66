#include "tokenvault/vault.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include <gtest/gtest.h>

#include "test/scoped_state.h"

namespace tokenvault {
namespace {

constexpr int32_t kMissing = kErrSecItemNotFound;
constexpr int32_t kOther = -25308;
constexpr int32_t kDuplicate = kErrSecDuplicateItem;
constexpr int32_t kSuccess = kErrSecSuccess;

// The codes that a call answers, one a call and the last again; success
// when none is given.
using Codes = std::map<std::string, std::vector<int32_t>>;

// Answers every call with its preset codes and records the calls made, each
// with the bytes it was given.
class RecordingKeychain : public Keychain {
 public:
  RecordingKeychain(std::string& calls, Codes codes, std::string stored)
      : calls_(calls), codes_(std::move(codes)), stored_(std::move(stored)) {}
  int32_t copyMatching(const ItemQuery& query, SecretBuffer& data) override {
    data.assign(reinterpret_cast<const uint8_t*>(stored_.data()), stored_.size());
    return record("copy", query, {});
  }
  int32_t update(const ItemQuery& query, std::span<const uint8_t> data) override {
    return record("update", query, data);
  }
  int32_t add(const ItemQuery& query, std::span<const uint8_t> data) override { return record("add", query, data); }
  int32_t deleteItem(const ItemQuery& query) override { return record("delete", query, {}); }

 private:
  int32_t record(const std::string& call, const ItemQuery& query, std::span<const uint8_t> data) {
    EXPECT_EQ(query.service + " " + query.account, "mirrowin.vantrel.linear.oauth default");
    calls_ += " " + call + (data.empty() ? "" : ":" + std::string(data.begin(), data.end()));
    std::vector<int32_t>& codes = codes_[call];
    if (codes.empty()) return kErrSecSuccess;
    int32_t code = codes.front();
    if (codes.size() > 1) codes.erase(codes.begin());
    return code;
  }
  std::string& calls_;
  Codes codes_;
  std::string stored_;
};

struct Case {
  std::vector<std::string> words;
  std::string input = "";
  Codes codes = {};  // the calls that do not succeed
  int status;
  std::string calls = "";
  std::string output = "";
  std::string stored = "token\n";
  std::vector<int> closed = {};  // standard streams that were closed at start
};

void expectRun(const Case& c) {
  FILE* streams[2] = {std::tmpfile(), std::tmpfile()};
  std::fwrite(c.input.data(), 1, c.input.size(), streams[0]);
  std::rewind(streams[0]);
  int fds[2];
  for (int i = 0; i < 2; ++i)
    fds[i] = std::count(c.closed.begin(), c.closed.end(), i) ? -1 : ::fileno(streams[i]);
  std::vector<std::string> arguments = {"tokenvault"};
  arguments.insert(arguments.end(), c.words.begin(), c.words.end());
  std::string calls;
  int status = runTokenVault(
      arguments,
      [&] {
        calls += "make";
        return std::make_unique<RecordingKeychain>(calls, c.codes, c.stored);
      },
      fds[0], fds[1]);
  std::string output(::lseek(::fileno(streams[1]), 0, SEEK_END), '\0');
  ::pread(::fileno(streams[1]), output.data(), output.size(), 0);
  for (FILE* stream : streams) std::fclose(stream);
  std::string name = c.words.empty() ? "(none)" : c.words[0];
  EXPECT_EQ(status, c.status) << name;
  EXPECT_EQ(calls, c.calls) << name;
  EXPECT_EQ(output, c.output) << name;
}

TEST(TokenVaultTest, EachOperationMakesItsCallsAndExitsByTheDecidingCode) {
  std::string longest(16383, 't'), foreign(40000, 'f');
  for (const Case& c : std::vector<Case>{
           {.words = {}, .status = 64}, {.words = {"read", "x"}, .status = 64}, {.words = {"READ"}, .status = 64},
           {.words = {"write"}, .status = 64}, {.words = {"write"}, .input = std::string(16384, 'x'), .status = 64},
           {.words = {"read"}, .status = 0, .calls = "make copy", .output = "token\n"},
           // longer than a write takes
           {.words = {"read"}, .status = 0, .calls = "make copy", .output = foreign, .stored = foreign},
           {.words = {"read"}, .status = 0, .calls = "make copy", .output = "x", .stored = "x"},
           {.words = {"read"}, .status = 0, .calls = "make copy", .output = "", .stored = ""},
           {.words = {"read"}, .codes = {{"copy", {kMissing}}}, .status = 2, .calls = "make copy"},
           {.words = {"read"}, .codes = {{"copy", {kOther}}}, .status = 1, .calls = "make copy"},
           {.words = {"write"}, .input = longest, .status = 0, .calls = "make update:" + longest},
           {.words = {"write"}, .input = "t", .codes = {{"update", {kMissing}}}, .status = 0,
            .calls = "make update:t add:t"},
           {.words = {"write"}, .input = "t", .codes = {{"update", {kMissing}}, {"add", {kMissing}}}, .status = 2,
            .calls = "make update:t add:t"},
           {.words = {"write"}, .input = "t", .codes = {{"update", {kMissing}}, {"add", {kOther}}}, .status = 1,
            .calls = "make update:t add:t"},
           {.words = {"write"}, .input = "t", .codes = {{"update", {kOther}}}, .status = 1, .calls = "make update:t"},
           // Another writer added the item between update and add: it takes
           // the token; a deleter took it away meanwhile: it is added again.
           {.words = {"write"}, .input = "t", .codes = {{"update", {kMissing, kSuccess}}, {"add", {kDuplicate}}},
            .status = 0, .calls = "make update:t add:t update:t"},
           {.words = {"write"}, .input = "t", .codes = {{"update", {kMissing}}, {"add", {kDuplicate, kSuccess}}},
            .status = 0, .calls = "make update:t add:t update:t add:t"},
           {.words = {"write"}, .input = "t", .codes = {{"update", {kMissing}}, {"add", {kDuplicate}}}, .status = 1,
            .calls = "make update:t add:t update:t add:t update:t add:t update:t add:t"},
           {.words = {"delete"}, .status = 0, .calls = "make delete"},
           {.words = {"delete"}, .codes = {{"delete", {kMissing}}}, .status = 0, .calls = "make delete"},
           {.words = {"delete"}, .codes = {{"delete", {kOther}}}, .status = 1, .calls = "make delete"},
           // A closed stream fails the operation that needs it, before the keychain.
           {.words = {"read"}, .status = 1, .closed = {1}},
           {.words = {"write"}, .input = "t", .status = 1, .closed = {0}},
           {.words = {"read"}, .status = 0, .calls = "make copy", .output = "token\n", .closed = {0}},
           {.words = {"delete"}, .status = 0, .calls = "make delete", .closed = {0, 1}},
           {.words = {"READ"}, .status = 64, .closed = {0, 1}}}) {
    expectRun(c);
  }
}

TEST(TokenVaultTest, TokenThatCannotBeWrittenIsAFailure) {
  int gone[2];  // standard output whose reader has gone, as when the host quits
  ASSERT_EQ(::pipe(gone) + ::close(gone[0]), 0);
  testing_support::ScopedState state;
  state.setSignalAction(SIGPIPE, SIG_IGN);
  std::string calls;
  auto keychain = [&] { return std::make_unique<RecordingKeychain>(calls, Codes{}, "t"); };
  EXPECT_EQ(runTokenVault({"tokenvault", "read"}, keychain, -1, gone[1]), 1);
  ::close(gone[1]);
}

}  // namespace
}  // namespace tokenvault
