// The main window of the real program: its start-up, menus and their states, the status line,
// the close box, the stored placement and layout, the remote codes and the recent files.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <wx/menu.h>
#include <wx/statusbr.h>
#include <wx/timer.h>

#include <filesystem>

#include "app/brookwave_app.h"
#include "frame/main_frame.h"
#include "frame/menu_bar.h"
#include "frame/tool_bar_ex.h"
#include "frame/window_placement.h"
#include "gui_test_support.h"
#include "res/menus.h"
#include "shell_test_support.h"
#include "view/brookwave_view.h"
#include "view/dialogs/wx_text.h"
#include "view/form_window.h"
#include "view/view_core.h"

namespace bw::test {
namespace {

using MainWindow = ProgramTest;

// A menu as lines: "text [id]" for a command, "---" for a separator, "text >" for a pop-up
// followed by its items indented.
void DescribeMenu(const wxMenu& menu, const std::string& indent, std::vector<std::string>& out) {
  for (const wxMenuItem* item : menu.GetMenuItems()) {
    const std::string text = FromWx(item->GetItemLabel());
    if (item->IsSeparator()) {
      out.push_back(indent + "---");
    } else if (item->IsSubMenu()) {
      out.push_back(indent + text + " >");
      DescribeMenu(*item->GetSubMenu(), indent + "  ", out);
    } else {
      out.push_back(indent + text + " [" + std::to_string(res::CommandOf(item->GetId())) + "]");
    }
  }
}

std::vector<std::string> DescribeMenuBar(CMenuBar& bar) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < bar.GetItemCount(); ++i) {
    out.push_back(FromWx(bar.GetItemText(i)) + " >");
    DescribeMenu(*bar.GetMenu(i), "  ", out);
  }
  return out;
}

TEST_F(MainWindow, StartsUntitledWithAnEmptyStatusLine) {
  Start();
  EXPECT_EQ(Caption(), "Untitled - Brookwave");
  // The view has shown "Ready" but reported no state, so the idle prompt leaves the line empty.
  EXPECT_EQ(StatusLine(), "");
  EXPECT_EQ(core().stream().fileOpen, 0);
  EXPECT_TRUE(frame().IsShown());
  // The program's icons, in all five sizes, follow once the window is up.
  HandleQueued();
  EXPECT_EQ(frame().GetIcons().GetIconCount(), 5u);
}

TEST_F(MainWindow, MenusHoldEveryCommandWithItsTextIdAndSeparators) {
  Start();
  const std::vector<std::string> expected = {
      "&File >",
      "  &New\tCtrl+N [57600]",
      "  &Open...\tCtrl+O [57601]",
      "  &Close [57602]",
      "  &Save...\tCtrl+S [57603]",
      "  ---",
      "  &Export... [57604]",
      "  &Import... [32823]",
      "  ---",
      "  Recent File [57616]",
      "  ---",
      "  E&xit [57665]",
      "&Edit >",
      "  &Selection >",
      "    From [32794]",
      "    &To [32795]",
      "    C&lear [32804]",
      "    Use [32805]",
      "  ---",
      "  &AutoPlay [32819]",
      "&View >",
      "  Main &Toolbar [59392]",
      "  &Play Toolbar [32815]",
      "  &Status Bar [59393]",
      "  ---",
      "  Proper&ties >",
      "    &Playback [32797]",
      "    &Record [32798]",
      "&Audio >",
      "  &Play [32776]",
      "  &Stop [32778]",
      "  ---",
      "  P&ause [32777]",
      "  R&ecord [32779]",
      "  ---",
      "  &First [32782]",
      "  Re&verse [32784]",
      "  &Forward [32785]",
      "  &Last [32783]",
      "&Playlist >",
      "  &New PlayList [32791]",
      "  &Open PlayList [32792]",
      "  &Close PlayList [32793]",
      "  ---",
      "  &Edit Playlist [32807]",
      "  PlayList in Use [32801]",
      "  Repeat PlayList [32816]",
      "&Help >",
      "  &About Brookwave... [57664]",
  };
  EXPECT_EQ(DescribeMenuBar(*frame().MenuBar()), expected);
}

