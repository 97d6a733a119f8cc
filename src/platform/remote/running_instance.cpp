#include "platform/remote/running_instance.h"

#include <system_error>

#include "platform/remote/session_bus.h"

namespace bw {

using namespace remote;

namespace {

// Long enough for an idle instance to close its window and leave the bus; a busy one stops
// instead of closing, and this start then runs beside it.
constexpr std::chrono::milliseconds kQuitWait{3000};

}  // namespace

struct RunningInstance::Client {
  ~Client() {
    if (connection) g_dbus_connection_close_sync(connection.get(), nullptr, nullptr);
  }

  bool Call(const char* interface_name, const char* method, GVariant* parameters,
            std::string* error) {
    GError* raw_error = nullptr;
    VariantPtr reply(g_dbus_connection_call_sync(
        connection.get(), unique_name.c_str(), kMprisObjectPath, interface_name, method, parameters,
        nullptr, G_DBUS_CALL_FLAGS_NONE, static_cast<int>(kCallTimeout.count()), nullptr,
        &raw_error));
    ErrorPtr call_error(raw_error);
    StoreError(call_error.get(), error);
    return reply != nullptr;
  }

  static void OnNameOwnerChanged(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                 const gchar*, GVariant* parameters, gpointer client) {
    const char* new_owner = nullptr;
    g_variant_get(parameters, "(&s&s&s)", nullptr, nullptr, &new_owner);
    auto* self = static_cast<Client*>(client);
    if (self->unique_name != new_owner) self->gone = true;
  }

  // Declared before the connection, so that it outlives it: the connection's signals are
  // delivered here, and only WaitUntilGone iterates it.
  MainContextPtr context;
  GObjectPtr<GDBusConnection> connection;
  std::string unique_name;
  bool gone = false;
};

std::unique_ptr<RunningInstance> RunningInstance::Find(std::string* error) {
  auto client = std::make_unique<Client>();
  client->context.reset(g_main_context_new());
  ThreadDefaultContext in_context(client->context.get());
  client->connection = ConnectToSessionBus(error);
  if (!client->connection) return nullptr;
  auto owner = NameOwner(client->connection.get(), kMprisBusName);
  if (!owner) return nullptr;
  client->unique_name = std::move(*owner);
  return std::unique_ptr<RunningInstance>(new RunningInstance(std::move(client)));
}

RunningInstance::RunningInstance(std::unique_ptr<Client> client) : client_(std::move(client)) {}

RunningInstance::~RunningInstance() = default;

const std::string& RunningInstance::unique_name() const {
  return client_->unique_name;
}

bool RunningInstance::Raise(std::string* error) {
  return client_->Call(kMprisRootInterface, "Raise", nullptr, error);
}

bool RunningInstance::Quit(std::string* error) {
  return client_->Call(kMprisRootInterface, "Quit", nullptr, error);
}

bool RunningInstance::Open(const std::filesystem::path& file, std::string* error) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(file, ec);
  if (ec) {
    if (error) *error = ec.message();
    return false;
  }
  GError* raw_error = nullptr;
  GCharPtr uri(g_filename_to_uri(absolute.c_str(), nullptr, &raw_error));
  ErrorPtr uri_error(raw_error);
  if (!uri) {
    StoreError(uri_error.get(), error);
    return false;
  }
  return client_->Call(kMprisPlayerInterface, "OpenUri", g_variant_new("(s)", uri.get()), error);
}

bool RunningInstance::WaitUntilGone(std::chrono::milliseconds limit) {
  Client& client = *client_;
  ThreadDefaultContext in_context(client.context.get());
  const guint subscription = g_dbus_connection_signal_subscribe(
      client.connection.get(), "org.freedesktop.DBus", "org.freedesktop.DBus", "NameOwnerChanged",
      "/org/freedesktop/DBus", kMprisBusName, G_DBUS_SIGNAL_FLAGS_NONE, &Client::OnNameOwnerChanged,
      &client, nullptr);
  // Asked after subscribing, so that a change in between is not missed.
  if (NameOwner(client.connection.get(), kMprisBusName) != client.unique_name) client.gone = true;

  IterateUntil(client.context.get(), limit, [&client] { return client.gone; });
  g_dbus_connection_signal_unsubscribe(client.connection.get(), subscription);
  return client.gone;
}

bool HandFileToRunningInstance(const std::filesystem::path& file) {
  const auto instance = RunningInstance::Find();
  if (!instance || !instance->Open(file)) return false;
  instance->Raise();
  return true;
}

void ApplyMultiMode(int32_t multi_mode) {
  const auto instance = RunningInstance::Find();
  if (!instance) return;
  if (multi_mode == 0) {
    if (instance->Quit()) instance->WaitUntilGone(kQuitWait);
  } else {
    instance->Raise();
  }
}

}  // namespace bw
