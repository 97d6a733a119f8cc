// What the two property sheets exchange with the view: the members of their pages. The view
// fills them from its working values before a sheet runs and reads them back after OK; the
// desktop shell's pages show and edit them. Used on the user-interface thread only.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace bw {

// "General" (template 141).
struct CPageP1Data {
  int32_t m_nStart = 0;
  int32_t m_nStop = 0;
  int32_t m_bAutoPlay = 0;
  int32_t m_bSyncPlay = 0;
  int32_t m_nRepeat = -1;
  int32_t m_bFadeIn = 0;
  int32_t m_bFadeOut = 0;
  int32_t m_nMode = -1;
};

// "File" (templates 142 and 146): facts about the open file or the record target.
struct CPageFileData {
  std::string m_strFile;
  int32_t m_nChannels = 0;
  int32_t m_nSamplesPerSec = 0;
  int32_t m_nAvgBytesPerSec = 0;
  std::string m_strFormat;
  std::string m_strDate;
  int32_t m_nSize = 0;
};

// "Device" (templates 143 and 147): the chosen item's text, whose last 48 characters carry the
// device's four identifier words.
struct CPageDeviceData {
  std::string m_strDevice;
};

// "Advanced" (template 144).
struct CPageP4Data {
  int32_t m_nVolumeMin = -10000;
  int32_t m_nVolumeMax = 0;
  int32_t m_nFrequencyMin = 100;
  int32_t m_nFrequencyMax = 100000;
  int32_t m_nBalanceMin = -10000;
  int32_t m_nBalanceMax = 10000;
  int32_t m_nVelocityMin = -6;
  int32_t m_nVelocityMax = 6;
};

// "Equaliser" (template 175) and the record sheet's hidden equaliser page (template 176).
struct CPageEqualiserData {
  std::array<int32_t, 8> m_nBand{1, 1, 1, 1, 1, 1, 1, 1};
};

struct PlaySheetData {
  CPageP1Data general;           // CPageP1
  CPageFileData file;            // CPageP2
  CPageDeviceData device;        // CPageP3
  CPageP4Data advanced;          // CPageP4
  CPageEqualiserData equaliser;  // CPageP5
};

// "General" (template 145).
struct CPageR1Data {
  int32_t m_nStopMode = 0;
  int32_t m_nStopLimit = 0;
};

// "Advanced" (template 148).
struct CPageR4Data {
  int32_t m_bVoiceActivated = 0;
  int32_t m_nThreshold = 0;
};

struct RecordSheetData {
  CPageR1Data general;           // CPageR1
  CPageFileData file;            // CPageR2
  CPageDeviceData device;        // CPageR3
  CPageR4Data advanced;          // CPageR4
  CPageEqualiserData equaliser;  // CPageR5, never shown
};

}  // namespace bw
