#include "emulator/pty_detector.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace pha::emulator {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void ThrowErrno(int error, const std::string& what) {
  throw std::system_error(error, std::generic_category(), what);
}

}  // namespace

PtyDetector::PtyDetector(fs::path link_path) : link_path_(std::move(link_path)) {
  if (openpty(&master_fd_, &slave_fd_, nullptr, nullptr, nullptr) != 0)
    ThrowErrno(errno, "cannot create a pty");
  try {
    fcntl(master_fd_, F_SETFD, FD_CLOEXEC);
    fcntl(slave_fd_, F_SETFD, FD_CLOEXEC);
    std::array<char, 128> name{};
    if (const int error = ttyname_r(slave_fd_, name.data(), name.size()); error != 0)
      ThrowErrno(error, "cannot name the pty's slave");
    slave_path_ = name.data();

    termios settings{};
    if (tcgetattr(slave_fd_, &settings) != 0) ThrowErrno(errno, "tcgetattr " + slave_path_);
    cfmakeraw(&settings);
    // A pty ignores the speed; set for whoever asks the port what it runs at.
    cfsetispeed(&settings, B19200);
    cfsetospeed(&settings, B19200);
    if (tcsetattr(slave_fd_, TCSANOW, &settings) != 0)
      ThrowErrno(errno, "tcsetattr " + slave_path_);

    if (!link_path_.empty()) {
      const fs::file_status status = fs::symlink_status(link_path_);
      if (fs::is_symlink(status)) {
        fs::remove(link_path_);
      } else if (fs::exists(status)) {
        throw std::runtime_error(link_path_.string() +
                                 " exists and is not a symbolic link; not replacing it");
      }
      fs::create_symlink(slave_path_, link_path_);
    }
  } catch (...) {
    Close();
    throw;
  }
}

PtyDetector::~PtyDetector() {
  if (!link_path_.empty()) {
    // Leave alone a link that someone has pointed elsewhere meanwhile.
    std::error_code error;
    if (fs::read_symlink(link_path_, error) == slave_path_) fs::remove(link_path_, error);
  }
  Close();
}

void PtyDetector::Close() {
  if (master_fd_ >= 0) close(master_fd_);
  if (slave_fd_ >= 0) close(slave_fd_);
  master_fd_ = slave_fd_ = -1;
}

}  // namespace pha::emulator