// Enabled and checked in the states Empty, Loaded, Playing and Recording: '-' disabled,
// 'e' enabled, 'c' enabled and checked, 'x' disabled and checked.
struct ExpectedStates {
  int id;
  const char* states;
};

constexpr ExpectedStates kCommandStates[] = {
    {ID_FILE_NEW, "e---"},
    {ID_FILE_OPEN, "e--e"},
    {ID_FILE_CLOSE, "-e--"},
    {ID_FILE_SAVE, "-e--"},
    {ID_FILE_SAVE_AS, "-e--"},
    {ID_FILE_IMPORT, "e---"},  // an import writes through the recording's target
    {ID_FILE_MRU_FIRST, "-eee"},
    {ID_APP_EXIT, "eeee"},
    {ID_SELECTION_FROM, "-e--"},
    {ID_SELECTION_TO, "-e--"},
    {ID_SELECTION_CLEAR, "----"},
    {ID_SELECTION_USE, "----"},
    {ID_AUTOPLAY, "eeee"},
    {ID_VIEW_TOOLBAR, "cccc"},
    {ID_VIEW_PLAYBAR, "cccc"},
    {ID_VIEW_STATUS_BAR, "cccc"},
    {ID_PROPERTIES_PLAYBACK, "eeee"},
    {ID_PROPERTIES_RECORD, "e--e"},
    {ID_PLAY, "-ex-"},
    {ID_STOP, "-eee"},
    {ID_PAUSE, "---e"},
    {ID_RECORD, "---x"},
    {ID_FIRST, "-e--"},
    {ID_REVERSE, "-e--"},
    {ID_FORWARD, "-e--"},
    {ID_LAST, "-e--"},
    {ID_REPEAT_SONG, "eeee"},
    {ID_PLAYLIST_NEW, "e--e"},
    {ID_PLAYLIST_OPEN, "e--e"},
    {ID_PLAYLIST_CLOSE, "----"},
    {ID_PLAYLIST_EDIT, "----"},
    {ID_PLAYLIST_IN_USE, "----"},
    {ID_PLAYLIST_REPEAT, "----"},
    {ID_APP_ABOUT, "eeee"},
};

std::string StateChar(bool enabled, bool checked) {
  if (checked) return enabled ? "c" : "x";
  return enabled ? "e" : "-";
}

// The frame's and the application's own commands have no rule in the view; the others are
// checked once the view has their rule (the recording, conversion and play list commands
// come with their areas).
bool HasRule(CBrookwaveViewCore& core, int id) {
  return id == ID_VIEW_TOOLBAR || id == ID_VIEW_PLAYBAR || id == ID_VIEW_STATUS_BAR ||
         id == ID_APP_ABOUT || core.QueryCommandState(id).has_value();
}

void ExpectStates(MainWindow& test, std::size_t state, const char* name) {
  test.UpdateCommandStates();
  for (const ExpectedStates& expected : kCommandStates) {
    if (!HasRule(test.core(), expected.id)) continue;
    const std::string want(1, expected.states[state]);
    if (const wxMenuItem* item = test.MenuItem(expected.id)) {
      EXPECT_EQ(StateChar(item->IsEnabled(), item->IsCheckable() && item->IsChecked()), want)
          << name << ": menu item " << expected.id;
    }
    for (CToolBarEx* bar : {test.frame().ToolBar(), test.frame().PlayBar()}) {
      const int tool = res::WxCommandId(expected.id);
      if (!bar->HasTool(tool)) continue;
      EXPECT_EQ(StateChar(bar->GetToolEnabled(tool), bar->GetToolState(tool)), want)
          << name << ": button " << expected.id;
    }
  }
}

