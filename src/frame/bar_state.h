// The bars' layout as the frame stores it ("General"/"BarState"): a wxAuiManager perspective,
// "layout2|" followed by "|"-separated panes of ";"-separated "key=value" pairs and dock sizes
// "dock_size(direction,layer,row)=size". The docking manager trusts what it is given (unknown
// keys stop it, unreadable dock sizes leave its numbers unset), so a stored layout is checked
// before it is handed over.
#pragma once

#include <string_view>

namespace bw {

// True when `perspective` is a layout the docking manager reads without trouble: the version,
// only the pane keys it knows, and dock sizes of four numbers within their ranges.
bool IsWellFormedBarState(std::string_view perspective);

}  // namespace bw
