// The "File control" buttons: save the sample spectrum, load the sample and
// the reference spectrum. All files lie in the folder "data" below the
// working directory at the moment of the click; the program never creates
// that folder.
//
// A failing file operation is shown with Messages::ShowError, naming the file
// and the reason, and changes nothing: a load stores only a file that reads
// well from its first to its 1024th value, and a save replaces a file only
// with a whole new one.
#pragma once

#include <cstdint>
#include <string>

#include "acquisition/measurement_state.h"
#include "main_window/files_and_clock.h"
#include "main_window/window_ops.h"

namespace pha {

// The folder below the working directory that holds every spectrum file.
inline constexpr char kDataFolder[] = "data";
inline constexpr char kSampleFileName[] = "sam.csv";
inline constexpr char kReferenceFileName[] = "ref.csv";

// The last save, so that a second click within the same second replaces
// the file the first one wrote, and only that one.
struct SaveMemory {
  std::string stamped;     // "samYYYYMMDDhhmmss.csv"
  std::string path;        // where it went, maybe with a number
  std::int64_t at_ms = 0;  // monotonic
};

struct FileCommandContext {
  FileSystem& files;
  Clock& clock;
  MonotonicClock& monotonic;
  Messages& messages;
  DrawingSurface& PicGrp;
  SaveMemory last_save{};
};

// Writes channels 0..1023 of SpcSmp to data/samYYYYMMDDhhmmss.csv, stamped
// with the local time of the click. A file of that name is replaced only
// when this program wrote it a moment ago, in the same second; any other
// stays, and the spectrum goes to the first free name of
// samYYYYMMDDhhmmss-2.csv, -3, ... (where the clocks go back an hour in
// autumn, say). Changes nothing in memory and does not redraw.
void CmdSav_Click(const MeasurementState& state, FileCommandContext& context);

// Writes `bytes` to a new file `name` in `folder`, or where that name is
// taken to the first free one of name-2, name-3, ... (the number before the
// extension); never replaces a file. `path` is left naming the file written,
// or the last one tried.
FileError WriteUnderFreeName(FileSystem& files, const std::string& folder, const std::string& name,
                             std::string_view bytes, std::string& path);

// At start-up: tells the operator when no spectrum can be saved in the
// folder data below the working directory (it is missing, say), so that it
// is put right before a measurement worth saving has run. Changes nothing.
void CheckDataFolder(FileCommandContext& context);

// Reads data/sam.csv into channels 0..1023 of SpcSmp, then redraws the plot.
// Channels 1024..2000, the other spectra and the counters stay as they are;
// during a run, pulses keep adding on top of the loaded counts.
void CmdLodSmp_Click(MeasurementState& state, FileCommandContext& context);

// The same for data/ref.csv and SpcRef.
void CmdLodRef_Click(MeasurementState& state, FileCommandContext& context);

}  // namespace pha
