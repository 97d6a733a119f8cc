#include "settings/settings_records.h"

#include <gtest/gtest.h>

#include "platform/profile_store.h"

namespace bw {
namespace {

constexpr const char* kDefaultPlaySet =
    "1,1,0,0,1,1,10,10,-2000,0,100,100000,-10000,10000,-6,6,0,0,0,0,1,1,1,1,1,1,1,1,1,0,0";
constexpr const char* kDefaultRecordSet = "0,0,0,0,0,0,2147483647,1000,1,1,1,1,1,1,1,1,0,0";

TEST(SettingsRecords, DefaultsFormatToTheStoredDefaults) {
  EXPECT_EQ(FormatPlaySet(PlaySettings{}), kDefaultPlaySet);
  EXPECT_EQ(FormatRecordSet(RecordSettings{}), kDefaultRecordSet);
}

TEST(SettingsRecords, EmptyProfileKeepsDefaultsAndWritesTheDefaultStrings) {
  MemoryProfileStore store;
  PlaySettings play;
  RecordSettings record;
  EXPECT_FALSE(ReadPlaySet(store, play));
  EXPECT_FALSE(ReadRecordSet(store, record));
  EXPECT_EQ(play, PlaySettings{});
  EXPECT_EQ(record, RecordSettings{});
  WritePlaySet(store, play);
  WriteRecordSet(store, record);
  EXPECT_EQ(store.GetString("Settings", "PlaySet", ""), kDefaultPlaySet);
  EXPECT_EQ(store.GetString("Settings", "RecordSet", ""), kDefaultRecordSet);
}

TEST(SettingsRecords, EveryFieldRoundTrips) {
  PlaySettings play;
  play.AutoPlay = 0;
  play.Reserved1 = 4000000000u;
  play.Reserved2 = 7;
  play.VolumeMin = 50;  // above VolumeMax: taken as it is
  play.PlayDevice.words = {1u, 0x80000000u, 3u, 0xFFFFFFFFu};
  play.MultiMode = 0;
  play.EqBand = {-128, -1, 0, 5, 128, 7, 8, 9};
  play.Equaliser = 1;
  play.Reserved3 = -42;
  RecordSettings record;
  record.CaptureDevice.words = {0xDEADBEEFu, 2u, 3u, 4u};
  record.VoiceActivated = 1;
  record.StopLimitBytes = 123;
  record.RecEqBand = {9, 8, 7, 6, 5, 4, 3, 2};
  record.RecReserved1 = 17;
  record.RecReserved2 = -3;

  MemoryProfileStore store;
  WritePlaySet(store, play);
  WriteRecordSet(store, record);
  PlaySettings play_back;
  RecordSettings record_back;
  ASSERT_TRUE(ReadPlaySet(store, play_back));
  ASSERT_TRUE(ReadRecordSet(store, record_back));
  EXPECT_EQ(play_back, play);
  EXPECT_EQ(record_back, record);
}

TEST(SettingsRecords, ShortValueLeavesThatRecordAtDefaultsButNotTheOther) {
  MemoryProfileStore store;
  // 30 numbers: one short.
  store.WriteString("Settings", "PlaySet",
                    "0,0,1,1,0,0,1,1,-1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1");
  store.WriteString("Settings", "RecordSet", "1,2,3,4,1,1,5000,20,0,0,0,0,0,0,0,0,0,0");
  PlaySettings play;
  play.AutoPlay = 77;  // untouched on failure
  RecordSettings record;
  EXPECT_FALSE(ReadPlaySet(store, play));
  EXPECT_EQ(play.AutoPlay, 77);
  ASSERT_TRUE(ReadRecordSet(store, record));
  EXPECT_EQ(record.CaptureDevice.words[3], 4u);
  EXPECT_EQ(record.StopLimitBytes, 5000);
  EXPECT_EQ(record.Size, 76u);
}

TEST(SettingsRecords, ParsingFollowsTheScanRules) {
  RecordSettings record;
  // 19 numbers: the first 18 load, the rest is ignored.
  ASSERT_TRUE(ParseRecordSet("-1,2,3,4,1,1,9,20,1,1,1,1,1,1,1,1,0,-5,99", record));
  EXPECT_EQ(record.CaptureDevice.words[0], 4294967295u);  // negative in an unsigned place
  EXPECT_EQ(record.RecReserved2, -5);
  // Blanks before a number are allowed, as are signs; text after the last number is ignored.
  ASSERT_TRUE(ParseRecordSet("0, 0,+0,0,0,0, -7,0,0,0,0,0,0,0,0,0,0,0 trailing", record));
  EXPECT_EQ(record.StopLimitBytes, -7);
  // A blank before a comma, a missing number or letters stop the scan.
  const RecordSettings before = record;
  EXPECT_FALSE(ParseRecordSet("0 ,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0", record));
  EXPECT_FALSE(ParseRecordSet("0,,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0", record));
  EXPECT_FALSE(ParseRecordSet("a,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0", record));
  EXPECT_FALSE(ParseRecordSet("", record));
  EXPECT_EQ(record, before);
  // Numbers beyond 32 bits wrap instead of failing.
  ASSERT_TRUE(ParseRecordSet("4294967296,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0", record));
  EXPECT_EQ(record.CaptureDevice.words[0], 0u);
}

TEST(SettingsRecords, FormattedLengthStaysWithinTheLargestForm) {
  PlaySettings play;
  play.Reserved1 = play.Reserved2 = 4294967295u;
  play.PlayDevice.words = {4294967295u, 4294967295u, 4294967295u, 4294967295u};
  for (int32_t* field : {&play.AutoPlay, &play.SyncPlay, &play.VolumeMin, &play.Reserved3}) {
    *field = -2147483647 - 1;
  }
  play.EqBand.fill(-2147483647 - 1);
  EXPECT_LE(FormatPlaySet(play).size(), 365u);
  RecordSettings record;
  record.CaptureDevice.words.fill(4294967295u);
  record.RecEqBand.fill(-2147483647 - 1);
  EXPECT_LE(FormatRecordSet(record).size(), 211u);
}

}  // namespace
}  // namespace bw
