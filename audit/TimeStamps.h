#pragma once
// Reading the time stamps that the tools store with their results: the
// locale's short date, a blank and the long time without its time zone (the
// time is left out at exactly midnight).
//
// A stamp is read with the formats of the region in use first, leniently
// (one- or two-digit days, months and hours, two- or four-digit years, the
// AM/PM word optional), which also reads the stamps of older versions.
// A stamp that does not read so was written under another region: it is
// matched exactly against the formats of every region Qt knows, those of the
// same language first. Within one archive the first of those formats that
// reads all such stamps is taken for all of them, so that a day written
// under another region is not read with this region's field order.
#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QLocale>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QTimeZone>
#include <memory>
#include <optional>
#include <vector>

namespace vantora {

// The long time format that stamps are written with: the locale's, without
// the time-zone field and the punctuation that only joins it to the time.
QString StampTimeFormat(const QLocale& locale);
// A stamp as it is stored: the short date, a blank and the time in
// StampTimeFormat; the date alone at exactly midnight.
QString WriteStamp(const QDateTime& when, const QLocale& locale);

struct StampTime {
    QDate Date;
    QTime Time; // midnight for a stamp without a time part
};

// The moments a local date and time may stand for, in milliseconds since the
// epoch: one moment, or two in the hour repeated when the clocks go back.
struct StampMoments {
    qint64 Earliest = 0;
    qint64 Latest = 0;
};

// One region's date and time formats, prepared for reading.
class StampFormat {
  public:
    StampFormat(const QLocale& locale, const QString& dateFormat, const QString& timeFormat);
    // Exact reading gives only a stamp that this format writes back to the
    // same text (letter case and the kind of blanks aside).
    std::optional<StampTime> Read(const QString& text, bool lenient, int currentYear) const;
    // The date at the start of text, followed by a blank or the end.
    std::optional<QDate> ReadDatePart(const QString& text, bool lenient, int currentYear) const;
    const QLocale& Locale() const { return Where; }

    struct Token {
        enum Kind : char {
            Literal,
            Day,
            DayName,
            Month,
            MonthName,
            Year2,
            Year4,
            Hour12,
            Hour24,
            Minute,
            Second,
            Millisecond,
            AmPm
        };
        Kind What = Literal;
        QString Text; // a literal's text
    };

  private:
    struct Fields;
    bool Match(const std::vector<Token>& tokens, const QString& text, qsizetype& at, Fields& f,
               bool lenient) const;
    std::optional<QDate> DateOf(const Fields& f, int currentYear) const;
    std::optional<QTime> TimeOf(const Fields& f) const;

    QLocale Where;
    QString DateText;
    QString TimeText;
    std::vector<Token> DateTokens;
    std::vector<Token> TimeTokens;
    bool TwelveHour = false;
    QStringList MonthNames[12]; // each month's names, long ones first
};

class StampReader {
  public:
    // Two-digit years are placed in the window of 80 years before and 20
    // after currentYear. zone decides which local times the clock change
    // repeats.
    StampReader(const QLocale& locale, int currentYear,
                const QTimeZone& zone = QTimeZone::systemTimeZone());
    ~StampReader();

    // A single stamp: this region's formats, then each other region's in turn.
    std::optional<StampTime> Read(const QString& stamp) const;
    std::optional<QDate> ReadDate(const QString& stamp) const;
    // Date and time as milliseconds since a fixed origin, for ordering; a
    // stamp without a time part is midnight.
    std::optional<qint64> ReadFullValue(const QString& stamp) const;

    StampMoments Moments(const StampTime& time) const;
    int WindowedYear(int twoDigitYear) const;
    int CurrentYear() const { return Year; }

    const StampFormat& Own() const { return OwnFormat; }
    // The formats of the other regions, in the order they are tried.
    const std::vector<StampFormat>& Others() const;

  private:
    QLocale Where;
    int Year;
    QTimeZone Zone;
    StampFormat OwnFormat;
    mutable std::unique_ptr<std::vector<StampFormat>> OtherFormats;
    mutable QHash<qint64, std::pair<int, int>> DayOffsets; // by Julian day
};

// The stamps of one archive, each read at most once. When a stamp does not
// read with this region's formats, the first other region's format that
// reads every stamp of the archive reads them all; without one, the stamps
// this region's formats do not read are read with the first other format
// that reads all of those, else one by one.
class StampSet {
  public:
    StampSet(const QStringList& stamps, const StampReader& reader);
    std::optional<StampTime> Read(int index);
    std::optional<QDate> Date(int index);

  private:
    void Prepare();

    const QStringList& Stamps;
    const StampReader& Reader;
    bool Prepared = false;
    std::vector<char> Done; // 1 read, 2 does not read
    std::vector<StampTime> Times;
};

} // namespace vantora
