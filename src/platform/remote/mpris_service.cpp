#include "platform/remote/mpris_service.h"

#include <unistd.h>

#include <cmath>
#include <iterator>
#include <optional>
#include <string_view>

#include "platform/remote/session_bus.h"

namespace bw {

using namespace remote;

namespace {

constexpr char kIntrospection[] = R"(
<node>
  <interface name="org.mpris.MediaPlayer2">
    <method name="Raise"/>
    <method name="Quit"/>
    <property name="CanQuit" type="b" access="read"/>
    <property name="CanRaise" type="b" access="read"/>
    <property name="HasTrackList" type="b" access="read"/>
    <property name="Identity" type="s" access="read"/>
    <property name="DesktopEntry" type="s" access="read"/>
    <property name="SupportedUriSchemes" type="as" access="read"/>
    <property name="SupportedMimeTypes" type="as" access="read"/>
  </interface>
  <interface name="org.mpris.MediaPlayer2.Player">
    <method name="Next"/>
    <method name="Previous"/>
    <method name="Pause"/>
    <method name="PlayPause"/>
    <method name="Stop"/>
    <method name="Play"/>
    <method name="Seek"><arg name="Offset" type="x" direction="in"/></method>
    <method name="SetPosition">
      <arg name="TrackId" type="o" direction="in"/>
      <arg name="Position" type="x" direction="in"/>
    </method>
    <method name="OpenUri"><arg name="Uri" type="s" direction="in"/></method>
    <signal name="Seeked"><arg name="Position" type="x"/></signal>
    <property name="PlaybackStatus" type="s" access="read"/>
    <property name="Rate" type="d" access="readwrite"/>
    <property name="Metadata" type="a{sv}" access="read"/>
    <property name="Volume" type="d" access="readwrite"/>
    <property name="Position" type="x" access="read"/>
    <property name="MinimumRate" type="d" access="read"/>
    <property name="MaximumRate" type="d" access="read"/>
    <property name="CanGoNext" type="b" access="read"/>
    <property name="CanGoPrevious" type="b" access="read"/>
    <property name="CanPlay" type="b" access="read"/>
    <property name="CanPause" type="b" access="read"/>
    <property name="CanSeek" type="b" access="read"/>
    <property name="CanControl" type="b" access="read"/>
  </interface>
</node>)";

// RIFF WAVE under its canonical name and aliases, MPEG audio (Layer 3, and Layers 1 and 2),
// the compressed files Import decodes, and the play list files.
constexpr const char* kMimeTypes[] = {
    "audio/x-wav",      "audio/wav",    "audio/vnd.wave",   "audio/mpeg",
    "audio/mp2",        "audio/flac",   "audio/ogg",        "audio/x-vorbis+ogg",
    "audio/x-opus+ogg", "audio/aac",    "audio/mp4",        "audio/x-m4a",
    "audio/x-wavpack",  "audio/x-aiff", "audio/x-matroska", "audio/x-brookwave-playlist"};
constexpr const char* kUriSchemes[] = {"file"};

// The answer to a request the player cannot take now; asked again later, it may be taken.
constexpr char kBusyError[] = "org.mpris.MediaPlayer2.brookwave.Error.Busy";
// RequestName's flag for "fail rather than queue" and its answer for "the name is ours".
constexpr guint32 kNameFlagDoNotQueue = 4;
constexpr guint32 kNameReplyPrimaryOwner = 1;

using NodeInfoPtr = std::unique_ptr<GDBusNodeInfo, GlibFree<g_dbus_node_info_unref>>;

const char* StatusText(RemotePlaybackStatus status) {
  switch (status) {
    case RemotePlaybackStatus::kPlaying:
      return "Playing";
    case RemotePlaybackStatus::kPaused:
      return "Paused";
    case RemotePlaybackStatus::kStopped:
      break;
  }
  return "Stopped";
}

GVariant* StringList(const auto& strings) {
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE("as"));
  for (const char* s : strings)
    g_variant_builder_add(&builder, "s", s);
  return g_variant_builder_end(&builder);
}

void ReturnNotSupported(GDBusMethodInvocation* invocation, const char* message) {
  g_dbus_method_invocation_return_error_literal(invocation, G_DBUS_ERROR,
                                                G_DBUS_ERROR_NOT_SUPPORTED, message);
}

