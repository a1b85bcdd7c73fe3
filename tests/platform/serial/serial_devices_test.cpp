// The serial devices present, from a scratch sysfs and /dev.
#include "platform/serial/serial_devices.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

namespace pha {
namespace {

// Which serial devices are present comes from what the kernel publishes in
// sysfs and /dev, here a scratch tree: none of them is opened, since an open
// raises a UART's modem lines, on which some equipment resets.
TEST(SerialDevices, ThePresentOnesAreFoundWithoutOpeningAny) {
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("pha-devices-" + std::to_string(getpid()));
  fs::remove_all(root);
  const struct {
    std::string tty;
    const char* type;  // in sysfs, or nullptr: none
    bool driver;
    bool present;
  } rows[] = {{"ttyS0", "4", true, true},       {"ttyS1", "0", true, false},
              {"ttyS2", nullptr, true, true},   {"ttyS3", nullptr, false, false},
              {"ttyUSB0", nullptr, true, true}, {"ttyACM1", nullptr, true, true}};
  std::set<std::string> expected{(root / "dev/serial/by-id/usb-FTDI_A1").string()};
  fs::create_directories(root / "dev/serial/by-id");
  for (const auto& row : rows) {
    fs::create_directories(root / "sys/class/tty" / row.tty / (row.driver ? "device/driver" : ""));
    if (row.type != nullptr) std::ofstream(root / "sys/class/tty" / row.tty / "type") << row.type;
    std::ofstream(root / "dev" / row.tty);
    if (row.present) expected.insert((root / "dev" / row.tty).string());
  }
  fs::create_symlink("../../ttyUSB0", root / "dev/serial/by-id/usb-FTDI_A1");

  // An event of a file in the watched folder carries its name; the
  // folder's own, from listing it, does not.
  const int opens = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(inotify_add_watch(opens, (root / "dev").c_str(), IN_OPEN), 0);
  const std::vector<std::string> present = PresentSerialDevices(root.string());
  EXPECT_EQ(std::set<std::string>(present.begin(), present.end()), expected);
  alignas(inotify_event) char events[4096];
  const ssize_t got = read(opens, events, sizeof events);
  for (char* at = events; at < events + std::max<ssize_t>(got, 0);) {
    const auto* event = reinterpret_cast<const inotify_event*>(at);
    EXPECT_EQ(event->len, 0U) << event->name << " was opened";
    at += sizeof(inotify_event) + event->len;
  }
  close(opens);
  fs::remove_all(root);
}

}  // namespace
}  // namespace pha
