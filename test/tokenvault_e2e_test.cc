// The built tokenvault against a real Secret Service (gnome-keyring on a
// private session bus, as misc/keyring-session starts it).
#include <cstdlib>

#include <gtest/gtest.h>

#include "test/subprocess.h"

namespace {

using testing_support::Launch;
using testing_support::Outcome;

class TokenvaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("VANTREL_KEYRING_SESSION"))
      GTEST_SKIP() << "needs the Secret Service: run under misc/keyring-session";
    EXPECT_EQ(vault({"delete"}).status, 0);
  }

  static Outcome vault(std::vector<std::string> words,
                       std::optional<std::string> input = std::nullopt,
                       std::map<std::string, std::string> env = {}) {
    Launch launch;
    launch.argv = {TOKENVAULT_PATH};
    launch.argv.insert(launch.argv.end(), words.begin(), words.end());
    launch.input = std::move(input);
    launch.env = std::move(env);
    Outcome outcome = testing_support::run(launch);
    EXPECT_EQ(outcome.err, "");  // never a message, whatever happens
    return outcome;
  }
};

TEST_F(TokenvaultTest, WriteThenReadReturnsTheBytesExactly) {
  std::string token;
  for (int i = 0; i < 256; ++i) token += static_cast<char>(i);
  token += "\n";
  EXPECT_EQ(vault({"write"}, token).status, 0);
  Outcome read = vault({"read"});
  EXPECT_EQ(read.status, 0);
  EXPECT_EQ(read.out, token);
}

TEST_F(TokenvaultTest, SecondWriteReplacesTheFirst) {
  EXPECT_EQ(vault({"write"}, "first").status, 0);
  EXPECT_EQ(vault({"write"}, "second\n").status, 0);
  EXPECT_EQ(vault({"read"}).out, "second\n");
  Launch lookup;
  lookup.argv = {"/usr/bin/secret-tool", "lookup", "service", "mirrowin.vantrel.linear.oauth",
                 "account", "default"};
  EXPECT_EQ(testing_support::run(lookup).out, "second\n");
}

TEST_F(TokenvaultTest, SizeLimitsKeepThePreviousToken) {
  std::string longest(16383, 't');
  EXPECT_EQ(vault({"write"}, longest).status, 0);
  EXPECT_EQ(vault({"write"}, std::string(16384, 'x')).status, 64);
  EXPECT_EQ(vault({"write"}, std::string(1 << 20, 'x')).status, 64);
  EXPECT_EQ(vault({"write"}, "").status, 64);
  EXPECT_EQ(vault({"write"}).status, 64);  // standard input closed at once
  EXPECT_EQ(vault({"read"}).out, longest);
}

TEST_F(TokenvaultTest, MissingTokenReadsAsTwoAndDeletesAsSuccess) {
  Outcome read = vault({"read"});
  EXPECT_EQ(read.status, 2);
  EXPECT_EQ(read.out, "");
  EXPECT_EQ(vault({"delete"}).status, 0);
  EXPECT_EQ(vault({"write"}, "gone soon").status, 0);
  EXPECT_EQ(vault({"delete"}).status, 0);
  EXPECT_EQ(vault({"read"}).status, 2);
}

TEST_F(TokenvaultTest, UsageFaults) {
  EXPECT_EQ(vault({}).status, 64);
  EXPECT_EQ(vault({"read", "more"}).status, 64);
  EXPECT_EQ(vault({"READ"}).status, 64);
  EXPECT_EQ(vault({""}).status, 64);
}

TEST_F(TokenvaultTest, UnreachableSecretServiceIsAFailure) {
  std::map<std::string, std::string> noBus = {
      {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus"}};
  EXPECT_EQ(vault({"read"}, std::nullopt, noBus).status, 1);
  EXPECT_EQ(vault({"write"}, "token", noBus).status, 1);
  EXPECT_EQ(vault({"delete"}, std::nullopt, noBus).status, 1);
}

}  // namespace
