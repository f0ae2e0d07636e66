#include "TimeStamps.h"

#include <algorithm>

namespace vantora {

namespace {

using Token = StampFormat::Token;

bool IsBlank(QChar c) {
    return c.isSpace() || c == QChar(0x200E) || c == QChar(0x200F);
}

// A format split into fields and literal text, by the rules QLocale formats
// with: quoted text ('' for a quote) is literal, as is any letter that is no
// field; 't' runs (the time zone) are dropped.
std::vector<Token> Tokenize(const QString& format) {
    std::vector<Token> tokens;
    const auto literal = [&](const QString& text) {
        if (text.isEmpty())
            return;
        if (tokens.empty() || tokens.back().What != Token::Literal)
            tokens.push_back({Token::Literal, QString()});
        tokens.back().Text += text;
    };
    const auto field = [&](Token::Kind kind) { tokens.push_back({kind, QString()}); };
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\'')) {
            if (i + 1 < format.size() && format.at(i + 1) == QLatin1Char('\'')) {
                literal(QStringLiteral("'"));
                i += 2;
                continue;
            }
            QString quoted;
            qsizetype j = i + 1;
            for (; j < format.size(); ++j) {
                if (format.at(j) == QLatin1Char('\'')) {
                    if (j + 1 < format.size() && format.at(j + 1) == QLatin1Char('\'')) {
                        quoted += QLatin1Char('\'');
                        ++j;
                        continue;
                    }
                    break;
                }
                quoted += format.at(j);
            }
            literal(quoted);
            i = j + 1;
            continue;
        }
        qsizetype run = 1;
        while (i + run < format.size() && format.at(i + run) == c)
            ++run;
        switch (c.unicode()) {
        case 'd':
            run = std::min<qsizetype>(run, 4);
            field(run <= 2 ? Token::Day : Token::DayName);
            break;
        case 'M':
            run = std::min<qsizetype>(run, 4);
            field(run <= 2 ? Token::Month : Token::MonthName);
            break;
        case 'y':
            if (run >= 4) {
                run = 4;
                field(Token::Year4);
            } else if (run >= 2) {
                run = 2;
                field(Token::Year2);
            } else {
                literal(QStringLiteral("y"));
            }
            break;
        case 'h':
            run = std::min<qsizetype>(run, 2);
            field(Token::Hour12);
            break;
        case 'H':
            run = std::min<qsizetype>(run, 2);
            field(Token::Hour24);
            break;
        case 'm':
            run = std::min<qsizetype>(run, 2);
            field(Token::Minute);
            break;
        case 's':
            run = std::min<qsizetype>(run, 2);
            field(Token::Second);
            break;
        case 'z':
            run = run >= 3 ? 3 : 1;
            field(Token::Millisecond);
            break;
        case 't':
            break;
        case 'a':
        case 'A':
            run = 1;
            if (i + 1 < format.size() &&
                (format.at(i + 1) == QLatin1Char('p') || format.at(i + 1) == QLatin1Char('P')))
                run = 2;
            field(Token::AmPm);
            break;
        default:
            run = 1;
            literal(QString(c));
        }
        i += run;
    }
    return tokens;
}

QString Folded(const QString& text) {
    QString out;
    out.reserve(text.size());
    bool blank = false;
    for (const QChar c : text) {
        if (IsBlank(c)) {
            blank = true;
            continue;
        }
        if (blank && !out.isEmpty())
            out += QLatin1Char(' ');
        blank = false;
        out += c;
    }
    return out.toCaseFolded();
}

// Whether text at `at` starts with word, letter case aside; moves past it.
bool TakeWord(const QString& text, qsizetype& at, const QString& word) {
    if (word.isEmpty() || text.size() - at < word.size())
        return false;
    if (QStringView(text).mid(at, word.size()).compare(word, Qt::CaseInsensitive) != 0)
        return false;
    at += word.size();
    return true;
}

} // namespace

