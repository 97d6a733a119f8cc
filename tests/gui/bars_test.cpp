// The flat bars of the real program as the X server shows them: the toolbars' hot tracking,
// disabled and checked buttons, and the menu bar's items, docked along the top and at the side.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <wx/app.h>
#include <wx/aui/aui.h>
#include <wx/settings.h>
#include <wx/uiaction.h>

#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "frame/bar_accessibility.h"
#include "frame/flat_paint.h"
#include "frame/main_frame.h"
#include "frame/menu_bar.h"
#include "frame/tool_bar_ex.h"
#include "gui_test_support.h"
#include "res/menus.h"
#include "shell_test_support.h"
#include "view/dialogs/wx_text.h"
#include "view/view_core.h"
#include "view/view_ids.h"

// Colours in failure messages as "rgb(r, g, b)".
inline void PrintTo(const wxColour& colour, std::ostream* os) {
  *os << colour.GetAsString(wxC2S_CSS_SYNTAX);
}

namespace bw::test {
namespace {

class Bars : public ProgramTest {
 public:
  // The button of command `id` as the screen shows it.
  wxImage Button(CToolBarEx& bar, int id) { return GrabScreen(ButtonRect(bar, id)); }
  static wxRect ButtonRect(CToolBarEx& bar, int id) {
    for (std::size_t i = 0; i < bar.GetToolsCount(); ++i) {
      if (bar.GetToolId(i) == res::WxCommandId(id))
        return wxRect(bar.ClientToScreen(bar.GetToolRect(i).GetTopLeft()),
                      bar.GetToolRect(i).GetSize());
    }
    ADD_FAILURE() << "no button " << id;
    return {};
  }
  static wxColour At(const wxImage& image, int x, int y) {
    return wxColour(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y));
  }
  // Where the pointer goes to be off every bar: the middle of the form.
  void PointerToForm() {
    frame().WarpPointer(frame().GetClientSize().x / 2, frame().GetClientSize().y / 2);
  }
  // The pointer onto the middle of button `id`.
  static void PointerToButton(CToolBarEx& bar, int id) {
    const wxRect r = ButtonRect(bar, id);
    const wxPoint centre = bar.ScreenToClient(r.GetTopLeft()) + wxPoint(r.width / 2, r.height / 2);
    MovePointer(bar, centre);
  }
  // Whether the button under the mouse is `id`'s.
  static bool IsHot(CToolBarEx& bar, int id) {
    return bar.HotButton() >= 0 &&
           bar.GetToolId(static_cast<std::size_t>(bar.HotButton())) == res::WxCommandId(id);
  }
  BarColours colours = BarColours::FromSystem();
};

// The edge of a w x h button: which colour its top-left and bottom-right corners show.
struct Edge {
  wxColour topLeft, bottomRight;
};
Edge EdgeOf(const wxImage& button) {
  return {Bars::At(button, 0, 0), Bars::At(button, button.GetWidth() - 1, button.GetHeight() - 1)};
}

// Moves the frame's top-left corner to `at` and waits until the X server has it there.
void MoveFrame(ProgramTest& test, const wxPoint& at) {
  const wxPoint client = test.frame().ClientToScreen(wxPoint()) - test.frame().GetPosition();
  test.frame().Move(at);
  SettleUntil([&] { return test.frame().ClientToScreen(wxPoint()) == at + client; });
}

TEST_F(Bars, AHoveredButtonRaisesAndIsFlatAgainOnceTheMouseHasLeft) {
  Start();
  ASSERT_NE(colours.hilite, colours.shadow);
  CToolBarEx& bar = *frame().ToolBar();
  Edge edge = EdgeOf(Button(bar, ID_APP_ABOUT));
  EXPECT_EQ(edge.topLeft, colours.face) << "an edge before the mouse came";
  EXPECT_EQ(edge.bottomRight, colours.face);

  PointerToButton(bar, ID_APP_ABOUT);
  SettleUntil([&] { return EdgeOf(Button(bar, ID_APP_ABOUT)).topLeft == colours.hilite; });
  edge = EdgeOf(Button(bar, ID_APP_ABOUT));
  EXPECT_EQ(edge.topLeft, colours.hilite) << "not raised under the mouse";
  EXPECT_EQ(edge.bottomRight, colours.shadow);
  EXPECT_EQ(StatusLine(), res::CommandPrompt(ID_APP_ABOUT));
  EXPECT_EQ(bar.GetToolTipText(), "About");

  // Nothing tells the bar that the pointer went straight to the form: its timer notices.
  PointerToForm();
  SettleUntil([&] { return EdgeOf(Button(bar, ID_APP_ABOUT)).bottomRight == colours.face; }, 5000);
  EXPECT_EQ(EdgeOf(Button(bar, ID_APP_ABOUT)).topLeft, colours.face);
  EXPECT_EQ(bar.HotButton(), -1);
}

TEST_F(Bars, ADisabledButtonIsEmbossedInHighlightAndShadowAndNeverRaises) {
  Start();
  CToolBarEx& bar = *frame().PlayBar();
  ASSERT_FALSE(bar.GetToolEnabled(res::WxCommandId(ID_PLAY)));  // nothing is open
  wxImage play = Button(bar, ID_PLAY);
  int shadow = 0, hilite = 0, other = 0;
  for (int y = 0; y < play.GetHeight(); ++y) {
    for (int x = 0; x < play.GetWidth(); ++x) {
      const wxColour c = At(play, x, y);
      if (c == colours.shadow)
        ++shadow;
      else if (c == colours.hilite)
        ++hilite;
      else if (c != colours.face)
        ++other;
    }
  }
  EXPECT_GT(shadow, 10) << "no shadow image";
  EXPECT_GT(hilite, 3) << "no highlight offset";
  EXPECT_EQ(other, 0) << "colours of the enabled image show";

  // Over it, its prompt shows; it is drawn as it is under the mouse.
  PointerToButton(bar, ID_PLAY);
  EXPECT_EQ(StatusLine(), res::CommandPrompt(ID_PLAY));
  WaitUntilDrawn(bar);
  EXPECT_EQ(EdgeOf(Button(bar, ID_PLAY)).bottomRight, colours.face) << "a disabled button rose";
  PointerToForm();
}

TEST_F(Bars, ACheckedButtonIsSunkenWithADitheredFaceUntilTheMouseIsOverIt) {
  Start();
  ASSERT_NE(colours.hilite, colours.face);
  CToolBarEx& bar = *frame().ToolBar();
  core().stream().playListOpen = 1;
  core().stream().playSettings.RepeatPlayList = 1;
  UpdateCommandStates();
  ASSERT_TRUE(bar.GetToolState(res::WxCommandId(ID_PLAYLIST_REPEAT)));
  SettleUntil([&] { return EdgeOf(Button(bar, ID_PLAYLIST_REPEAT)).topLeft == colours.shadow; });

  wxImage button = Button(bar, ID_PLAYLIST_REPEAT);
  Edge edge = EdgeOf(button);
  EXPECT_EQ(edge.topLeft, colours.shadow) << "not sunken";
  EXPECT_EQ(edge.bottomRight, colours.hilite);
  EXPECT_EQ(At(button, 1, 1), colours.face);
  // A checkerboard of highlight and face inside the frame, beside the image.
  for (int x = 2; x < 6; ++x) {
    const wxColour a = At(button, x, 2), b = At(button, x + 1, 2), below = At(button, x, 3);
    EXPECT_NE(a, b) << "no dither at x " << x;
    EXPECT_NE(a, below);
    EXPECT_TRUE(a == colours.hilite || a == colours.face);
  }

  PointerToButton(bar, ID_PLAYLIST_REPEAT);
  SettleUntil([&] {
    button = Button(bar, ID_PLAYLIST_REPEAT);
    return At(button, 2, 2) == colours.face && At(button, 3, 2) == colours.face;
  });
  EXPECT_EQ(EdgeOf(button).topLeft, colours.shadow) << "under the mouse it stays sunken";
  EXPECT_EQ(At(button, 2, 2), colours.face) << "the face is plain under the mouse";
  EXPECT_EQ(At(button, 3, 2), colours.face);
  PointerToForm();
  core().stream().playListOpen = 0;
  core().stream().playSettings.RepeatPlayList = 0;
}

TEST_F(Bars, AClickOrTheKeyboardSendsTheButtonsCommandToTheFrame) {
  Start();
  CToolBarEx& bar = *frame().ToolBar();
  // Caught before the application opens the About box; it lives as long as the frame.
  auto counted = std::make_shared<int>(0);
  const int& about = *counted;
  frame().Bind(
      wxEVT_MENU, [counted](wxCommandEvent&) { ++*counted; }, res::WxCommandId(ID_APP_ABOUT));
  const wxRect r = ButtonRect(bar, ID_APP_ABOUT);
  wxUIActionSimulator sim;
  PointerToButton(bar, ID_APP_ABOUT);
  SettleUntil([&] { return IsHot(bar, ID_APP_ABOUT); });
  sim.MouseClick();
  SettleUntil([&] { return about == 1; });
  EXPECT_EQ(about, 1);
  // Pressed on the button but released beside it: nothing.
  sim.MouseDown();
  SettleUntil([&] { return bar.HasCapture(); });
  sim.MouseMove(r.GetTopLeft() + wxPoint(r.width / 2, r.height * 3));
  sim.MouseUp();
  SettleUntil([&] { return !bar.HasCapture(); });
  HandleQueued();
  EXPECT_EQ(about, 1);

  // From the keyboard: the bar takes the focus, Right moves to the next button, Space presses.
  bar.SetFocus();
  SettleUntil([&] { return wxWindow::FindFocus() == &bar; });
  for (int i = 0; i < 3; ++i)
    sim.Char(WXK_RIGHT);  // New, Open, Save, then About
  sim.Char(WXK_SPACE);
  SettleUntil([&] { return about == 2; });
  EXPECT_EQ(about, 2);
  EXPECT_EQ(AccessibleName(bar), "Main toolbar");
  EXPECT_EQ(AccessibleName(*frame().PlayBar()), "Play toolbar");
}

// The side a toolbar's or the menu bar's own layout is made for.
BarSide LaidOutSide(wxWindow* bar) {
  if (auto* tools = dynamic_cast<CToolBarEx*>(bar)) return tools->Side();
  return dynamic_cast<CMenuBar&>(*bar).Side();
}

// Waits until the bar's layout follows the place the docking manager gave it, and the window it
// is in has been laid out and drawn around it.
void WaitForDocking(ProgramTest& test, wxWindow* bar) {
  SettleUntil([&] { return LaidOutSide(bar) == SideOf(bar, &test.frame()); });
  HandleQueued();  // the manager's update the new layout asked for
  WaitUntilDrawn(*bar);
  HandleQueued();  // the X server's answer to the sizes asked for
}

// Whether a floating bar's frame is fitted around the rows it wraps into.
bool Fitted(wxWindow& bar) {
  return bar.GetParent()->GetClientSize() == bar.GetBestSize() &&
         bar.GetSize() == bar.GetBestSize();
}

void DockBar(ProgramTest& test, wxWindow* bar, int side) {
  wxAuiManager& docks = test.frame().DockManager();
  docks.GetPane(bar).Dock().Direction(side).Row(0).Position(0);
  docks.Update();
  WaitForDocking(test, bar);
}

wxAuiFloatingFrame* FloatBar(ProgramTest& test, wxWindow* bar, const wxPoint& at) {
  wxAuiManager& docks = test.frame().DockManager();
  docks.GetPane(bar).Float().FloatingPosition(at);
  docks.Update();
  WaitForDocking(test, bar);
  SettleUntil([&] { return Fitted(*bar); });
  return wxDynamicCast(bar->GetParent(), wxAuiFloatingFrame);
}

// The rows a bar's buttons stand in (columns: their x), from the buttons' places.
std::set<int> ButtonLines(CToolBarEx& bar, bool columns) {
  std::set<int> lines;
  for (std::size_t i = 0; i < bar.GetToolsCount(); ++i) {
    if (bar.GetToolId(i) != 0) lines.insert(columns ? bar.GetToolRect(i).x : bar.GetToolRect(i).y);
  }
  return lines;
}

int CountAbout(ProgramTest& test) {
  auto counted = std::make_shared<int>(0);
  test.frame().Bind(
      wxEVT_MENU, [counted](wxCommandEvent&) { ++*counted; }, res::WxCommandId(ID_APP_ABOUT));
  CToolBarEx& bar = *test.frame().ToolBar();
  Bars::PointerToButton(bar, ID_APP_ABOUT);
  wxUIActionSimulator sim;
  SettleUntil([&] { return Bars::IsHot(bar, ID_APP_ABOUT); });
  sim.MouseClick();
  SettleUntil([&] { return *counted > 0; });
  HandleQueued();
  return *counted;
}

TEST_F(Bars, DockedAtASideTheButtonsStandInAColumnWithLyingSeparatorsAndStillWork) {
  Start();
  PointerToForm();
  CToolBarEx& bar = *frame().ToolBar();
  const int width = frame().GetSize().x;
  for (int side : {wxAUI_DOCK_LEFT, wxAUI_DOCK_RIGHT}) {
    DockBar(*this, &bar, side);
    ASSERT_EQ(bar.Side(), side == wxAUI_DOCK_LEFT ? BarSide::kLeft : BarSide::kRight);
    EXPECT_EQ(ButtonLines(bar, true).size(), 1u) << "not one column";
    EXPECT_EQ(ButtonLines(bar, false).size(), 8u);
    EXPECT_GT(bar.GetSize().y, 8 * bar.GetToolRect(0).height);
    EXPECT_LT(bar.GetSize().x, 2 * bar.GetToolRect(0).width);
    // The column lies along the frame's side.
    const wxRect inFrame(frame().ScreenToClient(bar.GetScreenPosition()), bar.GetSize());
    if (side == wxAUI_DOCK_LEFT)
      EXPECT_LE(inFrame.x, 2);
    else
      EXPECT_GE(inFrame.GetRight(), frame().GetClientSize().x - 3);
    EXPECT_EQ(frame().GetSize().x, width) << "the width rule moved";
    SaveScreenshot(frame(),
                   side == wxAUI_DOCK_LEFT ? "toolbar_docked_left" : "toolbar_docked_right");
  }
  // The separator after Save is an etched strip lying across the column: shadow over highlight.
  ASSERT_EQ(bar.GetToolId(3), 0);
  const wxRect sep = bar.GetToolRect(3);
  const wxImage strip = GrabScreen(wxRect(bar.ClientToScreen(sep.GetTopLeft()), sep.GetSize()));
  const int middle = sep.height / 2;
  for (int x = 1; x < sep.width - 1; ++x) {
    EXPECT_EQ(At(strip, x, middle - 1), colours.shadow) << x;
    EXPECT_EQ(At(strip, x, middle), colours.hilite) << x;
  }
  // Buttons keep their work there: a click sends the command, the mouse raises a button.
  EXPECT_EQ(CountAbout(*this), 1);
  EXPECT_EQ(bar.HotButton(), 4);
  EXPECT_EQ(EdgeOf(Button(bar, ID_APP_ABOUT)).topLeft, colours.hilite);
  PointerToForm();

  DockBar(*this, &bar, wxAUI_DOCK_TOP);
  EXPECT_EQ(bar.Side(), BarSide::kTop);
  EXPECT_EQ(ButtonLines(bar, false).size(), 1u) << "not back in a row";
  EXPECT_EQ(ButtonLines(bar, true).size(), 8u);
}

// Presses at `from`, moves there in steps and lets go, as a user drags (each step handled before
// the next), then waits until the bar has come to the side `expected`.
void Drag(ProgramTest& test, wxWindow* bar, const wxPoint& from, const wxPoint& to,
          BarSide expected) {
  wxUIActionSimulator sim;
  sim.MouseMove(from);
  HandleQueued();
  sim.MouseDown();
  HandleQueued();
  for (int step = 1; step <= 20; ++step) {
    sim.MouseMove(from + (to - from) * step / 20);
    HandleQueued();
  }
  sim.MouseUp();
  // The floating frame docks once it notices, at idle time, that the button is up.
  SettleUntil([&] { return LaidOutSide(bar) == expected; });
  WaitForDocking(test, bar);
}

TEST_F(Bars, DraggedByItsGripperOffTheDockTheToolbarFloatsAsOneRowWithoutAGripper) {
  Start();
  CToolBarEx& bar = *frame().ToolBar();
  Drag(
      *this, &bar, bar.ClientToScreen(wxPoint(6, bar.GetSize().y / 2)),
      frame().ClientToScreen(wxPoint(frame().GetClientSize().x / 2, frame().GetClientSize().y / 2)),
      BarSide::kFloating);
  ASSERT_EQ(bar.Side(), BarSide::kFloating);
  EXPECT_EQ(bar.Rows(), 1);
  EXPECT_EQ(bar.GetToolRect(0).x, 3);
  EXPECT_TRUE(bar.IsShownOnScreen());
  PointerToForm();
}

TEST_F(Bars, DraggedByItsGripperPastTheLeftEdgeTheToolbarDocksThereAndBackAtTheTop) {
  Start();
  MoveFrame(*this, wxPoint(200, 100));  // room for the pointer left of the frame
  CToolBarEx& bar = *frame().ToolBar();
  const wxPoint gripper = bar.ClientToScreen(wxPoint(6, bar.GetSize().y / 2));
  Drag(*this, &bar, gripper, wxPoint(frame().GetScreenPosition().x - 8, gripper.y), BarSide::kLeft);
  ASSERT_EQ(bar.Side(), BarSide::kLeft);
  EXPECT_EQ(ButtonLines(bar, true).size(), 1u);

  // From the gripper at the top of the column straight up into the menu bar's row.
  const wxPoint top = bar.ClientToScreen(wxPoint(bar.GetSize().x / 2, 6));
  const wxRect menu = frame().MenuBar()->GetScreenRect();
  Drag(*this, &bar, top, wxPoint(top.x, menu.y + menu.height / 2), BarSide::kTop);
  EXPECT_EQ(bar.Side(), BarSide::kTop);
  EXPECT_EQ(ButtonLines(bar, false).size(), 1u);
  PointerToForm();
}

// Floating, the bar's prompts still reach the main frame's status line; a disabled button
// (Play, with nothing open) gives its tip and prompt too, though it does not raise.
TEST_F(Bars, AFloatingBarsPromptsShowInTheMainStatusLineOverDisabledButtonsToo) {
  Start();
  PointerToForm();
  CToolBarEx& bar = *frame().PlayBar();
  ASSERT_NE(FloatBar(*this, &bar, frame().GetPosition() + wxPoint(60, 120)), nullptr);
  ASSERT_FALSE(bar.GetToolEnabled(res::WxCommandId(ID_PLAY)));
  PointerToButton(bar, ID_PLAY);
  EXPECT_EQ(StatusLine(), res::CommandPrompt(ID_PLAY));
  EXPECT_FALSE(bar.GetToolTipText().empty());
  EXPECT_EQ(bar.HotButton(), -1);
}

TEST_F(Bars, AFloatingToolbarWrapsIntoRowsWhenItsFrameIsMadeNarrow) {
  Start();
  PointerToForm();
  CToolBarEx& bar = *frame().ToolBar();
  wxAuiFloatingFrame* floating = FloatBar(*this, &bar, frame().GetPosition() + wxPoint(60, 120));
  ASSERT_NE(floating, nullptr);
  EXPECT_EQ(bar.Side(), BarSide::kFloating);
  EXPECT_EQ(bar.Rows(), 1);
  EXPECT_EQ(bar.GetToolRect(0).x, 3) << "room left for a gripper";

  const int button = bar.GetToolRect(0).width;
  floating->SetClientSize(wxSize(4 * button + 10, floating->GetClientSize().y));
  SettleUntil([&] { return bar.Rows() >= 2 && Fitted(bar); });
  EXPECT_GE(bar.Rows(), 2);
  EXPECT_EQ(ButtonLines(bar, false).size(), static_cast<std::size_t>(bar.Rows()));
  // The frame is fitted around the rows, and every button is inside it.
  EXPECT_EQ(floating->GetClientSize(), bar.GetSize());
  for (std::size_t i = 0; i < bar.GetToolsCount(); ++i)
    EXPECT_TRUE(wxRect(bar.GetSize()).Contains(bar.GetToolRect(i))) << i;
  // A row breaks at a separator, which is not drawn: the face shows where it would be.
  ASSERT_EQ(bar.GetToolId(3), 0);
  EXPECT_EQ(bar.GetToolRect(3).width, 0);
  EXPECT_EQ(bar.GetToolRect(4).x, 3) << "About does not start its row";
  EXPECT_EQ(CountAbout(*this), 1);
  PointerToForm();

  // Made wide again, one row.
  floating->SetClientSize(wxSize(30 * button, floating->GetClientSize().y));
  SettleUntil([&] { return bar.Rows() == 1 && Fitted(bar); });
  EXPECT_EQ(bar.Rows(), 1);

  // Its frame closed, the bar is hidden, and the View menu floats it again.
  const wxWeakRef<wxWindow> closed(floating);
  floating->Close();
  SettleUntil([&] { return !closed; });  // destroyed at idle time
  ASSERT_EQ(frame().ToolBar(), &bar);
  EXPECT_FALSE(frame().DockManager().GetPane(&bar).IsShown());
  Command(ID_VIEW_TOOLBAR);
  SettleUntil([&] { return bar.IsShownOnScreen(); });
  WaitForDocking(*this, &bar);
  EXPECT_TRUE(bar.IsShownOnScreen());
  EXPECT_EQ(bar.Side(), BarSide::kFloating);

  DockBar(*this, &bar, wxAUI_DOCK_TOP);
  EXPECT_EQ(bar.Side(), BarSide::kTop);
  EXPECT_EQ(bar.Rows(), 1);
  EXPECT_GT(bar.GetToolRect(0).x, 3) << "no room for the gripper";
}

TEST_F(Bars, BarsAtTheSidesAndFloatingAreWhereTheyWereAfterARestart) {
  Start();
  DockBar(*this, frame().ToolBar(), wxAUI_DOCK_RIGHT);
  wxAuiFloatingFrame* floating =
      FloatBar(*this, frame().PlayBar(), frame().GetPosition() + wxPoint(40, 100));
  ASSERT_NE(floating, nullptr);
  floating->SetClientSize(wxSize(6 * frame().PlayBar()->GetToolRect(0).width, 200));
  SettleUntil([&] { return frame().PlayBar()->Rows() >= 2 && Fitted(*frame().PlayBar()); });
  const int rows = frame().PlayBar()->Rows();
  ASSERT_GE(rows, 2);
  CMenuBar& menu = *frame().MenuBar();
  wxAuiFloatingFrame* menuFrame = FloatBar(*this, &menu, frame().GetPosition() + wxPoint(40, 220));
  ASSERT_NE(menuFrame, nullptr);
  menuFrame->SetClientSize(wxSize(menu.GetItemRect(4).width * 3, 100));
  SettleUntil([&] { return menu.Rows() >= 2 && Fitted(menu); });
  const int menuRows = menu.Rows();
  ASSERT_GE(menuRows, 2);
  End();
  Start();
  for (wxWindow* bar :
       {static_cast<wxWindow*>(frame().MenuBar()), static_cast<wxWindow*>(frame().ToolBar()),
        static_cast<wxWindow*>(frame().PlayBar())})
    WaitForDocking(*this, bar);
  EXPECT_EQ(frame().MenuBar()->Side(), BarSide::kFloating);
  EXPECT_EQ(frame().MenuBar()->Rows(), menuRows);
  EXPECT_EQ(frame().ToolBar()->Side(), BarSide::kRight);
  EXPECT_EQ(ButtonLines(*frame().ToolBar(), true).size(), 1u);
  ASSERT_EQ(frame().PlayBar()->Side(), BarSide::kFloating);
  EXPECT_EQ(frame().PlayBar()->Rows(), rows);
  EXPECT_TRUE(frame().PlayBar()->IsShownOnScreen());
}

// A step of a script: true once done. A step that waits for something returns false until it
// holds.
using Step = std::function<bool()>;

Step Do(std::function<void()> act) {
  return [act = std::move(act)] {
    act();
    return true;
  };
}

// A step that lets the program handle the input sent so far: the X server's answer brings the
// events before it, which are handled before the next step runs.
Step Handled() {
  return [synced = false]() mutable {
    if (synced) return true;
    gdk_display_sync(gdk_display_get_default());
    synced = true;
    return false;
  };
}

// Steps run one after another from a timer, so that they also run while a pop-up's own loop
// holds the test inside a click. A step still waiting after 10 s fails the test and is passed
// over, so that the pop-ups still close.
class Script : public wxTimer {
 public:
  explicit Script(std::vector<Step> steps) : steps_(std::move(steps)) { Start(20); }
  void Notify() override {
    if (Done()) {
      Stop();
      return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (steps_[next_]()) {
      Next(now);
    } else if (now - since_ > std::chrono::seconds(10)) {
      ADD_FAILURE() << "step " << next_ << " of the script waited in vain";
      Next(now);
    }
  }
  bool Done() const { return next_ >= steps_.size(); }

 private:
  void Next(std::chrono::steady_clock::time_point now) {
    ++next_;
    since_ = now;
  }
  std::vector<Step> steps_;
  std::size_t next_ = 0;
  std::chrono::steady_clock::time_point since_ = std::chrono::steady_clock::now();
};

class MenuBarTest : public Bars {
 public:
  CMenuBar& bar() { return *frame().MenuBar(); }
  wxPoint ItemCentre(int i) {
    const wxRect r = bar().GetItemRect(i);
    return bar().ClientToScreen(r.GetTopLeft() + wxPoint(r.width / 2, r.height / 2));
  }
  // The item whose pop-up is on the screen, −1 for none.
  int OpenPopup() {
    int open = -1;
    for (std::size_t i = 0; i < bar().GetItemCount(); ++i) {
      if (gtk_widget_get_visible(bar().GetMenu(i)->m_menu)) open = static_cast<int>(i);
    }
    return open;
  }
  // A step that waits until item `item`'s pop-up is the one on the screen (−1: none), and
  // notes it in `opened`.
  Step Opens(int item) {
    return [this, item] {
      if (OpenPopup() != item) return false;
      opened.push_back(item);
      return true;
    };
  }
  bool LoopEnded() { return OpenPopup() == -1 && bar().TrackState() != CMenuBar::kPopupOpen; }
  // Runs `script` until it is done and the pop-up loop has ended.
  void RunScript(std::vector<Step> steps) {
    Script script(std::move(steps));
    SettleUntil([&] { return script.Done() && LoopEnded(); });
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(OpenPopup(), -1) << "a pop-up stayed open";
  }
  void PointerToItem(int i) {
    const wxRect r = bar().GetItemRect(i);
    MovePointer(bar(), r.GetTopLeft() + wxPoint(r.width / 2, r.height / 2));
  }
  // Clicks item `first` and runs `steps` while the pop-up loop runs.
  void RunLoop(int first, std::vector<Step> steps) {
    PointerToItem(first);
    sim.MouseClick();
    RunScript(std::move(steps));
  }
  wxUIActionSimulator sim;
  std::vector<int> opened;
};

TEST_F(MenuBarTest, RightAndLeftWrapAndTheMouseSwitchesPopups) {
  Start();
  ASSERT_EQ(bar().GetItemCount(), 6u);
  RunLoop(5, {Opens(5), Do([&] { sim.Char(WXK_RIGHT); }), Opens(0), Do([&] { sim.Char(WXK_LEFT); }),
              Opens(5), Do([&] { sim.MouseMove(ItemCentre(2)); }), Opens(2),
              Do([&] { sim.Char(WXK_RIGHT); }), Opens(3), Do([&] { sim.Char(WXK_ESCAPE); })});
  // Help; Right wraps to File; Left wraps back to Help; the mouse onto View; Right to Audio.
  EXPECT_EQ(opened, (std::vector<int>{5, 0, 5, 2, 3}));
  EXPECT_EQ(bar().CurrentItem(), -1);
}

TEST_F(MenuBarTest, ClickingTheOpenItemClosesItsPopupAndOpensNoOther) {
  Start();
  RunLoop(0, {Opens(0), Do([&] { sim.MouseClick(); }), Opens(-1)});
  EXPECT_EQ(opened, (std::vector<int>{0, -1}));
  EXPECT_NE(bar().ItemStateOf(0), CMenuBar::kSunken);
}

TEST_F(MenuBarTest, RightOpensASubMenuInsteadOfMovingOn) {
  Start();
  // Edit's first entry, "&Selection", opens a sub-menu.
  GtkWidget* selection = bar().GetMenu(1)->FindItemByPosition(0)->GetSubMenu()->m_menu;
  auto subMenuShown = [&] { return gtk_widget_get_visible(selection) != FALSE; };
  RunLoop(
      1,
      {Opens(1),
       Do([&] { gtk_menu_shell_select_first(GTK_MENU_SHELL(bar().GetMenu(1)->m_menu), TRUE); }),
       Do([&] { sim.Char(WXK_RIGHT); }), subMenuShown, Opens(1), Do([&] { sim.Char(WXK_ESCAPE); }),
       [&] { return !subMenuShown(); }, Do([&] { sim.Char(WXK_ESCAPE); })});
  EXPECT_EQ(opened, (std::vector<int>{1, 1}));
}

TEST_F(MenuBarTest, HoveringRaisesAnItemUntilTheMouseLeavesTheBar) {
  Start();
  const wxRect r(bar().ClientToScreen(bar().GetItemRect(3).GetTopLeft()),
                 bar().GetItemRect(3).GetSize());
  PointerToItem(3);
  SettleUntil(
      [&] { return bar().CurrentItem() == 3 && EdgeOf(GrabScreen(r)).topLeft == colours.hilite; });
  EXPECT_EQ(bar().CurrentItem(), 3);
  EXPECT_EQ(bar().ItemStateOf(3), CMenuBar::kRaised);
  EXPECT_EQ(EdgeOf(GrabScreen(r)).topLeft, colours.hilite);
  // As on the toolbars, the bar's timer notices the pointer gone.
  PointerToForm();
  SettleUntil([&] {
    return bar().CurrentItem() == -1 && EdgeOf(GrabScreen(r)).bottomRight == colours.face;
  });
  EXPECT_EQ(bar().CurrentItem(), -1);
  EXPECT_EQ(EdgeOf(GrabScreen(r)).bottomRight, colours.face);
}

// Text pixels: well darker than the face.
bool Ink(const wxImage& image, int x, int y, const wxColour& face) {
  if (x < 0 || y < 0 || x >= image.GetWidth() || y >= image.GetHeight()) return false;
  const int darker = (face.Red() - image.GetRed(x, y)) + (face.Green() - image.GetGreen(x, y)) +
                     (face.Blue() - image.GetBlue(x, y));
  return darker > 200;
}

// Reads every item's pixels: a row of text with the mnemonic letter underlined, or, at a side,
// a column of text turned clockwise with the underline drawn along the letter's foot.
void ExpectMnemonicsDrawn(MenuBarTest& test, bool vertical) {
  CMenuBar& bar = test.bar();
  const wxColour face = test.colours.face;
  for (std::size_t i = 0; i < bar.GetItemCount(); ++i) {
    const wxRect r = bar.GetItemRect(i);
    const wxImage item = GrabScreen(wxRect(bar.ClientToScreen(r.GetTopLeft()), r.GetSize()));
    const std::string name = FromWx(bar.GetItemText(i));
    wxRect ink;
    for (int y = 1; y < r.height - 1; ++y) {
      for (int x = 1; x < r.width - 1; ++x) {
        if (Ink(item, x, y, face))
          ink = ink.IsEmpty() ? wxRect(x, y, 1, 1) : ink.Union({x, y, 1, 1});
      }
    }
    ASSERT_FALSE(ink.IsEmpty()) << name << ": no text";
    // Along the text: where the mnemonic letter begins and ends.
    const int from = bar.UnderlineStart(i).y, to = bar.UnderlineEnd(i).y;
    ASSERT_GT(to - from, 2) << name;
    if (!vertical) {
      EXPECT_GT(ink.width, ink.height) << name << " is not a row of text";
      int low = -1, nextLow = -1;
      for (int y = 0; y < r.height; ++y) {
        for (int x = from; x < to; ++x)
          if (Ink(item, x, y, face)) low = y;
        for (int x = to + 1; x < to + 4; ++x)
          if (Ink(item, x, y, face)) nextLow = y;
      }
      int run = 0;
      for (int x = from; x < to; ++x)
        run += Ink(item, x, low, face) ? 1 : 0;
      EXPECT_GE(run, to - from - 2) << name << ": no line under the mnemonic letter";
      EXPECT_GT(low, nextLow) << name << ": the line is not below the text";
    } else {
      EXPECT_GT(ink.height, ink.width) << name << " is not turned";
      const int x = bar.UnderlineStart(i).x;
      int run = 0, nextLeft = r.width;
      for (int y = from; y < to; ++y)
        run += Ink(item, x, y, face) ? 1 : 0;
      for (int y = to + 1; y < to + 4; ++y) {
        for (int c = 0; c < r.width; ++c)
          if (Ink(item, c, y, face)) nextLeft = std::min(nextLeft, c);
      }
      EXPECT_GE(run, to - from - 1) << name << ": no line along the mnemonic letter";
      // Turned clockwise, the foot of the text faces left: the line is its leftmost part.
      EXPECT_LE(std::abs(ink.x - x), 1) << name;
      EXPECT_GT(nextLeft, x) << name;
    }
  }
}

void DockMenuBar(MenuBarTest& test, int side) {
  wxAuiManager& docks = test.frame().DockManager();
  docks.GetPane(&test.bar()).Direction(side).Row(0).Position(0);
  docks.Update();
  WaitForDocking(test, &test.bar());
}

TEST_F(MenuBarTest, ItemsReadFileToHelpUnderlinedAlongTheTopAndTurnedAtTheSide) {
  Start();
  PointerToForm();
  std::vector<std::string> texts;
  for (std::size_t i = 0; i < bar().GetItemCount(); ++i)
    texts.push_back(FromWx(bar().GetItemText(i)));
  EXPECT_EQ(texts,
            (std::vector<std::string>{"&File", "&Edit", "&View", "&Audio", "&Playlist", "&Help"}));
  EXPECT_EQ(frame().GetMenuBar(), nullptr) << "the frame kept a menu of its own";
  EXPECT_FALSE(bar().IsVertical());
  ExpectMnemonicsDrawn(*this, false);

  DockMenuBar(*this, wxAUI_DOCK_LEFT);
  ASSERT_TRUE(bar().IsVertical());
  EXPECT_GT(bar().GetSize().y, bar().GetSize().x);
  ExpectMnemonicsDrawn(*this, true);
}

TEST_F(MenuBarTest, PopupsOpenAboveNearTheScreenBottomAndLeftNearItsRightEdge) {
  Start();
  const wxSize screen = wxGetDisplaySize();
  DockMenuBar(*this, wxAUI_DOCK_BOTTOM);
  MoveFrame(*this, wxPoint(100, screen.y - frame().GetSize().y));
  auto popupTop = [&](int item) {
    GtkWidget* top = gtk_widget_get_toplevel(bar().GetMenu(item)->m_menu);
    int x = 0, y = 0;
    gdk_window_get_origin(gtk_widget_get_window(top), &x, &y);
    return wxPoint(x, y);
  };
  wxPoint at;
  RunLoop(4, {Opens(4), Do([&] { at = popupTop(4); }), Do([&] { sim.Char(WXK_ESCAPE); })});
  EXPECT_EQ(bar().LastPlacement(), CMenuBar::Placement::kAbove);
  EXPECT_LT(at.y, bar().ClientToScreen(bar().GetItemRect(4).GetTopLeft()).y);

  DockMenuBar(*this, wxAUI_DOCK_RIGHT);
  MoveFrame(*this, wxPoint(screen.x - frame().GetSize().x, 100));
  RunLoop(0, {Opens(0), Do([&] { at = popupTop(0); }), Do([&] { sim.Char(WXK_ESCAPE); })});
  EXPECT_EQ(bar().LastPlacement(), CMenuBar::Placement::kLeft);
  EXPECT_LT(at.x, bar().ClientToScreen(bar().GetItemRect(0).GetTopLeft()).x);
  // Left and Right do nothing at a side.
  opened.clear();
  RunLoop(0, {Opens(0), Do([&] { sim.Char(WXK_RIGHT); }), Handled(), Opens(0),
              Do([&] { sim.Char(WXK_ESCAPE); })});
  EXPECT_EQ(opened, (std::vector<int>{0, 0}));
}

TEST_F(MenuBarTest, F10AndAltWithAMnemonicOpenThePopupsFromTheKeyboard) {
  Start();
  EXPECT_EQ(AccessibleName(bar()), "Menu bar");
  frame().ToolBar()->SetFocus();  // the keys go to whatever has the focus in the frame
  SettleUntil([&] { return wxWindow::FindFocus() == frame().ToolBar(); });
  RunScript({Do([&] { sim.Char(WXK_F10); }), Opens(0), Do([&] { sim.Char(WXK_ESCAPE); }),
             [&] { return LoopEnded(); }, Do([&] { sim.Char('p', wxMOD_ALT); }), Opens(4),
             Do([&] { sim.Char(WXK_LEFT); }), Opens(3), Do([&] { sim.Char(WXK_ESCAPE); })});
  EXPECT_EQ(opened, (std::vector<int>{0, 4, 3}));
  EXPECT_EQ(OpenPopup(), -1);
}

TEST_F(MenuBarTest, ASideItWasDockedAtIsKeptForTheNextStart) {
  Start();
  DockMenuBar(*this, wxAUI_DOCK_RIGHT);
  ASSERT_TRUE(bar().IsVertical());
  End();
  Start();
  EXPECT_EQ(frame().DockManager().GetPane(&bar()).dock_direction, wxAUI_DOCK_RIGHT);
  EXPECT_TRUE(bar().IsVertical());
  EXPECT_GT(bar().GetSize().y, bar().GetSize().x);
}

TEST_F(MenuBarTest, FloatingAndNarrowedTheItemsWrapIntoRowsAndAShortSideIntoColumns) {
  Start();
  PointerToForm();
  wxAuiFloatingFrame* floating = FloatBar(*this, &bar(), frame().GetPosition() + wxPoint(80, 150));
  ASSERT_NE(floating, nullptr);
  EXPECT_EQ(bar().Side(), BarSide::kFloating);
  EXPECT_EQ(bar().Rows(), 1);
  EXPECT_EQ(bar().GetItemRect(0).x, 5) << "room left for a gripper";
  EXPECT_FALSE(floating->HasFlag(wxCLOSE_BOX)) << "nothing would bring a closed menu back";

  floating->SetClientSize(wxSize(bar().GetItemRect(4).width * 3, floating->GetClientSize().y));
  SettleUntil([&] { return bar().Rows() >= 2 && Fitted(bar()); });
  EXPECT_GE(bar().Rows(), 2);
  EXPECT_EQ(floating->GetClientSize(), bar().GetSize());
  for (std::size_t i = 0; i < bar().GetItemCount(); ++i)
    EXPECT_TRUE(wxRect(bar().GetSize()).Contains(bar().GetItemRect(i))) << i;
  // The items still open their pop-ups, to the side of a floating bar.
  RunLoop(5, {Opens(5), Do([&] { sim.Char(WXK_ESCAPE); })});
  EXPECT_EQ(opened, std::vector<int>{5});
  EXPECT_NE(bar().LastPlacement(), CMenuBar::Placement::kBelow);

  DockBar(*this, &bar(), wxAUI_DOCK_LEFT);
  EXPECT_EQ(bar().Side(), BarSide::kLeft);
  EXPECT_EQ(bar().Rows(), 1);
  // A lower frame leaves the column too little room: it wraps into columns.
  const int column = bar().GetItemRect(5).GetBottom();
  frame().SetSize(frame().GetSize().x, frame().GetSize().y - column / 2);
  SettleUntil([&] { return bar().Rows() >= 2; });
  EXPECT_GE(bar().Rows(), 2);
  std::set<int> columns;
  for (std::size_t i = 0; i < bar().GetItemCount(); ++i)
    columns.insert(bar().GetItemRect(i).x);
  EXPECT_EQ(columns.size(), static_cast<std::size_t>(bar().Rows()));
}

// Pictures of the toolbars and the menu bar floating over the frame.
TEST_F(MenuBarTest, FloatingScreenshots) {
  Start();
  PointerToForm();
  const wxPoint origin = frame().GetPosition();
  wxAuiFloatingFrame* tool = FloatBar(*this, frame().ToolBar(), origin + wxPoint(60, 90));
  ASSERT_NE(tool, nullptr);
  wxAuiFloatingFrame* play = FloatBar(
      *this, frame().PlayBar(), wxPoint(tool->GetScreenRect().GetRight() + 20, origin.y + 90));
  wxAuiFloatingFrame* menu = FloatBar(*this, &bar(), origin + wxPoint(60, 220));
  ASSERT_TRUE(tool && play && menu);
  play->SetClientSize(wxSize(6 * frame().PlayBar()->GetToolRect(0).width, 100));
  menu->SetClientSize(wxSize(bar().GetItemRect(4).width * 3, 100));
  SettleUntil([&] {
    return frame().PlayBar()->Rows() >= 2 && Fitted(*frame().PlayBar()) && bar().Rows() >= 2 &&
           Fitted(bar());
  });
  EXPECT_GE(frame().PlayBar()->Rows(), 2);
  EXPECT_GE(bar().Rows(), 2);
  SaveScreenshot({&frame(), tool, play, menu}, "bars_floating");
}

// Pictures of the bars docked along the top (as they start), at the bottom and at the left.
TEST_F(MenuBarTest, Screenshots) {
  Start();
  PointerToForm();
  SaveScreenshot(frame(), "bars_docked_top");
  wxAuiManager& docks = frame().DockManager();
  for (wxWindow* bar : {static_cast<wxWindow*>(frame().ToolBar()), static_cast<wxWindow*>(&bar())})
    docks.GetPane(bar).Direction(wxAUI_DOCK_BOTTOM).Row(1);
  docks.Update();
  WaitForDocking(*this, frame().ToolBar());
  WaitForDocking(*this, &bar());
  SaveScreenshot(frame(), "bars_docked_bottom");
  docks.GetPane(frame().ToolBar()).Direction(wxAUI_DOCK_TOP).Row(0);
  DockMenuBar(*this, wxAUI_DOCK_LEFT);
  WaitForDocking(*this, frame().ToolBar());
  SaveScreenshot(frame(), "bars_docked_left");
}

}  // namespace
}  // namespace bw::test
