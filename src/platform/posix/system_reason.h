// The system's words for an error number, for a message to the operator.
#pragma once

#include <string>

namespace pha {

// strerror's text with a lower-case first letter, to stand after a colon:
// "no such file or directory".
std::string SystemReason(int error_number);

}  // namespace pha