QString StampTimeFormat(const QLocale& locale) {
    const QString format = locale.timeFormat(QLocale::LongFormat);
    // Drop the unquoted 't' runs with the blanks, commas and brackets that
    // stand between them and the rest of the time.
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (quoted || c != QLatin1Char('t')) {
            out += c;
            continue;
        }
        while (!out.isEmpty() &&
               (out.back().isSpace() || QStringLiteral(",([").contains(out.back())))
            out.chop(1);
        while (i + 1 < format.size() && (format.at(i + 1) == QLatin1Char('t') ||
                                         QStringLiteral(")]").contains(format.at(i + 1))))
            ++i;
    }
    return out.trimmed();
}

QString WriteStamp(const QDateTime& when, const QLocale& locale) {
    const QString date = locale.toString(when.date(), QLocale::ShortFormat);
    if (when.time() == QTime(0, 0))
        return date;
    return date + QLatin1Char(' ') + locale.toString(when.time(), StampTimeFormat(locale));
}

struct StampFormat::Fields {
    int Day = -1, Month = -1, Year = -1, YearDigits = 0;
    int Hour = -1, Minute = 0, Second = 0, Millisecond = 0;
    int AmPm = -1; // 0 AM, 1 PM, -1 none
    bool Time = false;
};

StampFormat::StampFormat(const QLocale& locale, const QString& dateFormat,
                         const QString& timeFormat)
    : Where(locale), DateText(dateFormat), TimeText(timeFormat), DateTokens(Tokenize(dateFormat)),
      TimeTokens(Tokenize(timeFormat)) {
    for (const Token& t : TimeTokens)
        if (t.What == Token::AmPm)
            TwelveHour = true;
    for (int m = 0; m < 12; ++m) {
        QStringList& names = MonthNames[m];
        for (const QString& name : {locale.monthName(m + 1, QLocale::LongFormat),
                                    locale.standaloneMonthName(m + 1, QLocale::LongFormat),
                                    locale.monthName(m + 1, QLocale::ShortFormat),
                                    locale.standaloneMonthName(m + 1, QLocale::ShortFormat)})
            if (!name.isEmpty() && !names.contains(name))
                names << name;
        std::stable_sort(names.begin(), names.end(),
                         [](const QString& a, const QString& b) { return a.size() > b.size(); });
    }
}

bool StampFormat::Match(const std::vector<Token>& tokens, const QString& text, qsizetype& at,
                        Fields& f, bool lenient) const {
    const auto number = [&](int minDigits, int maxDigits, int& value, int* digits = nullptr) {
        int count = 0;
        int v = 0;
        while (at < text.size() && count < maxDigits) {
            // Some scripts' digits lie beyond the first plane.
            char32_t point = text.at(at).unicode();
            qsizetype width = 1;
            if (text.at(at).isHighSurrogate() && at + 1 < text.size() &&
                text.at(at + 1).isLowSurrogate()) {
                point = QChar::surrogateToUcs4(text.at(at), text.at(at + 1));
                width = 2;
            }
            const int d = QChar::digitValue(point);
            if (d < 0)
                break;
            v = v * 10 + d;
            ++count;
            at += width;
        }
        if (count < minDigits)
            return false;
        value = v;
        if (digits)
            *digits = count;
        return true;
    };
    for (size_t k = 0; k < tokens.size(); ++k) {
        const Token& t = tokens[k];
        switch (t.What) {
        case Token::Literal: {
            for (const QChar c : t.Text) {
                if (IsBlank(c)) {
                    // Any run of blanks stands for a blank; where the format
                    // has only direction marks, none is needed.
                    const bool needed = c.isSpace();
                    qsizetype from = at;
                    while (at < text.size() && IsBlank(text.at(at)))
                        ++at;
                    if (needed && at == from && !lenient)
                        return false;
                    continue;
                }
                if (at >= text.size() || text.at(at).toCaseFolded() != c.toCaseFolded())
                    return false;
                ++at;
            }
            break;
        }
        case Token::Day:
            if (!number(1, 2, f.Day))
                return false;
            break;
        case Token::Month:
            if (!number(1, 2, f.Month))
                return false;
            break;
        case Token::Year2:
        case Token::Year4: {
            int digits = 0;
            if (!number(2, 4, f.Year, &digits))
                return false;
            if (digits == 3 || (!lenient && digits != (t.What == Token::Year2 ? 2 : 4)))
                return false;
            f.YearDigits = digits;
            break;
        }
        case Token::Hour12:
        case Token::Hour24:
            if (!number(1, 2, f.Hour))
                return false;
            f.Time = true;
            break;
        case Token::Minute:
            if (!number(1, 2, f.Minute))
                return false;
            break;
        case Token::Second:
            if (!number(1, 2, f.Second))
                return false;
            break;
        case Token::Millisecond:
            if (!number(1, 3, f.Millisecond))
                return false;
            break;
        case Token::MonthName: {
            bool found = false;
            for (int m = 0; m < 12 && !found; ++m)
                for (const QString& name : MonthNames[m])
                    if (TakeWord(text, at, name)) {
                        f.Month = m + 1;
                        found = true;
                        break;
                    }
            if (!found)
                return false;
            break;
        }
        case Token::DayName: {
            bool found = false;
            for (int d = 1; d <= 7 && !found; ++d)
                for (const QLocale::FormatType type : {QLocale::LongFormat, QLocale::ShortFormat})
                    if (TakeWord(text, at, Where.dayName(d, type)) ||
                        TakeWord(text, at, Where.standaloneDayName(d, type))) {
                        found = true;
                        break;
                    }
            if (!found)
                return false;
            break;
        }
        case Token::AmPm: {
            // The longer of the two words first, in case one begins the other.
            const QString am = Where.amText();
            const QString pm = Where.pmText();
            const bool pmFirst = pm.size() >= am.size();
            if (TakeWord(text, at, pmFirst ? pm : am))
                f.AmPm = pmFirst ? 1 : 0;
            else if (TakeWord(text, at, pmFirst ? am : pm))
                f.AmPm = pmFirst ? 0 : 1;
            else if (!lenient)
                return false;
            break;
        }
        }
    }
    return true;
}

