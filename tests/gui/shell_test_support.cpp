#include "shell_test_support.h"

#include <wx/fileconf.h>
#include <wx/menu.h>
#include <wx/statusbr.h>

#include <cstdio>
#include <cstdlib>

#include "app/brookwave_app.h"
#include "app/command_line.h"
#include "frame/main_frame.h"
#include "frame/menu_bar.h"
#include "frame/tool_bar_ex.h"
#include "gui_test_support.h"
#include "platform/sound/virtual_sound.h"
#include "res/menus.h"
#include "support/wave_image.h"
#include "view/brookwave_view.h"
#include "view/dialogs/wx_text.h"
#include "view/view_core.h"

namespace bw::test {

ProgramTest::ProgramTest() {
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  virtual_sound::SetPlaybackFormat({0, 0});
}

ProgramTest::~ProgramTest() {
  if (running_) End();
}

void ProgramTest::Start(std::vector<std::string> args) {
  CommandLineInfo info = ParseCommandLine(args, "virtual");
  ASSERT_TRUE(info.error.empty()) << info.error;
  ASSERT_TRUE(wxGetApp().InitInstance(info)) << "the program did not start";
  running_ = true;
  frame_ = &frame();
  // The sizes the X server gives the frame lay the bars out again: until nothing moves.
  for (wxRect before; before != frame().GetScreenRect() || !LaidOut();) {
    before = frame().GetScreenRect();
    bars_ = BarRects();
    WaitUntilDrawn(frame());
    HandleQueued();
  }
}

std::vector<wxRect> ProgramTest::BarRects() {
  return {frame().ToolBar()->GetScreenRect(), frame().PlayBar()->GetScreenRect(),
          frame().MenuBar()->GetScreenRect()};
}

bool ProgramTest::LaidOut() {
  return BarRects() == bars_;
}

bool ProgramTest::CloseBox() {
  frame().Close(false);
  HandleQueued();
  const bool closed = wxGetApp().MainFrame() == nullptr;
  if (closed) {
    SettleUntil([this] { return !frame_; });
    wxGetApp().ExitInstance();
    running_ = false;
  }
  return closed;
}

void ProgramTest::End() {
  if (CMainFrame* frame = wxGetApp().MainFrame()) frame->Close(true);
  SettleUntil([this] { return !frame_; });  // destroyed at idle time
  wxGetApp().ExitInstance();
  running_ = false;
}

namespace {

// A test that goes on without the window it needs could only crash later.
template <typename T>
T& Present(T* object, const char* what) {
  if (object == nullptr) {
    std::fprintf(stderr, "the program has no %s\n", what);
    std::abort();
  }
  return *object;
}

}  // namespace

CMainFrame& ProgramTest::frame() {
  return Present(wxGetApp().MainFrame(), "main window");
}

CBrookwaveView& ProgramTest::view() {
  return Present(wxGetApp().View(), "view");
}

CBrookwaveViewCore& ProgramTest::core() {
  return view().core();
}

std::string ProgramTest::StatusLine() {
  return FromWx(frame().GetStatusBar()->GetStatusText(0));
}

std::string ProgramTest::Caption() {
  return FromWx(frame().GetTitle());
}

void ProgramTest::Command(int id) {
  wxCommandEvent event(wxEVT_MENU, res::WxCommandId(id));
  event.SetEventObject(&frame());
  frame().ProcessWindowEvent(event);
  HandleQueued();
}

void ProgramTest::Open(const std::string& path) {
  core().stream().playback.playPath = path;
  ASSERT_EQ(core().OnPlayFileChosen(1), 0) << path;
  HandleQueued();
}

wxMenuItem* ProgramTest::MenuItem(int id) {
  return frame().MenuBar()->FindItem(res::WxCommandId(id));
}

void ProgramTest::UpdateCommandStates() {
  frame().MenuBar()->UpdateMenus();
  frame().ToolBar()->UpdateWindowUI();
  frame().PlayBar()->UpdateWindowUI();
}

std::string ProgramTest::ProfileFile() const {
  return (dir / "config" / "Brookwave" / "Brookwave.conf").string();
}

std::optional<std::string> ProgramTest::Stored(std::string_view section, std::string_view entry) {
  wxFileConfig file(wxString(), wxString(), ToWx(ProfileFile()), wxString(),
                    wxCONFIG_USE_LOCAL_FILE);
  file.SetExpandEnvVars(false);
  wxString value;
  if (!file.Read("/" + ToWx(section) + "/" + ToWx(entry), &value)) return std::nullopt;
  return FromWx(value);
}

void ProgramTest::Store(std::string_view section, std::string_view entry, std::string_view value) {
  std::filesystem::create_directories(std::filesystem::path(ProfileFile()).parent_path());
  wxFileConfig file(wxString(), wxString(), ToWx(ProfileFile()), wxString(),
                    wxCONFIG_USE_LOCAL_FILE);
  file.Write("/" + ToWx(section) + "/" + ToWx(entry), ToWx(value));
  file.Flush();
}

void ProgramTest::StorePlaySet(bool autoplay) {
  Store("Settings", "PlaySet",
        std::string(autoplay ? "1" : "0") +
            ",1,0,0,0,0,10,10,-2000,0,100,100000,-10000,10000,-6,6,0,0,0,0,1,1,1,1,1,1,1,1,1,0,0");
}

std::string ProgramTest::WriteTone(const std::string& name, double seconds, double hz) {
  const uint32_t rate = 44100;
  const auto frames = static_cast<uint32_t>(seconds * rate);
  const std::string path = (dir / name).string();
  WritePcmWave(path, rate, 2, SineTone(rate, 2, frames, hz));
  return path;
}

}  // namespace bw::test
