// A minimal XSMP session manager inside the test: it listens on ICE (local and TCP transports),
// accepts clients without authentication, gives them ids, and sends what a desktop's manager
// sends at a log-off (SaveYourself, Interact, Die, ShutdownCancelled). It runs on a thread of
// its own, so a client in the test's thread can block in its calls; everything it heard is
// kept for the test to wait on.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace bw::test {

class SessionManagerDouble {
 public:
  // What a client told the manager, in order.
  struct Heard {
    std::vector<std::string> events;  // "register", "interact-request N", "interact-done N",
                                      // "save-done N", "closed"
    std::map<std::string, std::vector<std::string>> properties;
  };

  // Starts listening; SessionManager() is the value for SESSION_MANAGER. `grantInteract`: an
  // interact request is granted at once (as a manager with one client does).
  explicit SessionManagerDouble(bool grantInteract = true);
  ~SessionManagerDouble();
  SessionManagerDouble(const SessionManagerDouble&) = delete;
  SessionManagerDouble& operator=(const SessionManagerDouble&) = delete;

  const std::string& SessionManager() const { return m_networkIds; }

  // Messages to the (last) registered client.
  void SaveYourself(bool shutdown, bool interactAny = true);
  void Interact();
  void Die();
  void ShutdownCancelled();

  // Waits until the events heard include `event`; false after `wait`.
  bool WaitFor(const std::string& event, std::chrono::milliseconds wait = std::chrono::seconds(20));
  Heard Snapshot();

  struct State;

 private:
  void Post(std::function<void()> action);

  std::unique_ptr<State> m_state;
  std::string m_networkIds;
};

// Makes libICE look for cookies in a file that does not exist, so that the manager's host-based
// acceptance applies; the variable holds for the test process and what it starts.
void UseEmptyIceAuthority(const std::string& folder);

}  // namespace bw::test
