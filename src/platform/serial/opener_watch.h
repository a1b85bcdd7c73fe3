// Other programs that open the detector line. A program with root's rights
// (a modem manager probing a new serial device, a braille display service)
// ignores the line's exclusive claim; every byte it reads is lost to this
// program. The system tells each open of the device node through inotify.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>
#include <string>

namespace pha {

class OpenerWatch final : public QObject {
  Q_OBJECT

 public:
  // `on_events` is called with the opens and the closes of the device by
  // other programs since it was last called, on the user-interface thread.
  explicit OpenerWatch(std::function<void(int opens, int closes)> on_events,
                       QObject* parent = nullptr);
  ~OpenerWatch() override;

  // Watches the device node behind `path` (following a link), from just
  // after this program's own open, so that its own does not count; false
  // where the system cannot watch it.
  bool Watch(const std::string& path);
  // Before this program closes the device, so that its own close does not
  // count either.
  void Stop();

 private:
  void ReadEvents();

  std::function<void(int, int)> on_events_;
  int inotify_ = -1;
  int watch_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace pha
