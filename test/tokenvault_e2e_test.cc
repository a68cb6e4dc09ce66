// The built tokenvault against a real Secret Service (gnome-keyring on a
// private session bus, as misc/keyring-session starts it), and against a
// small one of its own for the answers gnome-keyring cannot be made to give.
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

#include "test/subprocess.h"

namespace {

using testing_support::Outcome;

const std::vector<std::string> kItem = {"service", "mirrowin.vantrel.linear.oauth", "account", "default"};

class TokenvaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("VANTREL_KEYRING_SESSION"))
      GTEST_SKIP() << "needs the Secret Service: run under misc/keyring-session";
    EXPECT_EQ(vault({"delete"}).status, 0);
  }

  static Outcome vault(std::vector<std::string> words, std::optional<std::string> input = std::nullopt,
                       std::map<std::string, std::optional<std::string>> env = {}) {
    words.insert(words.begin(), TOKENVAULT_PATH);
    Outcome outcome = testing_support::run({.argv = words, .env = env, .input = input});
    EXPECT_EQ(outcome.err, "");  // never a message, whatever happens
    return outcome;
  }
  static Outcome shell(const std::string& script) {
    return testing_support::run({{"/bin/sh", "-c", script, "sh", TOKENVAULT_PATH}});
  }
  // The items with the token's attributes, as another client lists them.
  static std::string items() {
    std::vector<std::string> search = {"/usr/bin/secret-tool", "search", "--all"};
    search.insert(search.end(), kItem.begin(), kItem.end());
    Outcome listed = testing_support::run({search});
    return listed.out + listed.err;  // it writes the attributes to standard error
  }
};

TEST_F(TokenvaultTest, WrittenBytesReadBackExactlyInOneItem) {
  std::string token;
  for (int i = 0; i < 256; ++i) token += static_cast<char>(i);
  EXPECT_EQ(vault({"write"}, token + "\n").status, 0);
  Outcome read = vault({"read"});
  EXPECT_EQ(read.out + std::to_string(read.status), token + "\n0");
  std::string listed = items();  // one item, with exactly the two attributes
  EXPECT_EQ(listed.find("[/"), listed.rfind("[/")) << listed;
  EXPECT_EQ(listed.substr(listed.find("attribute.")),
            "attribute.account = default\nattribute.service = mirrowin.vantrel.linear.oauth\n");
}

TEST_F(TokenvaultTest, WhatIsRefusedKeepsThePreviousToken) {
  std::string longest(16383, 't');
  EXPECT_EQ(vault({"write"}, longest).status, 0);
  EXPECT_EQ(shell("yes | \"$1\" write; echo $?").out, "64\n");  // endless input
  EXPECT_EQ(shell("\"$1\" write < /; echo $?").out, "1\n");       // unreadable input
  EXPECT_TRUE(vault({"read"}).out == longest);
}

// Writes racing writes, deletes racing deletes and writes racing deletes all
// succeed: an item that vanished under a call is what a delete asked for, and
// a write then adds the token. Never two items.
TEST_F(TokenvaultTest, RacingClientsAllSucceed) {
  for (std::string words : {"wwwwwwww", "dddddddd", "dwdwdwdw", "dwdwdwdw"}) {
    EXPECT_EQ(vault({"write"}, "first").status, 0);
    std::string statuses(words.size(), '0');
    std::vector<std::thread> racers;
    for (size_t i = 0; i < words.size(); ++i)
      racers.emplace_back([&, i] { statuses[i] += vault({words[i] == 'd' ? "delete" : "write"}, "new").status; });
    for (std::thread& racer : racers) racer.join();
    EXPECT_EQ(statuses, "00000000") << words;
    std::string listed = items();
    EXPECT_EQ(listed.find("[/"), listed.rfind("[/")) << listed;
  }
}

