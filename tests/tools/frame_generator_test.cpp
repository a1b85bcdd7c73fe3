// The emulator's frames and their timing on the line, without a pty.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

#include "acquisition/pulse_decoder.h"
#include "emulator/emulator.h"

namespace pha::emulator {
namespace {

static_assert(kMinChannel == kMinValidChannel && kMaxChannel == kMaxValidChannel,
              "the emulator's valid channels are the program's");

std::vector<Frame> generate(const Options& options, std::size_t count) {
  FrameGenerator generator(options);
  std::vector<Frame> frames(count);
  for (Frame& frame : frames) frame = generator.Next();
  return frames;
}

Statistics count_all(const std::vector<Frame>& frames) {
  Statistics stats;
  for (const Frame& frame : frames) stats.Count(frame);
  return stats;
}

TEST(FrameGenerator, IsDeterministicAndSendsValidChannelsLowByteFirst) {
  const Options cases[] = {{.seed = 3, .drop_byte_every = 4, .invalid_every = 9},
                           {.fixed_channel = 10}};
  for (const Options& options : cases) {
    const std::vector<Frame> frames = generate(options, 20000);
    EXPECT_EQ(generate(options, 20000), frames);
    for (const Frame& frame : frames) {
      ASSERT_TRUE(IsValidChannel(frame.channel)) << frame.channel;
      ASSERT_EQ(frame.channel, options.fixed_channel.value_or(frame.channel));
      if (frame.kind == FrameKind::kValid) {
        ASSERT_EQ((PulseFrame{frame.bytes[0], frame.bytes[1]}.Channel()), frame.channel);
      }
    }
  }
  Options other_seed = cases[0];
  other_seed.seed = 4;
  EXPECT_NE(generate(other_seed, 100), generate(cases[0], 100));
}

TEST(FrameGenerator, FaultsLandOnTheirFramesAndLeaveTheOthersAlone) {
  const Options clean{.seed = 5};
  Options faulty = clean;
  faulty.drop_byte_every = 3;
  faulty.invalid_every = 5;  // frame 15 is both: the invalid value wins
  const std::vector<Frame> reference = generate(clean, 30);
  const std::vector<Frame> frames = generate(faulty, 30);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const Frame& frame = frames[i];
    SCOPED_TRACE(frame.number);
    EXPECT_EQ(frame.number, i + 1);
    EXPECT_EQ(frame.channel, reference[i].channel);
    if (frame.number % 5 == 0) {
      EXPECT_EQ(frame.kind, FrameKind::kInvalid);
      EXPECT_EQ(std::vector(frame.Bytes().begin(), frame.Bytes().end()),
                (std::vector<std::uint8_t>{0xFF, 0xFF}));
    } else if (frame.number % 3 == 0) {
      EXPECT_EQ(frame.kind, FrameKind::kByteDropped);
      EXPECT_EQ(std::vector(frame.Bytes().begin(), frame.Bytes().end()),
                std::vector{reference[i].bytes[1]})
          << "the high byte is what remains";
    } else {
      EXPECT_EQ(frame, reference[i]);
    }
  }
  const Statistics stats = count_all(frames);
  EXPECT_EQ(stats.invalid_frames, 6u);  // 5, 10, ..., 30
  EXPECT_EQ(stats.bytes_dropped, 8u);   // 3, 6, 9, 12, 18, 21, 24, 27
  EXPECT_EQ(stats.valid_frames, 16u);
  EXPECT_EQ(stats.bytes_sent, 2 * 30u - 8u);
}

TEST(FrameGenerator, DefaultSpectrumPeaksAtThePhotopeak) {
  const Statistics stats = count_all(generate({.seed = 11}, 200000));
  const auto sum = [&](int first, int last) {
    return std::accumulate(stats.histogram.begin() + first, stats.histogram.begin() + last + 1,
                           std::uint64_t{0});
  };
  int peak = kMinChannel + 5;  // the middle of the fullest 11 channels
  for (int c = peak; c <= kMaxChannel - 5; ++c)
    if (sum(c - 5, c + 5) > sum(peak - 5, peak + 5)) peak = c;
  EXPECT_NEAR(peak, kPhotopeakChannel, 5);
}

TEST(LineSchedule, ArrivalsNeverFasterThanTheLine) {
  constexpr int kFrames = 30000;
  const auto size_of = [](int i) -> std::size_t { return i % 3 == 2 ? 1 : 2; };  // a byte dropped
  const double line_frames_per_s = kLineBytesPerS / (5.0 / 3.0);  // 5 bytes per 3 frames
  const auto seconds = [](BitTimes t) { return std::chrono::duration<double>(t).count(); };
  // Below the line's rate, and far above it.
  for (const double rate : {300.0, 1e6}) {
    SCOPED_TRACE(rate);
    LineSchedule schedule(rate, 3);
    LineSchedule::Slot previous = schedule.Next(size_of(0));
    for (int i = 1; i < kFrames; ++i) {
      const LineSchedule::Slot slot = schedule.Next(size_of(i));
      ASSERT_GE(slot.start, slot.arrival);
      // 10 bit times per byte: never more than 1920 bytes per second.
      ASSERT_GE(slot.start - previous.start,
                BitTimes{kBitsPerByte * static_cast<int>(size_of(i - 1))});
      previous = slot;
    }
    const double expected_per_s = std::min(rate, line_frames_per_s);
    EXPECT_NEAR(kFrames / seconds(previous.start), expected_per_s, expected_per_s * 0.03);
  }
}

}  // namespace
}  // namespace pha::emulator