std::optional<QDate> StampFormat::DateOf(const Fields& f, int currentYear) const {
    if (f.Day < 0 || f.Month < 0 || f.Year < 0)
        return std::nullopt;
    int year = f.Year;
    if (f.YearDigits <= 2) {
        year = currentYear / 100 * 100 + f.Year;
        if (year > currentYear + 20)
            year -= 100;
        else if (year <= currentYear - 80)
            year += 100;
    }
    const QDate date(year, f.Month, f.Day);
    return date.isValid() ? std::optional<QDate>(date) : std::nullopt;
}

std::optional<QTime> StampFormat::TimeOf(const Fields& f) const {
    int hour = f.Hour;
    if (hour < 0)
        return std::nullopt;
    if (f.AmPm >= 0) {
        if (hour < 1 || hour > 12)
            return std::nullopt;
        hour = hour % 12 + (f.AmPm == 1 ? 12 : 0);
    }
    const QTime time(hour, f.Minute, f.Second, f.Millisecond);
    return time.isValid() ? std::optional<QTime>(time) : std::nullopt;
}

std::optional<StampTime> StampFormat::Read(const QString& text, bool lenient,
                                           int currentYear) const {
    Fields date;
    qsizetype at = 0;
    while (at < text.size() && IsBlank(text.at(at)))
        ++at;
    if (!Match(DateTokens, text, at, date, lenient))
        return std::nullopt;
    const std::optional<QDate> day = DateOf(date, currentYear);
    if (!day)
        return std::nullopt;
    const auto atEnd = [&](qsizetype from, const QString& allowed) {
        for (qsizetype i = from; i < text.size(); ++i)
            if (!IsBlank(text.at(i)) && !allowed.contains(text.at(i)))
                return false;
        return true;
    };
    StampTime result{*day, QTime(0, 0)};
    if (!atEnd(at, QString())) {
        if (at >= text.size() || !IsBlank(text.at(at)))
            return std::nullopt;
        while (at < text.size() && IsBlank(text.at(at)))
            ++at;
        Fields time;
        if (!Match(TimeTokens, text, at, time, lenient) || !time.Time)
            return std::nullopt;
        // Older versions left the punctuation of a removed time zone behind.
        if (!atEnd(at, lenient ? QStringLiteral(",()[]") : QString()))
            return std::nullopt;
        const std::optional<QTime> clock = TimeOf(time);
        if (!clock)
            return std::nullopt;
        result.Time = *clock;
    }
    if (!lenient) {
        // The stamp must be what this format writes for that moment.
        QString written = Where.toString(result.Date, DateText);
        if (result.Time != QTime(0, 0))
            written += QLatin1Char(' ') + Where.toString(result.Time, TimeText);
        if (Folded(written) != Folded(text))
            return std::nullopt;
    }
    return result;
}

