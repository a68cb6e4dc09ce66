#include "tokenvault/vault.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>

namespace tokenvault {
namespace {

constexpr int32_t kFound = kErrSecSuccess;
constexpr int32_t kMissing = kErrSecItemNotFound;
constexpr int32_t kOther = -25308;

// Answers every call with its preset code and records the calls made.
class RecordingKeychain : public Keychain {
 public:
  RecordingKeychain(std::vector<std::string>& calls, int32_t code) : calls_(calls), code_(code) {}
  int32_t copyMatching(const ItemQuery& query, SecretBuffer& data) override {
    data.assign(reinterpret_cast<const uint8_t*>(stored.data()), stored.size());
    return record("copy", query, {});
  }
  int32_t update(const ItemQuery& query, std::span<const uint8_t> data) override {
    return record("update", query, data);
  }
  int32_t add(const ItemQuery& query, std::span<const uint8_t> data) override {
    return record("add", query, data);
  }
  int32_t deleteItem(const ItemQuery& query) override { return record("delete", query, {}); }

  std::map<std::string, int32_t> codes;  // per call; code_ otherwise
  std::string stored = "token\n";        // what a lookup finds

 private:
  int32_t record(const std::string& call, const ItemQuery& query, std::span<const uint8_t> data) {
    EXPECT_EQ(query.service, "mirrowin.vantrel.linear.oauth");
    EXPECT_EQ(query.account, "default");
    calls_.push_back(data.empty() ? call : call + " " + std::string(data.begin(), data.end()));
    return codes.contains(call) ? codes[call] : code_;
  }
  std::vector<std::string>& calls_;
  int32_t code_;
};

struct Case {
  std::vector<std::string> words;
  std::string input;
  std::map<std::string, int32_t> codes;
  int status;
  std::vector<std::string> calls;
  std::string output = "";
  std::string stored = "token\n";
  std::vector<int> closed = {};  // standard streams that were closed at start
};

void expectRun(const Case& c) {
  std::vector<std::string> calls;
  FILE* in = std::tmpfile();
  std::fwrite(c.input.data(), 1, c.input.size(), in);
  std::rewind(in);
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  std::vector<std::string> arguments = {"tokenvault"};
  arguments.insert(arguments.end(), c.words.begin(), c.words.end());
  int status = runTokenVault(
      arguments,
      [&] {
        calls.push_back("make");
        auto keychain = std::make_unique<RecordingKeychain>(calls, kFound);
        keychain->codes = c.codes;
        keychain->stored = c.stored;
        return keychain;
      },
      std::count(c.closed.begin(), c.closed.end(), 0) ? -1 : ::fileno(in),
      std::count(c.closed.begin(), c.closed.end(), 1) ? -1 : out[1]);
  std::fclose(in);
  ::close(out[1]);
  std::string output;
  char buffer[4096];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) output.append(buffer, n);
  ::close(out[0]);
  std::string name = c.words.empty() ? "(none)" : c.words[0];
  EXPECT_EQ(status, c.status) << name;
  EXPECT_EQ(calls, c.calls) << name;
  EXPECT_EQ(output, c.output) << name;
}

TEST(TokenVaultTest, UsageFaultsMakeNoKeychainCall) {
  for (auto words : std::vector<std::vector<std::string>>{{}, {"read", "x"}, {"READ"}, {""}})
    expectRun({words, "", {}, 64, {}});
  expectRun({{"write"}, "", {}, 64, {}});
  expectRun({{"write"}, std::string(16384, 'x'), {}, 64, {}});
  expectRun({{"write"}, std::string(100000, 'x'), {}, 64, {}});
}

TEST(TokenVaultTest, ReadWritesTheTokenOnlyWhenFound) {
  expectRun({{"read"}, "", {}, 0, {"make", "copy"}, "token\n"});
  // Another client may have stored more than a write here accepts.
  std::string foreign(40000, 'f');
  expectRun({{"read"}, "", {}, 0, {"make", "copy"}, foreign, foreign});
  expectRun({{"read"}, "", {{"copy", kMissing}}, 2, {"make", "copy"}});
  expectRun({{"read"}, "", {{"copy", kOther}}, 1, {"make", "copy"}});
}

TEST(TokenVaultTest, WriteAddsOnlyWhenTheUpdateFindsNothing) {
  std::string longest(16383, 't');
  expectRun({{"write"}, longest, {}, 0, {"make", "update " + longest}});
  expectRun({{"write"}, "t", {{"update", kMissing}}, 0, {"make", "update t", "add t"}});
  expectRun({{"write"}, "t", {{"update", kMissing}, {"add", kMissing}}, 2,
             {"make", "update t", "add t"}});
  expectRun({{"write"}, "t", {{"update", kMissing}, {"add", kOther}}, 1,
             {"make", "update t", "add t"}});
  expectRun({{"write"}, "t", {{"update", kOther}}, 1, {"make", "update t"}});
}

TEST(TokenVaultTest, DeleteOfNothingIsSuccess) {
  expectRun({{"delete"}, "", {}, 0, {"make", "delete"}});
  expectRun({{"delete"}, "", {{"delete", kMissing}}, 0, {"make", "delete"}});
  expectRun({{"delete"}, "", {{"delete", kOther}}, 1, {"make", "delete"}});
}

TEST(TokenVaultTest, ClosedStreamFailsTheOperationThatNeedsItBeforeTheKeychain) {
  expectRun({{"read"}, "", {}, 1, {}, "", "token\n", {1}});
  expectRun({{"write"}, "t", {}, 1, {}, "", "token\n", {0}});
  expectRun({{"read"}, "", {}, 0, {"make", "copy"}, "token\n", "token\n", {0}});
  expectRun({{"delete"}, "", {}, 0, {"make", "delete"}, "", "token\n", {0, 1}});
  expectRun({{"READ"}, "", {}, 64, {}, "", "token\n", {0, 1}});
}

TEST(TokenVaultTest, TokenThatCannotBeWrittenIsAFailure) {
  ::signal(SIGPIPE, SIG_IGN);
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  ::close(out[0]);
  std::vector<std::string> calls;
  auto keychain = [&] { return std::make_unique<RecordingKeychain>(calls, kFound); };
  EXPECT_EQ(runTokenVault({"tokenvault", "read"}, keychain, -1, out[1]), 1);
  ::close(out[1]);
}

TEST(SecretBufferTest, AssignKeepsEveryByteAndGrowsWhenItMust) {
  SecretBuffer buffer(4);
  for (std::string bytes : {std::string("ab"), std::string(""), std::string(100, 'x') + '\0'}) {
    buffer.assign(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    EXPECT_EQ(std::string(buffer.bytes().begin(), buffer.bytes().end()), bytes);
    EXPECT_GE(buffer.capacity(), bytes.size());
  }
}

}  // namespace
}  // namespace tokenvault
