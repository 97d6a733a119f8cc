#include "platform/remote/session_bus.h"

namespace bw::remote {

void StoreError(const GError* error, std::string* out) {
  if (error && out) *out = error->message;
}

GObjectPtr<GDBusConnection> ConnectToSessionBus(std::string* error) {
  GError* raw_error = nullptr;
  GCharPtr address(g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &raw_error));
  ErrorPtr address_error(raw_error);
  if (!address) {
    StoreError(address_error.get(), error);
    return nullptr;
  }
  const auto flags =
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION);
  GObjectPtr<GDBusConnection> connection(
      g_dbus_connection_new_for_address_sync(address.get(), flags, nullptr, nullptr, &raw_error));
  ErrorPtr connect_error(raw_error);
  if (!connection) {
    StoreError(connect_error.get(), error);
    return nullptr;
  }
  // A bus that goes away must not end the program; it only loses its remote control.
  g_dbus_connection_set_exit_on_close(connection.get(), FALSE);
  return connection;
}

VariantPtr CallBusDaemon(GDBusConnection* connection, const char* method, GVariant* parameters,
                         const GVariantType* reply_type, std::string* error) {
  GError* raw_error = nullptr;
  VariantPtr reply(g_dbus_connection_call_sync(
      connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method,
      parameters, reply_type, G_DBUS_CALL_FLAGS_NONE, static_cast<int>(kCallTimeout.count()),
      nullptr, &raw_error));
  ErrorPtr call_error(raw_error);
  if (!reply) StoreError(call_error.get(), error);
  return reply;
}

std::optional<std::string> NameOwner(GDBusConnection* connection, const char* name) {
  VariantPtr reply = CallBusDaemon(connection, "GetNameOwner", g_variant_new("(s)", name),
                                   G_VARIANT_TYPE("(s)"), nullptr);
  if (!reply) return std::nullopt;
  const char* owner = nullptr;
  g_variant_get(reply.get(), "(&s)", &owner);
  return std::string(owner);
}

bool IterateUntil(GMainContext* context, std::chrono::milliseconds limit,
                  const std::function<bool()>& done) {
  bool timed_out = false;
  GSource* timer = g_timeout_source_new(static_cast<guint>(limit.count()));
  g_source_set_callback(
      timer,
      [](gpointer flag) -> gboolean {
        *static_cast<bool*>(flag) = true;
        return G_SOURCE_REMOVE;
      },
      &timed_out, nullptr);
  g_source_attach(timer, context);
  bool finished = done();
  while (!finished && !timed_out) {
    g_main_context_iteration(context, TRUE);
    finished = done();
  }
  g_source_destroy(timer);
  g_source_unref(timer);
  return finished;
}

}  // namespace bw::remote
