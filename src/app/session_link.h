// CSessionLink: the running program in the desktop session. It registers with the session
// manager (when there is one) and turns a log-off into the frame's OnQueryEndSession and the
// manager's Die into the frame's end.
//
// Threads: user-interface thread only; the client is watched in the default GMainContext,
// which GTK runs on that thread.
#pragma once

#include <memory>

#include "platform/session/session_client.h"

namespace bw {

class CBrookwaveApp;

class CSessionLink final : public SessionTarget {
 public:
  explicit CSessionLink(CBrookwaveApp& app);
  // Leaves the session.
  ~CSessionLink() override;
  CSessionLink(const CSessionLink&) = delete;
  CSessionLink& operator=(const CSessionLink&) = delete;

  bool OnQueryEndSession() override;
  void OnSessionDie() override;

 private:
  CBrookwaveApp& m_app;
  std::unique_ptr<SessionClient> m_pClient;
};

}  // namespace bw
