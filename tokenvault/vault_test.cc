#include "tokenvault/vault.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>

namespace tokenvault {
namespace {

constexpr int32_t kOtherError = -25308;

// Answers each call with a preset code and records what was asked.
class RecordingKeychain : public Keychain {
 public:
  RecordingKeychain(std::vector<std::string>& calls, int32_t copy, int32_t update, int32_t add,
                    int32_t remove)
      : calls_(calls), copy_(copy), update_(update), add_(add), remove_(remove) {}

  int32_t copyMatching(const ItemQuery& query, SecretBuffer& data) override {
    record("copy", query, {});
    if (copy_ == kErrSecSuccess) {
      std::memcpy(data.data(), "token\n", 6);
      data.resize(6);
    }
    return copy_;
  }
  int32_t update(const ItemQuery& query, std::span<const uint8_t> data) override {
    record("update", query, data);
    return update_;
  }
  int32_t add(const ItemQuery& query, std::span<const uint8_t> data) override {
    record("add", query, data);
    return add_;
  }
  int32_t deleteItem(const ItemQuery& query) override {
    record("delete", query, {});
    return remove_;
  }

 private:
  void record(const std::string& call, const ItemQuery& query, std::span<const uint8_t> data) {
    EXPECT_EQ(query.service, "mirrowin.vantrel.linear.oauth");
    EXPECT_EQ(query.account, "default");
    calls_.push_back(data.empty() ? call
                                  : call + " " + std::string(data.begin(), data.end()));
  }

  std::vector<std::string>& calls_;
  int32_t copy_, update_, add_, remove_;
};

struct Result {
  int status;
  std::vector<std::string> calls;
  std::string output;
};

struct Codes {
  int32_t copy = kErrSecSuccess, update = kErrSecSuccess, add = kErrSecSuccess,
          remove = kErrSecSuccess;
};

Result vault(std::vector<std::string> words, const std::string& input = "",
             Codes codes = Codes()) {
  Result result;
  FILE* in = std::tmpfile();
  EXPECT_EQ(std::fwrite(input.data(), 1, input.size(), in), input.size());
  std::rewind(in);
  int out[2];
  EXPECT_EQ(::pipe(out), 0);
  words.insert(words.begin(), "tokenvault");
  result.status = runTokenVault(
      words,
      [&] {
        result.calls.push_back("make");
        return std::make_unique<RecordingKeychain>(result.calls, codes.copy, codes.update,
                                                   codes.add, codes.remove);
      },
      ::fileno(in), out[1]);
  std::fclose(in);
  ::close(out[1]);
  char buffer[4096];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
    result.output.append(buffer, static_cast<size_t>(n));
  ::close(out[0]);
  return result;
}

using Calls = std::vector<std::string>;

TEST(UsageTest, FaultsMakeNoKeychainCall) {
  for (auto words : std::vector<Calls>{{}, {"read", "extra"}, {"READ"}, {""}, {"write "}}) {
    Result result = vault(words);
    EXPECT_EQ(result.status, 64);
    EXPECT_TRUE(result.calls.empty());
  }
}

TEST(ReadTest, FoundNotFoundAndOtherErrors) {
  Result found = vault({"read"});
  EXPECT_EQ(found.status, 0);
  EXPECT_EQ(found.output, "token\n");
  EXPECT_EQ(found.calls, (Calls{"make", "copy"}));
  Result missing = vault({"read"}, "", {.copy = kErrSecItemNotFound});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.output, "");
  Result failed = vault({"read"}, "", {.copy = kOtherError});
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.output, "");
}

TEST(ReadTest, TokenThatCannotBeWrittenIsAFailure) {
  ::signal(SIGPIPE, SIG_IGN);
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  ::close(out[0]);
  std::vector<std::string> calls;
  int status = runTokenVault(
      {"tokenvault", "read"},
      [&] { return std::make_unique<RecordingKeychain>(calls, 0, 0, 0, 0); }, -1, out[1]);
  ::close(out[1]);
  EXPECT_EQ(status, 1);
}

TEST(WriteTest, UpdatesAndAddsOnlyWhenNothingMatched) {
  Result updated = vault({"write"}, "abc");
  EXPECT_EQ(updated.status, 0);
  EXPECT_EQ(updated.calls, (Calls{"make", "update abc"}));
  Result added = vault({"write"}, "abc", {.update = kErrSecItemNotFound});
  EXPECT_EQ(added.status, 0);
  EXPECT_EQ(added.calls, (Calls{"make", "update abc", "add abc"}));
  Result addMissing = vault({"write"}, "abc", {.update = kErrSecItemNotFound, .add = kErrSecItemNotFound});
  EXPECT_EQ(addMissing.status, 2);
  Result addFailed = vault({"write"}, "abc", {.update = kErrSecItemNotFound, .add = kOtherError});
  EXPECT_EQ(addFailed.status, 1);
  Result updateFailed = vault({"write"}, "abc", {.update = kOtherError});
  EXPECT_EQ(updateFailed.status, 1);
  EXPECT_EQ(updateFailed.calls, (Calls{"make", "update abc"}));
}

TEST(WriteTest, InputMustHoldOneTo16383Bytes) {
  EXPECT_EQ(vault({"write"}, std::string(16383, 'x')).status, 0);
  Result tooLong = vault({"write"}, std::string(16384, 'x'));
  EXPECT_EQ(tooLong.status, 64);
  EXPECT_TRUE(tooLong.calls.empty());
  EXPECT_EQ(vault({"write"}, std::string(100000, 'x')).status, 64);
  Result empty = vault({"write"}, "");
  EXPECT_EQ(empty.status, 64);
  EXPECT_TRUE(empty.calls.empty());
}

TEST(DeleteTest, NothingToRemoveIsSuccess) {
  EXPECT_EQ(vault({"delete"}).status, 0);
  EXPECT_EQ(vault({"delete"}, "", {.remove = kErrSecItemNotFound}).status, 0);
  Result failed = vault({"delete"}, "", {.remove = kOtherError});
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.calls, (Calls{"make", "delete"}));
}

TEST(SecretBufferTest, WipesItsBytes) {
  SecretBuffer buffer(8);
  std::memcpy(buffer.data(), "secret!", 8);
  buffer.resize(8);
  buffer.wipe();
  EXPECT_EQ(buffer.size(), 0u);
  for (size_t i = 0; i < 8; ++i) EXPECT_EQ(buffer.data()[i], 0);
}

}  // namespace
}  // namespace tokenvault
