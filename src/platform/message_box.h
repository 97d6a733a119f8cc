// Message boxes for code that has no window of its own.
//
// The engine reports its fixed-text errors ("Open Failed Critical Error", "Error opening file:
// ...") through ShowMessageBox. Which sink shows them is chosen by the program: the desktop shell
// installs one that opens a real dialog, brookwave-cli one that writes to stderr, tests one that
// records. Called on the user-interface thread only; worker threads never show messages.
#pragma once

#include <string>
#include <string_view>

namespace bw {

// Button sets, icons and answers, with the values the rest of the system stores and compares.
enum MessageBoxStyle : unsigned {
  kMbOk = 0x0,
  kMbOkCancel = 0x1,
  kMbAbortRetryIgnore = 0x2,
  kMbYesNoCancel = 0x3,
  kMbYesNo = 0x4,
  kMbIconError = 0x10,
  kMbIconQuestion = 0x20,
  kMbIconExclamation = 0x30,
  kMbIconInformation = 0x40,
};
// The caption of the program's own message boxes.
inline constexpr std::string_view kProgramCaption = "Brookwave";

inline constexpr unsigned kMbButtonMask = 0x0F;
inline constexpr unsigned kMbIconMask = 0xF0;

enum MessageBoxAnswer : int {
  kIdFailed = 0,  // the box could not be shown
  kIdOk = 1,
  kIdCancel = 2,
  kIdAbort = 3,
  kIdRetry = 4,
  kIdIgnore = 5,
  kIdYes = 6,
  kIdNo = 7,
};

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // Shows one message and returns the answer (kIdFailed if it could not be shown).
  virtual int Show(std::string_view text, std::string_view caption, unsigned style) = 0;
};

// Shows a message through the installed sink; with none installed, through a sink that writes
// "caption: text" to stderr and answers with the box's first button.
int ShowMessageBox(std::string_view text, std::string_view caption = {}, unsigned style = kMbOk);

// Installs `sink` (not owned; nullptr restores the stderr sink) and returns the previous one.
MessageSink* SetMessageSink(MessageSink* sink);

// The first button of a button set: what a user who just presses Enter would answer.
int DefaultAnswer(unsigned style);

// Installs a sink for the lifetime of a scope (tests, the command-line program).
class ScopedMessageSink {
 public:
  explicit ScopedMessageSink(MessageSink* sink) : previous_(SetMessageSink(sink)) {}
  ~ScopedMessageSink() { SetMessageSink(previous_); }
  ScopedMessageSink(const ScopedMessageSink&) = delete;
  ScopedMessageSink& operator=(const ScopedMessageSink&) = delete;

 private:
  MessageSink* previous_;
};

}  // namespace bw
