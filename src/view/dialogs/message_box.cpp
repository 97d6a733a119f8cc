#include "view/dialogs/message_box.h"

#include <wx/app.h>
#include <wx/msgdlg.h>
#include <wx/window.h>

#include <string>
#include <vector>

#include "view/dialogs/wx_text.h"

namespace bw {
namespace {

constexpr std::string_view kProgramName = "Brookwave";

long IconStyle(unsigned style) {
  switch (style & kMbIconMask) {
    case kMbIconError:
      return wxICON_ERROR;
    case kMbIconQuestion:
      return wxICON_QUESTION;
    case kMbIconExclamation:
      return wxICON_WARNING;
    case kMbIconInformation:
      return wxICON_INFORMATION;
    default:
      return 0;
  }
}

long ButtonStyle(unsigned buttons) {
  switch (buttons) {
    case kMbOkCancel:
      return wxOK | wxCANCEL;
    case kMbYesNo:
      return wxYES_NO;
    case kMbYesNoCancel:
    case kMbAbortRetryIgnore:
      return wxYES_NO | wxCANCEL;
    default:
      return wxOK;
  }
}

int Answer(unsigned buttons, int wx_answer) {
  if (buttons == kMbAbortRetryIgnore) {
    switch (wx_answer) {
      case wxID_YES:
        return kIdAbort;
      case wxID_NO:
        return kIdRetry;
      default:
        return kIdIgnore;
    }
  }
  switch (wx_answer) {
    case wxID_OK:
      return kIdOk;
    case wxID_CANCEL:
      return kIdCancel;
    case wxID_YES:
      return kIdYes;
    case wxID_NO:
      return kIdNo;
    default:
      return kIdFailed;
  }
}

// A label wraps only between words, and a box wider or taller than the screen cannot be
// answered: runs without a break (a long path) and overlong texts are shortened in the middle.
constexpr std::size_t kLongestRun = 80;     // characters
constexpr std::size_t kLongestText = 1200;  // characters
constexpr std::size_t kMostLines = 24;
constexpr std::string_view kEllipsis = "\u2026";

bool StartsCharacter(char byte) {
  return (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
}

std::size_t CharacterCount(std::string_view text) {
  std::size_t count = 0;
  for (char byte : text)
    count += StartsCharacter(byte) ? 1 : 0;
  return count;
}

// The byte offset of character `n` of `text` (its size when shorter).
std::size_t ByteOfCharacter(std::string_view text, std::size_t n) {
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (StartsCharacter(text[at]) && n-- == 0) return at;
  }
  return text.size();
}

// `text` with its middle replaced by an ellipsis when it has more than `most` characters.
std::string ShortenMiddle(std::string_view text, std::size_t most) {
  const std::size_t count = CharacterCount(text);
  if (count <= most) return std::string(text);
  const std::size_t keep = (most - 1) / 2;
  std::string shortened(text.substr(0, ByteOfCharacter(text, keep)));
  shortened += kEllipsis;
  shortened += text.substr(ByteOfCharacter(text, count - keep));
  return shortened;
}

bool IsBreak(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string ShortenRuns(std::string_view text) {
  std::string out;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = at;
    while (end < text.size() && IsBreak(text[end]) == IsBreak(text[at]))
      ++end;
    const std::string_view piece = text.substr(at, end - at);
    out += IsBreak(text[at]) ? std::string(piece) : ShortenMiddle(piece, kLongestRun);
    at = end;
  }
  return out;
}

std::string KeepFirstAndLastLines(const std::string& text) {
  std::vector<std::size_t> starts{0};
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '\n') starts.push_back(at + 1);
  }
  if (starts.size() <= kMostLines) return text;
  const std::size_t head = kMostLines / 2, tail = kMostLines - head - 1;
  return text.substr(0, starts[head]) + std::string(kEllipsis) + "\n" +
         text.substr(starts[starts.size() - tail]);
}

std::string FitToScreen(std::string_view text) {
  return ShortenMiddle(KeepFirstAndLastLines(ShortenRuns(text)), kLongestText);
}

wxWindow* DefaultParent() {
  if (wxWindow* active = wxGetActiveWindow()) return wxGetTopLevelParent(active);
  return wxTheApp ? wxTheApp->GetTopWindow() : nullptr;
}

}  // namespace

int RunMessageBox(wxWindow* parent, std::string_view text, std::string_view caption,
                  unsigned style) {
  if (!wxTheApp) return kIdFailed;
  const unsigned buttons = style & kMbButtonMask;
  const wxString title = ToWx(caption.empty() ? kProgramName : caption);
  wxMessageDialog box(parent ? parent : DefaultParent(), ToWx(FitToScreen(text)), title,
                      ButtonStyle(buttons) | IconStyle(style) | wxCENTRE);
  if (buttons == kMbAbortRetryIgnore) box.SetYesNoCancelLabels("&Abort", "&Retry", "&Ignore");
  return Answer(buttons, box.ShowModal());
}

int WxMessageSink::Show(std::string_view text, std::string_view caption, unsigned style) {
  return RunMessageBox(nullptr, text, caption, style);
}

}  // namespace bw
