#include "session_manager_double.h"

#include <X11/SM/SMlib.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace bw::test {

namespace {

Bool AcceptAnyHost(char*) {
  return True;
}

void InitIceOnce() {
  static std::once_flag once;
  std::call_once(once, [] { IceInitThreads(); });
}

}  // namespace

struct SessionManagerDouble::State {
  bool grantInteract = true;
  IceListenObj* listenObjs = nullptr;
  int listenCount = 0;
  std::vector<IceConn> iceConns;
  SmsConn client = nullptr;
  std::array<int, 2> wake{-1, -1};
  std::thread thread;
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::function<void()>> actions;
  bool stop = false;
  Heard heard;

  void Note(const std::string& event) {
    std::lock_guard lock(mutex);
    heard.events.push_back(event);
    changed.notify_all();
  }

  void Run() {
    while (true) {
      std::vector<pollfd> fds{{wake[0], POLLIN, 0}};
      for (int i = 0; i < listenCount; ++i)
        fds.push_back({IceGetListenConnectionNumber(listenObjs[i]), POLLIN, 0});
      for (IceConn conn : iceConns)
        fds.push_back({IceConnectionNumber(conn), POLLIN, 0});
      poll(fds.data(), fds.size(), 200);
      std::vector<std::function<void()>> todo;
      {
        std::lock_guard lock(mutex);
        if (stop) return;
        todo.swap(actions);
      }
      if (fds[0].revents) {
        char byte = 0;
        [[maybe_unused]] ssize_t n = read(wake[0], &byte, 1);
      }
      for (auto& action : todo)
        action();
      for (int i = 0; i < listenCount; ++i)
        if (fds[1 + i].revents) Accept(listenObjs[i]);
      std::vector<IceConn> ready;
      for (std::size_t i = 0; i < iceConns.size() && 1 + listenCount + i < fds.size(); ++i)
        if (fds[1 + listenCount + i].revents) ready.push_back(iceConns[i]);
      for (IceConn conn : ready)
        Process(conn);
    }
  }

  void Accept(IceListenObj listen) {
    IceAcceptStatus status;
    IceConn conn = IceAcceptConnection(listen, &status);
    if (conn == nullptr) return;
    IceConnectStatus connStatus;
    while ((connStatus = IceConnectionStatus(conn)) == IceConnectPending) {
      if (IceProcessMessages(conn, nullptr, nullptr) == IceProcessMessagesIOError) break;
    }
    if (connStatus == IceConnectAccepted)
      iceConns.push_back(conn);
    else
      IceCloseConnection(conn);
  }

  void Process(IceConn conn) {
    if (IceProcessMessages(conn, nullptr, nullptr) != IceProcessMessagesIOError) return;
    std::erase(iceConns, conn);
    IceSetShutdownNegotiation(conn, False);
    IceCloseConnection(conn);
    Note("closed");
  }
};

namespace {

using State = SessionManagerDouble::State;

State& Of(SmPointer data) {
  return *static_cast<State*>(data);
}

std::string PropertyValue(const SmPropValue& value) {
  return std::string(static_cast<const char*>(value.value), static_cast<std::size_t>(value.length));
}

Status NewClient(SmsConn, SmPointer data, unsigned long* mask, SmsCallbacks* callbacks, char**) {
  *mask = SmsRegisterClientProcMask | SmsInteractRequestProcMask | SmsInteractDoneProcMask |
          SmsSaveYourselfRequestProcMask | SmsSaveYourselfP2RequestProcMask |
          SmsSaveYourselfDoneProcMask | SmsCloseConnectionProcMask | SmsSetPropertiesProcMask;
  *callbacks = {};
  callbacks->register_client = {[](SmsConn conn, SmPointer d, char* previousId) -> Status {
                                  std::free(previousId);
                                  char* id = SmsGenerateClientID(conn);
                                  const Status ok = SmsRegisterClientReply(conn, id);
                                  std::free(id);
                                  Of(d).client = conn;
                                  Of(d).Note("register");
                                  return ok;
                                },
                                data};
  callbacks->interact_request = {[](SmsConn conn, SmPointer d, int dialogType) {
                                   Of(d).Note("interact-request " + std::to_string(dialogType));
                                   if (Of(d).grantInteract) SmsInteract(conn);
                                 },
                                 data};
  callbacks->interact_done = {[](SmsConn, SmPointer d, Bool cancel) {
                                Of(d).Note("interact-done " + std::to_string(cancel ? 1 : 0));
                              },
                              data};
  callbacks->save_yourself_request = {[](SmsConn, SmPointer, int, Bool, int, Bool, Bool) {}, data};
  callbacks->save_yourself_phase2_request = {[](SmsConn, SmPointer) {}, data};
  callbacks->save_yourself_done = {[](SmsConn, SmPointer d, Bool success) {
                                     Of(d).Note("save-done " + std::to_string(success ? 1 : 0));
                                   },
                                   data};
  callbacks->close_connection = {[](SmsConn conn, SmPointer d, int count, char** reasons) {
                                   SmFreeReasons(count, reasons);
                                   IceConn ice = SmsGetIceConnection(conn);
                                   SmsCleanUp(conn);
                                   if (Of(d).client == conn) Of(d).client = nullptr;
                                   std::erase(Of(d).iceConns, ice);
                                   IceSetShutdownNegotiation(ice, False);
                                   IceCloseConnection(ice);
                                   Of(d).Note("closed");
                                 },
                                 data};
  callbacks->set_properties = {[](SmsConn, SmPointer d, int count, SmProp** props) {
                                 {
                                   std::lock_guard lock(Of(d).mutex);
                                   for (int i = 0; i < count; ++i) {
                                     std::vector<std::string>& values =
                                         Of(d).heard.properties[props[i]->name];
                                     values.clear();
                                     for (int v = 0; v < props[i]->num_vals; ++v)
                                       values.push_back(PropertyValue(props[i]->vals[v]));
                                     SmFreeProperty(props[i]);
                                   }
                                 }
                                 std::free(props);
                                 Of(d).Note("properties");
                               },
                               data};
  return 1;
}

}  // namespace

