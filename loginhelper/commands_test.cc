#include "loginhelper/commands.h"

#include <gtest/gtest.h>

namespace loginhelper {
namespace {

using Calls = std::vector<std::string>;

// Records what was asked of it; registering changes the status it reports.
class RecordingService : public LoginItemService {
 public:
  RecordingService(Calls& calls, long raw, std::optional<std::string> failWith)
      : calls_(calls), raw_(raw), failWith_(failWith) {}
  Result<long> status() override { return calls_.push_back("status"), raw_; }
  Result<> registerService() override { return change("register", kEnabled); }
  Result<> unregisterService() override { return change("unregister", kNotRegistered); }
  void openSystemSettingsLoginItems() override { calls_.push_back("settings"); }

 private:
  Result<> change(const char* call, long raw) {
    calls_.push_back(call);
    if (failWith_) return Failure(Error{"SMAppServiceErrorDomain", 1, *failWith_});
    raw_ = raw;
    return Done{};
  }
  Calls& calls_;
  long raw_;
  std::optional<std::string> failWith_;
};

struct Outcome {
  Calls calls;
  RunResult result;
};

Outcome run(Calls words, long raw = kNotRegistered, std::optional<std::string> failWith = std::nullopt,
        std::optional<Error> launchError = std::nullopt) {
  Outcome run;
  words.insert(words.begin(), "loginhelper");
  run.result = runLoginHelper(
      words, {[&] { return run.calls.push_back("make"), std::make_unique<RecordingService>(run.calls, raw, failWith); },
              [&]() -> Result<> {
                run.calls.push_back("launch");
                if (launchError) return Failure(*launchError);
                return Done{};
              }});
  return run;
}

TEST(CommandsTest, EachWordMakesItsCallsAndReportsTheStatusAfterThem) {
  struct Case { const char* word; long raw; Calls calls; const char* report; };
  const Calls kRegister = {"make", "status", "register", "status"};
  const Calls kUnregister = {"make", "status", "unregister", "status"};
  const Calls kNothing = {"make", "status", "status"};
  for (const auto& [word, raw, calls, report] : {
           Case{.word = "enable", .raw = kNotRegistered, .calls = kRegister, .report = "enabled"},
           Case{.word = "enable", .raw = kNotFound, .calls = kRegister, .report = "enabled"},
           Case{.word = "enable", .raw = kEnabled, .calls = kNothing, .report = "enabled"},
           Case{.word = "enable", .raw = kRequiresApproval, .calls = kNothing, .report = "requiresApproval"},
           Case{.word = "enable", .raw = 7, .calls = kNothing, .report = "unknown"},
           Case{.word = "disable", .raw = kEnabled, .calls = kUnregister, .report = "notRegistered"},
           Case{.word = "disable", .raw = kRequiresApproval, .calls = kUnregister, .report = "notRegistered"},
           Case{.word = "disable", .raw = 7, .calls = kUnregister, .report = "notRegistered"},
           Case{.word = "disable", .raw = kNotRegistered, .calls = kNothing, .report = "notRegistered"},
           Case{.word = "disable", .raw = kNotFound, .calls = kNothing, .report = "notFound"},
           Case{.word = "settings", .raw = kEnabled, .calls = {"make", "settings", "status"}, .report = "enabled"},
           Case{.word = "status", .raw = 4, .calls = {"make", "status"}, .report = "unknown"},
           Case{.word = "status", .raw = -1, .calls = {"make", "status"}, .report = "unknown"}}) {
    Outcome done = run({word, "extra"}, raw);
    EXPECT_EQ(done.calls, calls) << word << " " << raw;
    EXPECT_EQ(done.result.standardOutput, std::string(R"({"status":")") + report + "\"}") << word << raw;
    EXPECT_EQ(done.result.standardError + std::to_string(done.result.exitStatus), "0");
  }
}

TEST(CommandsTest, FailuresAreOneLineOnStandardErrorAndStatusOne) {
  struct Case { Outcome done; Calls calls; const char* error; };
  for (const auto& [done, calls, error] : {
           Case{.done = run({"Enable"}), .calls = {"make"}, .error = "Unknown startup operation"},
           Case{.done = run({""}), .calls = {"make"}, .error = "Unknown startup operation"},
           Case{.done = run({"launch "}), .calls = {"make"}, .error = "Unknown startup operation"},
           Case{.done = run({"enable"}, kNotRegistered, "Operation not permitted"),
                .calls = {"make", "status", "register"}, .error = "Operation not permitted"},
           Case{.done = run({"disable"}, kEnabled, "Denied"), .calls = {"make", "status", "unregister"},
                .error = "Denied"},
           Case{.done = run({}, 0, std::nullopt, Error{"VantrelStartup", 3, "Could not start"}), .calls = {"launch"},
                .error = "Could not start"},
           Case{.done = run({"enable"}, kNotRegistered, "a\nb\x01\x7f\\"), .calls = {"make", "status", "register"},
                .error = "a\\nb\\x01\\x7f\\"}}) {
    EXPECT_EQ(done.calls, calls) << error;
    EXPECT_EQ(done.result.standardOutput, "");
    EXPECT_EQ(done.result.standardError, std::string(error) + "\n");
    EXPECT_EQ(done.result.exitStatus, 1);
  }
  // "launch" is the default, makes no service and reports nothing.
  for (Calls words : {Calls{}, Calls{"launch", "x"}}) {
    Outcome launched = run(words);
    EXPECT_EQ(launched.calls, Calls{"launch"});
    EXPECT_EQ(launched.result.standardOutput + launched.result.standardError, "");
    EXPECT_EQ(launched.result.exitStatus, 0);
  }
}

}  // namespace
}  // namespace loginhelper
