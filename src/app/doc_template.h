// The single-document template (resource 128) that binds CBrookwaveDoc, CMainFrame and
// CBrookwaveView, and the document manager that keeps the one document, reuses it for every
// later open, and keeps the application's recent-file list.
//
// Threads: user-interface thread only.
#pragma once

#include <wx/docview.h>

namespace bw {

class CMainFrame;
class ProfileStore;
class WxProfileStore;

class CSingleDocTemplate : public wxDocTemplate {
 public:
  // Registers itself with `manager`, which owns it. `profile` and `largeFonts` are handed to
  // the frame when it is made.
  CSingleDocTemplate(wxDocManager* manager, int nIDResource, wxClassInfo* docClass,
                     wxClassInfo* frameClass, wxClassInfo* viewClass, ProfileStore& profile,
                     bool largeFonts);

  // Makes the frame (from its run-time class) before the first view; nothing when the frame
  // cannot be made.
  wxView* CreateView(wxDocument* doc, long flags = 0) override;
  CMainFrame* MainFrame() const { return m_pFrame; }
  int ResourceId() const { return m_nIDResource; }

 private:
  int m_nIDResource;
  wxClassInfo* m_pFrameClass;
  ProfileStore& m_profile;
  bool m_bLargeFonts;
  CMainFrame* m_pFrame = nullptr;  // owned by wx as a top-level window
};

class CBrookwaveDocManager : public wxDocManager {
 public:
  static constexpr int kRecentFiles = 4;

  CBrookwaveDocManager();

  // With a document open already, that document is reused: opening a path opens it in place,
  // a new document resets it. Either way the view's initial update runs afterwards.
  wxDocument* CreateDocument(const wxString& path, long flags = 0) override;
  wxString MakeNewDocumentName() override { return "Untitled"; }

  // The recent-file list: 4 entries, commands 57616 onwards; the frame's menu follows it.
  wxFileHistory* OnCreateFileHistory() override;
  void AddFileToHistory(const wxString& file) override;
  void RemoveFileFromHistory(size_t i) override;
  // "Recent File List"/"File1" .. "File4".
  void LoadRecentFiles(ProfileStore& profile);
  void SaveRecentFiles(WxProfileStore& profile);

 private:
  void UpdateRecentFileMenu();
};

}  // namespace bw
