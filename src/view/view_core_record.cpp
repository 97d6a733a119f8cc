// The recording side of the view's commands: the branches of Stop and File Close that end a
// recording or give up a prepared record target.
#include "view/view_core.h"

namespace bw {

void CBrookwaveViewCore::EndRecording() {
  m_stream.paused = 0;
  m_stream.recording = 0;
  m_stream.recordTargetReady = 0;
}

void CBrookwaveViewCore::AbandonRecordTarget() {
  m_stream.recordTargetReady = 0;
  m_stream.recording = 0;
}

void CBrookwaveViewCore::CloseCapture() {
  m_stream.recordTargetReady = 0;
}

}  // namespace bw
