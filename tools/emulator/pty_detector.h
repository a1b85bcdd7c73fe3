// A pseudo-terminal that stands in for the detector's serial device.
#pragma once

#include <filesystem>
#include <string>

namespace pha::emulator {

// Creates a pty pair. The program opens the slave side as its serial port;
// the emulator writes the pulse stream into the master side. The slave is put
// in raw mode at once, because otherwise the line discipline would echo and
// translate bytes (CR to LF, ^C to a signal) before the program opens the
// port; and it stays open here, so that the pair lives on while the program
// opens and closes its end.
//
// With a non-empty link path a symbolic link there points to the slave device
// (/dev/pts/N), giving the detector a fixed name. An existing symbolic link at
// that path is replaced; anything else there is refused. The link is removed
// on destruction, when it still points to this pty.
//
// Throws std::system_error when the pty or the link cannot be made, and
// std::runtime_error when the link path holds something that is not a link.
class PtyDetector {
 public:
  explicit PtyDetector(std::filesystem::path link_path = {});
  ~PtyDetector();
  PtyDetector(const PtyDetector&) = delete;
  PtyDetector& operator=(const PtyDetector&) = delete;

  int master_fd() const { return master_fd_; }
  const std::string& slave_path() const { return slave_path_; }
  const std::filesystem::path& link_path() const { return link_path_; }

 private:
  void Close();

  int master_fd_ = -1;
  int slave_fd_ = -1;
  std::string slave_path_;
  std::filesystem::path link_path_;
};

}  // namespace pha::emulator
