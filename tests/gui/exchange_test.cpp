// The exchange rules of the property pages that need no window: what a number field accepts
// and how a Device page item carries its identifier.
#include <gtest/gtest.h>

#include "settings/property_page.h"

namespace bw {
namespace {

TEST(ParseDialogInteger, AcceptsBlanksAroundASignedNumberOnly) {
  EXPECT_EQ(ParseDialogInteger("42"), 42);
  EXPECT_EQ(ParseDialogInteger("  -10000\t"), -10000);
  EXPECT_EQ(ParseDialogInteger("+7"), 7);
  EXPECT_EQ(ParseDialogInteger("2147483648"), 2147483648LL);  // range checks come later
  for (const char* bad : {"", " ", "-", "12a", "1 2", "0x10", "1e3", "--1", "٣"})
    EXPECT_FALSE(ParseDialogInteger(bad)) << '"' << bad << '"';
  EXPECT_FALSE(ParseDialogInteger("99999999999999999999"));  // beyond 64 bits: not a number
}

TEST(FormatDeviceItem, EndsWithTheIdentifierBehindTheBlanks) {
  const DeviceId id{{4294967295u, 1, 0, 77}};
  const std::string item = FormatDeviceItem("Speakers", id);
  const std::string words = " 4294967295           1           0          77";
  EXPECT_EQ(item, "Speakers" + std::string(53, ' ') + words);
  // What the view reads back: the rightmost 48 characters, the words and one blank.
  EXPECT_EQ(item.substr(item.size() - 48), ' ' + words);
}

TEST(FormatDeviceItem, ALongDescriptionIsShortenedNotTheIdentifier) {
  const std::string description = std::string(409, 'x') + "\xC3\xA9\xC3\xA9";  // "éé" at the end
  const std::string item = FormatDeviceItem(description, DeviceId{{1, 2, 3, 4}});
  EXPECT_LE(item.size(), 511u);
  EXPECT_EQ(item.substr(item.size() - 47), "          1           2           3           4");
  // The cut falls between characters: the first "é" stays whole, the second goes.
  EXPECT_EQ(item.substr(0, 411), std::string(409, 'x') + "\xC3\xA9");
}

}  // namespace
}  // namespace bw
