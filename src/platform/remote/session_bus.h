// Shared by the service and the instance client: owning handles for GLib objects, the bus
// names, and connections of our own to the session bus. Internal to platform/remote and its
// tests; it brings GIO's headers with it.
#pragma once

#include <gio/gio.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace bw::remote {

template <auto Free>
struct GlibFree {
  template <typename T>
  void operator()(T* p) const {
    Free(p);
  }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GlibFree<g_object_unref>>;
using VariantPtr = std::unique_ptr<GVariant, GlibFree<g_variant_unref>>;
using ErrorPtr = std::unique_ptr<GError, GlibFree<g_error_free>>;
using GCharPtr = std::unique_ptr<gchar, GlibFree<g_free>>;
using MainContextPtr = std::unique_ptr<GMainContext, GlibFree<g_main_context_unref>>;

// Makes `context` the thread-default context for the object's lifetime. GDBus delivers method
// calls, signals and its own callbacks to the context that was thread-default when the
// connection was made or the object registered. nullptr stands for the global default context.
class ThreadDefaultContext {
 public:
  explicit ThreadDefaultContext(GMainContext* context) : context_(context) {
    g_main_context_push_thread_default(context_);
  }
  ~ThreadDefaultContext() { g_main_context_pop_thread_default(context_); }
  ThreadDefaultContext(const ThreadDefaultContext&) = delete;
  ThreadDefaultContext& operator=(const ThreadDefaultContext&) = delete;

 private:
  GMainContext* context_;
};

inline constexpr char kMprisBusName[] = "org.mpris.MediaPlayer2.brookwave";
inline constexpr char kMprisObjectPath[] = "/org/mpris/MediaPlayer2";
inline constexpr char kMprisRootInterface[] = "org.mpris.MediaPlayer2";
inline constexpr char kMprisPlayerInterface[] = "org.mpris.MediaPlayer2.Player";

// How long a call to the bus daemon or to another instance may take before we give up on it:
// long enough for a loaded desktop, short enough that a hung instance cannot hold a start up.
inline constexpr std::chrono::milliseconds kCallTimeout{5000};

// A connection of our own (not the process's shared one, so that two services can live in one
// process and closing one releases exactly its names). Made on the calling thread's
// thread-default context. nullptr, with `error` set, when there is no session bus.
GObjectPtr<GDBusConnection> ConnectToSessionBus(std::string* error);

// Calls a method of the bus daemon itself; nullptr, with `error` set, on failure.
VariantPtr CallBusDaemon(GDBusConnection* connection, const char* method, GVariant* parameters,
                         const GVariantType* reply_type, std::string* error);

// The unique name that owns `name`; nullopt when nobody owns it (or the bus cannot tell).
std::optional<std::string> NameOwner(GDBusConnection* connection, const char* name);

// Iterates `context` on the calling thread until `done` holds or `limit` has passed; the
// result is `done`'s last answer.
bool IterateUntil(GMainContext* context, std::chrono::milliseconds limit,
                  const std::function<bool()>& done);

// Stores `error`'s message in `*out` when both are given.
void StoreError(const GError* error, std::string* out);

}  // namespace bw::remote
