#include "spectrum_files/file_commands.h"

#include <algorithm>
#include <new>
#include <string>

#include "plot/spectrum_plot.h"
#include "spectrum_files/spectrum_file.h"

namespace pha {
namespace {

// The path of `file_name` in the data folder of the working directory. When
// the system cannot tell that directory, the error says why and the path
// stays relative, "data/<file_name>", to name the file in the message.
struct DataPath {
  std::string path;
  FileError error;
};

DataPath PathInDataFolder(const FileSystem& files, const std::string& file_name) {
  const WorkingDirectory directory = files.CurrentDirectory();
  const std::string relative = std::string(kDataFolder) + '/' + file_name;
  if (directory.error) return {relative, directory.error};
  return {directory.path + (directory.path.ends_with('/') ? "" : "/") + relative, std::nullopt};
}

// Reads and checks the whole file first, so that a failure leaves `target`
// exactly as it was.
void LoadSpectrum(const std::string& file_name, MeasurementState& state, Spectrum& target,
                  FileCommandContext& context) {
  const DataPath file = PathInDataFolder(context.files, file_name);
  const auto fail = [&](const std::string& reason) {
    context.messages.ShowError("Cannot load " + file.path + ": " + reason + ".");
  };
  if (file.error) return fail(*file.error);
  // A file up to the size a read accepts can still find too little memory
  // free (a memory limit, a crowded machine): a failed load like any other.
  SpectrumFileReading reading;
  try {
    const FileContents contents = context.files.ReadFile(file.path);
    if (contents.error) return fail(*contents.error);
    reading = ParseSpectrumFile(contents.bytes);
  } catch (const std::bad_alloc&) {
    return fail("there is not enough memory free to read it");
  }
  if (reading.error) return fail(*reading.error);
  std::copy(reading.counts.begin(), reading.counts.end(), target.begin());
  ++state.spectra_changes;
  DrwGrp(state, context.PicGrp);
}

}  // namespace

void CmdSav_Click(const MeasurementState& state, FileCommandContext& context) {
  const DataPath file = PathInDataFolder(context.files, SaveFileName(context.clock.Now()));
  FileError error = file.error;
  try {
    if (!error)
      error = context.files.WriteFileReplacing(file.path, FormatSpectrumFile(state.SpcSmp));
  } catch (const std::bad_alloc&) {
    error = "there is not enough memory free to write it";
  }
  if (error) {
    context.messages.ShowError("Cannot save the sample spectrum to " + file.path + ": " + *error +
                               ".");
  }
}

void CmdLodSmp_Click(MeasurementState& state, FileCommandContext& context) {
  LoadSpectrum(kSampleFileName, state, state.SpcSmp, context);
}

void CmdLodRef_Click(MeasurementState& state, FileCommandContext& context) {
  LoadSpectrum(kReferenceFileName, state, state.SpcRef, context);
}

}  // namespace pha
