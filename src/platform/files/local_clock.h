// The system clock in the local time zone.
#pragma once

#include "main_window/files_and_clock.h"

namespace pha {

class LocalClock final : public Clock {
 public:
  LocalDateTime Now() const override;
};

}  // namespace pha
