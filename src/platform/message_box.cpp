#include "platform/message_box.h"

#include <atomic>
#include <cstdio>

namespace bw {
namespace {

class StderrSink final : public MessageSink {
 public:
  int Show(std::string_view text, std::string_view caption, unsigned style) override {
    std::string line;
    if (!caption.empty()) line.append(caption).append(": ");
    line.append(text);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
      line.pop_back();
    line.push_back('\n');
    std::fputs(line.c_str(), stderr);
    return DefaultAnswer(style);
  }
};

StderrSink g_stderr_sink;
std::atomic<MessageSink*> g_sink{nullptr};

}  // namespace

int DefaultAnswer(unsigned style) {
  switch (style & kMbButtonMask) {
    case kMbAbortRetryIgnore:
      return kIdAbort;
    case kMbYesNoCancel:
    case kMbYesNo:
      return kIdYes;
    default:
      return kIdOk;
  }
}

int ShowMessageBox(std::string_view text, std::string_view caption, unsigned style) {
  MessageSink* sink = g_sink.load(std::memory_order_acquire);
  return (sink ? *sink : static_cast<MessageSink&>(g_stderr_sink)).Show(text, caption, style);
}

MessageSink* SetMessageSink(MessageSink* sink) {
  return g_sink.exchange(sink, std::memory_order_acq_rel);
}

}  // namespace bw