// The local path a file URI names; nullopt for other schemes, other hosts and malformed URIs.
std::optional<std::filesystem::path> LocalPathOfUri(const char* uri) {
  GCharPtr scheme(g_uri_parse_scheme(uri));
  if (!scheme || g_ascii_strcasecmp(scheme.get(), "file") != 0) return std::nullopt;
  gchar* raw_host = nullptr;
  GCharPtr path(g_filename_from_uri(uri, &raw_host, nullptr));
  GCharPtr host(raw_host);
  if (!path) return std::nullopt;
  if (host && g_ascii_strcasecmp(host.get(), "localhost") != 0) return std::nullopt;
  return std::filesystem::path(path.get());
}

}  // namespace

struct MprisService::Impl {
  Impl(RemoteCommandTarget& command_target, GObjectPtr<GDBusConnection> bus)
      : target(command_target), connection(std::move(bus)) {}

  bool Register(std::string* error);
  bool TakeBusName(std::string* error);
  void Unregister();

  void OnMethodCall(std::string_view interface_name, std::string_view method, GVariant* parameters,
                    GDBusMethodInvocation* invocation);
  void OnPlayerMethod(std::string_view method, GVariant* parameters,
                      GDBusMethodInvocation* invocation);
  GVariant* GetProperty(std::string_view interface_name, std::string_view name) const;
  bool SetProperty(std::string_view name, GVariant* value, GError** error);

  GVariant* Metadata() const;
  void EmitSignal(const char* interface_name, const char* name, GVariant* parameters);

  static void MethodCallThunk(GDBusConnection*, const gchar*, const gchar*,
                              const gchar* interface_name, const gchar* method,
                              GVariant* parameters, GDBusMethodInvocation* invocation,
                              gpointer impl) {
    static_cast<Impl*>(impl)->OnMethodCall(interface_name, method, parameters, invocation);
  }
  static GVariant* GetPropertyThunk(GDBusConnection*, const gchar*, const gchar*,
                                    const gchar* interface_name, const gchar* name, GError** error,
                                    gpointer impl) {
    GVariant* value = static_cast<Impl*>(impl)->GetProperty(interface_name, name);
    if (!value)
      g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "No property %s", name);
    return value;
  }
  static gboolean SetPropertyThunk(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                   const gchar* name, GVariant* value, GError** error,
                                   gpointer impl) {
    return static_cast<Impl*>(impl)->SetProperty(name, value, error);
  }

  RemoteCommandTarget& target;
  GObjectPtr<GDBusConnection> connection;
  NodeInfoPtr node;
  guint root_registration = 0;
  guint player_registration = 0;
  std::string bus_name;
  RemoteState state;
  // Every file the program opens is a new track to MPRIS clients.
  uint64_t track_number = 0;
};

bool MprisService::Impl::Register(std::string* error) {
  GError* raw_error = nullptr;
  node.reset(g_dbus_node_info_new_for_xml(kIntrospection, &raw_error));
  ErrorPtr parse_error(raw_error);
  if (!node) {
    StoreError(parse_error.get(), error);
    return false;
  }
  static const GDBusInterfaceVTable vtable = {
      MethodCallThunk, GetPropertyThunk, SetPropertyThunk, {}};
  guint* const ids[] = {&root_registration, &player_registration};
  for (std::size_t i = 0; i < std::size(ids); ++i) {
    guint* id = ids[i];
    *id = g_dbus_connection_register_object(connection.get(), kMprisObjectPath, node->interfaces[i],
                                            &vtable, this, nullptr, &raw_error);
    ErrorPtr register_error(raw_error);
    raw_error = nullptr;
    if (*id == 0) {
      StoreError(register_error.get(), error);
      return false;
    }
  }
  return true;
}

// The first instance takes the well-known name; a further one, as MPRIS asks, the same name
// with ".instance" and its process id, so that clients list both.
bool MprisService::Impl::TakeBusName(std::string* error) {
  const std::string candidates[] = {
      kMprisBusName, std::string(kMprisBusName) + ".instance" + std::to_string(getpid())};
  for (const std::string& name : candidates) {
    VariantPtr reply = CallBusDaemon(connection.get(), "RequestName",
                                     g_variant_new("(su)", name.c_str(), kNameFlagDoNotQueue),
                                     G_VARIANT_TYPE("(u)"), error);
    if (!reply) return false;
    guint32 answer = 0;
    g_variant_get(reply.get(), "(u)", &answer);
    if (answer == kNameReplyPrimaryOwner) {
      bus_name = name;
      return true;
    }
  }
  if (error) *error = "Both MPRIS bus names of this process are taken";
  return false;
}

void MprisService::Impl::Unregister() {
  for (guint* id : {&root_registration, &player_registration}) {
    if (*id != 0) g_dbus_connection_unregister_object(connection.get(), *id);
    *id = 0;
  }
}