TEST_F(MainWindow, CommandStatesFollowTheViewInEveryState) {
  StorePlaySet(false);
  const std::string tone = WriteTone("tone.wav", 2);
  Start();
  ASSERT_EQ(frame().MenuBar()->FindItem(res::WxCommandId(ID_FILE_MRU_FIRST))->GetItemLabel(),
            "Recent File");
  ExpectStates(*this, 0, "Empty");

  Open(tone);
  ExpectStates(*this, 1, "Loaded");

  Command(ID_PLAY);
  ASSERT_EQ(core().stream().playing, 1);
  ExpectStates(*this, 2, "Playing");

  Command(ID_STOP);
  Command(ID_FILE_CLOSE);
  // The flags a recording sets (Record itself belongs to the recording side).
  StreamState& stream = core().stream();
  stream.recordTargetReady = 1;
  stream.recording = 1;
  ExpectStates(*this, 3, "Recording");
  stream.recording = 0;
  stream.recordTargetReady = 0;
}

TEST_F(MainWindow, AWaveOnTheCommandLinePlaysWithAutoPlay) {
  const std::string tone = WriteTone("tone.wav", 5);
  Start({tone});
  EXPECT_EQ(core().stream().playing, 1);
  EXPECT_EQ(StatusLine(), "Playing");
  EXPECT_EQ(Caption(), tone + " - Brookwave");
  End();

  // With AutoPlay off the file is not even opened.
  StorePlaySet(false);
  Start({tone});
  EXPECT_EQ(core().stream().fileOpen, 0);
  EXPECT_EQ(Caption(), "tone.wav - Brookwave");
}

TEST_F(MainWindow, CloseBoxWhilePlayingStopsThenCloses) {
  Start({WriteTone("tone.wav", 5)});
  ASSERT_EQ(core().stream().playing, 1);
  EXPECT_FALSE(CloseBox());
  EXPECT_EQ(core().stream().playing, 0);
  EXPECT_EQ(StatusLine(), "Ready");
  EXPECT_TRUE(CloseBox());
  EXPECT_TRUE(Stored("Settings", "WindowPos").has_value());
  // Only File > Exit writes the settings records.
  EXPECT_FALSE(Stored("Settings", "PlaySet").has_value());
}

TEST_F(MainWindow, ExitWritesTheSettingsAndCloses) {
  Start();
  Command(ID_APP_EXIT);
  SettleUntil([] { return wxGetApp().MainFrame() == nullptr; });
  EXPECT_EQ(wxGetApp().MainFrame(), nullptr);
  End();
  const std::string defaults =
      "1,1,0,0,1,1,10,10,-2000,0,100,100000,-10000,10000,-6,6,0,0,0,0,1,1,1,1,1,1,1,1,1,0,0";
  EXPECT_EQ(Stored("Settings", "PlaySet"), defaults);
  EXPECT_EQ(Stored("Settings", "RecordSet"), "0,0,0,0,0,0,2147483647,1000,1,1,1,1,1,1,1,1,0,0");

  // While playing, Exit writes the settings first and the close then becomes Stop.
  Start({WriteTone("tone.wav", 5)});
  core().stream().playSettings.AutoPlay = 0;
  Command(ID_APP_EXIT);
  SettleUntil([&] { return core().stream().playing == 0; });
  ASSERT_NE(wxGetApp().MainFrame(), nullptr);
  EXPECT_EQ(core().stream().playing, 0);
  End();
  // AutoPlay as changed; the equaliser flag is set by every Play.
  EXPECT_EQ(Stored("Settings", "PlaySet"),
            "0,1,0,0,1,1,10,10,-2000,0,100,100000,-10000,10000,-6,6,0,0,0,0,1,1,1,1,1,1,1,1,1,1,0");
}

TEST_F(MainWindow, HelpAboutShowsTheAboutBox) {
  Start();
  std::string title;
  RunModal<int>(
      [&] {
        Command(ID_APP_ABOUT);
        return 0;
      },
      [&](wxDialog& about) {
        title = FromWx(about.GetTitle());
        about.EndModal(wxID_OK);
      });
  EXPECT_EQ(title, "About Brookwave");
}

