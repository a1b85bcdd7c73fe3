// The window title as a running log of the most recent frames, newest first.
#pragma once

#include <cstddef>
#include <string_view>

namespace pha {

class Window;

// Older title text kept behind a new entry, in characters (not bytes).
constexpr std::size_t kTitleKeptChars = 250;

// The title entry of a byte discarded to realign the stream: a black star
// (U+2605) and a space.
constexpr std::string_view kDiscardEntry = "\u2605 ";

// The number of bytes that the first `chars` characters of UTF-8 `text` take
// (all of it when it has fewer characters).
std::size_t Utf8PrefixBytes(std::string_view text, std::size_t chars);

// Sets the title to `entry` followed by the first 250 characters of the
// current title.
void PrependToTitle(Window& TxtCmt, std::string_view entry);

}  // namespace pha
