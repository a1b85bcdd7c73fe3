// pha-convert: spectra saved by pha, written in the formats that the field's
// analysis programs read (N42-2012 XML, IAEA SPE, Canberra CNF), with the measuring
// time, its start and an energy calibration that a saved spectrum does not
// carry. pha and its files stay exactly as they are.
//
// Each file is read with the reader and the checks of pha's LodSam; the new
// file goes beside it (or into --output-dir) and never replaces one. A file
// that cannot be converted is named with the reason and nothing is written
// for it; the others are converted all the same.
#include <sys/stat.h>

#include <cmath>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "command_line/command_line.h"
#include "convert/conversion.h"
#include "convert/spectrum_formats.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/process.h"
#include "spectrum_files/file_commands.h"
#include "spectrum_files/spectrum_file.h"

namespace {

namespace cl = pha::command_line;
using pha::convert::Refusal;

constexpr int kFailed = 1;

constexpr std::string_view kUsage = "Usage: pha-convert --live-time TIME [options] FILE...";
constexpr std::string_view kHelp = R"(
Writes spectra saved by pha in a format the analysis programs read, with
the measuring time and its start that a saved spectrum does not carry.
Each FILE is read as pha's LodSam reads it; the new file goes beside it and
never replaces a file: where the name is taken, -2, -3, ... are added.

Options:
  --live-time TIME    the measuring time, as seconds or as the presets read
                      it: "600", "10 sec", "10 min", "1 hour" (required)
  --real-time TIME    the time from start to end (default: the live time)
  --start TIME        when the measurement started, a local date and time
                      such as 2026-12-07T10:15:00 (default: the time in the
                      file's name, when Save was clicked, less the real time)
  --format FORMAT     n42 (N42-2012 XML, the default), spe (IAEA SPE) or
                      cnf (Canberra CNF)
  --calibration a,b[,c]
                      an energy calibration: keV = a + b ch + c ch^2
  --title TEXT        a title for the spectrum
  --comment TEXT      a comment for the spectrum
  --as-saved          keep the counts as they stand in the file: without it
                      each channel's count is one less (pha fills an empty
                      spectrum with 1, so that its plot can take logarithms)
  --output-dir DIR    write the new files into DIR, not beside their input
  --help              show this text

Exit status: 0 when every file was converted, 1 when one or more could not
be (each named with the reason on standard error), 2 for a bad command line.
)";

struct Settings {
  pha::convert::Format format = pha::convert::Format::kN42;
  double live_time_s = 0;
  double real_time_s = 0;
  std::optional<pha::LocalDateTime> start;
  std::vector<double> calibration;
  std::string title;
  std::string comment;
  bool as_saved = false;
  std::string output_dir;
};