// Nothing may touch `this` after a call of the target: the target may have destroyed the
// service (Quit), and the invocation alone still answers the caller.
void MprisService::Impl::OnMethodCall(std::string_view interface_name, std::string_view method,
                                      GVariant* parameters, GDBusMethodInvocation* invocation) {
  if (interface_name == kMprisPlayerInterface) {
    OnPlayerMethod(method, parameters, invocation);
    return;
  }
  if (method == "Quit") {
    // Closing may take a while or end the program: answer first, so the caller is not left
    // waiting for a reply that might never come.
    g_dbus_method_invocation_return_value(invocation, nullptr);
    target.OnRemoteCommand(RemoteCommand::kQuit);
    return;
  }
  target.OnRemoteCommand(RemoteCommand::kRaise);
  g_dbus_method_invocation_return_value(invocation, nullptr);
}

void MprisService::Impl::OnPlayerMethod(std::string_view method, GVariant* parameters,
                                        GDBusMethodInvocation* invocation) {
  if (method == "OpenUri") {
    const char* uri = nullptr;
    g_variant_get(parameters, "(&s)", &uri);
    const auto path = LocalPathOfUri(uri);
    if (!path) return ReturnNotSupported(invocation, "Only local file:// URIs can be opened");
    if (!target.TakesFileNow()) {
      return g_dbus_method_invocation_return_dbus_error(
          invocation, kBusyError, "A message of the player awaits an answer; try again later");
    }
    // Opening may show a message box; the caller (often a second start) must not wait for it.
    g_dbus_method_invocation_return_value(invocation, nullptr);
    target.OnRemoteOpen(*path);
    return;
  }
  if (method == "Seek" || method == "SetPosition") {
    // CanSeek is false: MPRIS asks that such calls have no effect.
    g_dbus_method_invocation_return_value(invocation, nullptr);
    return;
  }
  // Refused only when neither is possible, so that a play key still starts a player that
  // cannot pause.
  if (method == "PlayPause" && !state.can_play && !state.can_pause)
    return ReturnNotSupported(invocation, "Neither Play nor Pause is possible now");

  struct Gate {
    std::string_view method;
    RemoteCommand command;
    bool allowed;
  };
  const Gate gates[] = {{"Play", RemoteCommand::kPlay, state.can_play},
                        {"Pause", RemoteCommand::kPause, state.can_pause},
                        {"PlayPause", RemoteCommand::kPlayPause, true},
                        {"Stop", RemoteCommand::kStop, true},
                        {"Next", RemoteCommand::kNext, state.can_go_next},
                        {"Previous", RemoteCommand::kPrevious, state.can_go_previous}};
  for (const Gate& gate : gates) {
    if (gate.method != method) continue;
    // A command its Can* flag rules out has no effect and is not an error.
    if (gate.allowed) target.OnRemoteCommand(gate.command);
    break;
  }
  // Transport commands answer once the program has handled them, as the frame's remote Play
  // and Stop were sent, not posted: a caller that reads PlaybackStatus next sees the result.
  g_dbus_method_invocation_return_value(invocation, nullptr);
}

GVariant* MprisService::Impl::Metadata() const {
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE("a{sv}"));
  if (!state.file.empty()) {
    const std::string track = "/org/brookwave/Track/" + std::to_string(track_number);
    g_variant_builder_add(&builder, "{sv}", "mpris:trackid",
                          g_variant_new_object_path(track.c_str()));
    // File names are bytes, D-Bus strings UTF-8: the URI escapes them, the title shows them
    // as the desktop would.
    GCharPtr uri(g_filename_to_uri(state.file.c_str(), nullptr, nullptr));
    if (uri) g_variant_builder_add(&builder, "{sv}", "xesam:url", g_variant_new_string(uri.get()));
    GCharPtr title(g_filename_display_basename(state.file.c_str()));
    g_variant_builder_add(&builder, "{sv}", "xesam:title", g_variant_new_string(title.get()));
    if (state.length_us > 0)
      g_variant_builder_add(&builder, "{sv}", "mpris:length", g_variant_new_int64(state.length_us));
  }
  return g_variant_builder_end(&builder);
}

