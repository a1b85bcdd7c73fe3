// pha-emulator: the detector unit on a pseudo-terminal, for running the
// program without the hardware.

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>

#include "command_line/command_line.h"
#include "emulator/emulator.h"

namespace {

namespace emu = pha::emulator;

constexpr int kExitFailure = 1;
// How long the wait for SIGINT or SIGTERM lasts before the end of the run is
// checked again.
constexpr timespec kSignalPoll100Ms = {0, 100'000'000};

constexpr std::string_view kUsage = "Usage: pha-emulator --link PATH [options]";
constexpr std::string_view kHelp = R"(
Emulates the detector unit of the pulse-height analyser on a pseudo-terminal.
The program opens PATH (or the /dev/pts device printed at start) as its serial
port and receives one frame per detected pulse.

Frame format: two bytes per pulse, the channel number n low byte first
(n = byte0 + 256 * byte1), no header, no checksum, frames back to back.
The program accepts channels 10..1023. The line is paced like the detector's
19200-baud 8N1 line: ten bit times per byte, so at most 1920 bytes or 960
frames per second.

Options:
  --link PATH           make PATH a symbolic link to the pty's slave device
                        (an existing symbolic link is replaced, nothing else)
  --rate R              mean pulse rate per second, Poisson arrivals
                        (default 300; 0.001..1000000, the line caps at 960)
  --channel N           every pulse in channel N (10..1023) instead of the
                        default spectrum: a photopeak at channel 662 with its
                        Compton continuum and edge (478) over a falling
                        background
  --fast                ignore rate and line speed, write as fast as the pty
                        takes the bytes
  --count N             stop after N frames, faulty ones included
                        (default 0: run until SIGINT, SIGTERM or SIGHUP)
  --seed S              seed of the channels and arrival times (default 1)
  --drop-byte-every N   every N-th frame loses its first (low) byte; its high
                        byte pairs with the next frame's low byte, which the
                        program must resynchronise on (default 0: never)
  --invalid-every N     every N-th frame is replaced by the invalid value
                        65535 (bytes FF FF), which the program rejects
                        (default 0: never; wins over --drop-byte-every)
  --delivery-ms N       hand the bytes on in batches every N ms, as a USB
                        serial adapter does (many wait 16 ms); 0..1000,
                        default 0: each frame goes out the moment it has
                        crossed the line
  --unplug-every S      pull the cable every S seconds: the pty closes and
                        the link goes, as an unplugged USB adapter's device
                        does (default 0: never)
  --unplug-for S        ... and put it back after S seconds: a new pty behind
                        the same link (default 2)
  --help                show this text

On exit (count reached, SIGINT, SIGTERM, SIGHUP) a summary of what was sent goes to
standard output and the link is removed. Bad options exit with status 2.
)";

struct CommandLine {
  std::string link;
  emu::Options options;
  emu::Plugging plugging;
  bool help = false;
};

CommandLine ParseCommandLine(int argc, char** argv) {
  namespace cl = pha::command_line;
  const cl::CommandLine words(
      argc, argv, {"--fast"},
      {"--link", "--rate", "--channel", "--count", "--seed", "--drop-byte-every", "--invalid-every",
       "--delivery-ms", "--unplug-every", "--unplug-for"});
  CommandLine line;
  line.help = words.Help();
  if (line.help) return line;
  emu::Options& o = line.options;
  o.as_fast_as_possible = words.Has("--fast");
  // Each option's value, where it was given, parsed as the option wants it.
  const auto with = [&words](std::string_view option, auto parse) {
    if (const std::optional<std::string> value = words.Value(option)) parse(option, *value);
  };
  const auto number = [](auto& to) {
    return [&to](std::string_view option, const std::string& value) {
      to = cl::ParseNumber<std::remove_reference_t<decltype(to)>>(option, value);
    };
  };
  const auto seconds = [](std::chrono::milliseconds& to) {
    return [&to](std::string_view option, const std::string& value) {
      to = cl::ParseSeconds(option, value);
    };
  };
  with("--link", [&](std::string_view, const std::string& value) { line.link = value; });
  with("--rate", number(o.rate_per_s));
  with("--channel", [&](std::string_view option, const std::string& value) {
    o.fixed_channel = cl::ParseNumber<int>(option, value);
  });
  with("--count", number(o.frame_count));
  with("--seed", number(o.seed));
  with("--drop-byte-every", number(o.drop_byte_every));
  with("--invalid-every", number(o.invalid_every));
  with("--delivery-ms", number(o.delivery_period_ms));
  with("--unplug-every", seconds(line.plugging.unplug_every));
  with("--unplug-for", seconds(line.plugging.unplug_for));
  if (line.link.empty()) throw cl::UsageError{"--link PATH is required"};
  if (const std::string problem = emu::CheckOptions(o); !problem.empty())
    throw cl::UsageError{problem};
  return line;
}

void PrintSummary(const emu::Statistics& sent, const emu::Options& options) {
  std::cout << "frames sent: " << sent.frames_sent << '\n'
            << "valid whole frames: " << sent.valid_frames << '\n'
            << "invalid frames: " << sent.invalid_frames << '\n'
            << "bytes dropped: " << sent.bytes_dropped << '\n'
            << "channel sum: " << sent.channel_sum << '\n';
  if (options.fixed_channel) std::cout << "channel: " << *options.fixed_channel << '\n';
  std::cout << std::flush;
}

}  // namespace

int main(int argc, char** argv) {
  CommandLine line;
  try {
    line = ParseCommandLine(argc, argv);
  } catch (const pha::command_line::UsageError& error) {
    return pha::command_line::ToldUsageError("pha-emulator", kUsage, error);
  }
  if (line.help) {
    std::cout << kUsage << '\n' << kHelp;
    return EXIT_SUCCESS;
  }

  // Blocked before the runner's thread starts, which inherits the mask, so
  // that the signals reach only the wait below.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGHUP);  // the terminal closed
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  try {
    emu::Detector detector(line.link, line.options, line.plugging);
    std::cout << "Detector on " << detector.SlavePath() << ", linked from "
              << detector.LinkPath().string() << std::endl;
    detector.Start();
    while (!detector.Finished()) {
      if (sigtimedwait(&stop_signals, nullptr, &kSignalPoll100Ms) > 0) break;
    }
    detector.Stop();
    PrintSummary(detector.Stats(), line.options);
    if (const std::string error = detector.Error(); !error.empty()) {
      std::cerr << "pha-emulator: " << error << '\n';
      return kExitFailure;
    }
  } catch (const std::exception& error) {
    std::cerr << "pha-emulator: " << error.what() << '\n';
    return kExitFailure;
  }
  return EXIT_SUCCESS;
}
