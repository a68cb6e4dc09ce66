#include "loginhelper/commands.h"

#include <gtest/gtest.h>

namespace loginhelper {
namespace {

// Records what was asked of it; registering changes the status it reports.
class RecordingService : public LoginItemService {
 public:
  explicit RecordingService(std::vector<std::string>& calls, long raw) : calls_(calls), raw_(raw) {}
  StatusRead status() override {
    calls_.push_back("status");
    return {raw_, std::nullopt};
  }
  std::optional<Error> registerService() override {
    calls_.push_back("register");
    if (failWith) return Error{"SMAppServiceErrorDomain", 1, *failWith};
    raw_ = kEnabled;
    return std::nullopt;
  }
  std::optional<Error> unregisterService() override {
    calls_.push_back("unregister");
    if (failWith) return Error{"SMAppServiceErrorDomain", 1, *failWith};
    raw_ = kNotRegistered;
    return std::nullopt;
  }
  void openSystemSettingsLoginItems() override { calls_.push_back("settings"); }

  std::optional<std::string> failWith;

 private:
  std::vector<std::string>& calls_;
  long raw_;
};

struct Outcome {
  RunResult result;
  std::vector<std::string> calls;
};

Outcome run(std::vector<std::string> words, long raw = kNotRegistered,
        std::optional<std::string> failWith = std::nullopt,
        std::optional<Error> launchError = std::nullopt) {
  Outcome run;
  words.insert(words.begin(), "loginhelper");
  Collaborators collaborators{
      [&] {
        run.calls.push_back("make");
        auto service = std::make_unique<RecordingService>(run.calls, raw);
        service->failWith = failWith;
        return service;
      },
      [&] {
        run.calls.push_back("launch");
        return launchError;
      },
  };
  run.result = runLoginHelper(words, collaborators);
  return run;
}

using Calls = std::vector<std::string>;

TEST(EnableTest, RegistersOnlyWhenNotRegisteredOrNotFound) {
  EXPECT_EQ(run({"enable"}, kNotRegistered).calls, (Calls{"make", "status", "register", "status"}));
  EXPECT_EQ(run({"enable"}, kNotFound).calls, (Calls{"make", "status", "register", "status"}));
  for (long raw : {kEnabled, kRequiresApproval, 7L})
    EXPECT_EQ(run({"enable"}, raw).calls, (Calls{"make", "status", "status"})) << raw;
}

TEST(DisableTest, UnregistersUnlessNotRegisteredOrNotFound) {
  for (long raw : {kEnabled, kRequiresApproval, 7L})
    EXPECT_EQ(run({"disable"}, raw).calls, (Calls{"make", "status", "unregister", "status"})) << raw;
  EXPECT_EQ(run({"disable"}, kNotRegistered).calls, (Calls{"make", "status", "status"}));
  EXPECT_EQ(run({"disable"}, kNotFound).calls, (Calls{"make", "status", "status"}));
}

TEST(StatusReportTest, IsReadAfreshAfterTheChange) {
  Outcome enabled = run({"enable"}, kNotRegistered);
  EXPECT_EQ(enabled.result.standardOutput, R"({"status":"enabled"})");
  EXPECT_EQ(enabled.result.exitStatus, 0);
  EXPECT_EQ(run({"disable"}, kRequiresApproval).result.standardOutput,
            R"({"status":"notRegistered"})");
}

TEST(StatusReportTest, EveryRawValueHasItsWord) {
  const std::pair<long, const char*> words[] = {{0, "notRegistered"}, {1, "enabled"},
                                                {2, "requiresApproval"}, {3, "notFound"},
                                                {4, "unknown"}, {-1, "unknown"}};
  for (auto [raw, word] : words) {
    RunResult result = run({"status", "extra", "words"}, raw).result;
    EXPECT_EQ(result.standardOutput, std::string(R"({"status":")") + word + "\"}");
    EXPECT_EQ(result.standardError, "");
  }
}

TEST(SettingsTest, OpensTheSettingsThenReports) {
  Outcome settings = run({"settings"}, kEnabled);
  EXPECT_EQ(settings.calls, (Calls{"make", "settings", "status"}));
  EXPECT_EQ(settings.result.standardOutput, R"({"status":"enabled"})");
}

TEST(OperationWordTest, UnknownWordsFailAfterTheServiceIsMade) {
  for (const char* word : {"Enable", "", "STATUS", "launch "}) {
    Outcome unknown = run({word});
    EXPECT_EQ(unknown.calls, Calls{"make"}) << word;
    EXPECT_EQ(unknown.result.standardOutput, "");
    EXPECT_EQ(unknown.result.standardError, "Unknown startup operation\n");
    EXPECT_EQ(unknown.result.exitStatus, 1);
  }
}

TEST(OperationWordTest, LaunchIsTheDefaultAndMakesNoService) {
  for (auto words : {std::vector<std::string>{}, std::vector<std::string>{"launch", "x"}}) {
    Outcome launch = run(words);
    EXPECT_EQ(launch.calls, Calls{"launch"});
    EXPECT_EQ(launch.result.standardOutput, "");
    EXPECT_EQ(launch.result.standardError, "");
    EXPECT_EQ(launch.result.exitStatus, 0);
  }
  Outcome failed = run({}, 0, std::nullopt, Error{"VantrelStartup", 3, "Could not start Vantrel in the background"});
  EXPECT_EQ(failed.result.standardError, "Could not start Vantrel in the background\n");
  EXPECT_EQ(failed.result.exitStatus, 1);
}

TEST(FailureTest, PlatformErrorsEndTheRunWithTheirDescription) {
  Outcome failed = run({"enable"}, kNotRegistered, "Operation not permitted");
  EXPECT_EQ(failed.calls, (Calls{"make", "status", "register"}));
  EXPECT_EQ(failed.result.standardOutput, "");
  EXPECT_EQ(failed.result.standardError, "Operation not permitted\n");
  EXPECT_EQ(failed.result.exitStatus, 1);
  EXPECT_EQ(run({"disable"}, kEnabled, "Denied").result.standardError, "Denied\n");
}

}  // namespace
}  // namespace loginhelper
