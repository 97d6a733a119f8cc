// What the remote-control tests share: a user-interface thread of their own that runs the
// service's GMainContext, a fake program behind the service, a watcher for its signals, and
// the command-line clients (playerctl, gdbus) run against it. The tests run on a private
// session bus (with_session_bus).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/remote/mpris_service.h"
#include "platform/remote/session_bus.h"
#include "support/test_support.h"

namespace bw::test {

// A thread running a GMainLoop on a context of its own: the program's UI thread.
class ServiceLoop {
 public:
  ServiceLoop();
  ~ServiceLoop();
  GMainContext* context() const { return context_.get(); }
  // Runs `fn` on the loop's thread and returns when it has run.
  void Run(const std::function<void()>& fn);

 private:
  remote::MainContextPtr context_;
  GMainLoop* loop_;
  std::thread thread_;
};

// Stands in for the program: answers Play and Stop the way the view does (Play only with a
// file open, Stop keeps the file), and records every call. All RemoteCommandTarget calls and
// every use of `service` and `state` happen on the loop's thread; the test thread reads the
// records through the accessors.
class FakeProgram final : public RemoteCommandTarget {
 public:
  void OnRemoteCommand(RemoteCommand command) override;
  void OnRemoteOpen(const std::filesystem::path& path) override;
  bool TakesFileNow() const override { return takes_files; }
  void OnRemoteVolume(double volume) override;

  // Opens `file` (or closes with an empty path) and publishes the new state.
  void Load(const std::filesystem::path& file, int64_t length_us);
  void Publish();

  std::vector<RemoteCommand> commands() const;
  std::vector<std::filesystem::path> opened() const;
  std::vector<double> volumes() const;

  std::unique_ptr<MprisService> service;
  RemoteState state;
  bool quit_closes = true;  // false: busy, Quit only stops (the frame's close-while-busy rule)
  bool takes_files = true;  // false: a message awaits an answer, OpenUri is refused

 private:
  mutable std::mutex mutex_;
  std::vector<RemoteCommand> commands_;
  std::vector<std::filesystem::path> opened_;
  std::vector<double> volumes_;
};

// One signal seen by the watcher.
struct SeenSignal {
  std::string name;
  remote::VariantPtr parameters;
};

// Listens, on a connection and context of its own, to every signal from the MPRIS object of
// `sender` (a bus name).
class SignalWatcher {
 public:
  explicit SignalWatcher(const std::string& sender);
  ~SignalWatcher();
  // Waits (at most 5 s) until `count` signals have arrived in all; false on time-out.
  bool WaitFor(std::size_t count);
  const std::vector<SeenSignal>& signals() const { return signals_; }

 private:
  remote::MainContextPtr context_;
  remote::GObjectPtr<GDBusConnection> connection_;
  guint subscription_ = 0;
  std::vector<SeenSignal> signals_;
};

// A fake program on its UI thread; the service is started by the test and stopped at the end.
class RemoteServiceTest : public ::testing::Test {
 protected:
  void TearDown() override;
  // Starts `target`'s service on the loop; the test fails when it cannot.
  void StartService(FakeProgram& target);
  void StopService(FakeProgram& target);

  ServiceLoop loop;
  FakeProgram program;
};

// The text form of a string argument for gdbus.
std::string Quoted(const std::string& text);

// playerctl -p brookwave <args>, bounded in time.
CommandResult Playerctl(const std::vector<std::string>& args);
// gdbus call on the MPRIS object of `destination`; the reply is in `out`, GVariant text.
CommandResult GdbusCall(const std::string& destination, const std::string& method,
                        const std::vector<std::string>& args = {});
// Parses a reply of GdbusCall; nullptr if it is not of `type`.
remote::VariantPtr ParseReply(const std::string& text, const char* type);
// Reads one property of the MPRIS object through gdbus.
remote::VariantPtr GetProperty(const std::string& destination, const std::string& interface_name,
                               const std::string& name);
// Asks the bus daemon whether `name` has an owner.
bool NameHasOwner(const std::string& name);

}  // namespace bw::test
