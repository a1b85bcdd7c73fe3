// What the display formats take from the user's locale, read through Qt.
#pragma once

#include <QLocale>

#include "main_window/window_ops.h"

namespace pha {

// The thousands and time separators of the user's locale, and of `locale`.
LocaleSeparators SystemLocaleSeparators();
LocaleSeparators SeparatorsOf(const QLocale& locale);

}  // namespace pha
