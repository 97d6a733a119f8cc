#include "app/session_link.h"

#include <wx/dialog.h>

#include <filesystem>
#include <system_error>

#include "app/brookwave_app.h"
#include "frame/main_frame.h"
#include "view/brookwave_view.h"
#include "view/view_ids.h"

namespace bw {
namespace {

// The path the manager would start the program by.
std::string ProgramPath() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string("brookwave") : self.string();
}

// Cancels every modal dialog; true when there was one.
bool CancelModalDialogs() {
  bool any = false;
  for (wxWindow* window : wxTopLevelWindows) {
    auto* dialog = dynamic_cast<wxDialog*>(window);
    if (dialog == nullptr || !dialog->IsModal()) continue;
    dialog->EndModal(wxID_CANCEL);
    any = true;
  }
  return any;
}

// Stops a command the view runs; true when there was one.
bool StopRunningCommand(CBrookwaveApp& app) {
  CBrookwaveView* view = app.View();
  if (view == nullptr || !view->IsRunningCommand()) return false;
  view->WindowProc(WM_REMOTE_STOP, 0, 0);
  return true;
}

// A window is not destroyed under a modal dialog's loop or a running command: either would
// return into it. They are ended and the end is tried again once they have returned.
void EndWhenNoDialogIsUp(CBrookwaveApp& app) {
  if (CancelModalDialogs() || StopRunningCommand(app)) {
    app.CallAfter([&app] { EndWhenNoDialogIsUp(app); });
    return;
  }
  if (CMainFrame* frame = app.MainFrame()) frame->OnEndSession();
}

}  // namespace

CSessionLink::CSessionLink(CBrookwaveApp& app)
    : m_app(app), m_pClient(SessionClient::Connect(*this, ProgramPath())) {}

CSessionLink::~CSessionLink() = default;

bool CSessionLink::OnQueryEndSession() {
  CMainFrame* frame = m_app.MainFrame();
  return frame == nullptr || frame->OnQueryEndSession();
}

// Ended from the next turn of the loop, not from inside the client's callback.
void CSessionLink::OnSessionDie() {
  CBrookwaveApp& app = m_app;
  app.CallAfter([&app] { EndWhenNoDialogIsUp(app); });
}

}  // namespace bw
