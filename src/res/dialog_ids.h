// The numbers of the dialog templates and of their controls. The XRC files in dialogs/ name
// every template and control; RegisterDialogIds() binds each name to its fixed number before a
// template is loaded, so that XRCID("IDC_EQ_RESET") and the control's GetId() are 1099 and the
// code can use the same numbers as enumerators. Several pages reuse a number for different
// controls (1050 is "Multi" on one page and the size field on another); names stay unique.
#pragma once

namespace bw::res {

#define BW_DIALOG_IDS(X)                                                  \
  /* About box (dialog 100). */                                           \
  X(IDD_ABOUTBOX, 100)                                                    \
  X(IDC_ABOUT_PICTURE, 1100)                                              \
  /* Playback sheet: General (141). */                                    \
  X(IDD_PROPPAGE_P1, 141)                                                 \
  X(IDC_SEL_START, 1043)                                                  \
  X(IDC_SEL_STOP, 1005)                                                   \
  X(IDC_AUTOPLAY, 1047)                                                   \
  X(IDC_SYNCPLAY, 1051)                                                   \
  X(IDC_AUTOSTOP, 1044)                                                   \
  X(IDC_AUTOREPEAT, 1046)                                                 \
  X(IDC_FADEIN, 1048)                                                     \
  X(IDC_FADEOUT, 1049)                                                    \
  X(IDC_MODE_SINGLE, 1045)                                                \
  X(IDC_MODE_MULTI, 1050)                                                 \
  X(IDC_GENERAL_ICON1, 1077)                                              \
  X(IDC_GENERAL_ICON2, 1078)                                              \
  /* File pages (142 and 146). */                                         \
  X(IDD_PROPPAGE_FILE, 142)                                               \
  X(IDC_FILE_NAME, 1067)                                                  \
  X(IDC_FILE_CHANNELS, 1071)                                              \
  X(IDC_FILE_SAMPLES, 1072)                                               \
  X(IDC_FILE_AVGBYTES, 1073)                                              \
  X(IDC_FILE_FORMAT, 1070)                                                \
  X(IDC_FILE_DATE, 1069)                                                  \
  X(IDC_FILE_SIZE, 1050)                                                  \
  /* Playback sheet: Device (143), Advanced (144), Equaliser (175). */    \
  X(IDD_PROPPAGE_P3, 143)                                                 \
  X(IDC_PLAY_DRIVER, 1011)                                                \
  X(IDD_PROPPAGE_P4, 144)                                                 \
  X(IDC_VOLUME_MIN, 1074)                                                 \
  X(IDC_VOLUME_MAX, 1075)                                                 \
  X(IDC_FREQUENCY_MIN, 1076)                                              \
  X(IDC_FREQUENCY_MAX, 1077)                                              \
  X(IDC_BALANCE_MIN, 1078)                                                \
  X(IDC_BALANCE_MAX, 1079)                                                \
  X(IDC_VELOCITY_MIN, 1080)                                               \
  X(IDC_VELOCITY_MAX, 1081)                                               \
  X(IDD_PROPPAGE_P5, 175)                                                 \
  X(IDC_BAND7, 1087)                                                      \
  X(IDC_BAND2, 1088)                                                      \
  X(IDC_BAND5, 1089)                                                      \
  X(IDC_BAND6, 1090)                                                      \
  X(IDC_BAND4, 1091)                                                      \
  X(IDC_BAND0, 1092)                                                      \
  X(IDC_BAND3, 1093)                                                      \
  X(IDC_BAND1, 1094)                                                      \
  X(IDC_EQ_RESET, 1099)                                                   \
  /* Record sheet: General (145), Device (147), Advanced (148). */        \
  X(IDD_PROPPAGE_R1, 145)                                                 \
  X(IDC_STANDARD_STOP, 1079)                                              \
  X(IDC_FORCE_STOP, 1080)                                                 \
  X(IDC_STOP_LIMIT, 1081)                                                 \
  X(IDD_PROPPAGE_R3, 147)                                                 \
  X(IDC_REC_DRIVER, 1017)                                                 \
  X(IDD_PROPPAGE_R4, 148)                                                 \
  X(IDC_VOICE_ACTIVATED, 1047)                                            \
  X(IDC_THRESHOLD, 1086)                                                  \
  X(IDC_ACTIVATION_ICON, 1085)                                            \
  /* Open File (151): the file browser stands where group box 1119 is. */ \
  X(IDD_OPENFILE, 151)                                                    \
  X(IDC_BROWSER_PLACE, 1119)                                              \
  /* PlayList Editor (150): the browser stands where 1119 is as well. */  \
  X(IDD_PLAYLIST_EDITOR, 150)                                             \
  X(IDC_EDITOR_FILE_NAME, 1007)                                           \
  X(IDC_EDITOR_DELETE, 1052)                                              \
  X(IDC_EDITOR_ADD, 1054)                                                 \
  X(IDC_EDITOR_LIST, 1055)                                                \
  X(IDC_EDITOR_ADD_ALL, 1057)                                             \
  X(IDC_EDITOR_USE_LIST, 1060)                                            \
  X(IDC_EDITOR_MOVE_UP, 1062)                                             \
  X(IDC_EDITOR_MOVE_DOWN, 1063)                                           \
  X(IDC_EDITOR_CLEAR_LIST, 1064)                                          \
  X(IDC_EDITOR_LIST_FILE, 1066)                                           \
  /* The format chooser. */                                               \
  X(IDD_FORMAT_CHOOSER, 180)                                              \
  X(IDC_CHOOSER_TAG, 1201)                                                \
  X(IDC_CHOOSER_FORMAT, 1202)                                             \
  /* The main window's form (template 101): the numbers of view_ids.h. */ \
  X(IDD_FORMVIEW, 101)                                                    \
  X(IDC_VOLUME, 1000)                                                     \
  X(IDC_LBAR, 1002)                                                       \
  X(IDC_RBAR, 1003)                                                       \
  X(IDC_FREQUENCY_BOX, 1008)                                              \
  X(IDC_BALANCE, 1009)                                                    \
  X(IDC_FREQUENCY, 1010)                                                  \
  X(IDC_VELOCITY, 1011)                                                   \
  X(IDC_POSITION, 1039)                                                   \
  X(IDC_TIME_START, 1040)                                                 \
  X(IDC_CHANNELS_BOX, 1042)                                               \
  X(IDC_TIME_END, 1043)                                                   \
  X(IDC_POSITION_BOX, 1044)

enum DialogId : int {
#define BW_DIALOG_ID_ENUM(name, value) name = value,
  BW_DIALOG_IDS(BW_DIALOG_ID_ENUM)
#undef BW_DIALOG_ID_ENUM
};

// Binds every name above to its number in the XRC id table. Called before the first template
// is loaded; calling it again changes nothing.
void RegisterDialogIds();

}  // namespace bw::res
