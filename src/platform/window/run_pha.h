// The program's start and end on Qt: the application's look, the window
// shown once serial port 1 opened, the event loop, and the signals that end
// it.
#pragma once

#include <string>

#include "main_window/files_and_clock.h"

namespace pha {

// Builds the window, runs Form_Load and, when serial port 1 opened, shows the
// window and runs the event loop until it closes. Returns the exit status:
// non-zero when start-up failed, after a message naming the failure and
// before any window was shown. Needs a QApplication.
int RunPha(const std::string& port1_device, FileSystem& files, Clock& clock);

// The look of the program, the same wherever it runs.
void ConfigureApplication();

}  // namespace pha
