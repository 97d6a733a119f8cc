#include "view/dialogs/message_box.h"

#include <gtk/gtk.h>
#include <wx/app.h>
#include <wx/msgdlg.h>
#include <wx/window.h>

#include <optional>
#include <string>
#include <utility>
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

// The whole of a shortened text, selectable, in a scrolled view under a collapsed expander: the
// box keeps the size of its short text until the reader opens it, and then grows only by the
// view's fixed size.
void AddWholeText(GtkWindow* box, const std::string& text) {
  GtkWidget* view = gtk_text_view_new();
  gtk_text_view_set_editable(GTK_TEXT_VIEW(view), FALSE);
  // Wrapped anywhere: wrapping between words first takes Pango a minute for a 120,000-character
  // run without a break, wrapping between characters under a second.
  gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(view), GTK_WRAP_CHAR);
  gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(view)), text.c_str(),
                           static_cast<gint>(text.size()));
  GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_NEVER,
                                 GTK_POLICY_AUTOMATIC);
  gtk_widget_set_size_request(scrolled, 420, 160);
  gtk_container_add(GTK_CONTAINER(scrolled), view);
  GtkWidget* expander = gtk_expander_new_with_mnemonic("_Whole text");
  gtk_container_add(GTK_CONTAINER(expander), scrolled);
  gtk_box_pack_start(GTK_BOX(gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(box))),
                     expander, FALSE, FALSE, 0);
  gtk_widget_show_all(expander);
  // The expander comes before the buttons: Enter still answers the box, not opens the text.
  if (GtkWidget* answer = gtk_window_get_default_widget(box)) gtk_widget_grab_focus(answer);
}

// wx makes the GTK box only inside ShowModal: the whole text is added as the box is shown.
class WholeTextOnShow {
 public:
  WholeTextOnShow(wxMessageDialog& box, std::string text)
      : m_box(box),
        m_text(std::move(text)),
        m_signal(g_signal_lookup("show", GTK_TYPE_WIDGET)),
        m_hook(g_signal_add_emission_hook(m_signal, 0, &WholeTextOnShow::OnShow, this, nullptr)) {}
  ~WholeTextOnShow() {
    if (m_hook != 0) g_signal_remove_emission_hook(m_signal, m_hook);
  }
  WholeTextOnShow(const WholeTextOnShow&) = delete;
  WholeTextOnShow& operator=(const WholeTextOnShow&) = delete;

 private:
  static gboolean OnShow(GSignalInvocationHint*, guint, const GValue* values, gpointer self) {
    auto& hook = *static_cast<WholeTextOnShow*>(self);
    GtkWidget* shown = GTK_WIDGET(g_value_get_object(&values[0]));
    if (shown != hook.m_box.GetHandle() || !GTK_IS_MESSAGE_DIALOG(shown)) return TRUE;
    hook.m_hook = 0;  // removed by returning false
    AddWholeText(GTK_WINDOW(shown), hook.m_text);
    return FALSE;
  }

  wxMessageDialog& m_box;
  std::string m_text;
  guint m_signal;
  gulong m_hook;
};

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
  const std::string shown = FitToScreen(text);
  wxMessageDialog box(parent ? parent : DefaultParent(), ToWx(shown), title,
                      ButtonStyle(buttons) | IconStyle(style) | wxCENTRE);
  if (buttons == kMbAbortRetryIgnore) box.SetYesNoCancelLabels("&Abort", "&Retry", "&Ignore");
  std::optional<WholeTextOnShow> wholeText;
  if (shown != text) wholeText.emplace(box, FromWx(ToWx(text)));
  return Answer(buttons, box.ShowModal());
}

int WxMessageSink::Show(std::string_view text, std::string_view caption, unsigned style) {
  return RunMessageBox(nullptr, text, caption, style);
}

}  // namespace bw
