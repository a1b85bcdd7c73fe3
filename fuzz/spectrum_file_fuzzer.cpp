// Random files through the spectrum file reader and the LodRef command.
// Either the whole file reads into channels 0..1023 of the reference, or a
// message names the file and the reason and nothing in memory changes.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "acquisition/measurement_state.h"
#include "fuzz/require.h"
#include "spectrum_files/file_commands.h"
#include "spectrum_files/spectrum_file.h"
#include "tests/support/fakes.h"

namespace {

using namespace pha;

using pha::fuzz::Require;

// The working folder /work with one file; a write fails, and shows.
class OneFile final : public testing::NoFiles {
 public:
  explicit OneFile(std::string bytes) : bytes_(std::move(bytes)) {}
  WorkingDirectory CurrentDirectory() const override { return {"/work", std::nullopt}; }
  FileContents ReadFile(const std::string& path) const override {
    Require(path == "/work/data/ref.csv", "LodRef reads another file");
    return {bytes_, std::nullopt};
  }

 private:
  std::string bytes_;
};

// The text with every line end (CR LF, lone CR, lone LF) written as `end`.
std::string WithLineEnds(const std::string& text, const std::string& end) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool crlf = text.compare(i, 2, "\r\n") == 0;
    out += crlf || text[i] == '\r' || text[i] == '\n' ? end : std::string(1, text[i]);
    i += crlf ? 1 : 0;
  }
  return out;
}

bool SameReading(const SpectrumFileReading& a, const SpectrumFileReading& b) {
  return a.error == b.error && (a.error || a.counts == b.counts);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const SpectrumFileReading reading = ParseSpectrumFile(text);
  // The three kinds of line end read alike.
  for (const char* end : {"\r\n", "\n", "\r"}) {
    Require(SameReading(reading, ParseSpectrumFile(WithLineEnds(text, end))),
            "line ends of another kind read differently");
  }

  OneFile files(text);
  testing::FakeClock clock;
  testing::FakeMonotonicClock monotonic;
  testing::FakeMessages messages;
  testing::CountingSurface plot;
  FileCommandContext context{files, clock, monotonic, messages, plot};
  MeasurementState state;
  for (int i = 0; i < 2001; ++i) state.SpcRef[i] = 7 * i - 5000;
  const MeasurementState before = state;
  CmdLodRef_Click(state, context);

  Require(state.SpcSmp == before.SpcSmp && state.SpcSmt == before.SpcSmt,
          "a reference load touched another spectrum");
  if (reading.error) {
    Require(!reading.error->empty(), "an error without words");
    Require(messages.errors.size() == 1, "a failed load shows not exactly one message");
    Require(messages.errors[0].find("/work/data/ref.csv") != std::string::npos,
            "the message does not name the file");
    Require(state.SpcRef == before.SpcRef, "a failed load changed the reference");
    Require(plot.drawings == 0, "a failed load redrew");
    return 0;
  }
  Require(messages.errors.empty() && plot.drawings > 0, "a good load did not just redraw");
  for (int i = 0; i < 2001; ++i) {  // every channel; a file holds 0..1023
    const std::int32_t expected = i < 1024 ? reading.counts[i] : before.SpcRef[i];
    Require(state.SpcRef[i] == expected, "the reference holds other counts than the file");
  }
  // What reads well writes back and reads again to the same counts.
  const SpectrumFileReading again = ParseSpectrumFile(FormatSpectrumFile(state.SpcRef));
  Require(!again.error && again.counts == reading.counts, "no round trip");
  return 0;
}
