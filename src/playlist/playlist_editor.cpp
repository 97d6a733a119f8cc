#include "playlist/playlist_editor.h"

#include <wx/button.h>
#include <wx/filectrl.h>
#include <wx/filefn.h>
#include <wx/listbox.h>
#include <wx/textctrl.h>
#include <wx/utils.h>
#include <wx/xrc/xmlres.h>
#ifdef __WXGTK__
#include <gtk/gtk.h>
#endif

#include <filesystem>
#include <optional>
#include <system_error>

#include "platform/user_folders.h"
#include "playlist/playlist_editor_model.h"
#include "res/dialog_ids.h"
#include "res/resources.h"
#include "view/dialogs/wx_text.h"

namespace bw {
namespace {

namespace fs = std::filesystem;
using namespace res;

// GTK matches filter patterns case-sensitively, and SONG.WAV is a wave file too; "*.*" would
// hide the files without a dot.
#ifdef __WXGTK__
constexpr char kWildcard[] = "Wave Files|*.[Ww][Aa][Vv]|All Files|*";
#else
constexpr char kWildcard[] = "Wave Files|*.wav|All Files|*.*";
#endif

// The editor that runs now, for ClosePlayListEditor.
CPlayListEditor* g_pRunning = nullptr;

// Where the browser was when the last run ended: the next run starts there.
wxString& LastFolder() {
  static wxString folder = PathToWx(HomeFolder());
  return folder;
}

// A play list entry or path as the list shows it. Entries are bytes; one that is not UTF-8 (a
// list written on another system) is shown as Latin-1 rather than as an empty line.
wxString ShownText(const std::string& text) {
  wxString shown = ToWx(text);
  if (shown.empty() && !text.empty()) shown = wxString(text.data(), wxConvISO8859_1, text.size());
  return shown;
}

#ifdef __WXGTK__
GtkWidget* FindTreeView(GtkWidget* widget) {
  if (GTK_IS_TREE_VIEW(widget)) return widget;
  if (!GTK_IS_CONTAINER(widget)) return nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  GtkWidget* found = nullptr;
  for (GList* child = children; child != nullptr && found == nullptr; child = child->next)
    found = FindTreeView(GTK_WIDGET(child->data));
  g_list_free(children);
  return found;
}
#endif

// The keyboard goes to the browser's list of files, so that a file can be chosen and added
// with the arrow keys and Enter. GTK's file chooser takes no focus itself and GTK would
// otherwise give it to the first field, the read-only play list path.
void FocusFileList(wxFileCtrl& browser) {
#ifdef __WXGTK__
  if (GtkWidget* files = FindTreeView(browser.GetHandle())) {
    gtk_widget_grab_focus(files);
    return;
  }
#endif
  browser.SetFocus();
}

}  // namespace

CPlayListEditor::CPlayListEditor(wxWindow* parent, PlayListEditorModel& model,
                                 const wxString& folder)
    : m_model(model) {
  if (!LoadDialogTemplates() ||
      !wxXmlResource::Get()->LoadDialog(this, parent, "IDD_PLAYLIST_EDITOR")) {
    return;
  }
  auto* browser = new wxFileCtrl(this, IDC_BROWSER_PLACE, folder, wxEmptyString, kWildcard,
                                 wxFC_OPEN | wxFC_NOSHOWHIDDEN);
  if (!wxXmlResource::Get()->AttachUnknownControl("IDC_BROWSER_PLACE", browser, this)) {
    browser->Destroy();
    return;
  }
  m_pBrowser = browser;
  m_ctlFileName = XRCCTRL(*this, "IDC_EDITOR_FILE_NAME", wxTextCtrl);
  m_ctlPlayList = XRCCTRL(*this, "IDC_EDITOR_LIST", wxListBox);
  m_ctlPlayListFile = XRCCTRL(*this, "IDC_EDITOR_LIST_FILE", wxTextCtrl);
  CreateMoveButtons();

  Bind(wxEVT_INIT_DIALOG, [this](wxInitDialogEvent& event) {
    event.Skip();
    OnInitDialog();
  });
  m_pBrowser->Bind(wxEVT_FILECTRL_SELECTIONCHANGED, [this](wxFileCtrlEvent&) { OnSelChange(); });
  m_pBrowser->Bind(wxEVT_FILECTRL_FOLDERCHANGED, [this](wxFileCtrlEvent&) { OnSelChange(); });
  m_pBrowser->Bind(wxEVT_FILECTRL_FILEACTIVATED, [this](wxFileCtrlEvent&) { OnFileNameOK(); });
  BindButton(IDC_EDITOR_ADD, [this] { m_model.OnAdd(SelectedFile()); });
  BindButton(IDC_EDITOR_ADD_ALL,
             [this] { m_model.OnAddAll(fs::path(PathFromWx(m_pBrowser->GetDirectory()))); });
  BindButton(IDC_EDITOR_DELETE, [this] { m_model.OnDelete(); });
  BindButton(IDC_EDITOR_CLEAR_LIST, [this] { m_model.OnClearList(); });
  BindButton(IDC_EDITOR_MOVE_UP, [this] { m_model.OnMoveUp(); });
  BindButton(IDC_EDITOR_MOVE_DOWN, [this] { m_model.OnMoveDown(); });
  BindButton(IDC_EDITOR_USE_LIST, [this] { m_model.OnUseList(); });
  m_ctlPlayList->Bind(wxEVT_KEY_DOWN, [this](wxKeyEvent& event) {
    if (event.GetKeyCode() == WXK_DELETE)
      RunOnList([this] { m_model.OnDelete(); });
    else
      event.Skip();
  });
}

void CPlayListEditor::OnInitDialog() {
  m_ctlPlayListFile->ChangeValue(ShownText(m_model.PlayListFile()));
  // A long path shows its end, where the file's name is.
  m_ctlPlayListFile->SetInsertionPointEnd();
  m_model.OnInitDone();
  ShowList();
  FocusFileList(*m_pBrowser);
}

// The arrows stand under the list, left of Delete and level with it.
void CPlayListEditor::CreateMoveButtons() {
  const wxRect deleteRect = FindWindow(IDC_EDITOR_DELETE)->GetRect();
  int left = ConvertDialogToPixels(wxPoint(311, 0)).x;
  const int gap = ConvertDialogToPixels(wxPoint(4, 0)).x;
  for (const bool up : {true, false}) {
    auto* button = new wxButton(this, up ? IDC_EDITOR_MOVE_UP : IDC_EDITOR_MOVE_DOWN, wxEmptyString,
                                wxDefaultPosition, wxDefaultSize, wxBU_EXACTFIT);
    if (const wxBitmap arrow = ArrowIcon(up); arrow.IsOk())
      button->SetBitmap(arrow);
    else
      button->SetLabel(up ? "Up" : "Down");
    button->SetToolTip(up ? "Move Up" : "Move Down");
    button->SetSize(button->GetBestSize());
    button->Move(left, deleteRect.GetBottom() + 1 - button->GetSize().y);
    left += button->GetSize().x + gap;
    (up ? m_pUpButton : m_pDownButton) = button;
  }
  // After Delete in the keyboard order, as they stand.
  m_pUpButton->MoveAfterInTabOrder(FindWindow(IDC_EDITOR_DELETE));
  m_pDownButton->MoveAfterInTabOrder(m_pUpButton);
}

void CPlayListEditor::BindButton(int id, std::function<void()> handler) {
  Bind(
      wxEVT_BUTTON, [this, handler = std::move(handler)](wxCommandEvent&) { RunOnList(handler); },
      id);
}

void CPlayListEditor::RunOnList(const std::function<void()>& handler) {
  const int selection = m_ctlPlayList->GetSelection();
  m_model.Select(selection == wxNOT_FOUND ? std::nullopt : std::optional<std::size_t>(selection));
  const std::size_t before = m_model.Entries().size();
  handler();
  ShowList();
  if (m_model.Entries().size() > before)
    m_ctlPlayList->EnsureVisible(static_cast<int>(m_model.Entries().size() - 1));
}

void CPlayListEditor::ShowList() {
  wxArrayString items;
  items.reserve(m_model.Entries().size());
  for (const std::string& entry : m_model.Entries())
    items.Add(ShownText(entry));
  m_ctlPlayList->Set(items);
  if (const std::optional<std::size_t> selection = m_model.Selection()) {
    m_ctlPlayList->SetSelection(static_cast<int>(*selection));
    m_ctlPlayList->EnsureVisible(static_cast<int>(*selection));
  }
}

std::string CPlayListEditor::SelectedFile() const {
  const std::string path = PathFromWx(m_pBrowser->GetPath());
  std::error_code ec;
  if (path.empty() || fs::is_directory(path, ec)) return {};
  return path;
}

void CPlayListEditor::OnSelChange() {
  m_ctlFileName->ChangeValue(ShownText(fs::path(SelectedFile()).filename().string()));
}

// A double-click on a file or Enter in the browser adds the file; the dialog stays open unless
// Use List has already handed the list over.
void CPlayListEditor::OnFileNameOK() {
  int result = -1;
  RunOnList([this, &result] { result = m_model.OnFileNameOK(SelectedFile()); });
  if (result == 0) EndModal(wxID_OK);
}

void RunPlayListEditor(wxWindow* parent, PlayListEditorModel& model) {
  if (g_pRunning != nullptr) return;
  // A folder removed since the last run would leave the browser nowhere.
  if (!wxDirExists(LastFolder())) LastFolder() = PathToWx(HomeFolder());
  CPlayListEditor editor(parent, model, LastFolder());
  if (!editor.IsOk()) return;
  g_pRunning = &editor;
  editor.ShowModal();
  g_pRunning = nullptr;
  if (const wxString folder = editor.Browser()->GetDirectory(); !folder.empty())
    LastFolder() = folder;
}

void ClosePlayListEditor() {
  if (g_pRunning != nullptr && g_pRunning->IsModal()) g_pRunning->EndModal(wxID_CANCEL);
}

}  // namespace bw
