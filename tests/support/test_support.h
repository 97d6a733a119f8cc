// Helpers shared by the test suites: scratch folders, recorded message boxes, running programs.
#pragma once

#include <signal.h>
#include <sys/resource.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/message_box.h"

namespace bw::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Records every message box and answers with a fixed answer (the first button by default).
class RecordingMessageSink final : public MessageSink {
 public:
  struct Message {
    std::string text;
    std::string caption;
    unsigned style;
  };

  int Show(std::string_view text, std::string_view caption, unsigned style) override;

  std::vector<Message> messages;
  int answer = 0;  // 0: answer with DefaultAnswer(style)
};

// Installs a RecordingMessageSink for the lifetime of the object.
class CapturedMessages {
 public:
  CapturedMessages() : scope_(&sink_) {}
  const std::vector<RecordingMessageSink::Message>& messages() const { return sink_.messages; }
  std::vector<std::string> texts() const;
  void set_answer(int answer) { sink_.answer = answer; }
  void clear() { sink_.messages.clear(); }

 private:
  RecordingMessageSink sink_;
  ScopedMessageSink scope_;
};

struct CommandResult {
  int exit_code = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

// The strings as a null-terminated array for exec and posix_spawn; valid while `strings` lives.
std::vector<char*> ExecPointers(std::vector<std::string>& strings);
// Runs `argv` (no shell), capturing both output streams.
CommandResult RunCommand(const std::vector<std::string>& argv);
// Runs brookwave-cli with `args`.
CommandResult RunCli(const std::vector<std::string>& args);
// Runs ffmpeg quietly with `args`, overwriting its outputs; true when it succeeded.
bool RunFfmpeg(const std::vector<std::string>& args);
// The words of `text`, split at spaces (for options kept as one string).
std::vector<std::string> SplitWords(const std::string& text);
// True when `program` is found on PATH.
bool HaveProgram(std::string_view program);

// A program running in the background, its output to /dev/null (or both output streams to
// `stdoutPath`); killed with SIGKILL unless it ended first.
class BackgroundProcess {
 public:
  explicit BackgroundProcess(std::vector<std::string> argv, const std::string& stdoutPath = {});
  ~BackgroundProcess() { Kill(); }
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  bool started() const { return pid_ > 0; }
  // True while it runs.
  bool Running();
  void Signal(int signal) const;
  void Kill();
  // Waits for the end; its exit status (-1 when it did not exit normally or never ran).
  int Wait();

 private:
  pid_t pid_ = -1;
  int status_ = -1;
};

// The "data" chunk's size as the WAVE file at `path` says it, read leniently so that a file
// still being written can be watched: 0 while it is missing or its size is the placeholder.
uint32_t DataChunkSize(const std::string& path);

// How many file descriptors the test process has open (to check that nothing is left open).
std::size_t OpenFileDescriptorCount();

// Lowers the process's file size limit for a scope, so that writes fail as on a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes);
  ~FileSizeLimit() { Lift(); }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  void Lift();

 private:
  rlimit old_{};
  sighandler_t old_handler_{};
};

// The bytes of the file from offset `from` on (none when it is no longer).
std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path, std::uintmax_t from = 0);
void WriteFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
// The same for text, byte for byte.
std::string ReadFileText(const std::filesystem::path& path);
void WriteFileText(const std::filesystem::path& path, std::string_view text);

// Skips the current test when a peer program is missing (scripts/setup installs them all).
#define BW_REQUIRE_PROGRAM(program) \
  if (!::bw::test::HaveProgram(program)) GTEST_SKIP() << program << " is not installed"

}  // namespace bw::test
