// The view's private messages, posted through a MessageTarget by the code below the view that
// sends them (the playback and capture threads, the play list editor, the file dialogs) and
// handled by the view's core. The values are those stored and exchanged with other programs,
// so they never change.
#pragma once

#include <cstdint>

namespace bw {

enum ViewMessage : uint32_t {
  WM_PLAYFILE_CHOSEN = 0x406,
  WM_PLAYLIST_EDITED = 0x407,
  WM_RECORD_PAGE_NOTICE = 0x409,  // sent by the record sheet's first page; ignored
  WM_APPLY_PLAY_PROPERTIES = 0x40A,
  WM_REMOTE_STOP = 0x40B,
  WM_REMOTE_PLAY = 0x40C,
  WM_REMOTE_CODE_200 = 0x40D,  // remote codes without a meaning; ignored
  WM_REMOTE_CODE_300 = 0x40E,
  WM_REMOTE_COMMAND = 0x40F,  // the main frame's, from other programs
  WM_STREAM_END = 0x500,
  WM_LEVEL_METER = 0x502,
  WM_UNUSED_503 = 0x503,  // nobody sends it; ignored
};

}  // namespace bw