// Mouse traffic alone does not start the bars' command-state updates; a key does.
TEST_F(MainWindow, OnlyMessagesOtherThanMouseTrafficStartTheIdleUpdates) {
  Start();
  int updates = 0;
  frame().PlayBar()->Bind(wxEVT_UPDATE_UI, [&](wxUpdateUIEvent& event) {
    ++updates;
    event.Skip();
  });
  wxTheApp->ProcessIdle();  // whatever came before has had its updates
  updates = 0;
  wxMouseEvent move(wxEVT_MOTION);
  move.SetEventObject(view().Form());
  view().Form()->ProcessWindowEvent(move);
  wxTheApp->ProcessIdle();
  EXPECT_EQ(updates, 0);
  wxKeyEvent key(wxEVT_KEY_DOWN);
  key.m_keyCode = WXK_SHIFT;
  key.SetEventObject(view().Form());
  view().Form()->ProcessWindowEvent(key);
  wxTheApp->ProcessIdle();
  EXPECT_GT(updates, 0);
}

TEST_F(MainWindow, WindowPosRoundTripsAndAMalformedOneIsIgnored) {
  Start();
  const wxRect first = frame().GetRect();
  End();
  const std::optional<std::string> written = Stored("Settings", "WindowPos");
  ASSERT_TRUE(written);
  std::optional<WindowPlacement> placement = ParseWindowPlacement(*written);
  ASSERT_TRUE(placement) << *written;
  EXPECT_EQ(placement->flags, 0u);
  EXPECT_EQ(placement->showCmd, kSwShowNormal);
  EXPECT_EQ(wxRect(wxPoint(placement->left, placement->top),
                   wxPoint(placement->right - 1, placement->bottom - 1)),
            first);

  // Moved and lower: restored as stored, and written back the same.
  placement->left = 30;
  placement->top = 40;
  placement->right = 30 + first.width;
  placement->bottom = 40 + first.height - 20;
  const std::string moved = FormatWindowPlacement(*placement);
  Store("Settings", "WindowPos", moved);
  Start();
  EXPECT_EQ(frame().GetRect(), wxRect(30, 40, first.width, first.height - 20));
  End();
  EXPECT_EQ(Stored("Settings", "WindowPos"), moved);

  // Four numbers are no placement: the window comes up as on a first start.
  Store("Settings", "WindowPos", "10,10,457,300");
  Start();
  EXPECT_EQ(frame().GetSize(), first.GetSize());
  End();
  EXPECT_TRUE(ParseWindowPlacement(Stored("Settings", "WindowPos").value_or("")));

  // Numbers no window can have: the window still comes up, within its limits.
  Store("Settings", "WindowPos", "0,1,-1,-1,-1,-1,-2147483648,-1,2147483647,2147483647");
  Start();
  EXPECT_TRUE(frame().IsShown());
  EXPECT_LE(frame().GetSize().y, frame().GetMaxSize().y);
}

// Closed while minimised from a maximised state ("2,2,..."): it comes back maximised underneath,
// so restoring it gives the maximised window, not the normal rectangle.
TEST_F(MainWindow, AWindowMinimisedFromMaximisedRestoresMaximised) {
  Store("Settings", "WindowPos", "2,2,-1,-1,-1,-1,30,40,487,340");
  Start();
  EXPECT_TRUE(frame().IsMaximized());
  End();
  Store("Settings", "WindowPos", "0,2,-1,-1,-1,-1,30,40,487,340");
  Start();
  EXPECT_FALSE(frame().IsMaximized());
}

TEST_F(MainWindow, AProfileThatCannotBeReadIsKeptAndTheProgramStarts) {
  const std::filesystem::path file = dir / "config" / "Brookwave" / "Brookwave.conf";
  std::filesystem::create_directories(file.parent_path());
  const std::vector<uint8_t> broken = {'[', 0xff, 0x00, '\n', '=', '=', '\n', 'a', '=', 'b', '\n'};
  WriteFileBytes(file, broken);
  MessageBoxAnswerer answerer;
  Start();
  EXPECT_EQ(Caption(), "Untitled - Brookwave");
  ASSERT_EQ(answerer.texts.size(), 1u);
  EXPECT_NE(answerer.texts[0].find("could not be read"), std::string::npos) << answerer.texts[0];
  EXPECT_EQ(ReadFileBytes(file.string() + ".unreadable"), broken);
  Command(ID_APP_EXIT);
  SettleUntil([] { return wxGetApp().MainFrame() == nullptr; });
  End();
  EXPECT_TRUE(Stored("Settings", "PlaySet").has_value());
}

