#pragma once

#include <QDate>
#include <QString>

namespace aph {

// How the dates of a time tracker's export are read: by the map's format,
// with an eye on the reading that swaps its day and month (dd/MM against
// MM/dd), which a value may fit instead. A file is read one way for all
// its values: a value that fits only the other reading is refused, and a
// file whose values all fit both (every day 12 or less) is refused too,
// unless the format was confirmed, since nothing in it tells which of the
// two months is meant.
class TDateReading
{
public:
    TDateReading(const QString& format, bool confirmed);

    const QString& Format() const { return m_format; }
    // The format with its day and month swapped; empty when the format
    // has no such reading (the year first, as yyyy-MM-dd, or a month by
    // name).
    const QString& Other() const { return m_other; }

    // A new file: what was seen of the last one is forgotten.
    void StartFile();
    // The value's date; an invalid one, with why, when it is not in the
    // format. Notes whether the value tells the readings apart.
    QDate Read(const QString& text, qint64 line, const QString& column, QString& why);
    // After a file's values: true, with why and where, when the file gave
    // two readings and the format is not confirmed.
    bool Ambiguous(QString& why, qint64& line, QString& column) const;

    // "11 de março".
    static QString DayWords(const QDate& day);

private:
    QString Label(bool other) const;

    QString m_format, m_other;
    bool m_confirmed;
    bool m_decided = false; // a value of this file fits the format only
    QString m_firstTwoWays; // the first value with two different readings
    qint64 m_firstLine = 0;
    QString m_firstColumn;
};

} // namespace aph
