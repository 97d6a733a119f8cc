// Streams on worker threads: each playback, capture or conversion thread runs its own stream;
// streams share nothing, so conversions at the same time give what they give one at a time.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "acm_test_util.h"
#include "platform/acm/acm_formats.h"
#include "support/wave_image.h"

namespace bw {
namespace {

TEST(AcmThreads, StreamsOnSeveralThreadsAtOnceGiveWhatTheyGiveAlone) {
  const char* formats[] = {"mp3:44100:2:128", "msadpcm:22050:2", "gsm610:8000:1", "alaw:8000:2"};
  struct Job {
    FormatBlock coded;
    FormatBlock pcm;
    std::vector<uint8_t> source;
    std::vector<uint8_t> alone;
    std::vector<uint8_t> together;
  };
  std::vector<Job> jobs;
  for (const char* text : formats) {
    std::string error;
    Job job;
    job.coded = ParseFormatArgument(text, error);
    const WAVEFORMATEX& f = job.coded.format();
    job.pcm = test::Pcm16Block(f.nSamplesPerSec, f.nChannels);
    job.source = test::Pcm16Bytes(test::Sweep(f.nSamplesPerSec, f.nChannels, f.nSamplesPerSec));
    job.alone =
        test::ConvertAll(job.coded, job.pcm, test::ConvertAll(job.pcm, job.coded, job.source));
    jobs.push_back(std::move(job));
  }
  std::vector<std::thread> threads;
  for (Job& job : jobs) {
    threads.emplace_back([&job] {
      job.together =
          test::ConvertAll(job.coded, job.pcm, test::ConvertAll(job.pcm, job.coded, job.source));
    });
  }
  for (std::thread& t : threads)
    t.join();
  for (const Job& job : jobs)
    EXPECT_EQ(job.together, job.alone);
}

}  // namespace
}  // namespace bw
