// The form of the real program: the position slider's drag and keys as the view's core sees
// them, the data tip, the context menus, the live equaliser, and pictures of the window.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <wx/gauge.h>
#include <wx/menu.h>
#include <wx/slider.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>
#include <wx/xrc/xmlres.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/brookwave_app.h"
#include "frame/bar_accessibility.h"
#include "frame/data_tip.h"
#include "frame/main_frame.h"
#include "frame/menu_bar.h"
#include "frame/tool_bar_ex.h"
#include "gui_test_support.h"
#include "platform/sound/virtual_sound.h"
#include "res/menus.h"
#include "shell_test_support.h"
#include "view/brookwave_view.h"
#include "view/dialogs/wx_text.h"
#include "view/form_window.h"
#include "view/position_slider.h"
#include "view/view_core.h"

namespace bw::test {
namespace {

class Form : public ProgramTest {
 public:
  PositionSlider& Position() { return *view().Form()->Position(); }

  void Mouse(wxWindow& window, wxEventType type, wxPoint at) {
    wxMouseEvent event(type);
    event.SetEventObject(&window);
    event.SetPosition(at);
    event.m_leftDown = type != wxEVT_LEFT_UP;
    window.ProcessWindowEvent(event);
  }

  void Key(wxWindow& window, wxEventType type, int code) {
    wxKeyEvent event(type);
    event.SetEventObject(&window);
    event.m_keyCode = code;
    window.ProcessWindowEvent(event);
  }

