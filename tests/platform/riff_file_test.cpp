#include "platform/riff/riff_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <numeric>
#include <string_view>
#include <vector>

#include "platform/wave_format.h"
#include "support/test_support.h"

namespace bw {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;

// A byte image built by hand, to compare written files with.
struct Image {
  Image& operator<<(std::string_view text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
    return *this;
  }
  Image& operator<<(uint32_t value) {
    uint8_t le[4];
    StoreLe32(le, value);
    bytes.insert(bytes.end(), le, le + 4);
    return *this;
  }
  std::vector<uint8_t> bytes;
};

std::vector<uint8_t> Bytes(std::string_view text) {
  return {text.begin(), text.end()};
}

std::vector<uint8_t> Pattern(std::size_t size) {
  std::vector<uint8_t> out(size);
  for (std::size_t i = 0; i < size; ++i)
    out[i] = static_cast<uint8_t>(i * 7 + i / 251);
  return out;
}

std::string ReadText(RiffFile& file, std::size_t size) {
  std::string out(size, '\0');
  const int64_t n = file.Read({reinterpret_cast<uint8_t*>(out.data()), size});
  out.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
  return out;
}

int64_t Tell(RiffFile& file) {
  return file.Seek(0, SEEK_CUR);
}

class RiffFileTest : public ::testing::Test {
 protected:
  std::filesystem::path Path(std::string_view name) const { return dir_ / name; }
  test::TempDir dir_;
};

TEST_F(RiffFileTest, WritesNestedChunksWithTrueSizesAndPadBytesAndFindsThemAgain) {
  const auto path = Path("nested.riff");
  {
    RiffFile file;
    ASSERT_EQ(file.Open(path, kMmioReadWrite | kMmioCreate), 0);
    MMCKINFO riff{.cksize = 12345, .fccType = MakeFourCC("TEST")};  // placeholder size
    ASSERT_EQ(file.CreateChunk(riff, kMmioCreateRiff), 0);
    MMCKINFO list{.fccType = MakeFourCC("INFO")};
    ASSERT_EQ(file.CreateChunk(list, kMmioCreateList), 0);
    MMCKINFO odd{.ckid = MakeFourCC("odd ")};
    ASSERT_EQ(file.CreateChunk(odd, 0), 0);
    ASSERT_EQ(file.Write(Bytes("abc")), 3);
    ASSERT_EQ(file.Ascend(odd), 0);
    EXPECT_EQ(odd.cksize, 3u);
    EXPECT_EQ(Tell(file), 36);  // past the pad byte
    ASSERT_EQ(file.Ascend(list), 0);
    MMCKINFO even{.ckid = MakeFourCC("even")};
    ASSERT_EQ(file.CreateChunk(even, 0), 0);
    ASSERT_EQ(file.Write(Bytes("wxyz")), 4);
    ASSERT_EQ(file.Ascend(even), 0);
    ASSERT_EQ(file.Ascend(riff), 0);
    EXPECT_EQ(riff.cksize, 40u);
    ASSERT_EQ(file.Close(), 0);
  }
  Image expected;
  expected << "RIFF" << 40u << "TEST"
           << "LIST" << 16u << "INFO"
           << "odd " << 3u << std::string_view("abc\0", 4) << "even" << 4u << "wxyz";
  EXPECT_EQ(ReadFileBytes(path), expected.bytes);

  RiffFile file;
  ASSERT_EQ(file.Open(path, kMmioRead), 0);
  MMCKINFO riff{.fccType = MakeFourCC("TEST")};
  ASSERT_EQ(file.Descend(riff, nullptr, kMmioFindRiff), 0);
  EXPECT_EQ(riff.dwDataOffset, 8u);
  MMCKINFO even{.ckid = MakeFourCC("even")};
  ASSERT_EQ(file.Descend(even, &riff, kMmioFindChunk), 0);  // skips the list by its size
  EXPECT_EQ(even.dwDataOffset, 44u);
  EXPECT_EQ(ReadText(file, 10), "wxyz");

  ASSERT_EQ(file.Seek(12, SEEK_SET), 12);
  MMCKINFO list{.fccType = MakeFourCC("INFO")};
  ASSERT_EQ(file.Descend(list, &riff, kMmioFindList), 0);
  MMCKINFO odd;
  ASSERT_EQ(file.Descend(odd, &list, 0), 0);
  EXPECT_EQ(odd.ckid, MakeFourCC("odd "));
  EXPECT_EQ(ReadText(file, 3), "abc");
  ASSERT_EQ(file.Ascend(odd), 0);
  MMCKINFO next;
  EXPECT_EQ(file.Descend(next, &list, 0), kMmioErrChunkNotFound);  // the list ends here
  EXPECT_EQ(Tell(file), 36);
}

TEST_F(RiffFileTest, DescentsStayInsideTheirParentAndTheFile) {
  const auto path = Path("odd.riff");
  Image image;
  image << "RIFF" << 14u << "TEST"
        << "aaaa" << 2u << "xy"  // the form ends here
        << "bbbb" << 0u << "huge" << 0xFFFFFFF0u << "data...."
        << "cccc" << 0u << "dd";
  WriteFileBytes(path, image.bytes);
  RiffFile file;
  ASSERT_EQ(file.Open(path, kMmioRead), 0);
  MMCKINFO riff;
  ASSERT_EQ(file.Descend(riff, nullptr, 0), 0);

  MMCKINFO wanted{.ckid = MakeFourCC("bbbb")};
  EXPECT_EQ(file.Descend(wanted, &riff, kMmioFindChunk), kMmioErrChunkNotFound);
  EXPECT_EQ(Tell(file), 12);  // a failed search leaves the position alone

  // Outside the form, a chunk that claims more than the file hides what follows it, and
  // leaving it stops at the end of the file.
  ASSERT_EQ(file.Seek(22, SEEK_SET), 22);
  wanted.ckid = MakeFourCC("cccc");
  EXPECT_EQ(file.Descend(wanted, nullptr, kMmioFindChunk), kMmioErrChunkNotFound);
  wanted.ckid = MakeFourCC("huge");
  ASSERT_EQ(file.Descend(wanted, nullptr, kMmioFindChunk), 0);
  EXPECT_EQ(wanted.cksize, 0xFFFFFFF0u);
  EXPECT_EQ(ReadText(file, 100).size(), image.bytes.size() - 38);
  ASSERT_EQ(file.Ascend(wanted), 0);
  EXPECT_EQ(Tell(file), static_cast<int64_t>(image.bytes.size()));
  EXPECT_EQ(file.Descend(wanted, nullptr, 0), kMmioErrChunkNotFound);

  // A header cut off by the end of the file is no chunk.
  ASSERT_EQ(file.Seek(-2, SEEK_END), static_cast<int64_t>(image.bytes.size() - 2));
  EXPECT_EQ(file.Descend(wanted, nullptr, 0), kMmioErrChunkNotFound);
  EXPECT_EQ(file.Seek(1, SEEK_END), -1);
  EXPECT_EQ(file.Seek(-1, SEEK_SET), -1);
}

TEST_F(RiffFileTest, ReadOnlyFilesRefuseEveryWrite) {
  const auto path = Path("ro.riff");
  WriteFileBytes(path, Bytes("RIFF\4\0\0\0TEST"));
  RiffFile file;
  ASSERT_EQ(file.Open(path, kMmioRead), 0);
  EXPECT_EQ(file.Write(Bytes("x")), -1);
  MMCKINFO ck{.ckid = MakeFourCC("abcd")};
  EXPECT_NE(file.CreateChunk(ck, 0), 0);
  MMIOINFO info;
  ASSERT_EQ(file.GetInfo(info), 0);
  EXPECT_EQ(info.pchEndWrite, info.pchBuffer);
  info.dwFlags |= kMmioDirty;
  EXPECT_EQ(file.SetInfo(info), kMmioErrCannotWrite);
  EXPECT_EQ(file.Advance(info, kMmioWrite), kMmioErrCannotWrite);
  ASSERT_EQ(file.Close(), 0);
  EXPECT_EQ(ReadFileBytes(path), Bytes("RIFF\4\0\0\0TEST"));
}

TEST_F(RiffFileTest, DirectReadingCrossesBufferBoundariesAndMeetsTheEnd) {
  const auto path = Path("direct.bin");
  const std::vector<uint8_t> content = Pattern(100);
  WriteFileBytes(path, content);
  RiffFile file;
  ASSERT_EQ(file.Open(path, kMmioRead, 16), 0);
  ASSERT_EQ(file.Seek(5, SEEK_SET), 5);
  MMIOINFO info;
  ASSERT_EQ(file.GetInfo(info), 0);
  std::vector<uint8_t> got;
  for (int guard = 0; guard < 200; ++guard) {
    if (info.pchNext == info.pchEndRead) {
      ASSERT_EQ(file.Advance(info, kMmioRead), 0);
      if (info.pchNext == info.pchEndRead) break;
      EXPECT_LE(info.pchEndRead - info.pchBuffer, 16);
    }
    got.push_back(*info.pchNext++);
    if (got.size() == 50) {  // hand the buffer back, read a little, take it over again
      ASSERT_EQ(file.SetInfo(info), 0);
      EXPECT_EQ(ReadText(file, 3).size(), 3u);
      got.insert(got.end(), content.begin() + 55, content.begin() + 58);
      ASSERT_EQ(file.GetInfo(info), 0);
    }
  }
  EXPECT_EQ(got, std::vector<uint8_t>(content.begin() + 5, content.end()));
  ASSERT_EQ(file.SetInfo(info), 0);
  EXPECT_EQ(Tell(file), 100);
}

TEST_F(RiffFileTest, SmallDirectAppendsGatherInMemoryAndStayReadable) {
  const auto path = Path("append.riff");
  const std::vector<uint8_t> data = Pattern(1000 * 128 + 5);
  RiffFile file;
  ASSERT_EQ(file.Open(path, kMmioReadWrite | kMmioCreate), 0);
  MMCKINFO ck{.ckid = MakeFourCC("data")};
  ASSERT_EQ(file.CreateChunk(ck, 0), 0);
  MMIOINFO info;
  ASSERT_EQ(file.GetInfo(info), 0);
  for (std::size_t done = 0; done < data.size();) {
    info.dwFlags |= kMmioDirty;
    ASSERT_EQ(file.Advance(info, kMmioWrite), 0);
    ASSERT_EQ(info.pchNext, info.pchBuffer);
    const std::size_t run = std::min<std::size_t>(128, data.size() - done);
    std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(done), run, info.pchNext);
    info.pchNext += run;
    done += run;
  }
  info.dwFlags |= kMmioDirty;
  ASSERT_EQ(file.SetInfo(info), 0);
  // A thousand advances made no write to the file; the bytes wait in the layer.
  EXPECT_EQ(std::filesystem::file_size(path), 0u);

