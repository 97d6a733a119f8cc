// SessionClient: the program's part in the desktop session (XSMP). When SESSION_MANAGER names a
// session manager, the client registers with it and watches the connection in a GLib main
// context. A log-off or shutdown (SaveYourself with shutdown) asks for the user's attention in
// turn, calls SessionTarget::OnQueryEndSession when the manager grants it, and answers; a
// checkpoint (SaveYourself without shutdown) is answered at once, since the program keeps no
// session state. Die calls SessionTarget::OnSessionDie.
//
// The client asks never to be restarted (SmRestartNever): the program restores nothing of a
// session (no open file, no position), so a restart would only bring up an empty window.
//
// Threads: Connect, the destructor and every SessionTarget call run on the thread that runs
// `context` (in the program, the user-interface thread with the default context).
#pragma once

#include <glib.h>

#include <memory>
#include <string>

namespace bw {

class SessionTarget {
 public:
  virtual ~SessionTarget() = default;
  // The session is about to end and the user may be addressed now (a message box may run its
  // own loop). True lets the log-off go on; false asks the manager to cancel it.
  virtual bool OnQueryEndSession() = 0;
  // The manager ends the program. Called from inside the client: the target must not destroy
  // the client before this call has returned (end the program from the next loop iteration).
  virtual void OnSessionDie() = 0;
};

class SessionClient {
 public:
  // Registers `programPath` (the restart and clone command) with the manager SESSION_MANAGER
  // names. nullptr, quietly, when the variable is unset or empty or the manager cannot be
  // reached: the program then runs without a session, as before.
  static std::unique_ptr<SessionClient> Connect(SessionTarget& target,
                                                const std::string& programPath,
                                                GMainContext* context = nullptr);
  // Leaves the session (the manager sees the client go) and stops watching.
  ~SessionClient();
  SessionClient(const SessionClient&) = delete;
  SessionClient& operator=(const SessionClient&) = delete;

  // The id the manager gave this client.
  const std::string& ClientId() const { return m_clientId; }
  // False once the manager has gone (the connection broke); the client then does nothing.
  bool Connected() const;

 private:
  struct Impl;
  SessionClient(std::unique_ptr<Impl> impl, std::string clientId);

  std::unique_ptr<Impl> m_pImpl;
  std::string m_clientId;
};

}  // namespace bw
