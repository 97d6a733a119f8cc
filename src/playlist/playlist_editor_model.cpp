#include "playlist/playlist_editor_model.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "platform/message_box.h"
#include "platform/view_messages.h"
#include "playlist/playlist_file.h"

namespace bw {
namespace {

constexpr std::string_view kWavePattern = "*.wav";

// "*.wav" as the file dialog's own search matched it: the extension in any case.
bool MatchesWavePattern(std::string_view name) {
  constexpr std::string_view kExtension = ".wav";
  if (name.size() < kExtension.size()) return false;
  return std::equal(
      kExtension.begin(), kExtension.end(), name.end() - kExtension.size(),
      [](char want, char got) { return want == std::tolower(static_cast<unsigned char>(got)); });
}

}  // namespace

bool PlayListEditorModel::OnInitDone() {
  m_nFileOkResult = -1;
  m_entries.clear();
  m_selection.reset();
  if (!CheckPlayListReadWrite(m_strPlayListFile)) return false;
  std::vector<std::string> lines;
  if (ReadPlayListFile(m_strPlayListFile, lines, OverlongEntries::kKeep) !=
      PlayListReadResult::kRead)
    return false;
  m_entries = std::move(lines);
  return true;
}

void PlayListEditorModel::Select(std::optional<std::size_t> index) {
  if (index && *index >= m_entries.size()) return;
  m_selection = index;
}

bool PlayListEditorModel::Append(const std::string& entry, const std::string& shownName) {
  if (!IsStorableEntry(entry)) {
    ShowMessageBox("Unable to Add file " + shownName + "\n", kProgramCaption, kMbOk);
    return false;
  }
  m_entries.push_back(entry);
  return true;
}

bool PlayListEditorModel::OnAdd(const std::string& path) {
  return !path.empty() && Append(path, path);
}

int PlayListEditorModel::OnFileNameOK(const std::string& path) {
  OnAdd(path);
  return m_nFileOkResult;
}

void PlayListEditorModel::OnAddAll(const std::filesystem::path& folder) {
  const std::string question =
      "Are you sure you want to Add all " + std::string(kWavePattern) + " files?";
  if (ShowMessageBox(question, kProgramCaption, kMbYesNo | kMbIconQuestion) != kIdYes) return;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!MatchesWavePattern(name)) continue;
    if (!Append((folder / name).string(), name)) return;
  }
}

void PlayListEditorModel::OnDelete() {
  if (!m_selection) return;
  m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(*m_selection));
  m_selection.reset();
}

void PlayListEditorModel::OnClearList() {
  m_entries.clear();
  m_selection.reset();
}

void PlayListEditorModel::MoveSelected(bool up) {
  if (!m_selection) return;
  const std::size_t from = *m_selection;
  // The ends stay where they are: there is no place before the first entry or after the last.
  if (up ? from == 0 : from + 1 >= m_entries.size()) return;
  const std::size_t to = up ? from - 1 : from + 1;
  std::swap(m_entries[from], m_entries[to]);
  m_selection = to;
}

void PlayListEditorModel::OnMoveUp() {
  MoveSelected(true);
}

void PlayListEditorModel::OnMoveDown() {
  MoveSelected(false);
}

bool PlayListEditorModel::OnUseList() {
  if (m_entries.empty()) return false;
  m_pView->PostMessage(WM_PLAYLIST_EDITED, 1, 0);
  m_nFileOkResult = 0;
  return true;
}

}  // namespace bw
