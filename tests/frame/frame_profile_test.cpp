// The main frame's stored values: "WindowPos" and the bars' layout.
#include <gtest/gtest.h>

#include "frame/bar_state.h"
#include "frame/window_placement.h"
#include "platform/profile_store.h"

namespace bw {
namespace {

TEST(WindowPos, TenNumbersInTheirOrder) {
  const std::optional<WindowPlacement> p = ParseWindowPlacement("2,3,-1,-1,-8,-30,10,10,457,300");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->flags, kWpfRestoreToMaximized);
  EXPECT_EQ(p->showCmd, kSwShowMaximized);
  EXPECT_EQ(p->maxX, -8);
  EXPECT_EQ(p->maxY, -30);
  EXPECT_EQ(p->left, 10);
  EXPECT_EQ(p->bottom, 300);
  EXPECT_EQ(FormatWindowPlacement(*p), "2,3,-1,-1,-8,-30,10,10,457,300");
  // Unsigned fields read a negative number modulo 2^32; text after the tenth is ignored.
  EXPECT_EQ(ParseWindowPlacement("-1,1,0,0,0,0,0,0,1,1,99,x")->flags, 4294967295u);
}

TEST(WindowPos, AnythingButTenNumbersIsNoPlacement) {
  for (const char* text : {"", "10,10,457,300", "0,1,-1,-1,-1,-1,10,10,457", "a,1,2,3,4,5,6,7,8,9",
                           "0;1;-1;-1;-1;-1;10;10;457;300"})
    EXPECT_FALSE(ParseWindowPlacement(text)) << text;
  MemoryProfileStore profile;
  EXPECT_FALSE(ReadWindowPlacement(profile));
  WindowPlacement p;
  p.left = 10;
  p.top = 20;
  p.right = 457;
  p.bottom = 300;
  WriteWindowPlacement(profile, p);
  EXPECT_EQ(profile.GetString("Settings", "WindowPos", ""), "0,1,-1,-1,-1,-1,10,20,457,300");
  EXPECT_EQ(ReadWindowPlacement(profile), p);
}

TEST(BarState, TheLayoutsTheDockingManagerWritesAreReadable) {
  EXPECT_TRUE(IsWellFormedBarState(
      "layout2|name=Tool;caption=Tool;state=2108156;dir=1;layer=10;row=0;pos=0;prop=100000;"
      "bestw=200;besth=31;minw=200;minh=31;maxw=-1;maxh=-1;floatx=-1;floaty=-1;floatw=-1;"
      "floath=-1|name=View;caption=;state=768;dir=5;layer=0;row=0;pos=0;prop=100000;bestw=20;"
      "besth=20;minw=-1;minh=-1;maxw=-1;maxh=-1;floatx=-1;floaty=-1;floatw=-1;floath=-1|"
      "dock_size(1,10,0)=33|dock_size(5,0,0)=22|dock_size(3,10,0)=33|"));
  // Escaped separators belong to their value.
  EXPECT_TRUE(IsWellFormedBarState("layout2|name=Tool;caption=A\\|B|"));
}

TEST(BarState, WhatWouldStopTheDockingManagerIsRefused) {
  for (const char* text :
       {"", "layout1|name=Tool", "layout2|name=Tool;colour=red|", "layout2|name=Tool|garbage|",
        "layout2|dock_size(1,10)=33|", "layout2|dock_size(x,10,0)=33|",
        "layout2|dock_size(9,10,0)=33|", "layout2|dock_size(1,10,0)=|"})
    EXPECT_FALSE(IsWellFormedBarState(text)) << text;
}

}  // namespace
}  // namespace bw
