#include "acquisition/title_log.h"

#include <string>

#include "main_window/window_ops.h"

namespace pha {

std::size_t Utf8PrefixBytes(std::string_view text, std::size_t chars) {
  // Every character starts with a byte that is not a continuation byte
  // (10xxxxxx); the prefix ends where character number `chars` + 1 starts.
  std::size_t seen = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      if (seen == chars) return i;
      ++seen;
    }
  }
  return text.size();
}

void PrependToTitle(Window& TxtCmt, std::string_view entry) {
  const std::string& old = TxtCmt.Caption();
  const std::size_t kept = Utf8PrefixBytes(old, kTitleKeptChars);
  std::string title;
  title.reserve(entry.size() + kept);
  title.append(entry);
  title.append(old, 0, kept);
  TxtCmt.SetCaption(std::move(title));
}

}  // namespace pha
