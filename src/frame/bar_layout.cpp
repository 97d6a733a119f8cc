#include "frame/bar_layout.h"

#include <algorithm>
#include <utility>

namespace bw {

namespace {

struct Breaks {
  std::vector<bool> startsRow;
  std::vector<bool> wrapped;
};

// Where the rows break. A separator that would end a row or start one is wrapped; a row that
// overflows goes back to its last separator, so that a group of buttons stays together.
Breaks FindBreaks(std::span<const BarCell> cells, const BarMargins& margins, int length) {
  const std::size_t n = cells.size();
  Breaks breaks{std::vector<bool>(n, false), std::vector<bool>(n, false)};
  int pos = margins.rowStart;
  bool rowHasItems = false;
  std::size_t lastSeparator = n;  // none in this row
  for (std::size_t i = 0; i < n; ++i) {
    const BarCell& cell = cells[i];
    if (cell.separator && !rowHasItems) {
      breaks.wrapped[i] = true;  // nothing to separate at the start of a row
      continue;
    }
    if (rowHasItems && pos + cell.along + margins.rowEnd > length) {
      if (cell.separator) {
        breaks.wrapped[i] = true;
        if (i + 1 < n) breaks.startsRow[i + 1] = true;
        pos = margins.rowStart;
        rowHasItems = false;
        lastSeparator = n;
        continue;
      }
      if (lastSeparator < n) {
        breaks.wrapped[lastSeparator] = true;
        i = lastSeparator + 1;  // the items after the separator move to the next row
      }
      breaks.startsRow[i] = true;
      pos = margins.rowStart;
      lastSeparator = n;
      if (cells[i].separator) {  // never after a rewind: separators do not follow separators
        breaks.wrapped[i] = true;
        rowHasItems = false;
        continue;
      }
    }
    pos += cells[i].along;
    rowHasItems = true;
    if (cells[i].separator) lastSeparator = i;
  }
  return breaks;
}

}  // namespace

BarLayout LayOutBar(std::span<const BarCell> cells, const BarMargins& margins, int length,
                    bool vertical) {
  const Breaks breaks = FindBreaks(cells, margins, length);
  BarLayout layout;
  layout.places.resize(cells.size());
  int along = margins.rowStart, across = margins.firstRow, rowAcross = 0, longest = 0;
  auto endRow = [&] {
    longest = std::max(longest, along + margins.rowEnd);
    across += rowAcross;
    ++layout.rows;
  };
  bool rowOpen = false;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (breaks.startsRow[i] && rowOpen) {
      endRow();
      along = margins.rowStart;
      rowAcross = 0;
      rowOpen = false;
    }
    BarPlace& place = layout.places[i];
    if (breaks.wrapped[i]) {
      place = BarPlace{along, across, 0, 0, true};
      continue;
    }
    place = BarPlace{along, across, cells[i].along, cells[i].across, false};
    along += cells[i].along;
    rowAcross = std::max(rowAcross, cells[i].across);
    rowOpen = true;
  }
  if (rowOpen || layout.rows == 0) endRow();
  layout.width = longest;
  layout.height = across + margins.lastRow;
  if (vertical) {
    for (BarPlace& place : layout.places) {
      std::swap(place.x, place.y);
      std::swap(place.width, place.height);
    }
    std::swap(layout.width, layout.height);
  }
  return layout;
}

int LengthForBreadth(std::span<const BarCell> cells, const BarMargins& margins, int breadth) {
  auto across = [&](int length) { return LayOutBar(cells, margins, length, false).height; };
  int low = 0, high = kBarUnbounded;
  if (across(high) > breadth) return high;
  while (low < high) {
    const int middle = low + (high - low) / 2;
    if (across(middle) <= breadth)
      high = middle;
    else
      low = middle + 1;
  }
  return high;
}

int LengthForResize(std::span<const BarCell> cells, const BarMargins& margins, int askedWidth,
                    int askedHeight, const BarLayout& current) {
  if (askedWidth == current.width && askedHeight != current.height)
    return LengthForBreadth(cells, margins, askedHeight);
  return askedWidth;
}

}  // namespace bw
