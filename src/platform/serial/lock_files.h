// Lock files of serial devices: LCK..name in the lock folders, the one
// convention by which serial programs (terminal programs, uucp, QSerialPort)
// keep off a line that another program uses. A lock file holds its
// program's process number: in the classic form as ASCII, space-padded to
// ten columns or not, and a newline; in Qt's as the first of three lines
// (number, program, host).
//
// QSerialPort takes a lock file that is not in Qt's form, or names a process
// that runs under another program's name than the one in the file, as left
// behind, and replaces it: so a terminal program's live lock would be lost,
// and the line read by two programs. Hence this program reads the lock
// itself before it opens the line.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pha {

// The lock file of `device` (its path, less /dev/, with / as _), in each of
// the folders where serial programs put it, in the order QSerialPort looks.
std::vector<std::string> SerialLockFiles(const std::string& device);

struct SerialLock {
  std::string path;
  long pid = 0;              // 0: the file names no process
  bool alive = false;        // the process runs, under this account or another
  std::string program;       // its name, where the system tells it
  bool own_account = false;  // the file belongs to this program's account
};

// The first lock file of `device` there is, and what it says; nothing where
// there is none.
std::optional<SerialLock> FindSerialLock(const std::string& device);

// The lock file that QSerialPort made for this process on opening `device`
// (one of SerialLockFiles() that names this process), removed at any end of
// the process, exit() included, where it names this process still. Nothing
// else ever removes a lock file.
class OwnLockFile {
 public:
  OwnLockFile();
  ~OwnLockFile();
  OwnLockFile(const OwnLockFile&) = delete;
  OwnLockFile& operator=(const OwnLockFile&) = delete;

  // After the port on `device` opened.
  void Find(const std::string& device);
  // After the port closed: QSerialPort removed it.
  void Forget() { path_.clear(); }

 private:
  std::string path_;
};

}  // namespace pha
