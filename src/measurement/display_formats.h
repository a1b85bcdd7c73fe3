// The display formats of the measurement figures, as the operator reads them
// in the labels: "0", "#,##0", "hh:mm:ss" and plain counts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pha {

// Format "0": the nearest whole number, halves away from zero (2.5 gives 3,
// -2.5 gives -3), no thousands separator. Exact at every magnitude; a value
// that rounds to zero from below shows "0", never "-0".
std::string FormatRounded(double value);

// Format "#,##0": rounded as FormatRounded, the digits in groups of three
// with `thousands` between them (any UTF-8 text, possibly empty).
// 12499.5 with "," gives "12,500".
std::string FormatGrouped(double value, std::string_view thousands);

// Format "hh:mm:ss": a number of seconds as a time of day, two digits each,
// separated by `separator`. Whole days are dropped (86400 gives 00:00:00); a
// negative number counts back from midnight (-1 gives 23:59:59).
std::string FormatTimeOfDay(std::int64_t seconds, std::string_view separator);

// A count as plain decimal digits: "-" ahead of a negative value, no leading
// zeros, blanks or separators.
std::string FormatCount(std::int64_t count);

}  // namespace pha
