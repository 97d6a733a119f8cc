#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace bw {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

TEST(DevicesCommandTest, ListsPlaybackThenCaptureWithIdsThatStayTheSame) {
  const test::CommandResult first = test::RunCli({"devices", "--backend", "virtual"});
  ASSERT_EQ(first.exit_code, 0) << first.err;
  const std::vector<std::string> lines = Lines(first.out);
  ASSERT_EQ(lines.size(), 4u) << first.out;
  EXPECT_EQ(lines[0], "Playback devices:");
  EXPECT_EQ(lines[2], "Capture devices:");
  // The description, then the four words as the Device pages store them.
  const std::regex device(R"(  (.+)  ([ \d]{11}) ([ \d]{11}) ([ \d]{11}) ([ \d]{11}))");
  std::smatch out, in;
  ASSERT_TRUE(std::regex_match(lines[1], out, device)) << lines[1];
  ASSERT_TRUE(std::regex_match(lines[3], in, device)) << lines[3];
  EXPECT_EQ(out[1], "Virtual output");
  EXPECT_EQ(in[1], "Virtual input");
  EXPECT_NE(out.str(2) + out.str(3), in.str(2) + in.str(3));

  EXPECT_EQ(test::RunCli({"devices", "--backend", "virtual"}).out, first.out);
  const test::CommandResult null = test::RunCli({"devices", "--backend", "null"});
  EXPECT_EQ(null.exit_code, 0);
  EXPECT_NE(null.out, first.out);
  EXPECT_EQ(test::RunCli({"devices", "--backend", "loud"}).exit_code, 2);
}

}  // namespace
}  // namespace bw