std::optional<QDate> StampFormat::ReadDatePart(const QString& text, bool lenient,
                                               int currentYear) const {
    Fields date;
    qsizetype at = 0;
    while (at < text.size() && IsBlank(text.at(at)))
        ++at;
    if (!Match(DateTokens, text, at, date, lenient))
        return std::nullopt;
    if (at < text.size() && !IsBlank(text.at(at)))
        return std::nullopt;
    const std::optional<QDate> day = DateOf(date, currentYear);
    if (day && !lenient && Folded(Where.toString(*day, DateText)) != Folded(text.left(at)))
        return std::nullopt;
    return day;
}

StampReader::StampReader(const QLocale& locale, int currentYear, const QTimeZone& zone)
    : Where(locale), Year(currentYear), Zone(zone),
      OwnFormat(locale, locale.dateFormat(QLocale::ShortFormat), StampTimeFormat(locale)) {}

StampReader::~StampReader() = default;

const std::vector<StampFormat>& StampReader::Others() const {
    if (OtherFormats)
        return *OtherFormats;
    OtherFormats = std::make_unique<std::vector<StampFormat>>();
    static const QList<QLocale> all =
        QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    // The regions of this language first, its main region leading; then
    // all others in Qt's order. Regions that write alike are tried once.
    QList<QLocale> order{QLocale(Where.language())};
    for (const QLocale& l : all)
        if (l.language() == Where.language())
            order << l;
    for (const QLocale& l : all)
        if (l.language() != Where.language())
            order << l;
    const QDate sampleDate(2026, 12, 8);
    const QTime sampleTime(14, 30, 5);
    // Two regions write alike when they write the same stamps.
    const auto writes = [&](const QLocale& l, const QString& date, const QString& time) {
        return l.toString(sampleDate, date) + QLatin1Char('|') + l.toString(sampleTime, time) +
               QLatin1Char('|') + l.toString(QDate(2026, 1, 25), date) + QLatin1Char('|') +
               l.toString(QTime(9, 5, 7), time);
    };
    QSet<QString> seen{
        writes(Where, Where.dateFormat(QLocale::ShortFormat), StampTimeFormat(Where))};
    for (const QLocale& l : order) {
        const QString date = l.dateFormat(QLocale::ShortFormat);
        const QString time = StampTimeFormat(l);
        const QString key = writes(l, date, time);
        if (seen.contains(key))
            continue;
        seen.insert(key);
        OtherFormats->emplace_back(l, date, time);
    }
    return *OtherFormats;
}

std::optional<StampTime> StampReader::Read(const QString& stamp) const {
    if (auto own = OwnFormat.Read(stamp, true, Year))
        return own;
    for (const StampFormat& other : Others())
        if (auto read = other.Read(stamp, false, Year))
            return read;
    return std::nullopt;
}

std::optional<QDate> StampReader::ReadDate(const QString& stamp) const {
    if (const auto read = Read(stamp))
        return read->Date;
    // A stamp whose time does not read still gives its date.
    if (auto own = OwnFormat.ReadDatePart(stamp, true, Year))
        return own;
    for (const StampFormat& other : Others())
        if (auto read = other.ReadDatePart(stamp, false, Year))
            return read;
    return std::nullopt;
}

std::optional<qint64> StampReader::ReadFullValue(const QString& stamp) const {
    const auto read = Read(stamp);
    if (!read)
        return std::nullopt;
    return read->Date.toJulianDay() * qint64(86400000) + read->Time.msecsSinceStartOfDay();
}

int StampReader::WindowedYear(int twoDigitYear) const {
    int year = Year / 100 * 100 + twoDigitYear;
    if (year > Year + 20)
        year -= 100;
    else if (year <= Year - 80)
        year += 100;
    return year;
}

