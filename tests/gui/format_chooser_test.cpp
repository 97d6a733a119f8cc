// The format chooser: which formats it offers under a restriction, where it opens, and what OK
// and Cancel give back.
#include "view/dialogs/format_chooser.h"

#include <gtest/gtest.h>
#include <wx/choice.h>
#include <wx/listbox.h>

#include <array>

#include "gui_test_support.h"
#include "platform/acm/acm.h"

namespace bw {
namespace {

// The preset of the Save and Export commands: MPEG Layer-3 at the source's channels and rate,
// every other field 0 and twelve extra bytes of whatever the buffer held.
FormatChooserSpec SavePreset(uint16_t channels, uint32_t rate) {
  WAVEFORMATEX base{kWaveFormatMpegLayer3, channels, rate, 0, 0, 0, 0};
  const std::array<uint8_t, 12> leftovers{0xCD, 0xCD, 0xCD, 0xCD, 0xCD, 0xCD,
                                          0xCD, 0xCD, 0xCD, 0xCD, 0xCD, 0xCD};
  FormatChooserSpec chooser;
  chooser.initial = FormatBlock(base, leftovers);
  chooser.start_on_initial = true;
  chooser.channels = channels;
  chooser.samples_per_sec = rate;
  return chooser;
}

TEST(FormatChooserLists, OfferOnlyTagsWithFormatsWithinTheRestriction) {
  FormatChooserSpec chooser;
  chooser.channels = 1;
  chooser.samples_per_sec = 8000;
  const FormatChooserLists lists = ListChooserFormats(chooser);
  ASSERT_FALSE(lists.empty());
  ASSERT_EQ(lists.tags.size(), lists.formats.size());
  bool has_gsm = false;
  for (std::size_t t = 0; t < lists.tags.size(); ++t) {
    ASSERT_FALSE(lists.formats[t].empty()) << lists.tags[t].szFormatTag;
    has_gsm |= lists.tags[t].dwFormatTag == kWaveFormatGsm610;
    for (const AcmFormatDetails& d : lists.formats[t]) {
      EXPECT_EQ(d.format.format().wFormatTag, lists.tags[t].dwFormatTag);
      EXPECT_EQ(d.format.format().nChannels, 1);
      EXPECT_EQ(d.format.format().nSamplesPerSec, 8000u);
    }
  }
  EXPECT_TRUE(has_gsm);

  // GSM 6.10 is mono only: at two channels its tag is not offered at all.
  chooser.channels = 2;
  for (const AcmFormatTagDetails& tag : ListChooserFormats(chooser).tags)
    EXPECT_NE(tag.dwFormatTag, kWaveFormatGsm610);
}

TEST(FormatChooserLists, OpenOnTheGivenFormatOnlyWhenAsked) {
  FormatChooserSpec chooser;
  chooser.initial = FormatBlock(MakePcmFormat(22050, 1));
  FormatChooserLists lists = ListChooserFormats(chooser);
  EXPECT_EQ(lists.tag, 0u);
  EXPECT_EQ(lists.format, 0u);

  chooser.start_on_initial = true;
  lists = ListChooserFormats(chooser);
  EXPECT_EQ(lists.formats[lists.tag][lists.format].format, chooser.initial);

  // A format offered by no codec here opens on the first one.
  chooser.initial.format().wFormatTag = kWaveFormatTrueSpeech;
  lists = ListChooserFormats(chooser);
  EXPECT_EQ(lists.tag, 0u);
  EXPECT_EQ(lists.format, 0u);
}

// The presets leave most fields 0: the chooser opens on its tag's format that fits the fields
// that are set, at 128 kbit/s for the MPEG Layer-3 preset whose bit rate is open.
TEST(FormatChooserLists, APartlyFilledPresetOpensOnItsTag) {
  for (const auto& [channels, rate] : {std::pair<uint16_t, uint32_t>{2, 44100}, {1, 22050}}) {
    const FormatChooserLists lists = ListChooserFormats(SavePreset(channels, rate));
    ASSERT_EQ(lists.tags[lists.tag].dwFormatTag, kWaveFormatMpegLayer3);
    const WAVEFORMATEX& opened = lists.formats[lists.tag][lists.format].format.format();
    EXPECT_EQ(opened.nChannels, channels);
    EXPECT_EQ(opened.nSamplesPerSec, rate);
    EXPECT_EQ(opened.nAvgBytesPerSec, 16000u);
  }
}

FormatChoice RunChooser(const FormatChooserSpec& chooser,
                        const std::function<void(CFormatChooser&)>& script) {
  return test::RunModal<FormatChoice>(
      [&] { return ChooseFormat(nullptr, chooser); },
      [&](wxDialog& dialog) { script(dynamic_cast<CFormatChooser&>(dialog)); });
}

TEST(FormatChooser, OkGivesTheSelectedFormatBlock) {
  const FormatChooserSpec chooser = SavePreset(2, 44100);
  const FormatChooserLists lists = ListChooserFormats(chooser);
  std::size_t ima = lists.tags.size();
  for (std::size_t t = 0; t < lists.tags.size(); ++t) {
    if (lists.tags[t].dwFormatTag == kWaveFormatImaAdpcm) ima = t;
  }
  ASSERT_LT(ima, lists.tags.size());

  const FormatChoice choice = RunChooser(chooser, [&](CFormatChooser& dialog) {
    EXPECT_EQ(dialog.GetTitle(), "Format Selection");
    auto* tags = test::Control<wxChoice>(dialog, "IDC_CHOOSER_TAG");
    auto* formats = test::Control<wxListBox>(dialog, "IDC_CHOOSER_FORMAT");
    ASSERT_TRUE(tags && formats);
    EXPECT_EQ(tags->GetStringSelection(), "MPEG Layer-3");
    EXPECT_EQ(formats->GetCount(), lists.formats[lists.tag].size());

    tags->SetSelection(static_cast<int>(ima));
    wxCommandEvent changed(wxEVT_CHOICE, tags->GetId());
    changed.SetEventObject(tags);
    changed.SetInt(static_cast<int>(ima));
    tags->ProcessWindowEvent(changed);
    EXPECT_EQ(formats->GetCount(), lists.formats[ima].size());
    EXPECT_EQ(formats->GetSelection(), 0);
    formats->SetSelection(static_cast<int>(lists.formats[ima].size()) - 1);
    test::Click(dialog, wxID_OK);
  });
  EXPECT_EQ(choice.result, 0);
  EXPECT_EQ(choice.format, lists.formats[ima].back().format);
}

TEST(FormatChooser, CancelGivesBack515AndTheFormatHandedIn) {
  const FormatChooserSpec chooser = SavePreset(1, 22050);
  const FormatChoice choice =
      RunChooser(chooser, [](CFormatChooser& dialog) { test::Click(dialog, wxID_CANCEL); });
  EXPECT_EQ(choice.result, kAcmErrCanceled);
  EXPECT_EQ(choice.format, chooser.initial);
}

TEST(FormatChooser, NothingToOfferFailsWithoutADialog) {
  FormatChooserSpec chooser;
  chooser.channels = 9;  // more than any stream takes
  const FormatChoice choice = ChooseFormat(nullptr, chooser);
  EXPECT_NE(choice.result, 0);
  EXPECT_NE(choice.result, kAcmErrCanceled);
}

}  // namespace
}  // namespace bw
