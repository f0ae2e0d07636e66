#pragma once
// Reading the time stamps that the tools store with their results: the
// locale's short date, a blank and the long time (the time is left out at
// exactly midnight). Stamps written by older versions, with two-digit years
// or another date length, read as well.
#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>
#include <optional>

namespace vantora {

class StampReader {
  public:
    // Two-digit years are placed in the window of 80 years before and 20
    // after currentYear.
    StampReader(const QLocale& locale, int currentYear);

    // The text of the date part: up to the blank that follows the short date
    // (the first blank, unless the locale's short date holds blanks itself).
    QString DatePartText(const QString& stamp) const;
    // The date part read in the short date format's field order, with one-
    // or two-digit days and months and two- or four-digit years.
    std::optional<QDate> ReadDate(const QString& stamp) const;
    // Date and time as milliseconds since a fixed origin, for ordering; a
    // stamp without a time part is midnight.
    std::optional<qint64> ReadFullValue(const QString& stamp) const;

    int WindowedYear(int twoDigitYear) const;

  private:
    std::optional<QDate> ReadDateText(const QString& text) const;
    std::optional<QTime> ReadTimeText(const QString& text) const;

    QLocale Locale;
    int CurrentYear;
    QString ShortFormat;
    int BlanksInDate = 0; // blanks inside a formatted short date
    QString FieldOrder;   // "dMy", "Mdy", "ydM", ... ; empty when not numeric
};

} // namespace vantora