Settings TakeSettings(const cl::CommandLine& line) {
  Settings settings;
  const auto refused = [](std::string_view option, const Refusal& refusal) {
    return cl::UsageError{std::string(option) + ": " + refusal.reason};
  };
  if (const auto format = line.Value("--format")) {
    const auto named = pha::convert::FormatNamed(*format);
    if (!named) throw cl::UsageError{"--format: '" + *format + "' is none of n42, spe, cnf"};
    settings.format = *named;
  }
  const std::optional<std::string> live = line.Value("--live-time");
  if (!live)
    throw cl::UsageError{
        "a saved spectrum carries no measuring time: give it with --live-time (the time "
        "the window showed, \"10 min\" say); nothing was written"};
  try {
    settings.live_time_s = pha::convert::ParseDuration(*live);
  } catch (const Refusal& refusal) {
    throw refused("--live-time", refusal);
  }
  settings.real_time_s = settings.live_time_s;
  if (const auto real = line.Value("--real-time")) {
    try {
      settings.real_time_s = pha::convert::ParseDuration(*real);
    } catch (const Refusal& refusal) {
      throw refused("--real-time", refusal);
    }
    if (settings.real_time_s < settings.live_time_s)
      throw cl::UsageError{"--real-time: shorter than the live time"};
  }
  try {
    if (const auto start = line.Value("--start"))
      settings.start = pha::convert::ParseLocalTime(*start);
  } catch (const Refusal& refusal) {
    throw refused("--start", refusal);
  }
  try {
    if (const auto calibration = line.Value("--calibration"))
      settings.calibration = pha::convert::ParseCalibration(*calibration);
  } catch (const Refusal& refusal) {
    throw refused("--calibration", refusal);
  }
  settings.title = line.Value("--title").value_or("");
  settings.comment = line.Value("--comment").value_or("");
  settings.as_saved = line.Has("--as-saved");
  settings.output_dir = line.Value("--output-dir").value_or("");
  if (!settings.output_dir.empty()) {
    struct stat info {};
    if (stat(settings.output_dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
      throw cl::UsageError{"--output-dir: " + settings.output_dir + " is not a folder"};
  }
  if (line.Files().empty()) throw cl::UsageError{"no file to convert"};
  return settings;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Converts one file; the name of the new file, or a Refusal.
std::string Convert(const std::string& path, const Settings& settings,
                    pha::PosixFileSystem& files) {
  const pha::FileContents contents = files.ReadFile(path);
  if (contents.error) throw Refusal{contents.error->reason};
  const pha::SpectrumFileReading reading = pha::ParseSpectrumFile(contents.bytes);
  if (reading.error) throw Refusal{*reading.error};

  pha::convert::Measured measured;
  measured.counts = pha::convert::AnalysedCounts(reading.counts, settings.as_saved);
  measured.live_time_s = settings.live_time_s;
  measured.real_time_s = settings.real_time_s;
  if (settings.start) {
    measured.start = *settings.start;
  } else if (const auto saved = pha::convert::SaveTime(path)) {
    measured.start = pha::convert::AddSeconds(*saved, -std::llround(settings.real_time_s));
  } else {
    throw Refusal{
        "its name carries no time of saving (samYYYYMMDDhhmmss.csv), so the start of the "
        "measurement is not known: give it with --start"};
  }
  measured.calibration = settings.calibration;
  measured.title = settings.title;
  measured.comment = settings.comment;
  const std::string bytes = pha::convert::WriteSpectrum(measured, settings.format);

  const std::string folder = settings.output_dir.empty() ? FolderOf(path) : settings.output_dir;
  std::string out;
  const pha::FileError error = pha::WriteUnderFreeName(
      files, folder, pha::convert::OutputName(path, pha::convert::Extension(settings.format)),
      bytes, out);
  if (!error) return out;
  if (error->problem == pha::FileProblem::kExists)
    throw Refusal{"every name for the new file in " + folder + " is taken"};
  throw Refusal{"cannot write " + out + ": " + error->reason};
}

}  // namespace

int main(int argc, char** argv) {
  if (!pha::PrepareProcess("pha-convert", pha::EndSignals::kEndAtOnce)) return kFailed;
  Settings settings;
  std::vector<std::string> inputs;
  try {
    const cl::CommandLine line(argc, argv, {"--as-saved"},
                               {"--live-time", "--real-time", "--start", "--format",
                                "--calibration", "--title", "--comment", "--output-dir"},
                               /*takes_files=*/true);
    if (line.Help()) {
      std::cout << kUsage << '\n' << kHelp;
      return 0;
    }
    settings = TakeSettings(line);
    inputs = line.Files();
  } catch (const cl::UsageError& error) {
    return cl::ToldUsageError("pha-convert", kUsage, error);
  }
  pha::PosixFileSystem files;
  int failed = 0;
  for (const std::string& path : inputs) {
    try {
      const std::string written = Convert(path, settings, files);
      std::cout << path << " -> " << written << '\n';
    } catch (const Refusal& refusal) {
      std::cerr << "pha-convert: cannot convert " << path << ": " << refusal.reason
                << "; nothing was written for it.\n";
      ++failed;
    } catch (const std::exception& error) {
      std::cerr << "pha-convert: cannot convert " << path << ": " << error.what()
                << "; nothing was written for it.\n";
      ++failed;
    }
  }
  return failed == 0 ? 0 : kFailed;
}