  // They are readable before they reach the disk, and an overwrite in their midst sticks.
  ASSERT_EQ(file.Seek(8 + 300, SEEK_SET), 308);
  ASSERT_EQ(file.Write(Bytes("PATCH")), 5);
  ASSERT_EQ(file.Seek(8, SEEK_SET), 8);
  std::vector<uint8_t> expected = data;
  std::copy_n("PATCH", 5, expected.begin() + 300);
  std::vector<uint8_t> back(data.size());
  ASSERT_EQ(file.Read(back), static_cast<int64_t>(back.size()));
  EXPECT_EQ(back, expected);

  ASSERT_EQ(file.Ascend(ck), 0);
  ASSERT_EQ(file.Close(), 0);
  const std::vector<uint8_t> image = ReadFileBytes(path);
  ASSERT_EQ(image.size(), 8 + data.size() + 1);
  EXPECT_EQ(LoadLe32(image.data() + 4), data.size());
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), image.begin() + 8));
  EXPECT_EQ(image.back(), 0);
}

TEST_F(RiffFileTest, WrittenFilesStopShortOfFourGiB) {
  const auto path = Path("limit.riff");
  RiffFile file;
  ASSERT_EQ(file.Open(path, kMmioReadWrite | kMmioCreate), 0);
  EXPECT_EQ(file.Seek(static_cast<int64_t>(kMaxFileBytes) + 1, SEEK_SET), -1);
  const int64_t start = static_cast<int64_t>(kMaxWriteEnd) - 21;
  ASSERT_EQ(file.Seek(start, SEEK_SET), start);
  MMCKINFO ck{.ckid = MakeFourCC("tail")};
  ASSERT_EQ(file.CreateChunk(ck, 0), 0);
  EXPECT_EQ(file.Write(Pattern(14)), -1);  // one byte too many: nothing is written
  ASSERT_EQ(file.Write(Pattern(12)), 12);
  MMIOINFO info;
  ASSERT_EQ(file.GetInfo(info), 0);
  ASSERT_EQ(info.pchEndWrite - info.pchNext, 1);
  *info.pchNext++ = 0xAB;
  info.dwFlags |= kMmioDirty;
  EXPECT_EQ(file.Advance(info, kMmioWrite), kMmioErrCannotExpand);
  EXPECT_EQ(info.pchEndWrite, info.pchNext);
  // The odd chunk still gets its pad byte, as the last byte a RIFF file can have.
  ASSERT_EQ(file.Ascend(ck), 0);
  EXPECT_EQ(ck.cksize, 13u);
  EXPECT_EQ(Tell(file), static_cast<int64_t>(kMaxFileBytes));
  MMCKINFO more{.ckid = MakeFourCC("more")};
  EXPECT_EQ(file.CreateChunk(more, 0), kMmioErrCannotExpand);
  ASSERT_EQ(file.Close(), 0);
  ASSERT_EQ(std::filesystem::file_size(path), kMaxFileBytes);

  ASSERT_EQ(file.Open(path, kMmioRead), 0);
  ASSERT_EQ(file.Seek(start, SEEK_SET), start);
  MMCKINFO found;
  ASSERT_EQ(file.Descend(found, nullptr, 0), 0);
  EXPECT_EQ(found.cksize, 13u);
  std::vector<uint8_t> tail(20);
  ASSERT_EQ(file.Read(tail), 14);
  EXPECT_EQ(tail[12], 0xAB);
  EXPECT_EQ(tail[13], 0);

  // A longer file may be read (64-bit offsets) but not opened for writing.
  file.Close();
  const uint64_t big = (uint64_t{5} << 30);
  std::filesystem::resize_file(path, big);
  EXPECT_EQ(file.Open(path, kMmioReadWrite), kMmioErrCannotExpand);
  EXPECT_FALSE(file.is_open());
  ASSERT_EQ(file.Open(path, kMmioRead), 0);
  EXPECT_EQ(file.Seek(0, SEEK_END), static_cast<int64_t>(big));
}

