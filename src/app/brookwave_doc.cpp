#include "app/brookwave_doc.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wx/filename.h>
#include <wx/log.h>

#include <string>

#include "view/dialogs/wx_text.h"

namespace bw {

wxIMPLEMENT_DYNAMIC_CLASS(CBrookwaveDoc, wxDocument);

bool CBrookwaveDoc::OnNewDocument() {
  if (!wxDocument::OnNewDocument()) return false;
  // The base takes the title for a file name too; the view must not take it for a path.
  SetFilename(wxString(), false);
  return true;
}

bool CBrookwaveDoc::OnOpenDocument(const wxString& filename) {
  if (!wxDocument::OnOpenDocument(filename)) return false;
  SetTitle(ToWx(PathFromWx(wxFileName(filename).GetFullName())));
  return true;
}

// Opened and closed again, never read. Without O_NONBLOCK a named pipe would hold the start-up
// until something wrote to it; a pipe or a device is no sound file anyway.
bool CBrookwaveDoc::DoOpenDocument(const wxString& file) {
  const std::string path = PathFromWx(file);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  struct stat info {};
  const bool regular = fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (fd >= 0) ::close(fd);
  if (regular) return true;
  if (fd >= 0)
    wxLogError(_("File \"%s\" is not a regular file."), ToWx(path));
  else
    wxLogError(_("File \"%s\" could not be opened for reading."), ToWx(path));
  return false;
}

}  // namespace bw
