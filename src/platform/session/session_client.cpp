#include "platform/session/session_client.h"

#include <X11/SM/SMlib.h>
#include <pwd.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace bw {
namespace {

// libICE's and libSM's default handlers end the process on a broken or confused connection; a
// session manager that goes away must not take the program with it.
void QuietIceIoError(IceConn) {}
void QuietIceError(IceConn, Bool, int, unsigned long, int, int, IcePointer) {}
void QuietSmcError(SmcConn, Bool, int, unsigned long, int, int, SmPointer) {}

void InstallQuietHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    IceSetIOErrorHandler(QuietIceIoError);
    IceSetErrorHandler(QuietIceError);
    SmcSetErrorHandler(QuietSmcError);
  });
}

std::string UserName() {
  if (const passwd* entry = getpwuid(getuid())) return entry->pw_name;
  return std::to_string(getuid());
}

// One property with its values, in the form SmcSetProperties takes.
class Property {
 public:
  Property(const char* name, const char* type, std::vector<std::string> values)
      : m_values(std::move(values)) {
    for (std::string& value : m_values)
      m_vals.push_back({static_cast<int>(value.size()), value.data()});
    m_prop = {const_cast<char*>(name), const_cast<char*>(type), static_cast<int>(m_vals.size()),
              m_vals.data()};
  }
  Property(const Property&) = delete;
  Property& operator=(const Property&) = delete;
  SmProp* Get() { return &m_prop; }

 private:
  std::vector<std::string> m_values;
  std::vector<SmPropValue> m_vals;
  SmProp m_prop{};
};

}  // namespace

// Where a save the manager asked for stands.
enum class SaveState { kIdle, kAwaitingInteract, kInteracting };

struct SessionClient::Impl {
  SessionTarget& target;
  SmcConn conn = nullptr;
  GSource* watch = nullptr;
  SaveState state = SaveState::kIdle;

  explicit Impl(SessionTarget& t) : target(t) {}
  ~Impl() { Disconnect(); }

  void Disconnect() {
    if (watch) {
      g_source_destroy(watch);
      g_source_unref(watch);
      watch = nullptr;
    }
    if (conn) {
      SmcCloseConnection(conn, 0, nullptr);
      conn = nullptr;
    }
  }

  void SetProperties(const std::string& programPath) {
    const char restartStyle = SmRestartNever;
    Property program(SmProgram, SmARRAY8, {programPath});
    Property restart(SmRestartCommand, SmLISTofARRAY8, {programPath});
    Property clone(SmCloneCommand, SmLISTofARRAY8, {programPath});
    Property user(SmUserID, SmARRAY8, {UserName()});
    Property style(SmRestartStyleHint, SmCARD8, {std::string(1, restartStyle)});
    Property pid(SmProcessID, SmARRAY8, {std::to_string(getpid())});
    std::array<SmProp*, 6> props = {program.Get(), restart.Get(), clone.Get(),
                                    user.Get(),    style.Get(),   pid.Get()};
    SmcSetProperties(conn, static_cast<int>(props.size()), props.data());
  }

  void Watch(GMainContext* context) {
    GIOChannel* channel = g_io_channel_unix_new(IceConnectionNumber(SmcGetIceConnection(conn)));
    watch = g_io_create_watch(channel, GIOCondition(G_IO_IN | G_IO_ERR | G_IO_HUP));
    g_io_channel_unref(channel);
    g_source_set_callback(watch, G_SOURCE_FUNC(&Impl::OnReadable), this, nullptr);
    g_source_attach(watch, context);
  }

  static gboolean OnReadable(GIOChannel*, GIOCondition, gpointer self) {
    return static_cast<Impl*>(self)->ProcessMessages();
  }

  // The watch's source is not re-entered while a callback runs (a message box's loop included),
  // so the manager's next message waits until the target has answered.
  gboolean ProcessMessages() {
    if (IceProcessMessages(SmcGetIceConnection(conn), nullptr, nullptr) ==
        IceProcessMessagesSuccess)
      return G_SOURCE_CONTINUE;
    // The manager has gone: the program goes on without a session.
    g_source_unref(watch);
    watch = nullptr;
    SmcCloseConnection(conn, 0, nullptr);
    conn = nullptr;
    return G_SOURCE_REMOVE;
  }

  void OnSaveYourself(Bool shutdown, int interactStyle) {
    // Only a log-off or shutdown that lets clients talk to the user is met with the message;
    // there is nothing to save for a checkpoint.
    if (shutdown && interactStyle == SmInteractStyleAny &&
        SmcInteractRequest(conn, SmDialogNormal, &Impl::Interact, this)) {
      state = SaveState::kAwaitingInteract;
      return;
    }
    SmcSaveYourselfDone(conn, True);
  }

  static void Interact(SmcConn, SmPointer self) { static_cast<Impl*>(self)->OnInteract(); }

  void OnInteract() {
    state = SaveState::kInteracting;
    const bool proceed = target.OnQueryEndSession();
    state = SaveState::kIdle;
    if (conn == nullptr) return;
    SmcInteractDone(conn, proceed ? False : True);
    SmcSaveYourselfDone(conn, True);
  }

  // A save still waiting for its turn to interact must be answered, or the manager waits.
  void OnShutdownCancelled() {
    if (state != SaveState::kAwaitingInteract) return;
    state = SaveState::kIdle;
    SmcSaveYourselfDone(conn, True);
  }
};

std::unique_ptr<SessionClient> SessionClient::Connect(SessionTarget& target,
                                                      const std::string& programPath,
                                                      GMainContext* context) {
  const char* manager = std::getenv("SESSION_MANAGER");
  if (manager == nullptr || *manager == '\0') return nullptr;
  InstallQuietHandlers();

  auto impl = std::make_unique<Impl>(target);
  SmcCallbacks callbacks{};
  callbacks.save_yourself.callback = [](SmcConn, SmPointer self, int, Bool shutdown,
                                        int interactStyle, Bool) {
    static_cast<Impl*>(self)->OnSaveYourself(shutdown, interactStyle);
  };
  callbacks.save_yourself.client_data = impl.get();
  callbacks.die.callback = [](SmcConn, SmPointer self) {
    static_cast<Impl*>(self)->target.OnSessionDie();
  };
  callbacks.die.client_data = impl.get();
  callbacks.save_complete.callback = [](SmcConn, SmPointer) {};
  callbacks.shutdown_cancelled.callback = [](SmcConn, SmPointer self) {
    static_cast<Impl*>(self)->OnShutdownCancelled();
  };
  callbacks.shutdown_cancelled.client_data = impl.get();

  char* id = nullptr;
  std::array<char, 256> error{};
  impl->conn =
      SmcOpenConnection(nullptr, impl.get(), SmProtoMajor, SmProtoMinor,
                        SmcSaveYourselfProcMask | SmcDieProcMask | SmcSaveCompleteProcMask |
                            SmcShutdownCancelledProcMask,
                        &callbacks, nullptr, &id, static_cast<int>(error.size()), error.data());
  if (impl->conn == nullptr) return nullptr;
  std::string clientId = id ? id : "";
  std::free(id);
  impl->SetProperties(programPath);
  impl->Watch(context);
  return std::unique_ptr<SessionClient>(new SessionClient(std::move(impl), std::move(clientId)));
}

SessionClient::SessionClient(std::unique_ptr<Impl> impl, std::string clientId)
    : m_pImpl(std::move(impl)), m_clientId(std::move(clientId)) {}

SessionClient::~SessionClient() = default;

bool SessionClient::Connected() const {
  return m_pImpl->conn != nullptr;
}

}  // namespace bw