GVariant* MprisService::Impl::GetProperty(std::string_view interface_name,
                                          std::string_view name) const {
  if (interface_name == kMprisRootInterface) {
    if (name == "CanQuit" || name == "CanRaise") return g_variant_new_boolean(TRUE);
    if (name == "HasTrackList") return g_variant_new_boolean(FALSE);
    if (name == "Identity") return g_variant_new_string("Brookwave");
    if (name == "DesktopEntry") return g_variant_new_string("brookwave");
    if (name == "SupportedUriSchemes") return StringList(kUriSchemes);
    if (name == "SupportedMimeTypes") return StringList(kMimeTypes);
    return nullptr;
  }
  if (name == "PlaybackStatus") return g_variant_new_string(StatusText(state.status));
  if (name == "Rate" || name == "MinimumRate" || name == "MaximumRate")
    return g_variant_new_double(1.0);
  if (name == "Metadata") return Metadata();
  if (name == "Volume") return g_variant_new_double(state.volume);
  if (name == "Position") return g_variant_new_int64(state.position_us);
  if (name == "CanGoNext") return g_variant_new_boolean(state.can_go_next);
  if (name == "CanGoPrevious") return g_variant_new_boolean(state.can_go_previous);
  if (name == "CanPlay") return g_variant_new_boolean(state.can_play);
  if (name == "CanPause") return g_variant_new_boolean(state.can_pause);
  if (name == "CanSeek") return g_variant_new_boolean(FALSE);
  if (name == "CanControl") return g_variant_new_boolean(TRUE);
  return nullptr;
}

bool MprisService::Impl::SetProperty(std::string_view name, GVariant* value, GError** error) {
  const double requested = g_variant_get_double(value);
  if (name == "Rate") {
    if (requested == 1.0) return true;
    g_set_error_literal(error, G_DBUS_ERROR, G_DBUS_ERROR_NOT_SUPPORTED,
                        "The playback rate cannot be changed");
    return false;
  }
  if (std::isnan(requested)) {
    g_set_error_literal(error, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS, "Volume is not a number");
    return false;
  }
  target.OnRemoteVolume(requested < 0.0 ? 0.0 : requested);
  return true;
}

void MprisService::Impl::EmitSignal(const char* interface_name, const char* name,
                                    GVariant* parameters) {
  // A bus that has gone away only loses the signal.
  g_dbus_connection_emit_signal(connection.get(), nullptr, kMprisObjectPath, interface_name, name,
                                parameters, nullptr);
}

std::unique_ptr<MprisService> MprisService::Start(RemoteCommandTarget& target,
                                                  GMainContext* context, std::string* error) {
  ThreadDefaultContext in_context(context);
  GObjectPtr<GDBusConnection> connection = ConnectToSessionBus(error);
  if (!connection) return nullptr;
  auto impl = std::make_unique<Impl>(target, std::move(connection));
  if (!impl->Register(error) || !impl->TakeBusName(error)) {
    impl->Unregister();
    g_dbus_connection_close_sync(impl->connection.get(), nullptr, nullptr);
    return nullptr;
  }
  return std::unique_ptr<MprisService>(new MprisService(std::move(impl)));
}

MprisService::MprisService(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

MprisService::~MprisService() {
  impl_->Unregister();
  // Released explicitly, so the name is free once we return, not when the daemon notices
  // that the connection closed.
  CallBusDaemon(impl_->connection.get(), "ReleaseName",
                g_variant_new("(s)", impl_->bus_name.c_str()), G_VARIANT_TYPE("(u)"), nullptr);
  g_dbus_connection_close_sync(impl_->connection.get(), nullptr, nullptr);
}

const std::string& MprisService::bus_name() const {
  return impl_->bus_name;
}

void MprisService::Publish(const RemoteState& new_state) {
  Impl& s = *impl_;
  const RemoteState old = s.state;
  if (new_state.file != old.file && !new_state.file.empty()) ++s.track_number;
  s.state = new_state;

  GVariantBuilder changed;
  g_variant_builder_init(&changed, G_VARIANT_TYPE("a{sv}"));
  bool any = false;
  auto add = [&](const char* name, bool differs) {
    if (!differs) return;
    g_variant_builder_add(&changed, "{sv}", name, s.GetProperty(kMprisPlayerInterface, name));
    any = true;
  };
  add("PlaybackStatus", new_state.status != old.status);
  add("Metadata", new_state.file != old.file || new_state.length_us != old.length_us);
  add("Volume", new_state.volume != old.volume);
  add("CanPlay", new_state.can_play != old.can_play);
  add("CanPause", new_state.can_pause != old.can_pause);
  add("CanGoNext", new_state.can_go_next != old.can_go_next);
  add("CanGoPrevious", new_state.can_go_previous != old.can_go_previous);
  if (!any) {
    g_variant_builder_clear(&changed);
    return;
  }
  s.EmitSignal("org.freedesktop.DBus.Properties", "PropertiesChanged",
               g_variant_new("(sa{sv}as)", kMprisPlayerInterface, &changed, nullptr));
}

void MprisService::Seeked(int64_t position_us) {
  impl_->state.position_us = position_us;
  impl_->EmitSignal(kMprisPlayerInterface, "Seeked", g_variant_new("(x)", position_us));
}

}  // namespace bw
