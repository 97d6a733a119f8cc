// The record properties sheet with its real widgets.
#include "settings/rec_sheet.h"

#include <gtest/gtest.h>
#include <wx/bookctrl.h>
#include <wx/choice.h>
#include <wx/radiobut.h>
#include <wx/textctrl.h>

#include "gui_test_support.h"
#include "sheet_test_util.h"
#include "support/test_support.h"

namespace bw {
namespace {

using test::Id;

enum RecTab : std::size_t { kRecGeneral, kRecFile, kRecDevice, kRecAdvanced };

RecordSheetData FilledRecordData() {
  RecordSheetData data;
  data.general = {0, 2147483647};
  data.advanced = {1, 1000};
  data.file.m_strFile = "/rec/take.wav";
  data.device.m_strDevice = test::DeviceWords(DeviceId{});
  data.equaliser.m_nBand = {5, 6, 7, 8, 9, 10, 11, 12};
  return data;
}

int RunRecSheet(RecordSheetData& data, const std::function<void(CRecSheet&)>& script) {
  return test::RunModal<int>([&] { return RunRecordSheet(nullptr, data); },
                             [&](wxDialog& dialog) { script(dynamic_cast<CRecSheet&>(dialog)); });
}

TEST(RecSheet, ShowsFourPagesAndReturnsTheEditsOnOk) {
  RecordSheetData data = FilledRecordData();
  const int result = RunRecSheet(data, [](CRecSheet& sheet) {
    EXPECT_EQ(sheet.GetTitle(), "Record Properties");
    wxBookCtrlBase& book = *sheet.GetBookCtrl();
    ASSERT_EQ(book.GetPageCount(), 4u);
    EXPECT_EQ(book.GetPageText(0), "General");
    EXPECT_EQ(book.GetPageText(3), "Advanced");
    EXPECT_EQ(test::Control<wxTextCtrl>(sheet, "IDC_STOP_LIMIT")->GetValue(), "2147483647");
    EXPECT_TRUE(test::Control<wxRadioButton>(sheet, "IDC_STANDARD_STOP")->GetValue());
    test::ChooseRadio(sheet, Id("IDC_FORCE_STOP"));
    test::Type(sheet, Id("IDC_STOP_LIMIT"), "65536");
    test::SelectTab(book, kRecAdvanced);
    test::SetCheck(sheet, Id("IDC_VOICE_ACTIVATED"), false);
    test::Type(sheet, Id("IDC_THRESHOLD"), "32767");
    test::Click(sheet, wxID_OK);
  });
  EXPECT_EQ(result, kIdOk);
  EXPECT_EQ(data.general.m_nStopMode, 1);
  EXPECT_EQ(data.general.m_nStopLimit, 65536);
  EXPECT_EQ(data.advanced.m_bVoiceActivated, 0);
  EXPECT_EQ(data.advanced.m_nThreshold, 32767);
  // The record equaliser has no page: its bands pass through.
  EXPECT_EQ(data.equaliser.m_nBand, FilledRecordData().equaliser.m_nBand);
}

TEST(RecSheet, LimitAndThresholdOutsideTheirRangesKeepTheSheetOpen) {
  test::CapturedMessages messages;
  RecordSheetData data = FilledRecordData();
  const int result = RunRecSheet(data, [&](CRecSheet& sheet) {
    test::Type(sheet, Id("IDC_STOP_LIMIT"), "511");
    test::Click(sheet, wxID_OK);
    EXPECT_TRUE(sheet.IsModal());
    test::Type(sheet, Id("IDC_STOP_LIMIT"), "512");
    test::SelectTab(*sheet.GetBookCtrl(), kRecAdvanced);
    test::Type(sheet, Id("IDC_THRESHOLD"), "0");
    test::Click(sheet, wxID_OK);
    EXPECT_TRUE(sheet.IsModal());
    test::Type(sheet, Id("IDC_THRESHOLD"), "1");
    test::Click(sheet, wxID_OK);
  });
  EXPECT_EQ(result, kIdOk);
  EXPECT_EQ(messages.texts(),
            (std::vector<std::string>{"Please enter an integer between 512 and 2147483647.",
                                      "Please enter an integer between 1 and 32767."}));
  EXPECT_EQ(data.general.m_nStopLimit, 512);
  EXPECT_EQ(data.advanced.m_nThreshold, 1);
}

// A stop mode other than 0 or 1 shows neither button checked and comes back as -1.
TEST(RecSheet, AnUnknownStopModeComesBackAsNone) {
  RecordSheetData data = FilledRecordData();
  data.general.m_nStopMode = 7;
  RunRecSheet(data, [](CRecSheet& sheet) {
    EXPECT_FALSE(test::Control<wxRadioButton>(sheet, "IDC_STANDARD_STOP")->GetValue());
    EXPECT_FALSE(test::Control<wxRadioButton>(sheet, "IDC_FORCE_STOP")->GetValue());
    test::Click(sheet, wxID_OK);
  });
  EXPECT_EQ(data.general.m_nStopMode, -1);
}

class CaptureDeviceSelection : public testing::Test {
 protected:
  void SetUp() override { SelectSoundBackend(SoundBackend::kVirtual); }
};

// Unlike the playback page, a stored capture device that is gone gives the last device listed.
TEST_F(CaptureDeviceSelection, AMissingDeviceGivesTheLastOneListed) {
  const SoundDeviceInfo input = EnumerateCaptureDevices().at(0);
  RecordSheetData data = FilledRecordData();
  data.device.m_strDevice = test::DeviceWords(DeviceId{{9, 9, 9, 9}});
  RunRecSheet(data, [](CRecSheet& sheet) {
    test::SelectTab(*sheet.GetBookCtrl(), kRecDevice);
    auto* combo = test::Control<wxChoice>(sheet, "IDC_REC_DRIVER");
    EXPECT_EQ(combo->GetId(), 1017);
    EXPECT_EQ(combo->GetSelection(), 1);
    test::Click(sheet, wxID_OK);
  });
  EXPECT_EQ(data.device.m_strDevice, FormatDeviceItem(input.description, input.id));
}

TEST_F(CaptureDeviceSelection, TheStoredDefaultDriverIsKept) {
  RecordSheetData data = FilledRecordData();
  RunRecSheet(data, [](CRecSheet& sheet) {
    test::SelectTab(*sheet.GetBookCtrl(), kRecDevice);
    EXPECT_EQ(test::Control<wxChoice>(sheet, "IDC_REC_DRIVER")->GetSelection(), 0);
    test::Click(sheet, wxID_OK);
  });
  EXPECT_EQ(data.device.m_strDevice.substr(0, 20), "Windows Sound Driver");
}

}  // namespace
}  // namespace bw
