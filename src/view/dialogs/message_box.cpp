#include "view/dialogs/message_box.h"

#include <wx/app.h>
#include <wx/msgdlg.h>
#include <wx/window.h>

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
  wxMessageDialog box(parent ? parent : DefaultParent(), ToWx(text), title,
                      ButtonStyle(buttons) | IconStyle(style) | wxCENTRE);
  if (buttons == kMbAbortRetryIgnore) box.SetYesNoCancelLabels("&Abort", "&Retry", "&Ignore");
  return Answer(buttons, box.ShowModal());
}

int WxMessageSink::Show(std::string_view text, std::string_view caption, unsigned style) {
  return RunMessageBox(nullptr, text, caption, style);
}

}  // namespace bw
