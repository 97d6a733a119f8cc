#include "app/session_link.h"

#include <wx/dialog.h>

#include <filesystem>
#include <system_error>

#include "app/brookwave_app.h"
#include "frame/main_frame.h"

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

// A window is not destroyed under a modal dialog's loop: its owner would return into it. The
// dialogs are cancelled and the end is tried again once their loops have returned.
void EndWhenNoDialogIsUp(CBrookwaveApp& app) {
  if (CancelModalDialogs()) {
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
