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

#include "emulator/emulator.h"

namespace {

namespace emu = pha::emulator;

constexpr int kExitFailure = 1;
constexpr int kExitBadOptions = 2;
// How long the wait for SIGINT or SIGTERM lasts before the end of the run is
// checked again.
constexpr timespec kSignalPoll100Ms = {0, 100'000'000};

constexpr std::string_view kUsage = R"(Usage: pha-emulator --link PATH [options]

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

struct UsageError {
  std::string message;
};

struct CommandLine {
  std::string link;
  emu::Options options;
  emu::Plugging plugging;
  bool help = false;
};

template <typename Number>
Number parse_number(std::string_view option, std::string_view text) {
  Number value{};
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc{} || stop != end || text.empty())
    throw UsageError{std::string(option) + ": not a valid number: '" + std::string(text) + "'"};
  return value;
}

std::chrono::milliseconds parse_seconds(std::string_view option, std::string_view text) {
  const double seconds = parse_number<double>(option, text);
  if (!(seconds >= 0 && seconds <= 86400))
    throw UsageError{std::string(option) + ": seconds out of 0..86400: '" + std::string(text) +
                     "'"};
  return std::chrono::milliseconds(static_cast<std::int64_t>(seconds * 1000));
}

CommandLine parse_command_line(int argc, char** argv) {
  CommandLine line;
  emu::Options& o = line.options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view option = argv[i];
    if (option == "--help" || option == "-h") {
      line.help = true;
      return line;
    }
    if (option == "--fast") {
      o.as_fast_as_possible = true;
      continue;
    }
    static constexpr std::string_view kWithValue[] = {"--link",          "--rate",
                                                      "--channel",       "--count",
                                                      "--seed",          "--drop-byte-every",
                                                      "--invalid-every", "--delivery-ms",
                                                      "--unplug-every",  "--unplug-for"};
    if (std::find(std::begin(kWithValue), std::end(kWithValue), option) == std::end(kWithValue))
      throw UsageError{"unknown option '" + std::string(option) + "'"};
    if (i + 1 == argc) throw UsageError{std::string(option) + " needs a value"};
    const std::string_view value = argv[++i];
    if (option == "--link") line.link = value;
    if (option == "--rate") o.rate_per_s = parse_number<double>(option, value);
    if (option == "--channel") o.fixed_channel = parse_number<int>(option, value);
    if (option == "--count") o.frame_count = parse_number<std::uint64_t>(option, value);
    if (option == "--seed") o.seed = parse_number<std::uint64_t>(option, value);
    if (option == "--drop-byte-every")
      o.drop_byte_every = parse_number<std::uint64_t>(option, value);
    if (option == "--invalid-every") o.invalid_every = parse_number<std::uint64_t>(option, value);
    if (option == "--delivery-ms") o.delivery_period_ms = parse_number<int>(option, value);
    if (option == "--unplug-every") line.plugging.unplug_every = parse_seconds(option, value);
    if (option == "--unplug-for") line.plugging.unplug_for = parse_seconds(option, value);
  }
  if (line.link.empty()) throw UsageError{"--link PATH is required"};
  if (const std::string problem = emu::CheckOptions(o); !problem.empty()) throw UsageError{problem};
  return line;
}

void print_summary(const emu::Statistics& sent, const emu::Options& options) {
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
    line = parse_command_line(argc, argv);
  } catch (const UsageError& error) {
    std::cerr << "pha-emulator: " << error.message << '\n'
              << kUsage.substr(0, kUsage.find('\n') + 1)
              << "(pha-emulator --help explains the options)\n";
    return kExitBadOptions;
  }
  if (line.help) {
    std::cout << kUsage;
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
    print_summary(detector.Stats(), line.options);
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