TEST_F(MainWindow, WidthIsFixedByTheMenuHeight) {
  Start();
  const int c = frame().MenuHeight();
  ASSERT_GT(c, 0);
  const int width = c >= 18 ? 33 * c - 180 : 33 * c - 80;
  EXPECT_EQ(frame().GetMinSize().x, width);
  EXPECT_EQ(frame().GetMaxSize().x, width);
  EXPECT_EQ(frame().GetMaxSize().y, c >= 18 ? 18 * c : 19 * c);
  EXPECT_EQ(frame().GetSize().x, width);
  frame().SetSize(width + 100, frame().GetMaxSize().y + 100);
  // GTK asks the X server for the size when it lays the window out for a frame; the answer
  // comes back as the window's new size.
  WaitUntilDrawn(frame());
  HandleQueued();
  EXPECT_EQ(frame().GetSize().x, width);
  EXPECT_LE(frame().GetSize().y, frame().GetMaxSize().y);
}

TEST_F(MainWindow, StatusLineKeepsTheViewsStateThroughPrompts) {
  StorePlaySet(false);
  const std::string tone = WriteTone("tone.wav", 5);
  Start();
  auto highlight = [&](int id) {
    wxMenuEvent event(wxEVT_MENU_HIGHLIGHT, res::WxCommandId(id));
    frame().ProcessWindowEvent(event);
  };
  auto closeMenu = [&] {
    wxMenuEvent event(wxEVT_MENU_CLOSE, wxID_ANY, frame().MenuBar()->GetMenu(0));
    frame().ProcessWindowEvent(event);
  };
  highlight(ID_FILE_OPEN);
  EXPECT_EQ(StatusLine(), "Open a sound file");
  closeMenu();
  EXPECT_EQ(StatusLine(), "");  // no state reported yet

  Open(tone);
  Command(ID_PLAY);
  highlight(ID_FILE_SAVE);
  EXPECT_EQ(StatusLine(), "Save the active document with a different name");
  closeMenu();
  EXPECT_EQ(StatusLine(), "Playing");

  // The cursor over a control shows its prompt; over the form, the state again.
  wxWindow* balance = view().Form()->FindWindow(IDC_BALANCE);
  wxMouseEvent over(wxEVT_MOTION);
  over.SetEventObject(balance);
  over.SetPosition(wxPoint(5, 5));
  balance->ProcessWindowEvent(over);
  EXPECT_EQ(StatusLine(), "Pan");
  wxMouseEvent away(wxEVT_MOTION);
  away.SetEventObject(view().Form());
  away.SetPosition(wxPoint(1, 1));
  view().Form()->ProcessWindowEvent(away);
  EXPECT_EQ(StatusLine(), "Playing");
}

TEST_F(MainWindow, RemoteCodesReachTheViewAsPlayAndStop) {
  StorePlaySet(false);
  const std::string tone = WriteTone("tone.wav", 5);
  Start();
  Open(tone);
  EXPECT_EQ(frame().OnRemoteCommand(150), 0);
  EXPECT_EQ(frame().OnRemoteCommand(200), 0);
  EXPECT_EQ(core().stream().playing, 0);
  frame().OnRemoteCommand(100);
  EXPECT_EQ(core().stream().playing, 1);
  EXPECT_EQ(StatusLine(), "Playing");
  frame().OnRemoteCommand(400);
  EXPECT_EQ(core().stream().playing, 0);
  EXPECT_EQ(StatusLine(), "Ready");
}

