#include "spectrum_files/file_commands.h"

#include <algorithm>
#include <new>
#include <string>

#include "main_window/shell_word.h"
#include "plot/spectrum_plot.h"
#include "spectrum_files/spectrum_file.h"

namespace pha {
namespace {

// A save within this time of the last one, stamped with the same second,
// replaces the file that one wrote: two clicks in one second keep the later.
constexpr std::int64_t kRewriteWithinMs = 5000;
// Names tried for a new file before giving up: sam...csv, sam...-2.csv, ...
constexpr int kMostSaveNames = 1000;

// The path of `file_name` in the data folder of the working directory. When
// the system cannot tell that directory, the error says why and the path
// stays relative, "data/<file_name>", to name the file in the message.
struct DataPath {
  std::string folder;
  std::string path;
  FileError error;
};

DataPath PathInDataFolder(const FileSystem& files, const std::string& file_name) {
  const WorkingDirectory directory = files.CurrentDirectory();
  if (directory.error)
    return {kDataFolder, std::string(kDataFolder) + '/' + file_name, directory.error};
  const std::string folder =
      directory.path + (directory.path.ends_with('/') ? "" : "/") + kDataFolder;
  return {folder, folder + '/' + file_name, std::nullopt};
}

// "sam20210305090703.csv", then "sam20210305090703-2.csv", "-3", ...
std::string NumberedName(const std::string& name, int number) {
  if (number == 1) return name;
  const std::size_t dot = name.rfind('.');
  return name.substr(0, dot) + '-' + std::to_string(number) + name.substr(dot);
}

}  // namespace

FileError WriteUnderFreeName(FileSystem& files, const std::string& folder, const std::string& name,
                             std::string_view bytes, std::string& path) {
  FileError error;
  for (int number = 1; number <= kMostSaveNames; ++number) {
    path = folder + '/' + NumberedName(name, number);
    error = files.WriteNewFile(path, bytes);
    if (!error || error->problem != FileProblem::kExists) break;
  }
  return error;
}

namespace {

// Reads and checks the whole file first, so that a failure leaves `target`
// exactly as it was.
void LoadSpectrum(const std::string& file_name, MeasurementState& state, Spectrum& target,
                  FileCommandContext& context) {
  const DataPath file = PathInDataFolder(context.files, file_name);
  const auto fail = [&](const std::string& reason, const std::string& what_to_do) {
    context.messages.ShowError("Cannot load " + file.path + ": " + reason + ". " + what_to_do);
  };
  const auto fail_on = [&](const FileFailure& failure) {
    switch (failure.problem) {
      case FileProblem::kNoFile:
        return fail(failure.reason,
                    "A spectrum saved with Save loads once it is copied to that "
                    "name (cp " +
                        ShellWord(file.folder) + "/samYYYYMMDDhhmmss.csv " + ShellWord(file.path) +
                        ").");
      case FileProblem::kNoFolder:
        return fail(failure.reason, "Make it with: mkdir -p " + ShellWord(file.folder) +
                                        " and copy a saved spectrum into it as " + file_name + ".");
      default:
        return fail(failure.reason, "The spectra are as they were.");
    }
  };
  if (file.error) return fail_on(*file.error);
  // A file up to the size a read accepts can still find too little memory
  // free (a memory limit, a crowded machine): a failed load like any other.
  SpectrumFileReading reading;
  try {
    const FileContents contents = context.files.ReadFile(file.path);
    if (contents.error) return fail_on(*contents.error);
    reading = ParseSpectrumFile(contents.bytes);
  } catch (const std::bad_alloc&) {
    return fail("there is not enough memory free to read it", "The spectra are as they were.");
  }
  if (reading.error) {
    return fail(*reading.error,
                "The spectra are as they were; correct the file, or copy a saved spectrum to "
                "that name.");
  }
  std::copy(reading.counts.begin(), reading.counts.end(), target.begin());
  ++state.spectra_changes;
  DrwGrp(state, context.PicGrp);
}

}  // namespace

void CmdSav_Click(const MeasurementState& state, FileCommandContext& context) {
  const std::string stamped = SaveFileName(context.clock.Now());
  const std::int64_t now_ms = context.monotonic.NowMs();
  DataPath file = PathInDataFolder(context.files, stamped);
  FileError error = file.error;
  try {
    const std::string bytes = FormatSpectrumFile(state.SpcSmp);
    SaveMemory& last = context.last_save;
    if (!error && last.stamped == stamped && last.path.starts_with(file.folder + '/') &&
        now_ms - last.at_ms < kRewriteWithinMs) {
      // A second click within the same second: the later spectrum is kept.
      file.path = last.path;
      error = context.files.WriteFileReplacing(file.path, bytes);
    } else if (!error) {
      // Any other file of that name was not written by this save a moment
      // ago (the clocks went back, or another run saved it): it stays, and
      // this one takes the next free name.
      error = WriteUnderFreeName(context.files, file.folder, stamped, bytes, file.path);
    }
    if (!error) last = {stamped, file.path, now_ms};
  } catch (const std::bad_alloc&) {
    error = FileFailure{FileProblem::kOther, "there is not enough memory free to write it"};
  }
  if (!error) return;
  std::string message =
      "Cannot save the sample spectrum to " + file.path + ": " + error->reason + ". ";
  if (error->problem == FileProblem::kNoFolder) {
    message += "Make it with: mkdir -p " + ShellWord(file.folder) + " and save again.";
  } else {
    message += "The spectrum is still in memory: save again once this is put right.";
  }
  context.messages.ShowError(message);
}

void CheckDataFolder(FileCommandContext& context) {
  const DataPath data = PathInDataFolder(context.files, "");
  FileError error = data.error;
  if (!error) error = context.files.CheckWritableFolder(data.folder);
  if (!error) return;
  std::string message = "Save cannot work in " + data.folder + ": " + error->reason + ". ";
  if (error->problem == FileProblem::kNoFolder) {
    message += "Make it with: mkdir -p " + ShellWord(data.folder) + " before saving.";
  } else {
    message += "Put this right before saving.";
  }
  context.messages.ShowError(message + " Measuring goes on meanwhile.");
}

void CmdLodSmp_Click(MeasurementState& state, FileCommandContext& context) {
  LoadSpectrum(kSampleFileName, state, state.SpcSmp, context);
}

void CmdLodRef_Click(MeasurementState& state, FileCommandContext& context) {
  LoadSpectrum(kReferenceFileName, state, state.SpcRef, context);
}

}  // namespace pha
