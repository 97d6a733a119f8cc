// The conversion side of the view's commands: Import's temporary file.
#include <filesystem>

#include "view/view_core.h"

namespace bw {

void CBrookwaveViewCore::DeleteImportTempFile() {
  const std::string& path = m_stream.importTempPath;
  std::error_code ec;
  if (!path.empty()) std::filesystem::remove(path, ec);
}

}  // namespace bw
