// Serial port 1 on QSerialPort, notifying on the user-interface thread.
#pragma once

#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QSerialPort>
#include <functional>
#include <map>
#include <string>

#include "main_window/serial_port.h"

namespace pha {

class QtSerialPort final : public QObject, public SerialPort {
  Q_OBJECT

 public:
  // `devices` maps port numbers to the system's device paths.
  explicit QtSerialPort(std::map<int, std::string> devices, QObject* parent = nullptr);

  void SetCommPort(int number) override;
  void SetSettings(std::string_view settings) override;
  void SetInputModeBinary() override {}  // QSerialPort never alters bytes
  void SetInputLen(int bytes) override { input_len_ = bytes; }
  void SetRThreshold(int bytes) override { threshold_ = bytes; }
  void Open() override;

  int CommEvent() const override { return event_; }
  int InBufferCount() const override;
  void Input(std::span<std::uint8_t> out) override;

  // Called on the user-interface thread whenever newly arrived data leaves at
  // least the threshold number of bytes waiting.
  void OnComm(std::function<void()> handler) { on_comm_ = std::move(handler); }
  // Called once when the open port fails (the device unplugged, an I/O
  // error); the port is closed then, and stays closed.
  void OnFailure(std::function<void(const std::string&)> handler) {
    on_failure_ = std::move(handler);
  }

  const std::string& DevicePath() const { return device_; }
  bool IsOpen() const { return port_.isOpen(); }

 private:
  static constexpr int kReadRestMs = 10;
  // 10 ms of the line bring 19 bytes; far more means a backlog.
  static constexpr qint64 kRestBelowBytes = 256;

  void HandleReadyRead();
  void RestReadNotifier();
  void HandleError(QSerialPort::SerialPortError error);
  std::string Describe() const;

  std::map<int, std::string> devices_;
  QSerialPort port_;
  int number_ = 0;
  std::string device_;
  int input_len_ = 1;
  int threshold_ = 1;
  int event_ = 0;
  bool in_handler_ = false;
  bool failed_ = false;
  QPointer<QSocketNotifier> read_notifier_;  // QSerialPort's own, if it has one
  std::function<void()> on_comm_;
  std::function<void(const std::string&)> on_failure_;
};

}  // namespace pha
