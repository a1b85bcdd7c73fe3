#include "platform/posix/system_reason.h"

#include <cctype>
#include <system_error>

namespace pha {

std::string SystemReason(int error_number) {
  std::string text = std::generic_category().message(error_number);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

}  // namespace pha
