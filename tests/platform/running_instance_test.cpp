// A second start meeting the first over the bus: the first instance is a service run by the
// test with a fake program behind it; the second start's calls come from the test thread.
#include "platform/remote/running_instance.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "remote_test_support.h"

namespace bw {
namespace {

using namespace test;
using namespace std::chrono_literals;
using remote::kMprisBusName;

using RunningInstanceTest = RemoteServiceTest;

TEST_F(RunningInstanceTest, NothingToFindWhenNoInstanceRuns) {
  std::string error;
  EXPECT_EQ(RunningInstance::Find(&error), nullptr);
  EXPECT_EQ(error, "");
  EXPECT_FALSE(HandFileToRunningInstance("song.wav"));
}

TEST_F(RunningInstanceTest, RaiseAndOpenReachTheFirstInstance) {
  StartService(program);
  const auto instance = RunningInstance::Find();
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(instance->unique_name().front(), ':');
  EXPECT_TRUE(instance->Raise());
  // The first instance runs in another folder: a relative path is resolved here.
  EXPECT_TRUE(instance->Open("takes/one.wav"));
  TempDir dir;
  EXPECT_TRUE(HandFileToRunningInstance(dir / "two.wav"));

  EXPECT_EQ(program.opened(),
            (std::vector<std::filesystem::path>{std::filesystem::current_path() / "takes/one.wav",
                                                dir / "two.wav"}));
  EXPECT_EQ(program.commands(), (std::vector{RemoteCommand::kRaise, RemoteCommand::kRaise}));
}

TEST_F(RunningInstanceTest, MultiModeRaisesTheFirstInstance) {
  StartService(program);
  ApplyMultiMode(1);
  EXPECT_EQ(program.commands(), std::vector{RemoteCommand::kRaise});
  EXPECT_TRUE(NameHasOwner(kMprisBusName));
}

TEST_F(RunningInstanceTest, SingleModeEndsTheFirstInstanceAndTakesItsName) {
  // The fake program closes from inside the Quit call, destroying its service there.
  StartService(program);
  ApplyMultiMode(0);
  EXPECT_EQ(program.commands(), std::vector{RemoteCommand::kQuit});
  EXPECT_FALSE(NameHasOwner(kMprisBusName));

  FakeProgram second;
  StartService(second);
  EXPECT_EQ(second.service->bus_name(), kMprisBusName);
  StopService(second);
}

TEST_F(RunningInstanceTest, BusyInstanceStopsInsteadOfQuitting) {
  TempDir dir;
  program.quit_closes = false;
  StartService(program);
  loop.Run([&] {
    program.Load(dir / "long.wav", 0);
    program.OnRemoteCommand(RemoteCommand::kPlay);
  });
  const auto instance = RunningInstance::Find();
  ASSERT_NE(instance, nullptr);
  EXPECT_TRUE(instance->Quit());
  EXPECT_FALSE(instance->WaitUntilGone(300ms));
  EXPECT_EQ(Playerctl({"status"}).out, "Stopped\n");

  // A second close request, now that it is idle, ends it while we wait.
  std::thread closer([&] {
    std::this_thread::sleep_for(100ms);
    StopService(program);
  });
  EXPECT_TRUE(instance->WaitUntilGone(5s));
  closer.join();
}

TEST_F(RunningInstanceTest, WithoutASessionBusTheProgramRunsAlone) {
  const char* saved = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  const std::string address = saved ? saved : "";
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
  std::string service_error;
  loop.Run([&] { program.service = MprisService::Start(program, loop.context(), &service_error); });
  std::string find_error;
  const auto instance = RunningInstance::Find(&find_error);
  const bool handed_over = HandFileToRunningInstance("song.wav");
  ApplyMultiMode(0);
  setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);

  EXPECT_EQ(program.service, nullptr);
  EXPECT_FALSE(service_error.empty());
  EXPECT_EQ(instance, nullptr);
  EXPECT_FALSE(find_error.empty());
  EXPECT_FALSE(handed_over);
}

}  // namespace
}  // namespace bw
