#include "view/brookwave_view.h"

#include <wx/app.h>
#include <wx/dnd.h>
#include <wx/evtloop.h>
#include <wx/slider.h>
#include <wx/utils.h>

#include "app/brookwave_app.h"
#include "app/doc_template.h"
#include "app/remote_link.h"
#include "frame/data_tip.h"
#include "frame/main_frame.h"
#include "playlist/open_file_dlg.h"
#include "playlist/playlist_editor.h"
#include "res/menus.h"
#include "settings/play_sheet.h"
#include "settings/rec_sheet.h"
#include "view/dialogs/file_dialog.h"
#include "view/dialogs/format_chooser.h"
#include "view/dialogs/message_box.h"
#include "view/dialogs/wx_text.h"
#include "view/form_window.h"
#include "view/position_slider.h"
#include "view/view_core.h"

namespace bw {

wxIMPLEMENT_DYNAMIC_CLASS(CBrookwaveView, wxView);

namespace {

// Queued for every posted message: the view then handles the oldest one still waiting.
wxDEFINE_EVENT(EVT_VIEW_MESSAGE, wxThreadEvent);

// The trackbar's scroll code of each scroll event the sliders send.
std::optional<ScrollCode> ScrollCodeOf(wxEventType type) {
  if (type == wxEVT_SCROLL_LINEUP) return TB_LINEUP;
  if (type == wxEVT_SCROLL_LINEDOWN) return TB_LINEDOWN;
  if (type == wxEVT_SCROLL_PAGEUP) return TB_PAGEUP;
  if (type == wxEVT_SCROLL_PAGEDOWN) return TB_PAGEDOWN;
  if (type == wxEVT_SCROLL_THUMBRELEASE) return TB_THUMBPOSITION;
  if (type == wxEVT_SCROLL_THUMBTRACK) return TB_THUMBTRACK;
  if (type == wxEVT_SCROLL_TOP) return TB_TOP;
  if (type == wxEVT_SCROLL_BOTTOM) return TB_BOTTOM;
  if (type == wxEVT_SCROLL_CHANGED) return TB_ENDTRACK;
  return std::nullopt;
}

bool IsRecentFileCommand(int id) {
  return id >= ID_FILE_MRU_FIRST && id <= ID_FILE_MRU_LAST;
}

// Files dropped on the frame or the form go to the view.
class ViewDropTarget final : public wxFileDropTarget {
 public:
  explicit ViewDropTarget(CBrookwaveView& view) : m_view(view) {}
  bool OnDropFiles(wxCoord, wxCoord, const wxArrayString& files) override {
    return m_view.OnDropFiles(files);
  }

