#pragma once

#include <QString>
#include <QVector>

namespace aph {

// An edit mask in the classic three-section form "mask;save;blank":
//   mask positions: 0 digit, 9 optional digit, # optional digit or sign,
//   L letter, l optional letter, A letter or digit, a optional one, C any
//   character, c optional one; \x a literal x; ":" and "/" the locale's
//   time and date separators; "!" leading blanks for left-out optional
//   positions; > and < upper and lower case; anything else is a literal.
//   save: "1" keeps the literals in the text handed over, "0" drops them.
//   blank: the character that shows an unfilled position.
class TEditMask
{
public:
    TEditMask() = default;
    explicit TEditMask(const QString& mask);

    bool IsEmpty() const { return m_slots.isEmpty(); }
    int Length() const { return static_cast<int>(m_slots.size()); }
    bool IsLiteral(int pos) const { return m_slots[pos].literal; }
    bool IsRequired(int pos) const { return m_slots[pos].required; }
    QChar Literal(int pos) const { return m_slots[pos].ch; }
    QChar Blank() const { return m_blank; }
    bool SaveLiterals() const { return m_saveLiterals; }
    bool LeadingBlanks() const { return m_leadingBlanks; }
    // Whether a typed character may stand at an input position (after case
    // conversion, which Convert applies).
    bool Accepts(int pos, QChar c) const;
    QChar Convert(int pos, QChar c) const;

    // Display text with nothing filled in.
    QString EmptyDisplay() const;
    // A stored text placed into the positions; false when it does not fit.
    bool ToDisplay(const QString& value, QString& display) const;
    // What the editor hands over: literals kept or dropped, unfilled
    // positions as blanks.
    QString ToValue(const QString& display) const;
    // Every required position filled.
    bool IsComplete(const QString& display) const;

private:
    struct Slot
    {
        bool literal = false;
        bool required = false;
        QChar ch;         // the literal, or the mask letter
        int caseMode = 0; // 1 upper, -1 lower
    };
    QVector<Slot> m_slots;
    bool m_saveLiterals = true;
    QChar m_blank = u'_';
    bool m_leadingBlanks = false;
};

// A value shown through a mask, e.g. a registration number "12345678901"
// through "000\.000\.000\-00;0;_" gives "123.456.789-01". A value that does
// not fit is returned as it is.
QString FormatMaskText(const QString& mask, const QString& value);

// The typing model of a masked editor: the cursor moves over the literals,
// each key fills one position, Backspace and Delete blank one.
class TMaskedEditor
{
public:
    explicit TMaskedEditor(const TEditMask& mask);
    // Opens with a stored text; a text that does not fit opens empty.
    void SetValue(const QString& value);
    const QString& Display() const { return m_display; }
    QString Value() const { return m_mask.ToValue(m_display); }
    bool IsComplete() const { return m_mask.IsComplete(m_display); }
    bool Modified() const { return m_modified; }
    int Cursor() const { return m_cursor; }
    bool AllSelected() const { return m_selectAll; }
    void SelectAll()
    {
        m_selectAll = true;
        m_cursor = 0;
    }

    // False when the key has no place (wrong kind of character, no position left).
    bool TypeChar(QChar c);
    void Backspace();
    void Delete();
    void MoveLeft();
    void MoveRight();
    void Home();
    void End();

private:
    int NextInput(int from) const;
    int PreviousInput(int from) const;
    void ClearSelection();

    TEditMask m_mask;
    QString m_display;
    int m_cursor = 0;
    bool m_selectAll = false;
    bool m_modified = false;
};

} // namespace aph
