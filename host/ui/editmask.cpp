#include "host/ui/editmask.h"

#include "host/data/formatsettings.h"

namespace aph {

TEditMask::TEditMask(const QString& mask)
{
    // Split into sections on unescaped ';'.
    QStringList sections;
    QString current;
    for (qsizetype i = 0; i < mask.size(); ++i) {
        if (mask[i] == u'\\' && i + 1 < mask.size()) {
            current += mask[i];
            current += mask[++i];
        } else if (mask[i] == u';') {
            sections << current;
            current.clear();
        } else {
            current += mask[i];
        }
    }
    sections << current;
    if (sections.size() >= 2)
        m_saveLiterals = sections[1].trimmed() != u"0";
    if (sections.size() >= 3 && !sections[2].isEmpty())
        m_blank = sections[2][0];

    const QString& m = sections[0];
    int caseMode = 0;
    for (qsizetype i = 0; i < m.size(); ++i) {
        const QChar c = m[i];
        Slot slot;
        switch (c.unicode()) {
        case '!':
            m_leadingBlanks = true;
            continue;
        case '>':
            caseMode = (i + 1 < m.size() && m[i + 1] == u'<') ? (++i, 0) : 1;
            continue;
        case '<':
            caseMode = -1;
            continue;
        case '\\':
            if (i + 1 < m.size()) {
                slot.literal = true;
                slot.ch = m[++i];
            }
            break;
        case '0':
        case 'L':
        case 'A':
        case 'C':
            slot.required = true;
            slot.ch = c;
            break;
        case '9':
        case '#':
        case 'l':
        case 'a':
        case 'c':
            slot.ch = c;
            break;
        case ':':
            slot.literal = true;
            slot.ch = FormatSettings().TimeSeparator;
            break;
        case '/':
            slot.literal = true;
            slot.ch = FormatSettings().DateSeparator;
            break;
        case '_':
            slot.literal = true;
            slot.ch = u' ';
            break;
        default:
            slot.literal = true;
            slot.ch = c;
        }
        slot.caseMode = caseMode;
        m_slots.push_back(slot);
    }
}

QChar TEditMask::Convert(int pos, QChar c) const
{
    const int mode = m_slots[pos].caseMode;
    return mode > 0 ? c.toUpper() : mode < 0 ? c.toLower() : c;
}

bool TEditMask::Accepts(int pos, QChar c) const
{
    if (pos < 0 || pos >= Length() || m_slots[pos].literal)
        return false;
    const Slot& s = m_slots[pos];
    const bool digit = c.unicode() >= '0' && c.unicode() <= '9';
    switch (s.ch.unicode()) {
    case '0':
    case '9':
        return digit;
    case '#':
        return digit || c == u'+' || c == u'-';
    case 'L':
    case 'l':
        return c.isLetter();
    case 'A':
    case 'a':
        return c.isLetterOrNumber();
    case 'C':
    case 'c':
        return c.isPrint();
    }
    return false;
}

QString TEditMask::EmptyDisplay() const
{
    QString display;
    for (const Slot& s : m_slots)
        display += s.literal ? s.ch : m_blank;
    return display;
}

bool TEditMask::ToDisplay(const QString& value, QString& display) const
{
    display = EmptyDisplay();
    if (value.isEmpty())
        return true;
    // The characters that fill input positions, in order.
    QString inputs;
    if (m_saveLiterals) {
        // Literals appear in the value; with leading blanks a shorter value
        // stands right-aligned.
        const qsizetype shift = Length() - value.size();
        if (shift < 0 || (shift > 0 && !m_leadingBlanks))
            return shift > 0 ? ToDisplay(value + QString(shift, u' '), display) : false;
        for (int pos = 0; pos < Length(); ++pos) {
            const qsizetype vi = pos - shift;
            const QChar vc = vi >= 0 ? value[vi] : u' ';
            if (m_slots[pos].literal) {
                if (vi >= 0 && vc != m_slots[pos].ch)
                    return false;
                continue;
            }
            if (vc == u' ' || vc == m_blank) {
                if (m_slots[pos].required)
                    return false;
                continue;
            }
            if (!Accepts(pos, vc))
                return false;
            display[pos] = Convert(pos, vc);
        }
        return true;
    }
    inputs = value;
    int inputCount = 0;
    for (const Slot& s : m_slots)
        inputCount += s.literal ? 0 : 1;
    if (inputs.size() > inputCount)
        return false;
    if (m_leadingBlanks && inputs.size() < inputCount)
        inputs = QString(inputCount - inputs.size(), u' ') + inputs;
    qsizetype next = 0;
    for (int pos = 0; pos < Length() && next < inputs.size(); ++pos) {
        if (m_slots[pos].literal)
            continue;
        const QChar vc = inputs[next++];
        if (vc == u' ' || vc == m_blank)
            continue;
        if (!Accepts(pos, vc))
            return false;
        display[pos] = Convert(pos, vc);
    }
    return true;
}

QString TEditMask::ToValue(const QString& display) const
{
    QString value;
    for (int pos = 0; pos < Length() && pos < display.size(); ++pos) {
        if (m_slots[pos].literal) {
            if (m_saveLiterals)
                value += m_slots[pos].ch;
            continue;
        }
        value += display[pos] == m_blank ? QChar(u' ') : display[pos];
    }
    if (!m_leadingBlanks) {
        // Left-out optional positions at the end are dropped, not blanks.
        while (value.endsWith(u' '))
            value.chop(1);
    }
    return value;
}

bool TEditMask::IsComplete(const QString& display) const
{
    for (int pos = 0; pos < Length(); ++pos) {
        if (m_slots[pos].literal || !m_slots[pos].required)
            continue;
        if (pos >= display.size() || display[pos] == m_blank || display[pos] == u' ')
            return false;
    }
    return true;
}

QString FormatMaskText(const QString& mask, const QString& value)
{
    const TEditMask m(mask);
    QString display;
    if (m.IsEmpty() || !m.ToDisplay(value, display))
        return value;
    return display;
}

TMaskedEditor::TMaskedEditor(const TEditMask& mask) : m_mask(mask), m_display(mask.EmptyDisplay())
{}

void TMaskedEditor::SetValue(const QString& value)
{
    if (!m_mask.ToDisplay(value, m_display))
        m_display = m_mask.EmptyDisplay();
    m_cursor = NextInput(0);
    m_modified = false;
    m_selectAll = false;
}

int TMaskedEditor::NextInput(int from) const
{
    int pos = from;
    while (pos < m_mask.Length() && m_mask.IsLiteral(pos))
        ++pos;
    return pos;
}

int TMaskedEditor::PreviousInput(int from) const
{
    int pos = from;
    while (pos >= 0 && m_mask.IsLiteral(pos))
        --pos;
    return pos;
}

void TMaskedEditor::ClearSelection()
{
    if (!m_selectAll)
        return;
    m_selectAll = false;
    m_display = m_mask.EmptyDisplay();
    m_cursor = NextInput(0);
}

bool TMaskedEditor::TypeChar(QChar c)
{
    const int target = NextInput(m_selectAll ? 0 : m_cursor);
    if (target >= m_mask.Length())
        return false;
    const bool blankOptional = c == u' ' && !m_mask.IsRequired(target);
    if (!blankOptional && !m_mask.Accepts(target, c))
        return false;
    ClearSelection();
    m_display[target] = blankOptional ? m_mask.Blank() : m_mask.Convert(target, c);
    m_cursor = NextInput(target + 1);
    m_modified = true;
    return true;
}

void TMaskedEditor::Backspace()
{
    if (m_selectAll) {
        ClearSelection();
        m_modified = true;
        return;
    }
    const int pos = PreviousInput(m_cursor - 1);
    if (pos < 0)
        return;
    m_display[pos] = m_mask.Blank();
    m_cursor = pos;
    m_modified = true;
}

void TMaskedEditor::Delete()
{
    if (m_selectAll) {
        ClearSelection();
        m_modified = true;
        return;
    }
    const int pos = NextInput(m_cursor);
    if (pos >= m_mask.Length())
        return;
    m_display[pos] = m_mask.Blank();
    m_modified = true;
}

void TMaskedEditor::MoveLeft()
{
    m_selectAll = false;
    const int pos = PreviousInput(m_cursor - 1);
    if (pos >= 0)
        m_cursor = pos;
}

void TMaskedEditor::MoveRight()
{
    m_selectAll = false;
    if (m_cursor < m_mask.Length())
        m_cursor = NextInput(m_cursor + 1);
}

void TMaskedEditor::Home()
{
    m_selectAll = false;
    m_cursor = NextInput(0);
}

void TMaskedEditor::End()
{
    m_selectAll = false;
    m_cursor = m_mask.Length();
}

} // namespace aph