  // Runs the virtual card for about `seconds` and lets the window handle what it posted.
  void Play(double seconds) {
    virtual_sound::AdvancePlayback(static_cast<uint32_t>(seconds * 44100));
    HandleQueued();
  }
  // The pointer moved to `at` in `window`, and whether the data tip shows once the mouse has
  // rested there; the tip comes no sooner than its delay after the move.
  bool Rest(wxWindow& window, const wxPoint& at) {
    const auto moved = std::chrono::steady_clock::now();
    MovePointer(window, at);
    if (!SettleUntil([] { return TFXDataTip::Shown() != nullptr; }, 10000)) return false;
    EXPECT_GE(std::chrono::steady_clock::now() - moved,
              std::chrono::milliseconds(TFXDataTip::kDelayMs))
        << "shown before the mouse had rested";
    return true;
  }
};

TEST_F(Form, DraggingThePositionSliderStopsAndPlaysFromWhereTheDragEnds) {
  StorePlaySet(false);
  const std::string tone = WriteTone("tone.wav", 10);
  Start();
  Open(tone);
  Command(ID_PLAY);
  ASSERT_EQ(core().stream().playing, 1);

  PositionSlider& slider = Position();
  const int y = slider.GetClientSize().y / 2;
  Mouse(slider, wxEVT_LEFT_DOWN, wxPoint(slider.ThumbX(slider.GetValue()), y));
  EXPECT_EQ(core().stream().playing, 1);  // pressing alone changes nothing
  const int middle = (slider.ThumbX(slider.State().min) + slider.ThumbX(slider.State().max)) / 2;
  Mouse(slider, wxEVT_MOTION, wxPoint(middle, y));
  // The first move stops playback and remembers that it was interrupted.
  EXPECT_EQ(core().stream().playing, 0);
  EXPECT_EQ(core().stream().paused, 1);
  Mouse(slider, wxEVT_MOTION, wxPoint(middle + 1, y));
  const int64_t half = core().stream().playback.dataBytes / 2;
  const int64_t dragged = core().Slider(IDC_POSITION).pos;
  EXPECT_NEAR(static_cast<double>(dragged), static_cast<double>(half), half * 0.03);
  Mouse(slider, wxEVT_LEFT_UP, wxPoint(middle + 1, y));
  // The end of the drag plays again, from there on.
  EXPECT_EQ(core().stream().playing, 1);
  EXPECT_EQ(core().stream().paused, 0);
  EXPECT_EQ(StatusLine(), "Playing");
  HandleQueued();
  EXPECT_GE(core().Slider(IDC_POSITION).pos, dragged - 4);
  EXPECT_LT(core().Slider(IDC_POSITION).pos, core().stream().playback.dataBytes);
  EXPECT_EQ(slider.GetValue(), core().Slider(IDC_POSITION).pos);
}

TEST_F(Form, KeysAndClicksMoveThePositionSliderByLinesAndPages) {
  StorePlaySet(false);
  const std::string tone = WriteTone("tone.wav", 10);
  Start();
  Open(tone);
  PositionSlider& slider = Position();
  const int64_t range = slider.State().max - slider.State().min;
  ASSERT_GT(range, 0);
  EXPECT_TRUE(slider.AcceptsFocusFromKeyboard());
  EXPECT_EQ(AccessibleName(slider), "Position");

  Key(slider, wxEVT_KEY_DOWN, WXK_END);
  Key(slider, wxEVT_KEY_UP, WXK_END);
  EXPECT_EQ(core().Slider(IDC_POSITION).pos, slider.State().max);
  // At the end the next Play starts over.
  EXPECT_EQ(core().stream().endOfData, 1);
  Key(slider, wxEVT_KEY_DOWN, WXK_LEFT);
  Key(slider, wxEVT_KEY_UP, WXK_LEFT);
  EXPECT_EQ(core().Slider(IDC_POSITION).pos, slider.State().max - range / 100);
  EXPECT_EQ(core().stream().endOfData, 0);

  Key(slider, wxEVT_KEY_DOWN, WXK_HOME);
  const int y = slider.GetClientSize().y / 2;
  Mouse(slider, wxEVT_LEFT_DOWN, wxPoint(slider.GetClientSize().x - 2, y));
  Mouse(slider, wxEVT_LEFT_UP, wxPoint(slider.GetClientSize().x - 2, y));
  EXPECT_EQ(core().Slider(IDC_POSITION).pos, range / 10);
  EXPECT_NE(core().stream().playing, 1);
}

TEST_F(Form, NativeSlidersTakeTheirRangesTicksAndMovesFromTheView) {
  Start();
  auto* volume = dynamic_cast<wxSlider*>(view().Form()->FindWindow(IDC_VOLUME));
  ASSERT_NE(volume, nullptr);
  EXPECT_EQ(volume->GetMin(), -2000);
  EXPECT_EQ(volume->GetMax(), 0);
  EXPECT_EQ(volume->GetValue(), 0);
  auto* frequency = dynamic_cast<wxSlider*>(view().Form()->FindWindow(IDC_FREQUENCY));
  EXPECT_EQ(frequency->GetValue(), 44100);

  // A drag of the user's reaches the view's core, which shows it in the frequency box.
  frequency->SetValue(22050);
  for (wxEventType type :
       {wxEVT_SCROLL_THUMBTRACK, wxEVT_SCROLL_THUMBRELEASE, wxEVT_SCROLL_CHANGED}) {
    wxScrollEvent event(type, IDC_FREQUENCY, 22050);
    event.SetEventObject(frequency);
    frequency->ProcessWindowEvent(event);
  }
  EXPECT_EQ(core().Slider(IDC_FREQUENCY).pos, 22050);
  auto* box = dynamic_cast<wxTextCtrl*>(view().Form()->FindWindow(IDC_FREQUENCY_BOX));
  EXPECT_EQ(box->GetValue(), "22050 Hz");
}

TEST_F(Form, RestingOverTheBalanceSliderShowsItsTipUntilTheMouseMovesAway) {
  Start();
  wxWindow& balance = *view().Form()->FindWindow(IDC_BALANCE);
  const wxPoint inside(balance.GetClientSize().x / 3, balance.GetClientSize().y / 2);
  ASSERT_TRUE(Rest(balance, inside)) << "no tip after resting";
  EXPECT_EQ(TFXDataTip::Shown()->Text(), "Pan");
  EXPECT_EQ(StatusLine(), "Pan");
  // Below and right of the pointer by the view's offset, grown around the text.
  const wxPoint pointer = balance.ClientToScreen(inside);
  EXPECT_EQ(TFXDataTip::Shown()->GetScreenPosition(), pointer + wxPoint(1, 20) - wxPoint(4, 2));

  MovePointer(balance, inside + wxPoint(2, 0));
  EXPECT_NE(TFXDataTip::Shown(), nullptr) << "2 pixels hid the tip";
  MovePointer(balance, inside + wxPoint(3, 0));
  EXPECT_EQ(TFXDataTip::Shown(), nullptr) << "3 pixels left the tip";
}

TEST_F(Form, AKeyAClickOrAMenuHidesTheTipAndMovingOnNeverShowsOne) {
  Start();
  wxWindow& volume = *view().Form()->FindWindow(IDC_VOLUME);
  const wxPoint inside(volume.GetClientSize().x / 2, volume.GetClientSize().y / 2);
  auto rest = [&](int dx) { return Rest(volume, inside + wxPoint(dx, 0)); };
  wxUIActionSimulator sim;
  ASSERT_TRUE(rest(0));
  EXPECT_EQ(TFXDataTip::Shown()->Text(), "Volume");
  sim.Char(WXK_SHIFT);
  SettleUntil([] { return TFXDataTip::Shown() == nullptr; });
  EXPECT_EQ(TFXDataTip::Shown(), nullptr) << "a key left the tip";

  ASSERT_TRUE(rest(6));
  Mouse(volume, wxEVT_RIGHT_DOWN, inside);
  EXPECT_EQ(TFXDataTip::Shown(), nullptr) << "a click left the tip";

  ASSERT_TRUE(rest(12));
  wxMenuEvent opened(wxEVT_MENU_OPEN);
  frame().ProcessWindowEvent(opened);
  EXPECT_EQ(TFXDataTip::Shown(), nullptr) << "a menu opened over the tip";

  // Each move starts the wait again: no tip while the pointer moves, one only after it rests.
  for (int step = 0; step < 10; ++step) {
    MovePointer(volume, inside + wxPoint(20 + 4 * step, 0));
    EXPECT_EQ(TFXDataTip::Shown(), nullptr) << "a tip while moving, step " << step;
  }
  EXPECT_TRUE(rest(60));
}

// Opens the menu a right click brings up and returns its items, "text [id]" each.
std::vector<std::string> ContextMenuOf(wxWindow& owner, const std::function<void()>& click) {
  std::vector<std::string> items;
  auto opened = [&](wxMenuEvent& event) {
    for (const wxMenuItem* item : event.GetMenu()->GetMenuItems()) {
      items.push_back(item->IsSeparator()
                          ? "---"
                          : FromWx(item->GetItemLabel()) + " [" +
                                std::to_string(res::CommandOf(item->GetId())) + "]");
    }
    wxMenu* menu = event.GetMenu();
    wxTheApp->CallAfter([menu] { gtk_menu_popdown(GTK_MENU(menu->m_menu)); });
    event.Skip();
  };
  owner.Bind(wxEVT_MENU_OPEN, opened);
  click();
  owner.Unbind(wxEVT_MENU_OPEN, opened);
  return items;
}

TEST_F(Form, RightClicksOpenTheBarsMenuOnBarsAndThePlayBarMenuOnTheForm) {
  Start();
  const std::vector<std::string> bars = {"&Main ToolBar [59392]", "&Play ToolBar [32815]", "---",
                                         "&Status Bar [59393]"};
  for (wxWindow* bar :
       {static_cast<wxWindow*>(frame().ToolBar()), static_cast<wxWindow*>(frame().MenuBar()),
        static_cast<wxWindow*>(frame().GetStatusBar())}) {
    EXPECT_EQ(ContextMenuOf(frame(), [&] { Mouse(*bar, wxEVT_RIGHT_DOWN, wxPoint(3, 3)); }), bars);
  }
  FormWindow& form = *view().Form();
  EXPECT_EQ(ContextMenuOf(form,
                          [&] {
                            wxContextMenuEvent event(wxEVT_CONTEXT_MENU, form.GetId(),
                                                     form.ClientToScreen(wxPoint(5, 5)));
                            event.SetEventObject(&form);
                            form.ProcessWindowEvent(event);
                          }),
            (std::vector<std::string>{"&Play [32776]", "&Stop [32778]", "P&ause [32777]",
                                      "R&ecord [32779]", "&First [32782]", "Re&verse [32784]",
                                      "&Forward [32785]", "&Last [32783]"}));
}

TEST_F(Form, EqualiserMovesFromThePlaybackSheetReachPlaybackAtOnce) {
  Start({WriteTone("tone.wav", 10)});
  ASSERT_EQ(core().stream().playing, 1);
  RunModal<int>(
      [&] {
        Command(ID_PROPERTIES_PLAYBACK);
        return 0;
      },
      [&](wxDialog& sheet) {
        test::MoveSlider(sheet, XRCID("IDC_BAND0"), -100);
        // Before the sheet is closed, the working value is the one the playback thread reads.
        EXPECT_EQ(core().stream().playSettings.EqBand[0], -100);
        sheet.EndModal(wxID_CANCEL);
      });
  EXPECT_EQ(core().stream().playSettings.EqBand[0], -100);
  EXPECT_EQ(core().stream().playing, 1);
}

// The luminance of an sRGB pixel, as contrast ratios measure it (0 black, 1 white).
double Luminance(const unsigned char* rgb) {
  auto linear = [](unsigned char c) {
    const double v = c / 255.0;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * linear(rgb[0]) + 0.7152 * linear(rgb[1]) + 0.0722 * linear(rgb[2]);
}

// How far a label's text stands out from what is under it, as a contrast ratio (1 invisible,
// 21 black on white). `ink` holds the glyphs and the background between them only: its
// lightest and darkest pixels are the text and the background, whichever way round.
double TextContrast(const wxImage& ink) {
  double lightest = 0, darkest = 1;
  for (int i = 0; i < ink.GetWidth() * ink.GetHeight(); ++i) {
    const double level = Luminance(ink.GetData() + 3 * i);
    lightest = std::max(lightest, level);
    darkest = std::min(darkest, level);
  }
  return (lightest + 0.05) / (darkest + 0.05);
}

// Where `label` drew its text (the ink of its glyphs), in screen coordinates.
wxRect TextRect(GtkLabel* label) {
  int x = 0, y = 0, left = 0, top = 0;
  gtk_label_get_layout_offsets(label, &x, &y);
  PangoRectangle ink{};
  pango_layout_get_pixel_extents(gtk_label_get_layout(label), &ink, nullptr);
  gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(label)), &left, &top);
  return wxRect(left + x + ink.x, top + y + ink.y, ink.width, ink.height);
}

// The contrast of each label of the form and of each group's caption, by its text.
std::map<std::string, double> LabelContrasts(FormWindow& form) {
  std::map<std::string, double> contrasts;
  for (wxWindow* child : form.GetChildren()) {
    GtkWidget* label = nullptr;
    if (dynamic_cast<wxStaticText*>(child) != nullptr) {
      label = child->GetHandle();
    } else if (dynamic_cast<wxStaticBox*>(child) != nullptr) {
      label = gtk_frame_get_label_widget(GTK_FRAME(child->GetHandle()));
    }
    if (label == nullptr || !GTK_IS_LABEL(label)) continue;
    const std::string text = gtk_label_get_text(GTK_LABEL(label));
    // Labels that read alike (the times, Min, Max) are told apart by their order.
    const std::string key = contrasts.contains(text) ? text + " (2)" : text;
    contrasts[key] = TextContrast(GrabScreen(TextRect(GTK_LABEL(label))));
  }
  return contrasts;
}

// GTK_THEME for the rest of this process: GTK reads it again at every change of the theme
// name, and setting the name makes one.
void UseTheme(const char* theme) {
  if (theme != nullptr) {
    setenv("GTK_THEME", theme, 1);
  } else {
    unsetenv("GTK_THEME");
  }
  g_object_set(gtk_settings_get_default(), "gtk-theme-name", "Adwaita", nullptr);
}

// On a dark theme the form keeps its light tile: every label must stand out from it at least
// as well as on a light theme, where the theme's dark text does.
TEST_F(Form, LabelsKeepTheirContrastOnADarkTheme) {
  const char* saved = std::getenv("GTK_THEME");
  const std::optional<std::string> theme = saved ? std::optional<std::string>(saved) : std::nullopt;
  std::map<std::string, std::map<std::string, double>> measured;
  for (const char* shown : {"Adwaita", "Adwaita:dark"}) {
    UseTheme(shown);
    Start();
    SaveScreenshot(frame(), "form_labels");
    measured[shown] = LabelContrasts(*view().Form());
    End();
  }
  UseTheme(theme ? theme->c_str() : nullptr);
  const auto& light = measured["Adwaita"];
  const auto& dark = measured["Adwaita:dark"];
  ASSERT_EQ(light.size(), 15u);
  for (const auto& [text, contrast] : light) {
    ASSERT_TRUE(dark.contains(text)) << text;
    EXPECT_GE(dark.at(text), contrast) << "\"" << text << "\" on the dark theme";
    EXPECT_GT(contrast, 3.0) << "\"" << text << "\" on the light theme";
  }
}

// Pictures of the main window for people to look at, at this run's resolution.
TEST_F(Form, LevelMetersWaitForTheFadesTickAndAreHandedOverWhenTheTimerStops) {
  StorePlaySet(false);
  Start();
  Open(WriteTone("tone.wav", 20));
  core().stream().playSettings.FadeIn = 1;
  Command(ID_PLAY);
  ASSERT_TRUE(core().TimerMovesVolume());
  auto meters = [&] {
    const auto value = [&](ControlId id) {
      return dynamic_cast<wxGauge*>(view().Form()->FindWindow(id))->GetValue();
    };
    return std::pair(value(IDC_LBAR), value(IDC_RBAR));
  };
  const auto post = [&](int left, int right) {
    view().PostMessage(WM_LEVEL_METER, static_cast<WPARAM>(right) << 16 | left,
                       static_cast<LPARAM>(Position().GetValue()));
  };
  // The virtual card stands still, so these are the only level meters.
  post(5, 7);
  wxTheApp->ProcessPendingEvents();  // runs posted events, not timers
  EXPECT_NE(meters(), std::pair(5, 7)) << "a level meter woke the loop during the fade";
  SettleUntil([&] { return meters() == std::pair(5, 7); });

  post(9, 3);
  view().KillTimer(kPlaybackTimerId);
  wxTheApp->ProcessPendingEvents();
  EXPECT_EQ(meters(), std::pair(9, 3)) << "a level meter was left for a tick that never came";
  Command(ID_STOP);
}

TEST_F(Form, Screenshots) {
  StorePlaySet(false);
  const std::string tone = WriteTone("brook at dawn.wav", 150, 523.7);
  Start();
  // A large-fonts screen takes the large toolbar images, whose Play toolbar ends in Repeat Song.
  const char* dpi = std::getenv("BW_SCREEN_DPI");
  const bool large = dpi != nullptr && std::atoi(dpi) >= 120;
  EXPECT_EQ(wxGetApp().m_bLargeFonts, large);
  CToolBarEx& play = *frame().PlayBar();
  EXPECT_EQ(play.GetToolBitmapSize(), large ? wxSize(24, 24) : wxSize(16, 15));
  EXPECT_EQ(res::CommandOf(play.GetToolId(play.GetToolsCount() - 1)),
            large ? ID_REPEAT_SONG : ID_FILE_CLOSE);
  SaveScreenshot(frame(), "main_window_empty");

  Open(tone);
  const int64_t length = core().stream().playback.dataBytes;
  core().OnHScroll(TB_ENDTRACK, length / 5, IDC_POSITION);
  core().OnSelectionFrom();
  core().OnHScroll(TB_ENDTRACK, length * 3 / 5, IDC_POSITION);
  core().OnSelectionTo();
  core().OnHScroll(TB_ENDTRACK, length * 7 / 20, IDC_POSITION);
  Command(ID_PLAY);
  // Past the primed blocks, so that the meters show the levels the playback thread reports.
  Play(2.5);
  auto meter = [&](ControlId id) {
    return dynamic_cast<wxGauge*>(view().Form()->FindWindow(id))->GetValue();
  };
  SettleUntil([&] { return meter(IDC_LBAR) + meter(IDC_RBAR) > 0; });
  EXPECT_GT(meter(IDC_LBAR) + meter(IDC_RBAR), 0);
  SaveScreenshot(frame(), "main_window_playing");
}

}  // namespace
}  // namespace bw::test
