// CBrookwaveApp: the program's entry into wx. At start-up it decides whether the screen uses
// large fonts, opens the profile (wxConfig, vendor "Tesserel", application "Brookwave"),
// chooses the sound device, installs the message boxes, registers the single-document
// template on resource 128 and opens the document the command line names (or a new one); at
// the end it writes the recent-file list back. It also handles About and the recent-file
// commands the view declines, and keeps mouse traffic from starting the idle-time
// command-state updates.
//
// Threads: user-interface thread only.
#pragma once

#include <wx/app.h>
#include <wx/fileconf.h>
#include <wx/filename.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "platform/message_box.h"
#include "view/dialogs/message_box.h"

namespace bw {

class CBrookwaveDocManager;
class CBrookwaveView;
class CMainFrame;
class CRemoteLink;
class CSessionLink;
class ProfileStore;
class WxProfileStore;

class CBrookwaveApp : public wxApp {
 public:
  CBrookwaveApp();
  ~CBrookwaveApp() override;

  // InitInstance with the process's command line.
  bool OnInit() override;
  // The arguments as main received them, for OnInit: file names are bytes, which wx's argv
  // (decoded with the locale) cannot always hold. Without them OnInit takes wx's argv.
  static void KeepArguments(std::vector<std::string> args);
  int OnExit() override;

  // The program's start; false (after the framework's or the program's message) when it
  // cannot start. May run again after ExitInstance (the GUI tests start the program several
  // times in one process).
  bool InitInstance(const CommandLineInfo& commandLine);
  // Writes the recent-file list, closes the profile and releases what InitInstance made.
  int ExitInstance();

  // Mouse traffic alone never starts the idle-time command-state updates; the data tip sees
  // every key and click.
  int FilterEvent(wxEvent& event) override;
  bool ProcessIdle() override;
  // The toolkit's own text direction for the locale. wx would look the locale up in its table
  // of every language it knows, built for that at the first window (12 M instructions, 0.25
  // MB), to learn the same.
  wxLayoutDirection GetLayoutDirection() const override;

  ProfileStore& Profile();
  CMainFrame* MainFrame() const;
  CBrookwaveView* View() const;
  CBrookwaveDocManager* DocManager() const { return m_pDocManager.get(); }
  // The remote control; nullptr outside InitInstance .. ExitInstance.
  CRemoteLink* RemoteLink() const { return m_pRemote.get(); }

  // TRUE when the screen draws its fonts at 120 or more pixels per inch.
  bool m_bLargeFonts = false;

 private:
  void OnAppAbout(wxCommandEvent& event);
  void OnOpenRecentFile(wxCommandEvent& event);

  std::unique_ptr<WxProfileStore> m_pProfile;
  std::unique_ptr<CBrookwaveDocManager> m_pDocManager;
  std::unique_ptr<CRemoteLink> m_pRemote;
  std::unique_ptr<CSessionLink> m_pSession;
  WxMessageSink m_messageSink;
  MessageSink* m_pPreviousSink = nullptr;
  bool m_bIdleWanted = true;
  static std::optional<std::vector<std::string>> s_arguments;
};

// Where the profile is kept.
wxFileName ProfilePath();
// The profile at `path`; a file the config reader cannot take is renamed to "<path>.unreadable"
// (after a message) and a new, empty profile is opened in its place.
std::unique_ptr<wxFileConfig> OpenProfile(const wxFileName& path);

// Whether a message starts the idle-time updates: mouse moves and clicks, cursor changes,
// painting and the updates themselves do not; everything else does.
bool IsIdleMessage(const wxEvent& event);

}  // namespace bw

wxDECLARE_APP(bw::CBrookwaveApp);
