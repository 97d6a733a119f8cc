#include "support/test_support.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <thread>

#include "platform/wave_format.h"

extern char** environ;

namespace bw::test {

TempDir::TempDir() {
  std::random_device rd;
  const auto base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = base / ("bwtest-" + std::to_string(getpid()) + "-" + std::to_string(rd()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

int RecordingMessageSink::Show(std::string_view text, std::string_view caption, unsigned style) {
  messages.push_back({std::string(text), std::string(caption), style});
  return answer != 0 ? answer : DefaultAnswer(style);
}

std::vector<std::string> CapturedMessages::texts() const {
  std::vector<std::string> out;
  for (const auto& m : sink_.messages)
    out.push_back(m.text);
  return out;
}

namespace {

std::string ReadAll(int fd) {
  std::string out;
  std::array<char, 65536> buf;
  for (;;) {
    const ssize_t n = read(fd, buf.data(), buf.size());
    if (n <= 0) break;
    out.append(buf.data(), static_cast<std::size_t>(n));
  }
  return out;
}

}  // namespace

std::vector<char*> ExecPointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (std::string& s : strings)
    out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

CommandResult RunCommand(const std::vector<std::string>& argv) {
  int out_pipe[2];
  int err_pipe[2];
  // Close-on-exec, so that a command started meanwhile by another thread does not hold the
  // write ends open (the read would wait for that command to end).
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  posix_spawn_file_actions_addclose(&actions, out_pipe[0]);
  posix_spawn_file_actions_addclose(&actions, err_pipe[0]);
  std::vector<char*> args;
  for (const auto& a : argv)
    args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out_pipe[1]);
  close(err_pipe[1]);
  CommandResult result;
  if (rc == 0) {
    std::string err;
    std::thread err_reader([&] { err = ReadAll(err_pipe[0]); });
    result.out = ReadAll(out_pipe[0]);
    err_reader.join();
    result.err = std::move(err);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  close(out_pipe[0]);
  close(err_pipe[0]);
  return result;
}

CommandResult RunCli(const std::vector<std::string>& args) {
  std::vector<std::string> argv{BW_CLI_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunCommand(argv);
}

bool RunFfmpeg(const std::vector<std::string>& args) {
  std::vector<std::string> argv{"ffmpeg", "-nostdin", "-v", "error", "-y"};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunCommand(argv).exit_code == 0;
}

std::vector<std::string> SplitWords(const std::string& text) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t space = std::min(text.find(' ', at), text.size());
    if (space > at) out.push_back(text.substr(at, space - at));
    at = space + 1;
  }
  return out;
}

bool HaveProgram(std::string_view program) {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::string_view rest(path);
  while (!rest.empty()) {
    const auto colon = rest.find(':');
    const std::filesystem::path dir(std::string(rest.substr(0, colon)));
    if (access((dir / program).c_str(), X_OK) == 0) return true;
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return false;
}

std::size_t OpenFileDescriptorCount() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++count;
  return count;
}

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path, std::uintmax_t from) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(from));
  // Read to the end rather than to the size the file has, which /proc's files give as 0.
  std::vector<uint8_t> bytes;
  char chunk[1 << 16];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0)
    bytes.insert(bytes.end(), chunk, chunk + in.gcount());
  return bytes;
}

void WriteFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFileText(const std::filesystem::path& path) {
  const std::vector<uint8_t> bytes = ReadFileBytes(path);
  return {bytes.begin(), bytes.end()};
}

void WriteFileText(const std::filesystem::path& path, std::string_view text) {
  WriteFileBytes(path, {text.begin(), text.end()});
}

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
  old_handler_ = signal(SIGXFSZ, SIG_IGN);
  getrlimit(RLIMIT_FSIZE, &old_);
  rlimit lowered = old_;
  lowered.rlim_cur = bytes;
  setrlimit(RLIMIT_FSIZE, &lowered);
}

void FileSizeLimit::Lift() {
  setrlimit(RLIMIT_FSIZE, &old_);
  signal(SIGXFSZ, old_handler_);
}

BackgroundProcess::BackgroundProcess(std::vector<std::string> argv, const std::string& stdoutPath) {
  std::vector<char*> pointers = ExecPointers(argv);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1,
                                   stdoutPath.empty() ? "/dev/null" : stdoutPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (stdoutPath.empty())
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  else
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
  if (posix_spawnp(&pid_, pointers[0], &actions, nullptr, pointers.data(), environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
}

bool BackgroundProcess::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  pid_ = -1;
  return false;
}

void BackgroundProcess::Signal(int signal) const {
  if (pid_ > 0) kill(pid_, signal);
}

void BackgroundProcess::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

int BackgroundProcess::Wait() {
  if (pid_ > 0) {
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    pid_ = -1;
  }
  return status_;
}

uint32_t DataChunkSize(const std::string& path) {
  std::error_code ec;
  const uint64_t length = std::filesystem::file_size(path, ec);
  std::vector<uint8_t> head(256);
  std::ifstream in(path, std::ios::binary);
  in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  for (std::size_t at = 12; !ec && at + 8 <= head.size();) {
    const uint32_t size = LoadLe32(&head[at + 4]);
    if (std::equal(head.begin() + at, head.begin() + at + 4, "data"))
      return at + 8 + size <= length ? size : 0;
    at += 8 + size + (size & 1);
  }
  return 0;
}

}  // namespace bw::test
