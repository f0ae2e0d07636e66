#include "TimeStamps.h"

#include <QStringList>

namespace vantora {

namespace {

// The digit runs of a text, as numbers with their lengths. Count goes past 3
// when there are more runs than a date or a clock holds; a run longer than
// four digits makes the text unreadable (Count -1).
struct DigitRuns {
    int Value[3] = {0, 0, 0};
    int Length[3] = {0, 0, 0};
    int Count = 0;

    explicit DigitRuns(QStringView text) {
        int value = 0;
        int length = 0;
        for (qsizetype i = 0; i <= text.size(); ++i) {
            const int digit = i < text.size() ? text[i].digitValue() : -1;
            if (digit >= 0) {
                if (++length > 4) {
                    Count = -1;
                    return;
                }
                value = value * 10 + digit;
                continue;
            }
            if (length > 0) {
                if (Count < 3) {
                    Value[Count] = value;
                    Length[Count] = length;
                }
                ++Count;
            }
            value = 0;
            length = 0;
        }
    }
};

} // namespace

StampReader::StampReader(const QLocale& locale, int currentYear)
    : Locale(locale), CurrentYear(currentYear),
      ShortFormat(locale.dateFormat(QLocale::ShortFormat)) {
    BlanksInDate = int(locale.toString(QDate(2001, 12, 31), QLocale::ShortFormat).count(' '));
    // The order of the day, month and year fields, when all three are
    // numeric (no month or day names) and quoted text holds none of them.
    bool quoted = false;
    bool numeric = true;
    for (qsizetype i = 0; i < ShortFormat.size(); ++i) {
        const QChar c = ShortFormat.at(i);
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            continue;
        }
        if (quoted)
            continue;
        if (c == QLatin1Char('d') || c == QLatin1Char('M') || c == QLatin1Char('y')) {
            qsizetype run = 1;
            while (i + run < ShortFormat.size() && ShortFormat.at(i + run) == c)
                ++run;
            if ((c != QLatin1Char('y') && run > 2))
                numeric = false;
            if (!FieldOrder.contains(c))
                FieldOrder += c;
            i += run - 1;
        }
    }
    if (!numeric || FieldOrder.size() != 3)
        FieldOrder.clear();
}

int StampReader::WindowedYear(int twoDigitYear) const {
    int year = CurrentYear / 100 * 100 + twoDigitYear;
    if (year > CurrentYear + 20)
        year -= 100;
    else if (year <= CurrentYear - 80)
        year += 100;
    return year;
}

QString StampReader::DatePartText(const QString& stamp) const {
    qsizetype at = -1;
    for (int blank = 0; blank <= BlanksInDate; ++blank) {
        at = stamp.indexOf(QLatin1Char(' '), at + 1);
        if (at < 0)
            return stamp;
    }
    return stamp.left(at);
}

std::optional<QDate> StampReader::ReadDateText(const QString& text) const {
    if (FieldOrder.isEmpty()) {
        // Month or day names: the locale reads its own format; a two-digit
        // year comes back in the 1900s and is moved into the window.
        QDate date = Locale.toDate(text, ShortFormat);
        if (!date.isValid())
            return std::nullopt;
        if (!ShortFormat.contains(QLatin1String("yyy")))
            date = QDate(WindowedYear(date.year() % 100), date.month(), date.day());
        return date.isValid() ? std::optional<QDate>(date) : std::nullopt;
    }
    const DigitRuns runs(text);
    if (runs.Count != 3)
        return std::nullopt;
    int day = 0, month = 0, year = 0;
    for (int i = 0; i < 3; ++i) {
        switch (FieldOrder.at(i).toLatin1()) {
        case 'd':
            day = runs.Value[i];
            break;
        case 'M':
            month = runs.Value[i];
            break;
        default:
            year = runs.Length[i] <= 2 ? WindowedYear(runs.Value[i]) : runs.Value[i];
        }
    }
    const QDate date(year, month, day);
    return date.isValid() ? std::optional<QDate>(date) : std::nullopt;
}

std::optional<QDate> StampReader::ReadDate(const QString& stamp) const {
    return ReadDateText(DatePartText(stamp).trimmed());
}

std::optional<QTime> StampReader::ReadTimeText(const QString& text) const {
    if (text.isEmpty())
        return QTime(0, 0);
    // The clock is the first word holding a digit; the words after it may
    // name the time zone, which the stamps of one page share.
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    qsizetype clock = -1;
    for (qsizetype i = 0; i < words.size() && clock < 0; ++i) {
        for (const QChar c : words[i]) {
            if (c.isDigit()) {
                clock = i;
                break;
            }
        }
    }
    if (clock < 0)
        return std::nullopt;
    const DigitRuns runs(words[clock]);
    if (runs.Count < 2 || runs.Count > 3)
        return std::nullopt;
    int hour = runs.Value[0];
    const auto marks = [&](const QString& marker) {
        if (marker.isEmpty())
            return false;
        const QString& word = words[clock];
        if (word.startsWith(marker, Qt::CaseInsensitive) ||
            word.endsWith(marker, Qt::CaseInsensitive))
            return true;
        for (const QString& w : words)
            if (w.compare(marker, Qt::CaseInsensitive) == 0)
                return true;
        return false;
    };
    if (marks(Locale.pmText())) {
        if (hour < 1 || hour > 12)
            return std::nullopt;
        hour = hour % 12 + 12;
    } else if (marks(Locale.amText())) {
        if (hour < 1 || hour > 12)
            return std::nullopt;
        hour = hour % 12;
    }
    const QTime time(hour, runs.Value[1], runs.Count > 2 ? runs.Value[2] : 0);
    return time.isValid() ? std::optional<QTime>(time) : std::nullopt;
}

std::optional<qint64> StampReader::ReadFullValue(const QString& stamp) const {
    const QString datePart = DatePartText(stamp);
    const std::optional<QDate> date = ReadDateText(datePart.trimmed());
    if (!date)
        return std::nullopt;
    const std::optional<QTime> time = ReadTimeText(stamp.mid(datePart.size()).trimmed());
    if (!time)
        return std::nullopt;
    return date->toJulianDay() * qint64(86400000) + time->msecsSinceStartOfDay();
}

} // namespace vantora