void UseEmptyIceAuthority(const std::string& folder) {
  setenv("ICEAUTHORITY", (folder + "/no-iceauthority").c_str(), 1);
}

SessionManagerDouble::SessionManagerDouble(bool grantInteract)
    : m_state(std::make_unique<State>()) {
  InitIceOnce();
  State& s = *m_state;
  s.grantInteract = grantInteract;
  std::array<char, 256> error{};
  if (!SmsInitialize("brookwave-test", "1.0", NewClient, &s, AcceptAnyHost,
                     static_cast<int>(error.size()), error.data()))
    return;
  if (!IceListenForConnections(&s.listenCount, &s.listenObjs, static_cast<int>(error.size()),
                               error.data()))
    return;
  for (int i = 0; i < s.listenCount; ++i)
    IceSetHostBasedAuthProc(s.listenObjs[i], AcceptAnyHost);
  char* ids = IceComposeNetworkIdList(s.listenCount, s.listenObjs);
  m_networkIds = ids;
  std::free(ids);
  if (pipe(s.wake.data()) != 0) return;
  s.thread = std::thread([&s] { s.Run(); });
}

SessionManagerDouble::~SessionManagerDouble() {
  State& s = *m_state;
  if (s.thread.joinable()) {
    {
      std::lock_guard lock(s.mutex);
      s.stop = true;
    }
    [[maybe_unused]] ssize_t n = write(s.wake[1], "x", 1);
    s.thread.join();
  }
  if (s.client) SmsCleanUp(s.client);
  // The client must see the manager go even while libICE still counts the connection in use.
  for (IceConn conn : s.iceConns) {
    shutdown(IceConnectionNumber(conn), SHUT_RDWR);
    IceSetShutdownNegotiation(conn, False);
    IceCloseConnection(conn);
  }
  if (s.listenObjs) IceFreeListenObjs(s.listenCount, s.listenObjs);
  for (int fd : s.wake)
    if (fd >= 0) close(fd);
}

void SessionManagerDouble::Post(std::function<void()> action) {
  {
    std::lock_guard lock(m_state->mutex);
    m_state->actions.push_back(std::move(action));
  }
  [[maybe_unused]] ssize_t n = write(m_state->wake[1], "x", 1);
}

void SessionManagerDouble::SaveYourself(bool shutdown, bool interactAny) {
  Post([this, shutdown, interactAny] {
    if (m_state->client)
      SmsSaveYourself(m_state->client, SmSaveLocal, shutdown ? True : False,
                      interactAny ? SmInteractStyleAny : SmInteractStyleNone, False);
  });
}

void SessionManagerDouble::Interact() {
  Post([this] {
    if (m_state->client) SmsInteract(m_state->client);
  });
}

void SessionManagerDouble::Die() {
  Post([this] {
    if (m_state->client) SmsDie(m_state->client);
  });
}

void SessionManagerDouble::ShutdownCancelled() {
  Post([this] {
    if (m_state->client) SmsShutdownCancelled(m_state->client);
  });
}

bool SessionManagerDouble::WaitFor(const std::string& event, std::chrono::milliseconds wait) {
  std::unique_lock lock(m_state->mutex);
  return m_state->changed.wait_for(lock, wait, [&] {
    return std::ranges::find(m_state->heard.events, event) != m_state->heard.events.end();
  });
}

SessionManagerDouble::Heard SessionManagerDouble::Snapshot() {
  std::lock_guard lock(m_state->mutex);
  return m_state->heard;
}

}  // namespace bw::test
