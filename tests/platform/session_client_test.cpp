// The session client against the in-test session manager: what it registers, how it answers a
// checkpoint, a log-off, a refused log-off, a cancelled one and Die, and that a missing or
// vanished manager leaves the program running.
#include "platform/session/session_client.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>

#include "session_manager_double.h"
#include "support/test_support.h"

// libSM keeps the record of a turn asked for until the manager grants it, and a cancelled
// log-off never does: that record stays behind in the library.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:SmcInteractRequest\n";
}

namespace bw::test {
namespace {

using namespace std::chrono_literals;

struct RecordingTarget : SessionTarget {
  bool OnQueryEndSession() override {
    ++queries;
    return allow;
  }
  void OnSessionDie() override { ++dies; }
  bool allow = true;
  int queries = 0;
  int dies = 0;
};

class SessionClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseEmptyIceAuthority(dir_.path().string());
    context_ = g_main_context_new();
  }
  void TearDown() override {
    unsetenv("SESSION_MANAGER");
    g_main_context_unref(context_);
  }

  std::unique_ptr<SessionClient> Connect(SessionManagerDouble& manager) {
    setenv("SESSION_MANAGER", manager.SessionManager().c_str(), 1);
    return SessionClient::Connect(target_, "/opt/brookwave/bin/brookwave", context_);
  }

  // Runs the client's side until `done` holds; false after a few seconds.
  bool PumpUntil(const std::function<bool()>& done) {
    for (auto waited = 0ms; waited < 10s; waited += 10ms) {
      while (g_main_context_iteration(context_, FALSE)) {
      }
      if (done()) return true;
      usleep(10000);
    }
    return false;
  }

  // Pumps until the manager has heard `event` `times` times.
  bool Heard(SessionManagerDouble& manager, const std::string& event, int times = 1) {
    return PumpUntil([&] { return std::ranges::count(manager.Snapshot().events, event) >= times; });
  }

  TempDir dir_;
  GMainContext* context_ = nullptr;
  RecordingTarget target_;
};

TEST_F(SessionClientTest, RegistersAndAnswersACheckpointThenALogOffThenDies) {
  SessionManagerDouble manager;
  std::unique_ptr<SessionClient> client = Connect(manager);
  ASSERT_NE(client, nullptr) << manager.SessionManager();
  EXPECT_FALSE(client->ClientId().empty());
  ASSERT_TRUE(Heard(manager, "properties"));
  const auto props = manager.Snapshot().properties;
  EXPECT_EQ(props.at("Program"), std::vector<std::string>{"/opt/brookwave/bin/brookwave"});
  EXPECT_EQ(props.at("RestartCommand"), std::vector<std::string>{"/opt/brookwave/bin/brookwave"});
  EXPECT_EQ(props.at("CloneCommand"), std::vector<std::string>{"/opt/brookwave/bin/brookwave"});
  EXPECT_EQ(props.at("RestartStyleHint"), std::vector<std::string>{std::string(1, '\3')});
  EXPECT_EQ(props.at("ProcessID"), std::vector<std::string>{std::to_string(getpid())});
  EXPECT_FALSE(props.at("UserID").at(0).empty());

  // A checkpoint is answered without a word to the user.
  manager.SaveYourself(false);
  ASSERT_TRUE(Heard(manager, "save-done 1"));
  EXPECT_EQ(target_.queries, 0);
  EXPECT_EQ(manager.Snapshot().events.size(), 3u);

  // A log-off asks for its turn, asks the program once, then lets the log-off go on.
  manager.SaveYourself(true);
  ASSERT_TRUE(Heard(manager, "save-done 1", 2));
  EXPECT_EQ(target_.queries, 1);
  const auto events = manager.Snapshot().events;
  EXPECT_EQ(std::vector<std::string>(events.end() - 3, events.end()),
            (std::vector<std::string>{"interact-request 1", "interact-done 0", "save-done 1"}));

  manager.Die();
  ASSERT_TRUE(PumpUntil([&] { return target_.dies == 1; }));
  client.reset();
  EXPECT_TRUE(manager.WaitFor("closed"));
}

TEST_F(SessionClientTest, ARefusingProgramCancelsTheLogOffAndNoTurnNoQuestion) {
  SessionManagerDouble manager;
  std::unique_ptr<SessionClient> client = Connect(manager);
  ASSERT_NE(client, nullptr);
  target_.allow = false;
  manager.SaveYourself(true);
  ASSERT_TRUE(Heard(manager, "save-done 1"));
  EXPECT_TRUE(Heard(manager, "interact-done 1"));

  // A log-off that lets nobody talk to the user is answered without asking.
  target_.queries = 0;
  manager.SaveYourself(true, false);
  ASSERT_TRUE(Heard(manager, "save-done 1", 2));
  EXPECT_EQ(target_.queries, 0);
}

TEST_F(SessionClientTest, ALogOffCancelledBeforeItsTurnIsStillAnswered) {
  SessionManagerDouble manager(/*grantInteract=*/false);
  std::unique_ptr<SessionClient> client = Connect(manager);
  ASSERT_NE(client, nullptr);
  manager.SaveYourself(true);
  ASSERT_TRUE(Heard(manager, "interact-request 1"));
  manager.ShutdownCancelled();
  ASSERT_TRUE(Heard(manager, "save-done 1"));
  EXPECT_EQ(target_.queries, 0);
}

TEST_F(SessionClientTest, NoManagerAnUnreachableOneOrOneThatVanishesLeavesTheProgramRunning) {
  unsetenv("SESSION_MANAGER");
  EXPECT_EQ(SessionClient::Connect(target_, "brookwave", context_), nullptr);
  setenv("SESSION_MANAGER", "", 1);
  EXPECT_EQ(SessionClient::Connect(target_, "brookwave", context_), nullptr);
  setenv("SESSION_MANAGER", ("local/nowhere:" + (dir_ / "gone").string()).c_str(), 1);
  EXPECT_EQ(SessionClient::Connect(target_, "brookwave", context_), nullptr);
  setenv("SESSION_MANAGER", "garbage,,:/", 1);
  EXPECT_EQ(SessionClient::Connect(target_, "brookwave", context_), nullptr);

  std::unique_ptr<SessionClient> client;
  {
    SessionManagerDouble manager;
    client = Connect(manager);
    ASSERT_NE(client, nullptr);
  }
  EXPECT_TRUE(PumpUntil([&] { return !client->Connected(); }));
  EXPECT_EQ(target_.dies, 0);
}

}  // namespace
}  // namespace bw::test
