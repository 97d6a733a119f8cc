// The playback properties sheet with its real widgets: what each page shows and gives back, the
// live equaliser, validation, Apply, and the Device page's choice of item.
#include "settings/play_sheet.h"

#include <gtest/gtest.h>
#include <wx/bookctrl.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/radiobut.h>
#include <wx/slider.h>
#include <wx/textctrl.h>

#include <vector>

#include "gui_test_support.h"
#include "sheet_test_util.h"
#include "support/test_support.h"

namespace bw {
namespace {

using test::Id;

enum Tab : std::size_t { kEqualiser, kGeneral, kFile, kDevice, kAdvanced };

PlaySheetData FilledData() {
  PlaySheetData data;
  data.general = {1200, 880000, 1, 0, 0, 1, 0, 1};
  data.file = {"/music/a.wav", 2, 44100, 176400, "WAVE_FORMAT_PCM", "May 01, 2023", 123456};
  data.device.m_strDevice = test::DeviceWords(DeviceId{});
  data.advanced = {-2000, 0, 100, 100000, -10000, 10000, -6, 6};
  data.equaliser.m_nBand = {0, -10, 20, -30, 40, -50, 60, -70};
  return data;
}

int RunSheet(PlaySheetData& data, const std::function<void(CPlaySheet&)>& script,
             std::function<void()> apply_live = {}) {
  return test::RunModal<int>([&] { return RunPlaySheet(nullptr, data, std::move(apply_live)); },
                             [&](wxDialog& dialog) { script(dynamic_cast<CPlaySheet&>(dialog)); });
}

wxString Text(wxWindow& sheet, const char* name) {
  auto* edit = test::Control<wxTextCtrl>(sheet, name);
  return edit ? edit->GetValue() : wxString();
}

bool Checked(wxWindow& sheet, const char* name) {
  if (auto* box = dynamic_cast<wxCheckBox*>(test::FindControl(sheet, name))) return box->GetValue();
  if (auto* radio = dynamic_cast<wxRadioButton*>(test::FindControl(sheet, name)))
    return radio->GetValue();
  ADD_FAILURE() << "no check box or radio button " << name;
  return false;
}

TEST(PlaySheet, ShowsEveryMemberAndReturnsTheEditsOnOk) {
  PlaySheetData data = FilledData();
  const int result = RunSheet(data, [](CPlaySheet& sheet) {
    EXPECT_EQ(sheet.GetTitle(), "Playback Properties");
    wxBookCtrlBase& book = *sheet.GetBookCtrl();
    ASSERT_EQ(book.GetPageCount(), 5u);
    const char* titles[] = {"Equaliser", "General", "File", "Device", "Advanced"};
    for (std::size_t i = 0; i < 5; ++i)
      EXPECT_EQ(book.GetPageText(i), titles[i]);
    // Band i belongs to slider IDC_BANDi; up (negative) is the top of the range.
    EXPECT_EQ(test::Control<wxSlider>(sheet, "IDC_BAND7")->GetValue(), -70);
    EXPECT_EQ(test::Control<wxSlider>(sheet, "IDC_BAND7")->GetMin(), -128);
    EXPECT_EQ(test::Control<wxSlider>(sheet, "IDC_BAND0")->GetMax(), 128);
    EXPECT_EQ(sheet.FindWindow(1099), test::FindControl(sheet, "IDC_EQ_RESET"));

    test::SelectTab(book, kGeneral);
    EXPECT_EQ(Text(sheet, "IDC_SEL_START"), "1200");
    EXPECT_EQ(Text(sheet, "IDC_SEL_STOP"), "880000");
    EXPECT_TRUE(Checked(sheet, "IDC_AUTOPLAY"));
    EXPECT_FALSE(Checked(sheet, "IDC_SYNCPLAY"));
    EXPECT_TRUE(Checked(sheet, "IDC_AUTOSTOP"));
    EXPECT_TRUE(Checked(sheet, "IDC_MODE_MULTI"));
    test::SetCheck(sheet, Id("IDC_AUTOPLAY"), false);
    test::SetCheck(sheet, Id("IDC_FADEOUT"), true);
    test::ChooseRadio(sheet, Id("IDC_AUTOREPEAT"));
    test::ChooseRadio(sheet, Id("IDC_MODE_SINGLE"));

    test::SelectTab(book, kFile);
    EXPECT_EQ(Text(sheet, "IDC_FILE_NAME"), "/music/a.wav");
    EXPECT_EQ(Text(sheet, "IDC_FILE_AVGBYTES"), "176400");
    EXPECT_EQ(Text(sheet, "IDC_FILE_DATE"), "May 01, 2023");

    test::SelectTab(book, kAdvanced);
    EXPECT_EQ(Text(sheet, "IDC_VOLUME_MIN"), "-2000");
    test::Type(sheet, Id("IDC_VOLUME_MIN"), "-5000");
    test::Type(sheet, Id("IDC_VELOCITY_MAX"), " 3 ");
    test::Click(sheet, wxID_OK);
  });
  EXPECT_EQ(result, kIdOk);
  EXPECT_EQ(data.general.m_bAutoPlay, 0);
  EXPECT_EQ(data.general.m_bFadeOut, 1);
  EXPECT_EQ(data.general.m_nRepeat, 1);
  EXPECT_EQ(data.general.m_nMode, 0);
  EXPECT_EQ(data.general.m_nStart, 1200);
  EXPECT_EQ(data.advanced.m_nVolumeMin, -5000);
  EXPECT_EQ(data.advanced.m_nVelocityMax, 3);
  EXPECT_EQ(data.advanced.m_nFrequencyMax, 100000);
  EXPECT_EQ(data.file.m_strFile, "/music/a.wav");
  EXPECT_EQ(data.file.m_nSize, 123456);
  EXPECT_EQ(data.equaliser.m_nBand, FilledData().equaliser.m_nBand);
}

TEST(PlaySheet, CancelTakesNothingFromThePages) {
  PlaySheetData data = FilledData();
  const int result = RunSheet(data, [](CPlaySheet& sheet) {
    test::SelectTab(*sheet.GetBookCtrl(), kAdvanced);
    test::Type(sheet, Id("IDC_VOLUME_MIN"), "-7000");
    test::Click(sheet, wxID_CANCEL);
  });
  EXPECT_EQ(result, kIdCancel);
  EXPECT_EQ(data.advanced.m_nVolumeMin, -2000);
}

// Every move reaches the view at once, with the band already stored and the General page's
// members as they were last taken; Cancel does not undo what was pushed.
TEST(PlaySheet, EqualiserMovesAndResetReachTheViewLive) {
  PlaySheetData data = FilledData();
  std::vector<std::array<int32_t, 8>> pushed;
  std::vector<int32_t> autoplay_seen;
  auto apply_live = [&] {
    pushed.push_back(data.equaliser.m_nBand);
    autoplay_seen.push_back(data.general.m_bAutoPlay);
  };
  const int result = RunSheet(
      data,
      [&](CPlaySheet& sheet) {
        EXPECT_FALSE(sheet.FindWindow(wxID_APPLY)->IsEnabled());
        test::MoveSlider(sheet, Id("IDC_BAND3"), -100);
        EXPECT_TRUE(sheet.FindWindow(wxID_APPLY)->IsEnabled());
        test::MoveSlider(sheet, Id("IDC_BAND0"), 128);
        test::Click(sheet, Id("IDC_EQ_RESET"));
        EXPECT_EQ(test::Control<wxSlider>(sheet, "IDC_BAND7")->GetValue(), 0);
        test::Click(sheet, wxID_CANCEL);
      },
      apply_live);
  EXPECT_EQ(result, kIdCancel);
  ASSERT_EQ(pushed.size(), 3u);
  EXPECT_EQ(pushed[0][3], -100);
  EXPECT_EQ(pushed[0][7], -70);
  EXPECT_EQ(pushed[1][0], 128);
  EXPECT_EQ(pushed[2], (std::array<int32_t, 8>{}));
  EXPECT_EQ(autoplay_seen, (std::vector<int32_t>{1, 1, 1}));
  EXPECT_EQ(data.equaliser.m_nBand, (std::array<int32_t, 8>{}));
}

struct BadField {
  const char* field;
  const char* typed;
  const char* message;
};

void PrintTo(const BadField& bad, std::ostream* out) {
  *out << bad.field << " \"" << bad.typed << "\"";
}

class PlaySheetValidation : public testing::TestWithParam<BadField> {};

// The sheet stays open on the page with the message, the field keeps the focus, the page cannot
// be left; a valid value then closes it.
TEST_P(PlaySheetValidation, InvalidAdvancedValueKeepsTheSheetOpen) {
  const BadField bad = GetParam();
  test::CapturedMessages messages;
  PlaySheetData data = FilledData();
  const int result = RunSheet(data, [&](CPlaySheet& sheet) {
    wxBookCtrlBase& book = *sheet.GetBookCtrl();
    test::SelectTab(book, kAdvanced);
    test::Type(sheet, Id(bad.field), bad.typed);
    test::Click(sheet, wxID_OK);
    EXPECT_TRUE(sheet.IsModal());
    ASSERT_EQ(messages.texts(), std::vector<std::string>{bad.message});
    EXPECT_TRUE(test::HasFocusInWindow(*test::FindControl(sheet, bad.field)));

    test::SelectTab(book, kGeneral);
    EXPECT_EQ(book.GetSelection(), static_cast<int>(kAdvanced));
    EXPECT_EQ(messages.texts().size(), 2u);

    test::Type(sheet, Id(bad.field), "0");
    test::Click(sheet, wxID_OK);
  });
  EXPECT_EQ(result, kIdOk);
  EXPECT_EQ(messages.texts().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, PlaySheetValidation,
    testing::Values(
        BadField{"IDC_VOLUME_MIN", "loud", "Please enter an integer."},
        BadField{"IDC_VOLUME_MAX", "", "Please enter an integer."},
        BadField{"IDC_VOLUME_MIN", "1", "Please enter an integer between -10000 and 0."},
        BadField{"IDC_BALANCE_MAX", "10001", "Please enter an integer between -10000 and 10000."},
        BadField{"IDC_VELOCITY_MAX", "-1", "Please enter an integer between 0 and 6."},
        BadField{"IDC_VELOCITY_MIN", "99999999999", "Please enter an integer between -6 and 0."}));

TEST(PlaySheet, ApplyTakesTheShownPageAndWaitsForTheNextChange) {
  test::CapturedMessages messages;
  PlaySheetData data = FilledData();
  RunSheet(data, [&](CPlaySheet& sheet) {
    wxWindow* apply = sheet.FindWindow(wxID_APPLY);
    test::SelectTab(*sheet.GetBookCtrl(), kAdvanced);
    EXPECT_FALSE(apply->IsEnabled());
    test::Type(sheet, Id("IDC_FREQUENCY_MIN"), "50");
    EXPECT_TRUE(apply->IsEnabled());
    test::Click(sheet, wxID_APPLY);
    EXPECT_EQ(messages.texts().size(), 1u);
    EXPECT_TRUE(apply->IsEnabled());
    test::Type(sheet, Id("IDC_FREQUENCY_MIN"), "200");
    test::Click(sheet, wxID_APPLY);
    EXPECT_FALSE(apply->IsEnabled());
    test::Click(sheet, wxID_CANCEL);
  });
}

// Pages never shown are not taken: whatever the view filled in comes back as it was, even
// values no control can show. A page that is shown shows such a radio group with nothing
// checked, and gives back -1.
TEST(PlaySheet, UnshownPagesKeepTheirMembers) {
  PlaySheetData data = FilledData();
  data.general.m_nMode = 5;
  data.device.m_strDevice = "no such device";
  EXPECT_EQ(RunSheet(data, [](CPlaySheet& sheet) { test::Click(sheet, wxID_OK); }), kIdOk);
  EXPECT_EQ(data.general.m_nMode, 5);
  EXPECT_EQ(data.device.m_strDevice, "no such device");

  RunSheet(data, [](CPlaySheet& sheet) {
    test::SelectTab(*sheet.GetBookCtrl(), kGeneral);
    EXPECT_FALSE(Checked(sheet, "IDC_MODE_SINGLE"));
    EXPECT_FALSE(Checked(sheet, "IDC_MODE_MULTI"));
    test::Click(sheet, wxID_OK);
  });
  EXPECT_EQ(data.general.m_nMode, -1);
}

class DeviceSelection : public testing::Test {
 protected:
  void SetUp() override { SelectSoundBackend(SoundBackend::kVirtual); }
  static SoundDeviceInfo Output() { return EnumeratePlaybackDevices().at(0); }
};

TEST_F(DeviceSelection, AStoredDeviceThatExistsIsSelected) {
  PlaySheetData data = FilledData();
  data.device.m_strDevice = test::DeviceWords(Output().id);
  RunSheet(data, [](CPlaySheet& sheet) {
    test::SelectTab(*sheet.GetBookCtrl(), kDevice);
    auto* combo = test::Control<wxChoice>(sheet, "IDC_PLAY_DRIVER");
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->GetId(), 1011);
    ASSERT_EQ(combo->GetCount(), 2u);
    EXPECT_EQ(combo->GetString(0), "Windows Sound Driver");
    EXPECT_EQ(combo->GetSelection(), 1);
    test::Click(sheet, wxID_OK);
  });
  EXPECT_EQ(data.device.m_strDevice, FormatDeviceItem(Output().description, Output().id));
}

TEST_F(DeviceSelection, AMissingPlaybackDeviceFallsBackToTheDefaultDriver) {
  PlaySheetData data = FilledData();
  data.device.m_strDevice = test::DeviceWords(DeviceId{{1, 2, 3, 4}});
  RunSheet(data, [](CPlaySheet& sheet) {
    test::SelectTab(*sheet.GetBookCtrl(), kDevice);
    EXPECT_EQ(test::Control<wxChoice>(sheet, "IDC_PLAY_DRIVER")->GetSelection(), 0);
    test::Click(sheet, wxID_OK);
  });
  EXPECT_EQ(data.device.m_strDevice,
            "Windows Sound Driver" + std::string(53, ' ') + test::DeviceWords(DeviceId{}));
}

}  // namespace
}  // namespace bw