// The token is the item in the default collection with exactly the two
// attributes (and the generic schema that gnome-keyring may add): another
// application's item, with more attributes, another schema or in another
// collection, is never read, overwritten, replaced or deleted.
TEST_F(TokenvaultTest, OtherApplicationsItemsAreLeftAlone) {
  for (std::string theirs : {"extra other-app", "-c session", "xdg:schema org.example.Other"}) {
    for (std::string ours : {"", "store ours", "store ours xdg:schema org.freedesktop.Secret.Generic"}) {
      std::string script = R"(
        store() { s=$1; shift; printf %s "$s" | secret-tool store --label=x "$@" service "$0" account default; }
        secrets() { secret-tool search --all service "$0" account default 2>/dev/null | sed -n 's/^secret = //p' | sort; }
        )" + ours + "\nstore theirs " + theirs + R"(
        "$1" read; echo " read $?"; printf new | "$1" write; echo write $? $(secrets); "$1" delete; echo delete $? $(secrets)
        secret-tool clear service "$0" account default)";
      Outcome outcome = testing_support::run({{"/bin/sh", "-c", script, kItem[1], TOKENVAULT_PATH}});
      EXPECT_EQ(outcome.out, (ours.empty() ? " read 2" : "ours read 0") + std::string("\nwrite 0 new theirs\ndelete 0 theirs\n"))
          << ours << "; " << theirs << outcome.err;
    }
  }
}

TEST_F(TokenvaultTest, NoReachableServiceIsAFailure) {
  std::map<std::string, std::optional<std::string>> noBus = {{"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus"}};
  for (auto [word, input] : {std::pair{"read", ""}, std::pair{"write", "token"}, std::pair{"delete", ""}})
    EXPECT_EQ(vault({word}, input, noBus).status, 1) << word;
}

// A keyring of its own, locked, with no one to answer the unlock prompt.
TEST_F(TokenvaultTest, LockedKeyringIsAFailureAndKeepsTheToken) {
  auto locked = [](const std::string& script) {
    std::string prelude = R"(
      secrets() { gdbus call --session --dest org.freedesktop.secrets --object-path /org/freedesktop/secrets \
                    --method org.freedesktop.Secret.Service.$1 "$2"; }
      lock() { secrets Lock "['/org/freedesktop/secrets/collection/login']" >/dev/null || exit 11; }
      )";
    return testing_support::run({{KEYRING_SESSION, "/bin/sh", "-c", prelude + script, TOKENVAULT_PATH},
                                 {{"VANTREL_KEYRING_SESSION", {}}, {"DISPLAY", {}}, {"WAYLAND_DISPLAY", {}},
                                  // the prompt's leak is told by a frame in libsecret (lsan-suppressions.txt)
                                  {"LSAN_OPTIONS", "fast_unwind_on_malloc=0"}}},
                                std::chrono::seconds(60)).out;
  };
  // The token is neither read nor deleted while it stays locked.
  EXPECT_EQ(locked(R"(printf kept | "$0" write
                      lock; "$0" read; echo "read $?"; "$0" delete; echo "delete $?"
                      secrets SearchItems "{'service': 'mirrowin.vantrel.linear.oauth', 'account': 'default'}")"),
            "read 1\ndelete 1\n(@ao [], [objectpath '/org/freedesktop/secrets/collection/login/1'])\n");
  // Nor can a token be added to a locked keyring.
  EXPECT_EQ(locked(R"(lock; printf new | "$0" write; echo "write $?")"), "write 1\n");
}

