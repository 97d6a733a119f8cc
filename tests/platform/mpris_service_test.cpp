// The MPRIS service as other programs see it: playerctl and gdbus against a service run by the
// test with a fake program behind it, on a private session bus.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "remote_test_support.h"

namespace bw {
namespace {

using namespace test;
using remote::GCharPtr;
using remote::kMprisBusName;
using remote::kMprisPlayerInterface;
using remote::kMprisRootInterface;
using remote::VariantPtr;

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
    text.pop_back();
  return text;
}

std::string Str(GVariant* value) {
  return value ? g_variant_get_string(value, nullptr) : "";
}

VariantPtr Lookup(GVariant* dict, const char* key) {
  return VariantPtr(g_variant_lookup_value(dict, key, nullptr));
}

// All properties of one interface, as gdbus reads them.
VariantPtr GetAll(const char* interface_name) {
  const CommandResult result =
      GdbusCall(kMprisBusName, "org.freedesktop.DBus.Properties.GetAll", {interface_name});
  VariantPtr reply = ParseReply(result.out, "(a{sv})");
  if (!reply) {
    ADD_FAILURE() << result.out << result.err;
    return nullptr;
  }
  return VariantPtr(g_variant_get_child_value(reply.get(), 0));
}

class MprisServiceTest : public RemoteServiceTest {
 protected:
  void SetUp() override { StartService(program); }
};

TEST_F(MprisServiceTest, PlayerctlPlaysStopsAndReportsTheOpenFile) {
  TempDir dir;
  loop.Run([&] {
    program.state.position_us = 1'500'000;
    program.Load(dir / "take one.wav", 2'500'000);
  });

  EXPECT_EQ(Trimmed(RunCommand({"timeout", "20", "playerctl", "-l"}).out), "brookwave");
  EXPECT_EQ(Trimmed(Playerctl({"status"}).out), "Stopped");
  const CommandResult play = Playerctl({"play"});
  EXPECT_EQ(play.exit_code, 0) << play.err;
  EXPECT_EQ(Trimmed(Playerctl({"status"}).out), "Playing");
  EXPECT_EQ(Trimmed(Playerctl({"metadata", "xesam:url"}).out),
            "file://" + dir.path().string() + "/take%20one.wav");
  EXPECT_EQ(Trimmed(Playerctl({"metadata", "xesam:title"}).out), "take one.wav");
  EXPECT_EQ(Trimmed(Playerctl({"metadata", "mpris:length"}).out), "2500000");

  const double seconds = std::stod(Playerctl({"position"}).out);  // runs on while playing
  EXPECT_GE(seconds, 1.5);
  EXPECT_LT(seconds, 3.0);

  EXPECT_EQ(Playerctl({"stop"}).exit_code, 0);
  EXPECT_EQ(Trimmed(Playerctl({"status"}).out), "Stopped");
  EXPECT_EQ(program.commands(), (std::vector{RemoteCommand::kPlay, RemoteCommand::kStop}));
}

TEST_F(MprisServiceTest, IntrospectionAndFixedProperties) {
  const CommandResult introspect =
      RunCommand({"timeout", "20", "gdbus", "introspect", "--session", "--dest", kMprisBusName,
                  "--object-path", remote::kMprisObjectPath});
  ASSERT_EQ(introspect.exit_code, 0) << introspect.err;
  for (const char* part :
       {"interface org.mpris.MediaPlayer2 {", "interface org.mpris.MediaPlayer2.Player {",
        "OpenUri(in  s Uri);", "signals:\n      Seeked(x Position);", "readwrite d Volume = 1.0;"})
    EXPECT_NE(introspect.out.find(part), std::string::npos) << part << "\n" << introspect.out;

  const VariantPtr root = GetAll(kMprisRootInterface);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(Str(Lookup(root.get(), "Identity").get()), "Brookwave");
  EXPECT_EQ(Str(Lookup(root.get(), "DesktopEntry").get()), "brookwave");
  EXPECT_TRUE(g_variant_get_boolean(Lookup(root.get(), "CanQuit").get()));
  EXPECT_TRUE(g_variant_get_boolean(Lookup(root.get(), "CanRaise").get()));
  EXPECT_FALSE(g_variant_get_boolean(Lookup(root.get(), "HasTrackList").get()));
  GCharPtr schemes(g_variant_print(Lookup(root.get(), "SupportedUriSchemes").get(), FALSE));
  EXPECT_STREQ(schemes.get(), "['file']");
  GCharPtr types(g_variant_print(Lookup(root.get(), "SupportedMimeTypes").get(), FALSE));
  for (const char* type : {"'audio/x-wav'", "'audio/mpeg'", "'audio/x-brookwave-playlist'"})
    EXPECT_NE(std::string(types.get()).find(type), std::string::npos) << types.get();

  const VariantPtr player = GetAll(kMprisPlayerInterface);
  ASSERT_NE(player, nullptr);
  EXPECT_EQ(Str(Lookup(player.get(), "PlaybackStatus").get()), "Stopped");
  EXPECT_EQ(g_variant_n_children(Lookup(player.get(), "Metadata").get()), 0u);
  EXPECT_TRUE(g_variant_get_boolean(Lookup(player.get(), "CanControl").get()));
  EXPECT_FALSE(g_variant_get_boolean(Lookup(player.get(), "CanSeek").get()));
  EXPECT_FALSE(g_variant_get_boolean(Lookup(player.get(), "CanPlay").get()));
  EXPECT_EQ(g_variant_get_double(Lookup(player.get(), "Rate").get()), 1.0);
}

TEST_F(MprisServiceTest, CommandsFollowTheCanFlags) {
  // Straight to the service with gdbus: playerctl itself sends nothing while CanPlay is false.
  const auto call = [](const std::string& method, const std::vector<std::string>& args = {}) {
    return GdbusCall(kMprisBusName, std::string(kMprisPlayerInterface) + "." + method, args);
  };
  // Nothing open: the program said it can neither play, pause nor move.
  for (const char* method : {"Play", "Pause", "Next", "Previous"})
    EXPECT_EQ(call(method).exit_code, 0) << method;
  EXPECT_TRUE(program.commands().empty());
  const CommandResult play_pause = call("PlayPause");
  EXPECT_NE(play_pause.exit_code, 0);
  EXPECT_NE(play_pause.err.find("NotSupported"), std::string::npos) << play_pause.err;
  // Stop is always open to callers.
  EXPECT_EQ(call("Stop").exit_code, 0);

  loop.Run([&] {
    program.state.can_pause = program.state.can_go_next = program.state.can_go_previous = true;
    program.Publish();
  });
  for (const char* method : {"Pause", "PlayPause", "Next", "Previous"})
    EXPECT_EQ(call(method).exit_code, 0) << method;
  // Seeking is not offered: the calls are accepted and change nothing.
  EXPECT_EQ(call("Seek", {"5000000"}).exit_code, 0);
  EXPECT_EQ(call("SetPosition", {"/org/brookwave/Track/1", "0"}).exit_code, 0);
  EXPECT_EQ(program.commands(),
            (std::vector{RemoteCommand::kStop, RemoteCommand::kPause, RemoteCommand::kPlayPause,
                         RemoteCommand::kNext, RemoteCommand::kPrevious}));
  const VariantPtr position = GetProperty(kMprisBusName, kMprisPlayerInterface, "Position");
  ASSERT_NE(position, nullptr);
  EXPECT_EQ(g_variant_get_int64(position.get()), 0);
}

TEST_F(MprisServiceTest, OpenUriTakesLocalFilesOnly) {
  TempDir dir;
  // playerctl addresses only a player that can play: one with a file open already.
  loop.Run([&] { program.Load(dir / "first.wav", 0); });
  WriteFileBytes(dir / "a b.wav", {});  // playerctl makes a URI only of a file that exists
  EXPECT_EQ(Playerctl({"open", (dir / "a b.wav").string()}).exit_code, 0);
  const auto open = [](const std::string& uri) {
    return GdbusCall(kMprisBusName, "org.mpris.MediaPlayer2.Player.OpenUri", {Quoted(uri)});
  };
  EXPECT_EQ(open("file://localhost/tmp/caf%C3%A9%20%231.mp3").exit_code, 0);
  for (const char* refused : {"http://example.org/a.mp3", "file://elsewhere/a.wav",
                              "file:relative.wav", "no uri at all", ""}) {
    const CommandResult result = open(refused);
    EXPECT_NE(result.exit_code, 0) << refused;
    EXPECT_NE(result.err.find("NotSupported"), std::string::npos) << result.err;
  }
  EXPECT_EQ(program.opened(),
            (std::vector<std::filesystem::path>{dir / "a b.wav", "/tmp/caf\xC3\xA9 #1.mp3"}));
}

// While a message of the program awaits an answer, a file handed over is refused, not queued.
TEST_F(MprisServiceTest, OpenUriIsRefusedWhileTheProgramCannotTakeAFile) {
  const auto open = [] {
    return GdbusCall(kMprisBusName, "org.mpris.MediaPlayer2.Player.OpenUri",
                     {Quoted("file:///tmp/a.wav")});
  };
  loop.Run([&] { program.takes_files = false; });
  const CommandResult busy = open();
  EXPECT_NE(busy.exit_code, 0);
  EXPECT_NE(busy.err.find("org.mpris.MediaPlayer2.brookwave.Error.Busy"), std::string::npos)
      << busy.err;
  EXPECT_TRUE(program.opened().empty());
  loop.Run([&] { program.takes_files = true; });
  EXPECT_EQ(open().exit_code, 0);
  loop.Run([] {});  // the call is answered before the program takes the file
  EXPECT_EQ(program.opened(), std::vector<std::filesystem::path>{"/tmp/a.wav"});
}

TEST_F(MprisServiceTest, VolumeIsReadAndSet) {
  EXPECT_EQ(Playerctl({"volume", "0.25"}).exit_code, 0);
  EXPECT_EQ(Trimmed(Playerctl({"volume"}).out), "0.250000");
  const auto set = [](const char* name, const char* value) {
    return GdbusCall(kMprisBusName, "org.freedesktop.DBus.Properties.Set",
                     {kMprisPlayerInterface, name, value});
  };
  EXPECT_EQ(set("Volume", "<-0.5>").exit_code, 0);
  EXPECT_EQ(set("Volume", "<1.5>").exit_code, 0);
  EXPECT_EQ(program.volumes(), (std::vector{0.25, 0.0, 1.5}));
  // The rate is fixed at 1: setting it to 1 is harmless, anything else is refused.
  EXPECT_EQ(set("Rate", "<1.0>").exit_code, 0);
  EXPECT_NE(set("Rate", "<2.0>").exit_code, 0);
}

TEST_F(MprisServiceTest, WatchersAreToldWhatChanged) {
  TempDir dir;
  SignalWatcher watcher(kMprisBusName);
  loop.Run([&] { program.Load(dir / "one.wav", 1'000'000); });
  loop.Run([&] {
    // Neither a new position nor an unchanged state is worth a signal.
    program.state.position_us = 400'000;
    program.Publish();
    program.Publish();
    program.state.status = RemotePlaybackStatus::kPlaying;
    program.state.can_go_next = false;
    program.Publish();
  });
  loop.Run([&] { program.Load(dir / "two.wav", 1'000'000); });
  loop.Run([&] { program.service->Seeked(750'000); });
  ASSERT_TRUE(watcher.WaitFor(4));
  const auto& seen = watcher.signals();
  ASSERT_EQ(seen.size(), 4u);

  const auto changed = [&](std::size_t i) {
    EXPECT_EQ(seen[i].name, "PropertiesChanged");
    const char* interface_name = nullptr;
    g_variant_get_child(seen[i].parameters.get(), 0, "&s", &interface_name);
    EXPECT_STREQ(interface_name, kMprisPlayerInterface);
    return VariantPtr(g_variant_get_child_value(seen[i].parameters.get(), 1));
  };
  const auto track_id = [](GVariant* dict) {
    const VariantPtr metadata = Lookup(dict, "Metadata");
    const VariantPtr id = metadata ? Lookup(metadata.get(), "mpris:trackid") : nullptr;
    return Str(id.get());
  };

  const VariantPtr opened = changed(0);
  EXPECT_TRUE(g_variant_get_boolean(Lookup(opened.get(), "CanPlay").get()));
  EXPECT_TRUE(g_variant_get_boolean(Lookup(opened.get(), "CanGoNext").get()));
  EXPECT_EQ(Lookup(opened.get(), "PlaybackStatus"), nullptr);
  EXPECT_EQ(Lookup(opened.get(), "Position"), nullptr);
  const std::string first_track = track_id(opened.get());
  EXPECT_FALSE(first_track.empty());

  const VariantPtr playing = changed(1);
  EXPECT_EQ(g_variant_n_children(playing.get()), 2u);
  EXPECT_EQ(Str(Lookup(playing.get(), "PlaybackStatus").get()), "Playing");
  EXPECT_FALSE(g_variant_get_boolean(Lookup(playing.get(), "CanGoNext").get()));

  const VariantPtr second = changed(2);
  EXPECT_FALSE(track_id(second.get()).empty());
  EXPECT_NE(track_id(second.get()), first_track);

  EXPECT_EQ(seen[3].name, "Seeked");
  int64_t sought = 0;
  g_variant_get(seen[3].parameters.get(), "(x)", &sought);
  EXPECT_EQ(sought, 750'000);
  const VariantPtr position = GetProperty(kMprisBusName, kMprisPlayerInterface, "Position");
  ASSERT_NE(position, nullptr);
  EXPECT_EQ(g_variant_get_int64(position.get()), 750'000);
}

TEST_F(MprisServiceTest, FileNamesThatAreNotUtf8) {
  TempDir dir;
  const std::filesystem::path file = dir / "caf\xE9.wav";  // Latin-1, as old archives hold them
  loop.Run([&] { program.Load(file, 0); });
  const VariantPtr metadata = GetProperty(kMprisBusName, kMprisPlayerInterface, "Metadata");
  ASSERT_NE(metadata, nullptr);
  const std::string url = Str(Lookup(metadata.get(), "xesam:url").get());
  EXPECT_EQ(url, "file://" + dir.path().string() + "/caf%E9.wav");
  GCharPtr back(g_filename_from_uri(url.c_str(), nullptr, nullptr));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(std::filesystem::path(back.get()), file);
  const std::string title = Str(Lookup(metadata.get(), "xesam:title").get());
  EXPECT_TRUE(g_utf8_validate(title.c_str(), -1, nullptr));
  EXPECT_EQ(title.rfind("caf", 0), 0u) << title;
  EXPECT_EQ(Lookup(metadata.get(), "mpris:length"), nullptr);  // unknown length is left out
}

TEST_F(MprisServiceTest, FurtherInstancesAndReleasedNames) {
  const std::string instance_name =
      std::string(kMprisBusName) + ".instance" + std::to_string(getpid());
  FakeProgram second;
  StartService(second);
  EXPECT_EQ(second.service->bus_name(), instance_name);
  const std::string listed = RunCommand({"timeout", "20", "playerctl", "-l"}).out;
  EXPECT_NE(listed.find("brookwave\n"), std::string::npos) << listed;
  EXPECT_NE(listed.find("brookwave.instance" + std::to_string(getpid())), std::string::npos)
      << listed;

  // One process holds at most both names; a third service is refused, politely.
  FakeProgram third;
  std::string error;
  loop.Run([&] { third.service = MprisService::Start(third, loop.context(), &error); });
  EXPECT_EQ(third.service, nullptr);
  EXPECT_FALSE(error.empty());

  StopService(program);
  EXPECT_FALSE(NameHasOwner(kMprisBusName));
  EXPECT_TRUE(NameHasOwner(instance_name));
  StartService(program);
  EXPECT_EQ(program.service->bus_name(), kMprisBusName);
  StopService(second);
  EXPECT_FALSE(NameHasOwner(instance_name));
}

}  // namespace
}  // namespace bw
