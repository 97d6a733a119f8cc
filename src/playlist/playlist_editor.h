// The play list editor (template 150): a file browser of wave files beside the list being
// edited, with the buttons that edit it. The widgets are a thin shell over PlayListEditorModel:
// every button hands the list box's selection to the model, runs the model's handler and
// redraws the list from the model.
//
// The view runs the editor modally (RunPlayListEditor) from New PlayList and Edit Playlist.
// Use List makes the model post WM_PLAYLIST_EDITED to the view; the view then writes the play
// list file, loads its first entry and ends the run through ClosePlayListEditor. Cancel and
// the close box end the run without touching the file.
//
// Called on the user-interface thread only.
#pragma once

#include <wx/dialog.h>
#include <wx/filectrl.h>

#include <functional>
#include <string>

class wxButton;
class wxListBox;
class wxTextCtrl;

namespace bw {

class PlayListEditorModel;

class CPlayListEditor : public wxDialog {
 public:
  // Builds the dialog from its template over `model`, whose play list file is set, with the
  // browser in `folder`. IsOk() is false when the template is missing.
  CPlayListEditor(wxWindow* parent, PlayListEditorModel& model, const wxString& folder);

  bool IsOk() const { return m_pBrowser != nullptr; }
  wxFileCtrl* Browser() const { return m_pBrowser; }
  wxListBox* PlayList() const { return m_ctlPlayList; }

  // The file selected in the browser, with its folder; empty when nothing (or a folder) is.
  std::string SelectedFile() const;

 private:
  // Once the dialog is up: the list is filled from the play list file.
  void OnInitDialog();
  void CreateMoveButtons();
  void BindButton(int id, std::function<void()> handler);
  // Runs one of the model's handlers on the list as the user sees it: the list box's selection
  // goes to the model first, and the list box shows the model's list afterwards (scrolled to
  // the end when entries were added).
  void RunOnList(const std::function<void()>& handler);
  void ShowList();
  void OnSelChange();
  void OnFileNameOK();

  PlayListEditorModel& m_model;
  wxFileCtrl* m_pBrowser = nullptr;
  wxTextCtrl* m_ctlFileName = nullptr;
  wxListBox* m_ctlPlayList = nullptr;
  wxTextCtrl* m_ctlPlayListFile = nullptr;
  wxButton* m_pUpButton = nullptr;
  wxButton* m_pDownButton = nullptr;
};

// Runs the editor modally over `model` and returns when the user cancels or ClosePlayListEditor
// ends the run. The browser starts where it was left by the previous run (the user's home
// folder at first). Nothing happens while another run is in progress or when the template
// cannot be loaded (that is reported once, by the resource loader).
void RunPlayListEditor(wxWindow* parent, PlayListEditorModel& model);

// Ends the running editor as its Cancel button would; nothing when none runs.
void ClosePlayListEditor();

}  // namespace bw
