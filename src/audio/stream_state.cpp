#include "audio/stream_state.h"

namespace bw {

void StreamState::ClearFlags() {
  for (std::atomic<int32_t>* flag :
       {&fileOpen, &recordTargetReady, &paused, &converting, &playing, &recording, &haltRequested,
        &endOfData, &selectionSet, &selectionPlay, &lastError})
    *flag = 0;
  selectionStart = 0;
  selectionEnd = 0;
  playListPath.clear();
  playListOpen = 0;
  playListInUse = 0;
  playListCount = 0;
  playListIndex = 0;
  playListNamed = 0;
}

}  // namespace bw
