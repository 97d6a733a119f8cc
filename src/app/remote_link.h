// CRemoteLink: the running program behind its remote control (MPRIS on the session bus). It
// meets an instance that already runs as PlaySettings.MultiMode asks, takes the bus name, turns
// the commands of other programs into the frame's remote Play and Stop, First, Last, the
// frame's close and raise and File Open, and publishes what the view shows.
//
// Threads: user-interface thread only. The service is started on the default GMainContext,
// which GTK runs on that thread, so the commands arrive there between other events (also
// inside modal dialogs' loops).
#pragma once

#include <wx/event.h>
#include <wx/modalhook.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "app/remote_volume_pacer.h"
#include "platform/remote/mpris_service.h"
#include "platform/remote/remote_control.h"

class wxDialog;

namespace bw {

class CBrookwaveApp;

class CRemoteLink final : public RemoteCommandTarget {
 public:
  explicit CRemoteLink(CBrookwaveApp& app);
  // Gives up the bus name: other programs see the player vanish at once.
  ~CRemoteLink() override;
  CRemoteLink(const CRemoteLink&) = delete;
  CRemoteLink& operator=(const CRemoteLink&) = delete;

  // Once per run, after the settings are loaded: an instance that already runs is asked to
  // quit (`multiMode` 0) or raised (any other value), then this one takes the bus name once the
  // events waiting have been handled (the window shows first). Without a session bus the
  // program runs without remote control.
  void Start(int32_t multiMode);
  // The view's state changed (or may have): watchers hear of what differs.
  void Publish();
  bool HasService() const { return m_pService != nullptr; }
  // A file handed over while a modal dialog was up is opened once the last one has closed.
  void OpenPendingFile();

  // ---- RemoteCommandTarget ----
  void OnRemoteCommand(RemoteCommand command) override;
  void OnRemoteOpen(const std::filesystem::path& path) override;
  // Not while a message box is up: a run of requests for missing files would pile box on box.
  bool TakesFileNow() const override;
  void OnRemoteVolume(double volume) override;

 private:
  // Counts the modal dialogs up (message boxes and file dialogs included): the main window is
  // not closed under one, and a file handed over meanwhile waits until the last has closed.
  class ModalDialogs final : public wxModalDialogHook {
   public:
    explicit ModalDialogs(CRemoteLink& link) : m_link(link) {}
    bool Any() const { return !m_open.empty(); }
    bool AnyMessageBox() const;
    wxDialog* Top() const { return m_open.empty() ? nullptr : m_open.back(); }

   protected:
    int Enter(wxDialog* dialog) override;
    void Exit(wxDialog* dialog) override;

   private:
    CRemoteLink& m_link;
    std::vector<wxDialog*> m_open;
  };

  void Raise();
  void Quit();
  void StartService();

  CBrookwaveApp& m_app;
  ModalDialogs m_modalDialogs{*this};
  std::unique_ptr<MprisService> m_pService;
  bool m_bStarted = false;
  wxEvtHandler m_events;  // its pending calls go with it
  int64_t m_lastPosition = 0;
  RemoteVolumePacer m_volumePacer;
  std::optional<std::filesystem::path> m_pendingOpen;
};

}  // namespace bw
