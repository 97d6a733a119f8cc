// Where the items of a flat bar (the toolbars' buttons and separators, the menu bar's items)
// go: in rows along a horizontal bar, in columns down a vertical one, starting a new row when
// the next item would pass the requested length. A toolbar row breaks at its last separator
// when it has one, and that separator is not drawn (a wrapped separator). Free of any window
// so the rules can be checked on their own.
//
// Threads: any; the functions keep no state.
#pragma once

#include <span>
#include <vector>

namespace bw {

// One item: its extent along the row (a horizontal bar's x) and across it (its y).
struct BarCell {
  int along = 0;
  int across = 0;
  bool separator = false;
};

// Room around the rows, along and across: every row starts at `rowStart` (after the gripper of
// a docked bar), the first row at `firstRow`; `rowEnd` stays free after the end of a row and
// `lastRow` after the last row.
struct BarMargins {
  int rowStart = 0;
  int firstRow = 0;
  int rowEnd = 0;
  int lastRow = 0;
};

// An item's place in bar coordinates (already turned for a vertical bar). A wrapped separator
// has no size.
struct BarPlace {
  int x = 0, y = 0, width = 0, height = 0;
  bool wrapped = false;
};

struct BarLayout {
  std::vector<BarPlace> places;
  int width = 0;  // the whole bar, margins included
  int height = 0;
  int rows = 0;  // rows (columns for a vertical bar)
};

// No length limit: one row.
inline constexpr int kBarUnbounded = 32767;

// Lays `cells` out in rows of at most `length` along (an item that is longer on its own gets a
// row of its own). `vertical` turns rows into columns: along becomes y.
BarLayout LayOutBar(std::span<const BarCell> cells, const BarMargins& margins, int length,
                    bool vertical);

// The shortest length, found by halving between 0 and 32767, whose rows take at most
// `breadth` across (the height of a horizontal bar); 32767 when none does.
int LengthForBreadth(std::span<const BarCell> cells, const BarMargins& margins, int breadth);

// The length a floating horizontal bar lays itself out at when its window is resized to
// `askedWidth` x `askedHeight` while its layout is `current`: the new width, or, when only the
// height changed, the length whose rows fit that height.
int LengthForResize(std::span<const BarCell> cells, const BarMargins& margins, int askedWidth,
                    int askedHeight, const BarLayout& current);

}  // namespace bw
