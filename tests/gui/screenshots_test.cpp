// Screenshots of the dialogs, for people to look at: <build>/screenshots/*_96dpi.png, and
// *_120dpi.png from the large-fonts run. Each also checks that the dialog came up from its
// template.
#include <gtest/gtest.h>
#include <wx/bookctrl.h>
#include <wx/listbox.h>

#include "app/about_dlg.h"
#include "gui_test_support.h"
#include "playlist/open_file_dlg.h"
#include "playlist/playlist_editor.h"
#include "playlist/playlist_editor_model.h"
#include "settings/play_sheet.h"
#include "settings/rec_sheet.h"
#include "support/test_support.h"
#include "view/dialogs/format_chooser.h"

namespace bw {
namespace {

using test::RunModal;
using test::SaveScreenshot;

PlaySheetData SamplePlayData() {
  PlaySheetData data;
  data.general = {1200, 880000, 1, 0, 0, 1, 1, 1};
  data.file = {"/home/listener/Music/brook at dawn.wav",
               2,
               44100,
               176400,
               "WAVE_FORMAT_PCM",
               "March 14, 2024",
               5292044};
  data.device.m_strDevice = "          0           0           0           0";
  data.equaliser.m_nBand = {-40, -20, 0, 30, 60, 20, -10, -60};
  return data;
}

// Shows each tab of `sheet` in turn and takes its picture.
void ShootEveryTab(wxDialog& dialog, std::initializer_list<const char*> names) {
  auto& sheet = dynamic_cast<CPropertySheet&>(dialog);
  std::size_t tab = 0;
  for (const char* name : names) {
    test::SelectTab(*sheet.GetBookCtrl(), tab++);
    SaveScreenshot(sheet, name);
  }
  sheet.EndModal(wxID_CANCEL);
}

TEST(Screenshots, PlaybackSheetEveryTab) {
  PlaySheetData data = SamplePlayData();
  RunModal<int>([&] { return RunPlaySheet(nullptr, data, {}); },
                [](wxDialog& sheet) {
                  ShootEveryTab(sheet,
                                {"play_sheet_equaliser", "play_sheet_general", "play_sheet_file",
                                 "play_sheet_device", "play_sheet_advanced"});
                });
}

TEST(Screenshots, RecordSheetEveryTab) {
  RecordSheetData data;
  data.general = {1, 2147483647};
  data.advanced = {1, 1000};
  data.file.m_strFile = "/home/listener/Recordings/take 3.wav";
  RunModal<int>([&] { return RunRecordSheet(nullptr, data); },
                [](wxDialog& sheet) {
                  ShootEveryTab(sheet, {"rec_sheet_general", "rec_sheet_file", "rec_sheet_device",
                                        "rec_sheet_advanced"});
                });
}

TEST(Screenshots, FormatChooser) {
  FormatChooserSpec chooser;
  chooser.initial = FormatBlock(MakePcmFormat(44100, 2));
  chooser.start_on_initial = true;
  RunModal<FormatChoice>([&] { return ChooseFormat(nullptr, chooser); },
                         [](wxDialog& dialog) {
                           SaveScreenshot(dialog, "format_chooser");
                           dialog.EndModal(wxID_CANCEL);
                         });
}

TEST(Screenshots, AboutBox) {
  RunModal<int>(
      [] {
        RunAboutDlg(nullptr);
        return 0;
      },
      [](wxDialog& dialog) {
        SaveScreenshot(dialog, "about");
        dialog.EndModal(wxID_OK);
      });
}

TEST(Screenshots, OpenFile) {
  RunModal<std::optional<std::string>>([] { return RunOpenFileDlg(nullptr); },
                                       [](wxDialog& dialog) {
                                         test::Settle(500);
                                         SaveScreenshot(dialog, "open_file");
                                         dialog.EndModal(wxID_CANCEL);
                                       });
}

TEST(Screenshots, PlayListEditor) {
  struct : MessageTarget {
    void PostMessage(uint32_t, WPARAM, LPARAM) override {}
  } view;
  test::TempDir dir;
  const std::filesystem::path music = dir / "Music";
  std::filesystem::create_directories(music);
  for (const char* name : {"brook at dawn.wav", "evening rain.wav", "harbour bells.wav",
                           "mill race.wav", "night train.wav"})
    test::WriteFileBytes(music / name, std::vector<uint8_t>(44100, 0));
  std::string list;
  for (const char* name : {"brook at dawn.wav", "evening rain.wav", "night train.wav"})
    list += (music / name).string() + "\r\n";
  test::WriteFileBytes(dir / "evening.plf", {list.begin(), list.end()});
  PlayListEditorModel model(view);
  model.SetPlayListFile((dir / "evening.plf").string());
  RunModal<int>(
      [&] {
        RunPlayListEditor(nullptr, model);
        return 0;
      },
      [&](wxDialog& dialog) {
        auto& editor = dynamic_cast<CPlayListEditor&>(dialog);
        editor.Browser()->SetPath(wxString::FromUTF8((music / "mill race.wav").string()));
        test::Settle(500);
        wxFileCtrlEvent selected(wxEVT_FILECTRL_SELECTIONCHANGED, editor.Browser(),
                                 editor.Browser()->GetId());
        editor.Browser()->ProcessWindowEvent(selected);
        editor.PlayList()->SetSelection(1);
        SaveScreenshot(dialog, "playlist_editor");
        dialog.EndModal(wxID_CANCEL);
      });
}

}  // namespace
}  // namespace bw