StampMoments StampReader::Moments(const StampTime& time) const {
    const qint64 local = QDateTime(time.Date, time.Time, QTimeZone::utc()).toMSecsSinceEpoch();
    if (!Zone.isValid())
        return {local, local};
    // The offsets from UTC at the start and the end of the day; where they
    // differ the clocks changed that day.
    const qint64 day = time.Date.toJulianDay();
    auto found = DayOffsets.constFind(day);
    if (found == DayOffsets.constEnd()) {
        const qint64 start =
            QDateTime(time.Date, QTime(0, 0), QTimeZone::utc()).toMSecsSinceEpoch();
        const auto offsetAt = [&](qint64 ms) {
            return Zone.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc()));
        };
        found = DayOffsets.insert(day, {offsetAt(start - 43200000), offsetAt(start + 129600000)});
    }
    const auto [before, after] = *found;
    if (before == after)
        return {local - before * qint64(1000), local - before * qint64(1000)};
    // Each offset gives a moment; it stands only if the zone has that offset then.
    std::vector<qint64> moments;
    for (const int offset : {before, after}) {
        const qint64 moment = local - offset * qint64(1000);
        if (Zone.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(moment, QTimeZone::utc())) == offset)
            moments.push_back(moment);
    }
    if (moments.empty()) // a local time the clocks skipped
        moments.push_back(local - before * qint64(1000));
    const auto [low, high] = std::minmax_element(moments.begin(), moments.end());
    return {*low, *high};
}

StampSet::StampSet(const QStringList& stamps, const StampReader& reader)
    : Stamps(stamps), Reader(reader), Done(size_t(stamps.size()), 0), Times(size_t(stamps.size())) {
}

void StampSet::Prepare() {
    Prepared = true;
    const int year = Reader.CurrentYear();
    bool allOwn = true;
    for (qsizetype i = 0; i < Stamps.size(); ++i) {
        if (const auto own = Reader.Own().Read(Stamps.at(i), true, year)) {
            Times[size_t(i)] = *own;
            Done[size_t(i)] = 1;
        } else {
            Done[size_t(i)] = 2;
            allOwn = false;
        }
    }
    if (allOwn)
        return;
    const std::vector<StampFormat>& others = Reader.Others();
    const auto readsAll = [&](const StampFormat& format, bool onlyUnread) {
        for (qsizetype i = 0; i < Stamps.size(); ++i)
            if ((!onlyUnread || Done[size_t(i)] == 2) && !format.Read(Stamps.at(i), false, year))
                return false;
        return true;
    };
    // An archive written whole under another region is read with its
    // format, also where this region's formats would read a stamp otherwise.
    for (const StampFormat& format : others)
        if (readsAll(format, false)) {
            for (qsizetype i = 0; i < Stamps.size(); ++i) {
                Times[size_t(i)] = *format.Read(Stamps.at(i), false, year);
                Done[size_t(i)] = 1;
            }
            return;
        }
    // Else the stamps this region's formats do not read, together if one
    // format reads them all, else one by one.
    const StampFormat* chosen = nullptr;
    for (const StampFormat& format : others)
        if (readsAll(format, true)) {
            chosen = &format;
            break;
        }
    for (qsizetype i = 0; i < Stamps.size(); ++i) {
        if (Done[size_t(i)] == 1)
            continue;
        std::optional<StampTime> read;
        if (chosen)
            read = chosen->Read(Stamps.at(i), false, year);
        for (size_t k = 0; !read && k < others.size(); ++k)
            read = others[k].Read(Stamps.at(i), false, year);
        if (read) {
            Times[size_t(i)] = *read;
            Done[size_t(i)] = 1;
        }
    }
}

std::optional<StampTime> StampSet::Read(int index) {
    if (!Prepared)
        Prepare();
    if (Done[size_t(index)] != 1)
        return std::nullopt;
    return Times[size_t(index)];
}

std::optional<QDate> StampSet::Date(int index) {
    if (const auto read = Read(index))
        return read->Date;
    return Reader.ReadDate(Stamps.at(index));
}

} // namespace vantora
