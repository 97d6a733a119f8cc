#include "remote_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>

namespace bw::test {

using namespace remote;

ServiceLoop::ServiceLoop()
    : context_(g_main_context_new()), loop_(g_main_loop_new(context_.get(), FALSE)) {
  thread_ = std::thread([this] {
    ThreadDefaultContext in_context(context_.get());
    g_main_loop_run(loop_);
  });
}

ServiceLoop::~ServiceLoop() {
  // Quit from inside the loop, so that a quit before the loop started running is not lost.
  Run([this] { g_main_loop_quit(loop_); });
  thread_.join();
  g_main_loop_unref(loop_);
}

void ServiceLoop::Run(const std::function<void()>& fn) {
  struct Call {
    const std::function<void()>* fn;
    std::promise<void> done;
  } call{&fn, {}};
  auto finished = call.done.get_future();
  g_main_context_invoke(
      context_.get(),
      [](gpointer data) -> gboolean {
        auto* c = static_cast<Call*>(data);
        (*c->fn)();
        c->done.set_value();
        return G_SOURCE_REMOVE;
      },
      &call);
  finished.wait();
}

void FakeProgram::OnRemoteCommand(RemoteCommand command) {
  {
    std::lock_guard lock(mutex_);
    commands_.push_back(command);
  }
  const bool loaded = !state.file.empty();
  switch (command) {
    case RemoteCommand::kPlay:
      if (loaded) state.status = RemotePlaybackStatus::kPlaying;
      break;
    case RemoteCommand::kStop:
      state.status = RemotePlaybackStatus::kStopped;
      break;
    case RemoteCommand::kQuit:
      if (quit_closes) {
        service.reset();
        return;
      }
      state.status = RemotePlaybackStatus::kStopped;
      break;
    default:
      return;
  }
  const bool playing = state.status == RemotePlaybackStatus::kPlaying;
  state.can_play = loaded;
  state.can_go_next = state.can_go_previous = loaded && !playing;
  Publish();
}

void FakeProgram::OnRemoteOpen(const std::filesystem::path& path) {
  {
    std::lock_guard lock(mutex_);
    opened_.push_back(path);
  }
  Load(path, 0);
}

void FakeProgram::OnRemoteVolume(double volume) {
  {
    std::lock_guard lock(mutex_);
    volumes_.push_back(volume);
  }
  state.volume = std::min(volume, 1.0);
  Publish();
}

void FakeProgram::Load(const std::filesystem::path& file, int64_t length_us) {
  state.file = file;
  state.length_us = length_us;
  state.status = RemotePlaybackStatus::kStopped;
  state.can_play = state.can_go_next = state.can_go_previous = !file.empty();
  Publish();
}

void FakeProgram::Publish() {
  if (service) service->Publish(state);
}

std::vector<RemoteCommand> FakeProgram::commands() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

std::vector<std::filesystem::path> FakeProgram::opened() const {
  std::lock_guard lock(mutex_);
  return opened_;
}

std::vector<double> FakeProgram::volumes() const {
  std::lock_guard lock(mutex_);
  return volumes_;
}

SignalWatcher::SignalWatcher(const std::string& sender) : context_(g_main_context_new()) {
  ThreadDefaultContext in_context(context_.get());
  std::string error;
  connection_ = ConnectToSessionBus(&error);
  if (!connection_) {
    ADD_FAILURE() << "watcher cannot connect: " << error;
    return;
  }
  const auto owner = NameOwner(connection_.get(), sender.c_str());
  if (!owner) {
    ADD_FAILURE() << sender << " has no owner";
    return;
  }
  subscription_ = g_dbus_connection_signal_subscribe(
      connection_.get(), owner->c_str(), nullptr, nullptr, kMprisObjectPath, nullptr,
      G_DBUS_SIGNAL_FLAGS_NONE,
      [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name,
         GVariant* parameters, gpointer watcher) {
        static_cast<SignalWatcher*>(watcher)->signals_.push_back(
            {name, VariantPtr(g_variant_ref(parameters))});
      },
      this, nullptr);
  // The subscription's match rule reaches the daemon asynchronously; a round trip to the
  // daemon afterwards makes sure it is in force before the test makes the service signal.
  NameOwner(connection_.get(), sender.c_str());
}

SignalWatcher::~SignalWatcher() {
  if (!connection_) return;
  if (subscription_ != 0) g_dbus_connection_signal_unsubscribe(connection_.get(), subscription_);
  g_dbus_connection_close_sync(connection_.get(), nullptr, nullptr);
}

bool SignalWatcher::WaitFor(std::size_t count) {
  ThreadDefaultContext in_context(context_.get());
  return IterateUntil(context_.get(), std::chrono::seconds(5),
                      [&] { return signals_.size() >= count; });
}

void RemoteServiceTest::TearDown() {
  StopService(program);
}

void RemoteServiceTest::StartService(FakeProgram& target) {
  std::string error;
  loop.Run([&] {
    target.service = MprisService::Start(target, loop.context(), &error);
    target.Publish();
  });
  ASSERT_NE(target.service, nullptr) << error;
}

void RemoteServiceTest::StopService(FakeProgram& target) {
  loop.Run([&] { target.service.reset(); });
}

std::string Quoted(const std::string& text) {
  VariantPtr value(g_variant_ref_sink(g_variant_new_string(text.c_str())));
  GCharPtr printed(g_variant_print(value.get(), FALSE));
  return printed.get();
}

CommandResult Playerctl(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"timeout", "20", "playerctl", "-p", "brookwave"};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunCommand(argv);
}

CommandResult GdbusCall(const std::string& destination, const std::string& method,
                        const std::vector<std::string>& args) {
  std::vector<std::string> argv = {
      "timeout", "20",        "gdbus",         "call",           "--session", "--timeout", "10",
      "--dest",  destination, "--object-path", kMprisObjectPath, "--method",  method};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunCommand(argv);
}

VariantPtr ParseReply(const std::string& text, const char* type) {
  return VariantPtr(g_variant_parse(G_VARIANT_TYPE(type), text.c_str(), nullptr, nullptr, nullptr));
}

VariantPtr GetProperty(const std::string& destination, const std::string& interface_name,
                       const std::string& name) {
  const CommandResult result =
      GdbusCall(destination, "org.freedesktop.DBus.Properties.Get", {interface_name, name});
  VariantPtr reply = ParseReply(result.out, "(v)");
  if (!reply) {
    ADD_FAILURE() << "Get " << name << ": " << result.out << result.err;
    return nullptr;
  }
  VariantPtr boxed(g_variant_get_child_value(reply.get(), 0));
  return VariantPtr(g_variant_get_variant(boxed.get()));
}

bool NameHasOwner(const std::string& name) {
  // A connection of its own, made on a context of its own, so that nothing is dispatched to the
  // default context behind the test's back.
  MainContextPtr context(g_main_context_new());
  ThreadDefaultContext in_context(context.get());
  const auto connection = ConnectToSessionBus(nullptr);
  if (!connection) {
    ADD_FAILURE() << "no session bus";
    return false;
  }
  const bool owned = NameOwner(connection.get(), name.c_str()).has_value();
  g_dbus_connection_close_sync(connection.get(), nullptr, nullptr);
  return owned;
}

}  // namespace bw::test
