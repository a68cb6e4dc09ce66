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
           Case{"enable", kNotRegistered, kRegister, "enabled"}, Case{"enable", kNotFound, kRegister, "enabled"},
           Case{"enable", kEnabled, kNothing, "enabled"}, Case{"enable", kRequiresApproval, kNothing, "requiresApproval"},
           Case{"enable", 7, kNothing, "unknown"}, Case{"disable", kEnabled, kUnregister, "notRegistered"},
           Case{"disable", kRequiresApproval, kUnregister, "notRegistered"}, Case{"disable", 7, kUnregister, "notRegistered"},
           Case{"disable", kNotRegistered, kNothing, "notRegistered"}, Case{"disable", kNotFound, kNothing, "notFound"},
           Case{"settings", kEnabled, {"make", "settings", "status"}, "enabled"},
           Case{"status", 4, {"make", "status"}, "unknown"}, Case{"status", -1, {"make", "status"}, "unknown"}}) {
    Outcome done = run({word, "extra"}, raw);
    EXPECT_EQ(done.calls, calls) << word << " " << raw;
    EXPECT_EQ(done.result.standardOutput, std::string(R"({"status":")") + report + "\"}") << word << raw;
    EXPECT_EQ(done.result.standardError + std::to_string(done.result.exitStatus), "0");
  }
}

TEST(CommandsTest, FailuresAreOneLineOnStandardErrorAndStatusOne) {
  struct Case { Outcome done; Calls calls; const char* error; };
  for (const auto& [done, calls, error] : {
           Case{run({"Enable"}), {"make"}, "Unknown startup operation"},
           Case{run({""}), {"make"}, "Unknown startup operation"},
           Case{run({"launch "}), {"make"}, "Unknown startup operation"},
           Case{run({"enable"}, kNotRegistered, "Operation not permitted"), {"make", "status", "register"},
                "Operation not permitted"},
           Case{run({"disable"}, kEnabled, "Denied"), {"make", "status", "unregister"}, "Denied"},
           Case{run({}, 0, std::nullopt, Error{"VantrelStartup", 3, "Could not start"}), {"launch"}, "Could not start"},
           Case{run({"enable"}, kNotRegistered, "a\nb\x01\x7f\\"), {"make", "status", "register"},
                "a\\nb\\x01\\x7f\\"}}) {
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
