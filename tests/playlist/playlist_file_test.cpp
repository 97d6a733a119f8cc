#include "playlist/playlist_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "support/test_support.h"

namespace bw {
namespace {

namespace fs = std::filesystem;
using test::CapturedMessages;
using test::TempDir;
using Lines = std::vector<std::string>;

std::vector<std::string> FileNames(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(PlayListLines, OnlyTheTerminatorIsRemoved) {
  using namespace std::string_literals;
  const std::pair<std::string, Lines> cases[] = {
      {"", {}},
      {"a\r\nb\nc", {"a", "b", "c"}},
      {"a\r\n\r\nb\r\n", {"a", "", "b"}},
      {"\n", {""}},
      {"  a b \t\r\n", {"  a b \t"}},
      {"a\r", {"a\r"}},
      {"a\r\r\n\rb\n", {"a\r", "\rb"}},
      {"\xE9t\xE9\0x\n"s, {"\xE9t\xE9\0x"s}},
  };
  for (const auto& [image, lines] : cases)
    EXPECT_EQ(SplitPlayListLines(image), lines) << testing::PrintToString(image);
  EXPECT_EQ(JoinPlayListLines(Lines{"a", "", "b"}), "a\r\n\r\nb\r\n");
}

class PlayListFileTest : public ::testing::Test {
 protected:
  TempDir dir_;
  fs::path list_ = dir_ / "songs.plf";
  CapturedMessages messages_;
};

TEST_F(PlayListFileTest, ReadsEveryLineAndLeavesMissingFilesToTheCaller) {
  test::WriteFileText(list_, "/music/one.wav\r\n\r\n/music/three.mp3");
  Lines entries;
  ASSERT_EQ(ReadPlayListFile(list_, entries), PlayListReadResult::kRead);
  EXPECT_EQ(entries, (Lines{"/music/one.wav", "", "/music/three.mp3"}));

  test::WriteFileText(list_, "");
  ASSERT_EQ(ReadPlayListFile(list_, entries), PlayListReadResult::kRead);
  EXPECT_TRUE(entries.empty());

  entries = {"kept"};
  EXPECT_EQ(ReadPlayListFile(dir_ / "none.plf", entries), PlayListReadResult::kMissing);
  EXPECT_EQ(ReadPlayListFile(dir_.path(), entries), PlayListReadResult::kMissing);
  EXPECT_FALSE(PlayListFileExists(dir_.path()));
  EXPECT_EQ(entries, Lines{"kept"});
  EXPECT_TRUE(messages_.messages().empty());
}

TEST_F(PlayListFileTest, AnEntryLongerThanAPathIsRefusedWithAMessageNamingTheFile) {
  const std::string longest(kMaxPlayListEntry, 'x');
  test::WriteFileText(list_, "a\r\n" + longest + "\r\n");
  Lines entries;
  ASSERT_EQ(ReadPlayListFile(list_, entries), PlayListReadResult::kRead);
  EXPECT_EQ(entries.size(), 2u);

  test::WriteFileText(list_, "a\r\n" + longest + "y\r\n");
  entries = {"kept"};
  EXPECT_EQ(ReadPlayListFile(list_, entries), PlayListReadResult::kEntryTooLong);
  EXPECT_EQ(entries, Lines{"kept"});
  ASSERT_EQ(messages_.messages().size(), 1u);
  EXPECT_NE(messages_.messages()[0].text.find(list_.string()), std::string::npos);
  EXPECT_NE(messages_.messages()[0].text.find("Line 2"), std::string::npos);
}

TEST_F(PlayListFileTest, AListPastTheCapsIsRefusedWithAMessageNamingTheFile) {
  test::WriteFileText(list_, std::string(kMaxPlayListEntries, '\n'));
  Lines entries;
  ASSERT_EQ(ReadPlayListFile(list_, entries), PlayListReadResult::kRead);
  EXPECT_EQ(entries.size(), kMaxPlayListEntries);

  test::WriteFileText(list_, std::string(kMaxPlayListEntries, '\n') + "one more");
  entries = {"kept"};
  EXPECT_EQ(ReadPlayListFile(list_, entries), PlayListReadResult::kTooLarge);
  EXPECT_EQ(entries, Lines{"kept"});
  ASSERT_EQ(messages_.messages().size(), 1u);
  EXPECT_NE(messages_.messages()[0].text.find(list_.string()), std::string::npos);
}

// A 2 GiB list (sparse: nothing but its size on the disk) read where memory is scarce: the
// read is refused with its message instead of taking all the memory there is.
TEST_F(PlayListFileTest, AHugeSparseListUnderAMemoryLimitIsRefusedNotHeld) {
  {
    test::WriteFileBytes(list_, {});
    ASSERT_EQ(::truncate(list_.c_str(), int64_t{2} << 30), 0);
  }
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // What the process already maps, and 256 MiB more (the sanitizers map much up front).
    long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
      std::fclose(statm);
    }
    const rlim_t limit = static_cast<rlim_t>(pages) * ::sysconf(_SC_PAGESIZE) + (rlim_t{256} << 20);
    const rlimit memory{limit, limit};
    if (pages == 0 || ::setrlimit(RLIMIT_AS, &memory) != 0) ::_exit(3);
    Lines entries;
    const PlayListReadResult result = ReadPlayListFile(list_, entries);
    const bool named = messages_.messages().size() == 1 &&
                       messages_.messages()[0].text.find(list_.string()) != std::string::npos;
    ::_exit(result == PlayListReadResult::kTooLarge && named ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the read ended the process (signal " << WTERMSIG(status)
                                 << ")";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(PlayListFileTest, WrittenListsReadBackIdenticallyAndEndWithCrLf) {
  test::WriteFileText(list_, "old\r\n");
  ASSERT_EQ(::chmod(list_.c_str(), 0640), 0);
  const Lines entries = {"/music/a b.wav", "", "/music/\xE9t\xE9.mp3", " trailing "};
  ASSERT_TRUE(WritePlayListFile(list_, entries));
  EXPECT_EQ(test::ReadFileText(list_),
            "/music/a b.wav\r\n\r\n/music/\xE9t\xE9.mp3\r\n trailing \r\n");
  Lines back;
  ASSERT_EQ(ReadPlayListFile(list_, back), PlayListReadResult::kRead);
  EXPECT_EQ(back, entries);
  EXPECT_EQ(fs::status(list_).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(FileNames(dir_.path()), Lines{"songs.plf"}) << "no temporary file is left";

  ASSERT_TRUE(WritePlayListFile(list_, Lines{}));
  EXPECT_EQ(test::ReadFileText(list_), "");
  EXPECT_TRUE(messages_.messages().empty());
}

TEST_F(PlayListFileTest, AWriteThatFailsLeavesTheOldListIntact) {
  test::WriteFileText(list_, "/music/old.wav\r\n");
  const Lines big(100, std::string(200, 'p'));

  // A disk that fills up part way: the file size limit makes the write come up short.
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 1024;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = WritePlayListFile(list_, big);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous_handler);

  EXPECT_FALSE(written);
  EXPECT_EQ(test::ReadFileText(list_), "/music/old.wav\r\n");
  EXPECT_EQ(FileNames(dir_.path()), Lines{"songs.plf"});
  ASSERT_EQ(messages_.messages().size(), 1u);
  EXPECT_NE(messages_.messages()[0].text.find(list_.string()), std::string::npos);
}

TEST_F(PlayListFileTest, ListsThatCannotBeStoredFaithfullyAreRefused) {
  test::WriteFileText(list_, "/music/old.wav\r\n");
  const Lines too_long = {std::string(kMaxPlayListEntry + 1, 'x')};
  const Lines line_break = {"/music/two\nlines.wav"};
  EXPECT_FALSE(WritePlayListFile(list_, too_long));
  EXPECT_FALSE(WritePlayListFile(list_, line_break));

  ASSERT_EQ(::chmod(list_.c_str(), 0444), 0);  // made read-only by its owner
  EXPECT_FALSE(WritePlayListFile(list_, Lines{"/music/new.wav"}));

  EXPECT_EQ(test::ReadFileText(list_), "/music/old.wav\r\n");
  EXPECT_EQ(messages_.messages().size(), 3u);
  for (const auto& message : messages_.messages())
    EXPECT_NE(message.text.find(list_.string()), std::string::npos) << message.text;
}

TEST_F(PlayListFileTest, WritingThroughASymbolicLinkKeepsTheLink) {
  test::WriteFileText(list_, "old\r\n");
  const auto link = dir_ / "link.plf";
  fs::create_symlink(list_, link);
  ASSERT_TRUE(WritePlayListFile(link, Lines{"new"}));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(test::ReadFileText(list_), "new\r\n");
}

TEST_F(PlayListFileTest, CreateIfAbsentNeverTouchesAnExistingList) {
  ASSERT_TRUE(CreatePlayListFileIfAbsent(list_));
  EXPECT_TRUE(PlayListFileExists(list_));
  EXPECT_EQ(test::ReadFileText(list_), "");

  test::WriteFileText(list_, "kept\r\n");
  ASSERT_TRUE(CreatePlayListFileIfAbsent(list_));
  EXPECT_EQ(test::ReadFileText(list_), "kept\r\n");
  EXPECT_TRUE(messages_.messages().empty());

  const auto unreachable = dir_ / "no-such-folder" / "new.plf";
  EXPECT_FALSE(CreatePlayListFileIfAbsent(unreachable));
  ASSERT_EQ(messages_.messages().size(), 1u);
  EXPECT_NE(messages_.messages()[0].text.find(unreachable.string()), std::string::npos);
}

}  // namespace
}  // namespace bw
