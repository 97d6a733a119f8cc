// The numbers by which the window, its menus, bars and dialogs and the view's core name
// commands, controls and private messages. The values are those stored and exchanged with
// other programs, so they never change.
#pragma once

#include <cstdint>

#include "platform/view_messages.h"

namespace bw {

// Commands (menus 128, 155 and 159, toolbars, accelerators).
enum CommandId : int {
  ID_FILE_NEW = 57600,
  ID_FILE_OPEN = 57601,
  ID_FILE_CLOSE = 57602,
  ID_FILE_SAVE = 57603,
  ID_FILE_SAVE_AS = 57604,  // File > Export
  ID_FILE_IMPORT = 32823,
  ID_FILE_MRU_FIRST = 57616,
  ID_FILE_MRU_LAST = 57631,
  ID_APP_EXIT = 57665,
  ID_APP_ABOUT = 57664,
  ID_EDIT_UNDO = 57643,
  ID_EDIT_COPY = 57634,
  ID_EDIT_CUT = 57635,
  ID_EDIT_PASTE = 57637,
  ID_NEXT_PANE = 57680,
  ID_PREV_PANE = 57681,
  ID_SELECTION_FROM = 32794,
  ID_SELECTION_TO = 32795,
  ID_SELECTION_CLEAR = 32804,
  ID_SELECTION_USE = 32805,
  ID_AUTOPLAY = 32819,
  ID_VIEW_TOOLBAR = 59392,
  ID_VIEW_PLAYBAR = 32815,
  ID_VIEW_STATUS_BAR = 59393,
  ID_PROPERTIES_PLAYBACK = 32797,
  ID_PROPERTIES_RECORD = 32798,
  ID_PLAY = 32776,
  ID_STOP = 32778,
  ID_PAUSE = 32777,
  ID_RECORD = 32779,
  ID_FIRST = 32782,
  ID_REVERSE = 32784,
  ID_FORWARD = 32785,
  ID_LAST = 32783,
  ID_REPEAT_SONG = 32802,
  ID_PLAYLIST_NEW = 32791,
  ID_PLAYLIST_OPEN = 32792,
  ID_PLAYLIST_CLOSE = 32793,
  ID_PLAYLIST_EDIT = 32807,
  ID_PLAYLIST_IN_USE = 32801,
  ID_PLAYLIST_REPEAT = 32816,
};

// Controls of the form (template 101).
enum ControlId : int {
  IDC_VOLUME = 1000,
  IDC_LBAR = 1002,
  IDC_RBAR = 1003,
  IDC_FREQUENCY_BOX = 1008,
  IDC_BALANCE = 1009,
  IDC_FREQUENCY = 1010,
  IDC_VELOCITY = 1011,
  IDC_POSITION = 1039,
  IDC_TIME_START = 1040,
  IDC_CHANNELS_BOX = 1042,
  IDC_TIME_END = 1043,
  IDC_POSITION_BOX = 1044,
};

// The private messages of the view are in platform/view_messages.h.

// Trackbar scroll codes the view's slider handling relies on.
enum ScrollCode : int {
  TB_LINEUP = 0,
  TB_LINEDOWN = 1,
  TB_PAGEUP = 2,
  TB_PAGEDOWN = 3,
  TB_THUMBPOSITION = 4,
  TB_THUMBTRACK = 5,
  TB_TOP = 6,
  TB_BOTTOM = 7,
  TB_ENDTRACK = 8,
};

inline constexpr int kPlaybackTimerId = 1;
inline constexpr int kPlaybackTimerMs = 100;

}  // namespace bw
