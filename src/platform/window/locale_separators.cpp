#include "platform/window/locale_separators.h"

#include <QRegularExpression>

namespace pha {

LocaleSeparators SystemLocaleSeparators() { return SeparatorsOf(QLocale::system()); }

LocaleSeparators SeparatorsOf(const QLocale& locale) {
  LocaleSeparators separators;
  separators.thousands = locale.groupSeparator().toStdString();
  // The separator after the hours in the locale's time format ("HH:mm:ss").
  const QString format = locale.timeFormat(QLocale::LongFormat);
  const qsizetype hours = format.indexOf(QRegularExpression(QStringLiteral("[hH]+")));
  if (hours >= 0) {
    qsizetype after = hours;
    while (after < format.size() && (format[after] == 'h' || format[after] == 'H')) ++after;
    if (after < format.size() && !format[after].isLetter() && format[after] != ' ')
      separators.time = QString(format[after]).toStdString();
  }
  return separators;
}

}  // namespace pha
