#include "app/brookwave_app.h"

#include <gdk/gdk.h>
#include <gtk/gtk.h>
#include <wx/fileconf.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/stdpaths.h>

#include <cstdio>
#include <cstdlib>

#include "app/about_dlg.h"
#include "app/brookwave_doc.h"
#include "app/doc_template.h"
#include "app/remote_link.h"
#include "app/session_link.h"
#include "app/wx_profile_store.h"
#include "frame/data_tip.h"
#include "frame/main_frame.h"
#include "platform/message_box.h"
#include "platform/user_folders.h"
#include "res/menus.h"
#include "view/brookwave_view.h"
#include "view/dialogs/wx_text.h"
#include "view/view_ids.h"

namespace bw {
namespace {

constexpr int kMainResource = 128;
constexpr double kLargeFontsDpi = 120.0;

// The resolution GTK draws its fonts at (the desktop's text scaling included).
double FontResolution() {
  GdkScreen* screen = gdk_screen_get_default();
  const double dpi = screen ? gdk_screen_get_resolution(screen) : -1.0;
  return dpi > 0 ? dpi : 96.0;
}

}  // namespace

// $XDG_CONFIG_HOME/Brookwave/Brookwave.conf (~/.config by default), its folder made if needed;
// a folder that cannot be made is reported when the profile is written.
wxFileName ProfilePath() {
  const wxString app = wxTheApp->GetAppName();
  const wxFileName path(PathToWx(ConfigFolder()) + "/" + app, app + ".conf");
  if (!path.DirExists()) {
    wxLogNull quiet;
    wxFileName::Mkdir(path.GetPath(), wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL);
  }
  return path;
}

namespace {

bool g_profileUnreadable = false;

void NoteUnreadableProfile(const wxString&, int, const wxString&, const wxString&,
                           const wxString&) {
  g_profileUnreadable = true;
}

}  // namespace

// wx reads most broken lines by skipping them (and says so), but some it cannot take at all; a
// file like that is kept beside the new one rather than overwritten.
std::unique_ptr<wxFileConfig> OpenProfile(const wxFileName& path) {
  const wxString app = wxTheApp->GetAppName(), vendor = wxTheApp->GetVendorName();
  g_profileUnreadable = false;
  const wxAssertHandler_t previous = wxSetAssertHandler(&NoteUnreadableProfile);
  auto config = std::make_unique<wxFileConfig>(app, vendor, path.GetFullPath(), wxString(),
                                               wxCONFIG_USE_LOCAL_FILE);
  wxSetAssertHandler(previous);
  if (!g_profileUnreadable) return config;
  config.reset();
  const wxString kept = path.GetFullPath() + ".unreadable";
  if (wxRenameFile(path.GetFullPath(), kept, true)) {
    ShowMessageBox("The settings in " + FromWx(path.GetFullPath()) +
                       " could not be read. The file is kept as " + FromWx(kept) +
                       "; the program starts with its default settings.",
                   kProgramCaption, kMbOk | kMbIconExclamation);
  }
  return std::make_unique<wxFileConfig>(app, vendor, path.GetFullPath(), wxString(),
                                        wxCONFIG_USE_LOCAL_FILE);
}

bool IsIdleMessage(const wxEvent& event) {
  const wxEventType type = event.GetEventType();
  if (type == wxEVT_MOTION || type == wxEVT_LEFT_DOWN || type == wxEVT_LEFT_UP ||
      type == wxEVT_LEFT_DCLICK || type == wxEVT_RIGHT_DOWN || type == wxEVT_RIGHT_UP ||
      type == wxEVT_RIGHT_DCLICK || type == wxEVT_MIDDLE_DOWN || type == wxEVT_MIDDLE_UP ||
      type == wxEVT_MIDDLE_DCLICK || type == wxEVT_SET_CURSOR)
    return false;
  return type != wxEVT_PAINT && type != wxEVT_ERASE_BACKGROUND && type != wxEVT_UPDATE_UI &&
         type != wxEVT_IDLE;
}

std::optional<std::vector<std::string>> CBrookwaveApp::s_arguments;

void CBrookwaveApp::KeepArguments(std::vector<std::string> args) {
  s_arguments = std::move(args);
}

CBrookwaveApp::CBrookwaveApp() {
  UseByteFileNames();
  SetAppName("Brookwave");
  SetVendorName("Tesserel");
  Bind(wxEVT_MENU, &CBrookwaveApp::OnAppAbout, this, res::WxCommandId(ID_APP_ABOUT));
  Bind(wxEVT_MENU, &CBrookwaveApp::OnOpenRecentFile, this, res::WxCommandId(ID_FILE_MRU_FIRST),
       res::WxCommandId(ID_FILE_MRU_LAST));
}

CBrookwaveApp::~CBrookwaveApp() = default;

bool CBrookwaveApp::OnInit() {
  std::vector<std::string> args;
  if (s_arguments) {
    args = *s_arguments;
  } else {
    for (int i = 1; i < argc; ++i)
      args.push_back(PathFromWx(argv[i]));
  }
  const CommandLineInfo commandLine = ParseCommandLine(args, std::getenv("BROOKWAVE_SOUND"));
  if (!commandLine.error.empty()) {
    std::fprintf(stderr, "brookwave: %s\n", commandLine.error.c_str());
    return false;
  }
  return InitInstance(commandLine);
}

int CBrookwaveApp::OnExit() {
  return ExitInstance();
}

bool CBrookwaveApp::InitInstance(const CommandLineInfo& commandLine) {
  m_bLargeFonts = FontResolution() >= kLargeFontsDpi;

  m_pPreviousSink = SetMessageSink(&m_messageSink);
  std::unique_ptr<wxFileConfig> config = OpenProfile(ProfilePath());
  m_pProfile = std::make_unique<WxProfileStore>(*config);
  // wx owns the program's config from here on (and deletes it in OnExit).
  const std::unique_ptr<wxConfigBase> previous(wxConfigBase::Set(config.release()));

  // The automatic choice starts the sound system and lists its devices, which takes longer than
  // the rest of the start together; it is made when a stream or a Device page first needs it.
  if (commandLine.backend != SoundBackend::kAuto) SelectSoundBackend(commandLine.backend);
  // Started by the view once the settings have told it how to meet another instance.
  m_pRemote = std::make_unique<CRemoteLink>(*this);

  m_pDocManager = std::make_unique<CBrookwaveDocManager>();
  m_pDocManager->LoadRecentFiles(*m_pProfile);
  // The manager owns its templates.
  std::make_unique<CSingleDocTemplate>(m_pDocManager.get(), kMainResource,
                                       wxCLASSINFO(CBrookwaveDoc), wxCLASSINFO(CMainFrame),
                                       wxCLASSINFO(CBrookwaveView), *m_pProfile, m_bLargeFonts)
      .release();

  const wxDocument* doc = commandLine.path.empty()
                              ? m_pDocManager->CreateDocument(wxString(), wxDOC_NEW)
                              : m_pDocManager->CreateDocument(PathToWx(commandLine.path));
  CMainFrame* frame = MainFrame();
  if (doc == nullptr || frame == nullptr) {
    wxLog::FlushActive();  // the framework's own messages are the report
    if (frame) frame->Destroy();
    return false;
  }
  SetTopWindow(frame);
  frame->Show();
  m_pSession = std::make_unique<CSessionLink>(*this);
  return true;
}

int CBrookwaveApp::ExitInstance() {
  m_pSession.reset();
  m_pRemote.reset();  // the bus name is free from here on
  if (m_pDocManager && m_pProfile) m_pDocManager->SaveRecentFiles(*m_pProfile);
  m_pDocManager.reset();
  if (m_pProfile) m_pProfile->Flush();
  m_pProfile.reset();
  SetMessageSink(m_pPreviousSink);
  m_pPreviousSink = nullptr;
  return wxApp::OnExit();  // deletes the config
}

ProfileStore& CBrookwaveApp::Profile() {
  return *m_pProfile;
}

CMainFrame* CBrookwaveApp::MainFrame() const {
  if (!m_pDocManager) return nullptr;
  for (wxDocTemplate* templ : m_pDocManager->GetTemplatesVector()) {
    if (auto* single = dynamic_cast<CSingleDocTemplate*>(templ)) return single->MainFrame();
  }
  return nullptr;
}

CBrookwaveView* CBrookwaveApp::View() const {
  if (!m_pDocManager) return nullptr;
  const wxDocVector docs = m_pDocManager->GetDocumentsVector();
  return docs.empty() ? nullptr : dynamic_cast<CBrookwaveView*>(docs.front()->GetFirstView());
}

int CBrookwaveApp::FilterEvent(wxEvent& event) {
  TFXDataTip::FilterInput(event);
  if (IsIdleMessage(event)) m_bIdleWanted = true;
  return Event_Skip;
}

wxLayoutDirection CBrookwaveApp::GetLayoutDirection() const {
  return gtk_widget_get_default_direction() == GTK_TEXT_DIR_RTL ? wxLayout_RightToLeft
                                                                : wxLayout_LeftToRight;
}

bool CBrookwaveApp::ProcessIdle() {
  if (m_bIdleWanted) {
    m_bIdleWanted = false;
    return wxApp::ProcessIdle();
  }
  // Idle after mouse traffic only: the other idle work runs, the command-state updates do not.
  const long interval = wxUpdateUIEvent::GetUpdateInterval();
  wxUpdateUIEvent::SetUpdateInterval(-1);
  const bool more = wxApp::ProcessIdle();
  wxUpdateUIEvent::SetUpdateInterval(interval);
  return more;
}

void CBrookwaveApp::OnAppAbout(wxCommandEvent&) {
  RunAboutDlg(GetTopWindow());
}

// The view declined the command (its own list's file is gone): the application's list is
// tried, and its entry removed when that file cannot be opened either.
void CBrookwaveApp::OnOpenRecentFile(wxCommandEvent& event) {
  if (!m_pDocManager) return;
  const auto index = static_cast<std::size_t>(res::CommandOf(event.GetId()) - ID_FILE_MRU_FIRST);
  if (index >= m_pDocManager->GetHistoryFilesCount()) return;
  if (m_pDocManager->CreateDocument(m_pDocManager->GetHistoryFile(index)) == nullptr)
    m_pDocManager->RemoveFileFromHistory(index);
}

}  // namespace bw
