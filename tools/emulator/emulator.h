// The detector emulator: a stand-in for the detector unit on serial port 1,
// for running and testing the program without the hardware.
//
// The detector sends one frame per pulse: the channel number n as two bytes,
// low byte first (n = byte0 + 256 * byte1), no header, no checksum, frames
// back to back on a 19200-baud 8N1 line. The program accepts channels
// 10..1023 and realigns on the stream by rejecting anything else.
//
//   FrameGenerator  the frames: channels from a realistic spectrum or one
//                   fixed channel, with optional injected faults
//   LineSchedule    when each frame goes out: Poisson arrivals, paced by the line
//   PtyDetector     the pty whose slave side the program opens as its port
//   Runner          writes the frames into the pty from a thread of its own
//   Detector        all of it behind a fixed link, with a cable that can be
//                   pulled and put back
//
// Typical use:
//   pha::emulator::PtyDetector pty("/tmp/detector");
//   pha::emulator::Runner runner(pty.master_fd(), options);
//   runner.Start();
//   // ... the program opens pty.slave_path() or the link ...
//   runner.Stop();
//   pha::emulator::Statistics sent = runner.Stats();
#pragma once

#include "emulator/detector.h"
#include "emulator/frame_generator.h"
#include "emulator/line_schedule.h"
#include "emulator/pty_detector.h"
#include "emulator/runner.h"