TEST_F(MainWindow, RecentFilesAreKeptAsFile1ToFile4) {
  const std::string first = WriteTone("first.wav", 1);
  const std::string second = WriteTone("second.wav", 1);
  Start({first});
  End();
  EXPECT_EQ(Stored("Recent File List", "File1"), first);

  Start({second});
  EXPECT_EQ(FromWx(MenuItem(ID_FILE_MRU_FIRST)->GetItemLabel()).substr(0, 3), "&1 ");
  EXPECT_NE(MenuItem(ID_FILE_MRU_FIRST + 1), nullptr);
  // The second entry's file is gone: it leaves the list.
  std::filesystem::remove(first);
  Command(ID_FILE_MRU_FIRST + 1);
  EXPECT_EQ(MenuItem(ID_FILE_MRU_FIRST + 1), nullptr);
  End();
  EXPECT_EQ(Stored("Recent File List", "File1"), second);
  EXPECT_FALSE(Stored("Recent File List", "File2").has_value());
}

TEST_F(MainWindow, BarsLayoutAndFlagsAreKeptInGeneral) {
  Start();
  Command(ID_VIEW_PLAYBAR);
  Command(ID_VIEW_STATUS_BAR);
  EXPECT_FALSE(frame().DockManager().GetPane(frame().PlayBar()).IsShown());
  End();
  EXPECT_EQ(Stored("General", "Color"), "1");
  EXPECT_EQ(Stored("General", "ToolTips"), "1");
  EXPECT_TRUE(Stored("General", "BarState").has_value());

  Start();
  EXPECT_FALSE(frame().DockManager().GetPane(frame().PlayBar()).IsShown());
  EXPECT_TRUE(frame().DockManager().GetPane(frame().ToolBar()).IsShown());
  EXPECT_FALSE(frame().GetStatusBar()->IsShown());
  UpdateCommandStates();
  EXPECT_FALSE(MenuItem(ID_VIEW_PLAYBAR)->IsChecked());
  EXPECT_TRUE(MenuItem(ID_VIEW_TOOLBAR)->IsChecked());
  Command(ID_VIEW_PLAYBAR);
  EXPECT_TRUE(frame().DockManager().GetPane(frame().PlayBar()).IsShown());
}

TEST_F(MainWindow, AStoredLayoutMovesOnlyTheToolbars) {
  // The form hidden, the main toolbar on the left with a caption whose close button destroys
  // it: only the toolbars' places are taken.
  Store("General", "BarState",
        "layout2|name=View;caption=;state=2099199;dir=5;layer=0;row=0;pos=0;prop=100000;"
        "bestw=1;besth=1;minw=-1;minh=-1;maxw=-1;maxh=-1;floatx=-1;floaty=-1;floatw=-1;"
        "floath=-1|name=Tool;caption=Tool;state=2102524;dir=4;layer=10;row=0;pos=0;"
        "prop=100000;bestw=1;besth=1;minw=-1;minh=-1;maxw=-1;maxh=-1;floatx=-1;floaty=-1;"
        "floatw=-1;floath=-1|name=Play;caption=Play;state=2099196;dir=1;layer=10;row=1;pos=0;"
        "prop=100000;bestw=1;besth=1;minw=-1;minh=-1;maxw=-1;maxh=-1;floatx=-1;floaty=-1;"
        "floatw=-1;floath=-1|dock_size(5,0,0)=22|");
  Start();
  wxAuiManager& docks = frame().DockManager();
  EXPECT_TRUE(docks.GetPane("View").IsShown());
  EXPECT_TRUE(view().Form()->IsShown());
  EXPECT_GT(view().Form()->GetSize().y, 100);
  EXPECT_EQ(docks.GetPane(frame().ToolBar()).dock_direction, wxAUI_DOCK_LEFT);
  EXPECT_FALSE(docks.GetPane(frame().ToolBar()).IsDestroyOnClose());
  EXPECT_FALSE(docks.GetPane(frame().ToolBar()).HasCaption());
  EXPECT_EQ(docks.GetPane(frame().PlayBar()).dock_direction, wxAUI_DOCK_TOP);
  EXPECT_EQ(docks.GetPane(frame().PlayBar()).dock_row, 1);
  End();

  // Not a layout the docking manager can read: the bars come up as on a first start.
  Store("General", "BarState", "layout2|name=Play;dir=1|garbage|dock_size(x)=3");
  Start();
  EXPECT_EQ(frame().DockManager().GetPane(frame().PlayBar()).dock_direction, wxAUI_DOCK_BOTTOM);
}

}  // namespace
}  // namespace bw::test