// A Secret Service of its own on a bus of its own (GLib's D-Bus), which runs
// the command once it owns the name, then prints the calls on items that it
// answered (a create that may replace an item says so) and the command's
// exit status. Its items hold the token's two
// attributes. "hold": its one item holds a token longer than a write
// accepts; "refuse": its one item is locked until unlocked, which needs no
// prompt, and refuses every call; "vanish": its one item is listed until the
// first call on it, which fails as a call on an item that another client
// deleted; "half": a second item beside that one takes every call; "quit":
// after the first call on the item every request fails, a search too;
// "hide": its item's properties cannot be read; "bare": it has no default
// collection.
const char* const kFakeService = R"(
import sys
from gi.repository import Gio, GLib
mode, calls = sys.argv[1], []
items = ['/org/freedesktop/secrets/collection/login/' + n for n in ('12' if mode == 'half' else '1')]
def answer(bus, message, incoming):
    if not incoming or message.get_message_type() != Gio.DBusMessageType.METHOD_CALL:
        return message
    name, arguments = message.get_member(), message.get_body()
    listed = items[1:] if mode in ('vanish', 'half') and set(calls) - {'Unlock'} else items
    taking = {'hold': items, 'half': items[1:]}.get(mode, [])
    replies = {'OpenSession': ('(vo)', (GLib.Variant('s', ''), '/s')), 'Unlock': ('(aoo)', (items, '/')),
               'SearchItems': ('(ao)', (listed,)), 'CreateItem': ('(oo)', (items[0], '/')), 'ReadAlias': ('(o)', ('/',)),
               'GetSecrets': ('(a{o(oayays)})', ({i: ('/s', b'', b'f' * 39999 + b'e', 'text/plain') for i in taking},)),
               'GetAll': ('(a{sv})', ({'Locked': GLib.Variant('b', mode == 'refuse' and not calls), 'Attributes':
                   GLib.Variant('a{ss}', {'service': 'mirrowin.vantrel.linear.oauth', 'account': 'default'})},))}
    replies.pop({'bare': 'SearchItems', 'hide': 'GetAll'}.get(mode), None)
    if message.get_path() in taking:
        replies.update(SetSecret=('()', ()), Delete=('(o)', ('/',)))
    if name in ('Unlock', 'GetSecrets', 'SetSecret', 'Delete', 'CreateItem'):
        calls.append(name + ' replacing' * (name == 'CreateItem' and arguments[2]))
    reply = message.new_method_reply()
    if name == 'OpenSession' and arguments[0] != 'plain':
        reply = message.new_method_error_literal('org.freedesktop.DBus.Error.NotSupported', 'plain only')
    elif name in replies and not (mode == 'quit' and calls):
        reply.set_body(GLib.Variant(*replies[name]))
    else:  # SetSecret, Delete: gnome-keyring's answer when the item is gone, or a refusal
        error = 'UnknownMethod' if mode in ('vanish', 'half') else 'AccessDenied'
        reply = message.new_method_error_literal('org.freedesktop.DBus.Error.' + error, name)
    bus.send_message(reply, Gio.DBusSendMessageFlags.NONE)
def run(*_):
    child = Gio.Subprocess.new(sys.argv[2:], Gio.SubprocessFlags.STDIN_INHERIT)
    child.wait_async(None, lambda *_: (print(*calls, child.get_exit_status()), loop.quit()))
bus, loop = Gio.bus_get_sync(Gio.BusType.SESSION), GLib.MainLoop()
bus.add_filter(answer)
Gio.bus_own_name_on_connection(bus, 'org.freedesktop.secrets', Gio.BusNameOwnerFlags.NONE, run, None)
loop.run()
)";

TEST_F(TokenvaultTest, ItemAnswersOfTheServiceDecideTheStatus) {
  struct Case { std::string mode, word, expected; };
  for (const auto& [mode, word, expected] : {
           Case{.mode = "hold", .word = "read", .expected = std::string(39999, 'f') + "eGetSecrets 0\n"},
           Case{.mode = "quit", .word = "delete", .expected = "Delete 1\n"},
           Case{.mode = "refuse", .word = "read", .expected = "Unlock GetSecrets 1\n"},
           Case{.mode = "refuse", .word = "write", .expected = "Unlock SetSecret 1\n"},
           Case{.mode = "refuse", .word = "delete", .expected = "Unlock Delete 1\n"},
           Case{.mode = "vanish", .word = "read", .expected = "GetSecrets 2\n"},
           Case{.mode = "vanish", .word = "write", .expected = "SetSecret CreateItem replacing 0\n"},
           Case{.mode = "half", .word = "write", .expected = "SetSecret SetSecret 0\n"},
           Case{.mode = "half", .word = "delete", .expected = "Delete Delete 0\n"},
           Case{.mode = "hide", .word = "read", .expected = "1\n"}, Case{.mode = "bare", .word = "read", .expected = "2\n"},
           Case{.mode = "bare", .word = "write", .expected = "CreateItem replacing 0\n"}}) {
    std::vector<std::string> command = {"/usr/bin/dbus-run-session", "--", "/usr/bin/python3", "-c", kFakeService,
                                        mode, TOKENVAULT_PATH, word};
    Outcome outcome = testing_support::run({.argv = command, .input = "token"});
    EXPECT_TRUE(outcome.out == expected) << mode << " " << word << ": " << outcome.out.substr(0, 80) << outcome.err;
  }
}

}  // namespace
