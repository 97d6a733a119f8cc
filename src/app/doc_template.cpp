#include "app/doc_template.h"

#include <wx/filehistory.h>

#include <memory>

#include "app/wx_profile_store.h"
#include "frame/main_frame.h"
#include "res/menus.h"
#include "view/brookwave_view.h"
#include "view/dialogs/wx_text.h"
#include "view/view_ids.h"

namespace bw {

namespace {

constexpr std::string_view kRecentFileSection = "Recent File List";

std::string RecentFileEntry(std::size_t index) {
  return "File" + std::to_string(index + 1);
}

}  // namespace

// The document string of resource 128: window title "Brookwave", no document name, new-file
// type "Rillet", no filter (every file matches), file type "Brookwave.Document" named
// "Rillet Document".
CSingleDocTemplate::CSingleDocTemplate(wxDocManager* manager, int nIDResource,
                                       wxClassInfo* docClass, wxClassInfo* frameClass,
                                       wxClassInfo* viewClass, ProfileStore& profile,
                                       bool largeFonts)
    : wxDocTemplate(manager, "Rillet", "*", "", "", "Brookwave.Document", "Rillet Document",
                    docClass, viewClass),
      m_nIDResource(nIDResource),
      m_pFrameClass(frameClass),
      m_profile(profile),
      m_bLargeFonts(largeFonts) {}

wxView* CSingleDocTemplate::CreateView(wxDocument* doc, long flags) {
  if (m_pFrame == nullptr) {
    std::unique_ptr<wxObject> made(m_pFrameClass->CreateObject());
    auto* frame = wxDynamicCast(made.get(), CMainFrame);
    if (frame == nullptr) return nullptr;
    made.release();  // a top-level window: wx destroys it
    if (!frame->LoadFrame(GetDocumentManager(), m_profile, m_bLargeFonts)) {
      frame->Destroy();
      return nullptr;
    }
    m_pFrame = frame;
  }
  return wxDocTemplate::CreateView(doc, flags);
}

CBrookwaveDocManager::CBrookwaveDocManager() {
  SetMaxDocsOpen(1);
}

wxDocument* CBrookwaveDocManager::CreateDocument(const wxString& path, long flags) {
  const wxDocVector docs = GetDocumentsVector();
  wxDocument* doc = docs.empty() ? nullptr : docs.front();
  if (doc == nullptr) {
    doc = wxDocManager::CreateDocument(path, flags);
  } else if (flags & wxDOC_NEW) {
    if (!doc->OnNewDocument()) return nullptr;
  } else {
    if (!doc->OnOpenDocument(path)) {
      OnOpenFileFailure();
      return nullptr;
    }
    AddFileToHistory(path);
  }
  if (doc == nullptr) return nullptr;
  if (auto* view = dynamic_cast<CBrookwaveView*>(doc->GetFirstView())) view->OnInitialUpdate();
  return doc;
}

wxFileHistory* CBrookwaveDocManager::OnCreateFileHistory() {
  // The manager owns its history.
  return std::make_unique<wxFileHistory>(kRecentFiles, res::WxCommandId(ID_FILE_MRU_FIRST))
      .release();
}

void CBrookwaveDocManager::AddFileToHistory(const wxString& file) {
  wxDocManager::AddFileToHistory(file);
  UpdateRecentFileMenu();
}

void CBrookwaveDocManager::RemoveFileFromHistory(size_t i) {
  wxDocManager::RemoveFileFromHistory(i);
  UpdateRecentFileMenu();
}

void CBrookwaveDocManager::LoadRecentFiles(ProfileStore& profile) {
  wxFileHistory* history = GetFileHistory();
  if (history == nullptr) return;
  // Oldest first, so that File1 ends at the top.
  for (std::size_t i = kRecentFiles; i-- > 0;) {
    const std::string path = profile.GetString(kRecentFileSection, RecentFileEntry(i), "");
    if (!path.empty()) history->AddFileToHistory(PathToWx(path));
  }
  UpdateRecentFileMenu();
}

void CBrookwaveDocManager::SaveRecentFiles(WxProfileStore& profile) {
  profile.DeleteSection(kRecentFileSection);
  for (std::size_t i = 0; i < GetHistoryFilesCount(); ++i)
    profile.WriteString(kRecentFileSection, RecentFileEntry(i), PathFromWx(GetHistoryFile(i)));
}

void CBrookwaveDocManager::UpdateRecentFileMenu() {
  for (wxDocTemplate* templ : GetTemplatesVector()) {
    if (auto* single = dynamic_cast<CSingleDocTemplate*>(templ); single && single->MainFrame())
      single->MainFrame()->UpdateRecentFileMenu();
  }
}

}  // namespace bw