TEST_F(RiffFileTest, AFailedWriteKeepsItsBytesForTheNextFlush) {
  using test::FileSizeLimit;
  const auto path = Path("full.bin");
  const std::vector<uint8_t> data = Pattern(100000);
  RiffFile file;
  ASSERT_EQ(file.Open(path, kMmioReadWrite | kMmioCreate), 0);
  FileSizeLimit limit(4096);
  ASSERT_EQ(file.Write(data), static_cast<int64_t>(data.size()));
  EXPECT_EQ(file.Flush(), kMmioErrCannotWrite);
  EXPECT_EQ(file.Flush(), kMmioErrCannotWrite);
  limit.Lift();
  EXPECT_EQ(file.Close(), 0);
  EXPECT_EQ(ReadFileBytes(path), data);
}

TEST_F(RiffFileTest, RefusesWhatItCannotServe) {
  RiffFile file;
  EXPECT_EQ(file.Open(Path("missing"), kMmioRead), kMmioErrFileNotFound);
  EXPECT_EQ(file.Open(dir_.path(), kMmioRead), kMmioErrCannotOpen);
  ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
  EXPECT_EQ(file.Open(Path("fifo"), kMmioRead), kMmioErrCannotOpen);  // and does not hang
  EXPECT_EQ(file.Open(Path("new"), kMmioRead | kMmioCreate), kMmSysErrInvalParam);
  EXPECT_FALSE(file.is_open());

  MMIOINFO info;
  EXPECT_EQ(file.GetInfo(info), kMmSysErrInvalHandle);
  EXPECT_EQ(file.Read(std::span<uint8_t>()), -1);
  EXPECT_EQ(file.Close(), 0);

  WriteFileBytes(Path("f"), Pattern(64));
  ASSERT_EQ(file.Open(Path("f"), kMmioReadWrite), 0);
  EXPECT_EQ(file.SetInfo(MMIOINFO{}), kMmSysErrInvalParam);  // never taken over
  ASSERT_EQ(file.GetInfo(info), 0);
  MMIOINFO beyond = info;
  beyond.pchNext = info.pchBuffer + info.cchBuffer + 1;
  beyond.dwFlags |= kMmioDirty;
  EXPECT_EQ(file.Advance(beyond, kMmioWrite), kMmSysErrInvalParam);
  beyond.pchNext = info.pchEndRead + 1;
  beyond.dwFlags &= ~kMmioDirty;
  EXPECT_EQ(file.SetInfo(beyond), kMmSysErrInvalParam);  // reading past what it holds
  EXPECT_EQ(file.SetInfo(info), 0);
}

}  // namespace
}  // namespace bw
