// Message boxes as real dialogs: the desktop program's answer to the view's MessageBox and to
// every ShowMessageBox of the engine and the sheets.
//
// Called on the user-interface thread only.
#pragma once

#include <string_view>

#include "platform/message_box.h"

class wxWindow;

namespace bw {

// Shows `text` in a modal box with the buttons and icon of `style` (kMb* values) over `parent`
// (the active window when null) and returns the answer (kId* values). An empty caption shows
// the program's name. Abort/Retry/Ignore appear as three buttons with those labels.
int RunMessageBox(wxWindow* parent, std::string_view text, std::string_view caption,
                  unsigned style);

// The message sink the desktop program installs at start-up (SetMessageSink), so that the
// engine's fixed-text errors and the sheets' validation messages open real boxes.
class WxMessageSink final : public MessageSink {
 public:
  int Show(std::string_view text, std::string_view caption, unsigned style) override;
};

}  // namespace bw