 private:
  CBrookwaveView& m_view;
};

}  // namespace

CBrookwaveView::CBrookwaveView() : m_timer(this, kPlaybackTimerId) {
  Bind(wxEVT_MENU, &CBrookwaveView::OnCommand, this);
  Bind(wxEVT_UPDATE_UI, &CBrookwaveView::OnUpdateCommand, this);
  Bind(EVT_VIEW_MESSAGE, &CBrookwaveView::OnPosted, this);
  Bind(wxEVT_TIMER, &CBrookwaveView::OnTimerTick, this);
  Bind(wxEVT_IDLE, &CBrookwaveView::OnIdle, this);
}

CBrookwaveView::~CBrookwaveView() {
  // The core stops whatever still runs, and may still show it on the form.
  m_core.reset();
  if (m_bWaitCursor) wxEndBusyCursor();
  CMainFrame* frame = Frame();
  if (frame) frame->SetDropTarget(nullptr);  // it points at this view
  if (m_pForm == nullptr) return;
  if (frame) frame->DetachView(m_pForm);
  m_pForm->Destroy();
}

bool CBrookwaveView::OnCreate(wxDocument* doc, long) {
  auto* templ = dynamic_cast<CSingleDocTemplate*>(doc->GetDocumentTemplate());
  CMainFrame* frame = templ ? templ->MainFrame() : nullptr;
  if (frame == nullptr) return false;
  auto form = std::make_unique<FormWindow>(frame);
  if (!form->IsOk()) {
    form.release()->Destroy();  // a window: wx deletes it
    return false;
  }
  m_pForm = form.release();  // a child of the frame from here on
  m_pForm->Bind(wxEVT_DESTROY, [this](wxWindowDestroyEvent& event) {
    if (event.GetEventObject() == m_pForm) m_pForm = nullptr;
    event.Skip();
  });
  SetFrame(frame);
  m_core = std::make_unique<CBrookwaveViewCore>(*this, wxGetApp().Profile());
  BindFormEvents();
  // The windows own their drop targets.
  m_pForm->SetDropTarget(std::make_unique<ViewDropTarget>(*this).release());
  frame->SetDropTarget(std::make_unique<ViewDropTarget>(*this).release());
  frame->AttachView(m_pForm);
  return true;
}

void CBrookwaveView::BindFormEvents() {
  for (const auto& type :
       {wxEVT_SCROLL_LINEUP, wxEVT_SCROLL_LINEDOWN, wxEVT_SCROLL_PAGEUP, wxEVT_SCROLL_PAGEDOWN,
        wxEVT_SCROLL_THUMBRELEASE, wxEVT_SCROLL_THUMBTRACK, wxEVT_SCROLL_TOP, wxEVT_SCROLL_BOTTOM,
        wxEVT_SCROLL_CHANGED})
    m_pForm->Bind(type, &CBrookwaveView::OnScroll, this);
  m_pForm->Bind(wxEVT_CONTEXT_MENU, &CBrookwaveView::OnContextMenu, this);
  // The cursor over the form and over each control.
  m_pForm->Bind(wxEVT_MOTION, &CBrookwaveView::OnMouseMove, this);
  for (wxWindow* child : m_pForm->GetChildren()) {
    if (child != &m_pForm->DataTip()) child->Bind(wxEVT_MOTION, &CBrookwaveView::OnMouseMove, this);
  }
  m_pForm->Bind(wxEVT_LEAVE_WINDOW, [this](wxMouseEvent& event) {
    if (!m_pForm->GetScreenRect().Contains(wxGetMousePosition())) m_pForm->DataTip().Hide();
    event.Skip();
  });
}

bool CBrookwaveView::IsRunningCommand() const {
  return m_core && m_core->IsRunningCommand();
}

bool CBrookwaveView::OnClose(bool deleteWindow) {
  if (IsRunningCommand()) {
    WindowProc(WM_REMOTE_STOP, 0, 0);
    return false;
  }
  if (m_core) m_core->OnClose();
  return wxView::OnClose(deleteWindow);
}

void CBrookwaveView::OnChangeFilename() {
  wxDocument* doc = GetDocument();
  CMainFrame* frame = Frame();
  if (doc && frame) frame->SetTitle(doc->GetUserReadableName() + " - Brookwave");
}

void CBrookwaveView::OnInitialUpdate() {
  OnChangeFilename();
  if (m_core) m_core->OnInitialUpdate();
  PublishState();
}

bool CBrookwaveView::OnDropFiles(const wxArrayString& files) {
  if (files.empty() || !m_pForm) return false;
  // Not inside the drop: the open may ask or tell the user something.
  m_pForm->CallAfter([this, path = PathFromWx(files.front())] {
    if (!m_core) return;
    m_core->OpenFromOutside(path);
    PublishState();
  });
  return true;
}

LRESULT CBrookwaveView::WindowProc(uint32_t message, WPARAM wParam, LPARAM lParam) {
  const LRESULT result = m_core ? m_core->WindowProc(message, wParam, lParam) : 0;
  PublishState();
  return result;
}

void CBrookwaveView::PublishState() {
  if (!m_core) return;
  if (CRemoteLink* link = wxGetApp().RemoteLink()) link->Publish();
}

CMainFrame* CBrookwaveView::Frame() const {
  return dynamic_cast<CMainFrame*>(GetFrame());
}

wxWindow* CBrookwaveView::DialogParent() const {
  return GetFrame();
}

// ---- events --------------------------------------------------------------------------------

void CBrookwaveView::OnCommand(wxCommandEvent& event) {
  if (!m_core || !m_core->OnCommand(res::CommandOf(event.GetId()))) event.Skip();
  PublishState();
}

void CBrookwaveView::OnUpdateCommand(wxUpdateUIEvent& event) {
  const int id = res::CommandOf(event.GetId());
  const std::optional<CommandState> state = m_core ? m_core->QueryCommandState(id) : std::nullopt;
  if (!state) {
    event.Skip();
    return;
  }
  bool enabled = state->enabled;
  // Without recent files the menu shows the disabled "Recent File" in their place.
  if (IsRecentFileCommand(id) && GetDocumentManager() &&
      static_cast<std::size_t>(id - ID_FILE_MRU_FIRST) >=
          GetDocumentManager()->GetHistoryFilesCount())
    enabled = false;
  event.Enable(enabled);
  if (res::IsCheckCommand(id)) event.Check(state->checked);
}

void CBrookwaveView::OnPosted(wxThreadEvent&) {
  // Level meters left for a tick may be queued ahead of this message.
  DispatchAllPosted();
}

bool CBrookwaveView::DispatchPosted() {
  PostedMessage next;
  {
    std::lock_guard lock(m_postedMutex);
    if (m_posted.empty()) return false;
    next = m_posted.front();
    m_posted.pop_front();
  }
  WindowProc(next.message, next.wParam, next.lParam);
  return true;
}

void CBrookwaveView::DispatchAllPosted() {
  while (DispatchPosted()) {
  }
}

void CBrookwaveView::OnTimerTick(wxTimerEvent& event) {
  if (!m_core) return;
  // The level meters that came since the last tick, shown in this tick's redraw.
  DispatchAllPosted();
  if (!m_bTimerWanted) return;  // one of them ended the playback
  // The volume the ramp moves reaches MPRIS with the next level meter message: a signal per
  // tick would wake the bus thread ten times a second through every fade.
  m_core->OnTimer(event.GetId());
  FollowTimerNeed();
}

// Whatever an event changed (a level meter's fade, a slider, the properties) is settled by
// the time the loop goes idle.
void CBrookwaveView::OnIdle(wxIdleEvent& event) {
  event.Skip();
  FollowTimerNeed();
}

void CBrookwaveView::FollowTimerNeed() {
  const bool run = m_bTimerWanted && m_core && m_core->TimerMovesVolume();
  if (run != m_timer.IsRunning()) TickTimer(run);
}

void CBrookwaveView::TickTimer(bool run) {
  if (run)
    m_timer.Start(m_nTimerMs);
  else
    m_timer.Stop();
  bool waiting = false;
  {
    std::lock_guard lock(m_postedMutex);
    m_bTickTakesMeters = run;
    waiting = !m_posted.empty();
  }
  // What the timer would have taken is handed over now.
  if (!run && waiting) QueuePostedEvent();
}

void CBrookwaveView::OnScroll(wxScrollEvent& event) {
  const std::optional<ScrollCode> code = ScrollCodeOf(event.GetEventType());
  if (!code || !m_core) return;
  const auto id = static_cast<ControlId>(event.GetId());
  // The position slider's range may pass what the event's int holds.
  const int64_t position = id == IDC_POSITION ? m_pForm->Position()->GetValue()
                                              : static_cast<int64_t>(event.GetPosition());
  m_core->OnHScroll(*code, position, id);
  PublishState();
}

void CBrookwaveView::OnMouseMove(wxMouseEvent& event) {
  event.Skip();
  if (!m_core || !m_pForm) return;
  auto* source = static_cast<wxWindow*>(event.GetEventObject());
  const wxPoint point = source == m_pForm
                            ? event.GetPosition()
                            : m_pForm->ScreenToClient(source->ClientToScreen(event.GetPosition()));
  const std::optional<ControlId> control = m_pForm->ControlAt(point);
  const std::string tip = m_core->OnSetCursor(control);
  if (control && !tip.empty()) m_pForm->DataTip().SetTip(point, ToWx(tip));
}

void CBrookwaveView::OnContextMenu(wxContextMenuEvent& event) {
  const std::unique_ptr<wxMenu> menu = res::LoadPopupMenu(res::IDR_PLAYBAR_MENU);
  const wxPoint at = event.GetPosition() == wxDefaultPosition
                         ? wxDefaultPosition
                         : m_pForm->ScreenToClient(event.GetPosition());
  m_pForm->PopupMenu(menu.get(), at);
}

// ---- ViewWindow ----------------------------------------------------------------------------

void CBrookwaveView::PostMessage(uint32_t message, WPARAM wparam, LPARAM lparam) {
  bool wake = true;
  {
    std::lock_guard lock(m_postedMutex);
    m_posted.push_back({message, wparam, lparam});
    // While the timer ticks, a level meter waits for the next tick rather than waking the loop
    // for a redraw of its own: each redraw is a frame the toolkit and the display work through.
    wake = !(message == WM_LEVEL_METER && m_bTickTakesMeters);
  }
  if (wake) QueuePostedEvent();
}

void CBrookwaveView::QueuePostedEvent() {
  wxQueueEvent(this, std::make_unique<wxThreadEvent>(EVT_VIEW_MESSAGE).release());  // wx owns it
}

void CBrookwaveView::ShowSlider(ControlId id, const SliderState& state) {
  if (m_pForm) m_pForm->ShowSlider(id, state);
}

void CBrookwaveView::ShowMeter(ControlId id, int value) {
  if (m_pForm) m_pForm->ShowMeter(id, value);
}

void CBrookwaveView::ShowText(ControlId id, std::string_view text) {
  if (m_pForm) m_pForm->ShowText(id, text);
}

void CBrookwaveView::SetStatusText(std::string_view text) {
  if (CMainFrame* frame = Frame()) frame->OnSetMessageString(text);
}

void CBrookwaveView::ShowStatusPrompt(std::optional<std::string_view> prompt) {
  CMainFrame* frame = Frame();
  if (frame == nullptr) return;
  if (prompt)
    frame->ShowPrompt(ToWx(*prompt));
  else
    frame->ShowIdlePrompt();
}

int CBrookwaveView::MessageBox(std::string_view text, std::string_view caption, unsigned style) {
  return RunMessageBox(DialogParent(), text, caption, style);
}

void CBrookwaveView::ApplyMultiMode(int32_t multi_mode) {
  if (CRemoteLink* link = wxGetApp().RemoteLink()) link->Start(multi_mode);
}

void CBrookwaveView::SetCursor(Cursor cursor) {
  const bool wait = cursor != Cursor::kArrow;
  if (wait == m_bWaitCursor) return;
  m_bWaitCursor = wait;
  if (wait)
    wxBeginBusyCursor();
  else
    wxEndBusyCursor();
}

void CBrookwaveView::SetTimer(int id, int ms) {
  if (id != kPlaybackTimerId) return;
  m_bTimerWanted = true;
  m_nTimerMs = ms;
  TickTimer(true);
}

void CBrookwaveView::KillTimer(int id) {
  if (id != kPlaybackTimerId) return;
  m_bTimerWanted = false;
  TickTimer(false);
}

// Up to `count` pending events, one at a time, without waiting: the toolkit's first (input,
// drawing), then the view's posted messages.
void CBrookwaveView::PumpMessages(int count) {
  wxEventLoopBase* loop = wxEventLoopBase::GetActive();
  for (int i = 0; i < count; ++i) {
    if (loop && loop->Pending()) {
      loop->Dispatch();
    } else if (!DispatchPosted()) {
      break;
    }
  }
}

std::string CBrookwaveView::DocumentPath() {
  return GetDocument() ? PathFromWx(GetDocument()->GetFilename()) : std::string();
}

void CBrookwaveView::SetDocumentTitle(std::string_view title) {
  if (GetDocument() == nullptr) return;
  GetDocument()->SetTitle(ToWx(title));
  OnChangeFilename();
}

void CBrookwaveView::AddToRecentFileList(std::string_view path) {
  if (wxDocManager* manager = GetDocumentManager()) manager->AddFileToHistory(PathToWx(path));
}

// Asked for, not done at once: the close may end the view whose command is asking.
void CBrookwaveView::CloseMainWindow() {
  if (wxWindow* frame = GetFrame()) frame->CallAfter([frame] { frame->Close(false); });
}

std::optional<std::string> CBrookwaveView::RunFileDialog(const FileDialogSpec& dialog) {
  if (dialog.open_file_template) return RunOpenFileDlg(DialogParent());
  return ::bw::RunFileDialog(DialogParent(), dialog);
}

FormatChoice CBrookwaveView::ChooseFormat(const FormatChooserSpec& chooser) {
  return ::bw::ChooseFormat(DialogParent(), chooser);
}

int CBrookwaveView::RunPlaySheet(PlaySheetData& data) {
  return ::bw::RunPlaySheet(DialogParent(), data,
                            [this] { WindowProc(WM_APPLY_PLAY_PROPERTIES, 0, 0); });
}

int CBrookwaveView::RunRecordSheet(RecordSheetData& data) {
  return ::bw::RunRecordSheet(DialogParent(), data);
}

void CBrookwaveView::RunPlayListEditor(PlayListEditorModel& editor) {
  ::bw::RunPlayListEditor(DialogParent(), editor);
}

void CBrookwaveView::ClosePlayListEditor() {
  ::bw::ClosePlayListEditor();
}

}  // namespace bw
