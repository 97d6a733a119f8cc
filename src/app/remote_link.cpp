#include "app/remote_link.h"

#include <wx/dialog.h>
#include <wx/msgdlg.h>

#include <algorithm>
#include <utility>

#include "app/brookwave_app.h"
#include "frame/main_frame.h"
#include "platform/remote/running_instance.h"
#include "view/brookwave_view.h"
#include "view/view_core.h"
#include "view/view_ids.h"

namespace bw {

int CRemoteLink::ModalDialogs::Enter(wxDialog* dialog) {
  m_open.push_back(dialog);
  return wxID_NONE;
}

void CRemoteLink::ModalDialogs::Exit(wxDialog* dialog) {
  // Another hook may have answered a dialog before ours saw it.
  const auto found = std::find(m_open.begin(), m_open.end(), dialog);
  if (found == m_open.end()) return;
  m_open.erase(found);
  if (!m_open.empty()) return;
  // Once the dialog has gone; the link may be gone by then, too.
  CBrookwaveApp& app = m_link.m_app;
  app.CallAfter([&app] {
    if (CRemoteLink* link = app.RemoteLink()) link->OpenPendingFile();
  });
}

bool CRemoteLink::ModalDialogs::AnyMessageBox() const {
  return std::any_of(m_open.begin(), m_open.end(), [](wxDialog* dialog) {
    return dynamic_cast<wxMessageDialogBase*>(dialog) != nullptr;
  });
}

CRemoteLink::CRemoteLink(CBrookwaveApp& app) : m_app(app) {
  m_modalDialogs.Register();
}

CRemoteLink::~CRemoteLink() = default;

void CRemoteLink::Start(int32_t multiMode) {
  if (m_bStarted) return;  // the view's later initial updates must not meet this instance
  m_bStarted = true;
  ApplyMultiMode(multiMode);
  // Nothing needs the service before the window is up, and connecting to the bus would hold
  // the window back.
  m_events.CallAfter([this] { StartService(); });
}

void CRemoteLink::StartService() {
  m_pService = MprisService::Start(*this, nullptr, nullptr);
  Publish();
}

void CRemoteLink::Publish() {
  CBrookwaveView* view = m_app.View();
  if (!m_pService || view == nullptr) return;
  RemoteState state = view->core().DescribeForRemote();
  state.volume = m_volumePacer.Publishable(state.volume, view->core().TimerMovesVolume(),
                                           RemoteVolumePacer::Clock::now());
  m_pService->Publish(state);
  // Watchers extrapolate the position while playing; a move at any other time is a jump.
  if (state.status != RemotePlaybackStatus::kPlaying && state.position_us != m_lastPosition)
    m_pService->Seeked(state.position_us);
  m_lastPosition = state.position_us;
}

void CRemoteLink::OnRemoteCommand(RemoteCommand command) {
  CMainFrame* frame = m_app.MainFrame();
  CBrookwaveView* view = m_app.View();
  if (frame == nullptr || view == nullptr) return;
  switch (command) {
    case RemoteCommand::kPlay:
    case RemoteCommand::kStop:
      frame->OnRemoteCommand(static_cast<WPARAM>(command));
      break;
    case RemoteCommand::kPlayPause:
      frame->OnRemoteCommand(static_cast<WPARAM>(
          view->core().stream().playing ? RemoteCommand::kStop : RemoteCommand::kPlay));
      break;
    case RemoteCommand::kPause:  // Pause has no meaning for playback
      break;
    case RemoteCommand::kNext:
      view->core().OnCommand(ID_LAST);
      break;
    case RemoteCommand::kPrevious:
      view->core().OnCommand(ID_FIRST);
      break;
    case RemoteCommand::kRaise:
      Raise();
      break;
    case RemoteCommand::kQuit:
      Quit();
      return;  // the view may be gone
  }
  Publish();
}

void CRemoteLink::Raise() {
  CMainFrame* frame = m_app.MainFrame();
  if (frame == nullptr) return;
  if (frame->IsIconized()) frame->Iconize(false);
  frame->Show();
  frame->Raise();
  // A dialog waiting for an answer comes to the front with its window.
  if (wxDialog* dialog = m_modalDialogs.Top()) dialog->Raise();
}

// The frame's close: a busy view stops instead. Under a modal dialog, which needs its answer
// first, the window is only raised.
void CRemoteLink::Quit() {
  CMainFrame* frame = m_app.MainFrame();
  if (frame == nullptr) return;
  if (m_modalDialogs.Any()) {
    Raise();
    return;
  }
  // Closed, the name is given up at once, so that a start waiting for it need not wait for
  // this program's end; refused (busy), the view stopped instead.
  if (frame->Close(false))
    m_pService.reset();
  else
    Publish();
}

void CRemoteLink::OnRemoteOpen(const std::filesystem::path& path) {
  m_pendingOpen = path;
  if (!m_modalDialogs.Any()) OpenPendingFile();
}

bool CRemoteLink::TakesFileNow() const {
  return !m_modalDialogs.AnyMessageBox();
}

void CRemoteLink::OpenPendingFile() {
  if (!m_pendingOpen) return;
  const std::filesystem::path path = *std::exchange(m_pendingOpen, std::nullopt);
  CBrookwaveView* view = m_app.View();
  if (view == nullptr) return;
  view->core().OpenFromOutside(path.string());
  Publish();
}

void CRemoteLink::OnRemoteVolume(double volume) {
  if (CBrookwaveView* view = m_app.View()) view->core().SetRemoteVolume(volume);
  Publish();
}

}  // namespace bw
