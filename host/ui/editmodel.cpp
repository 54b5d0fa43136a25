#include "host/ui/editmodel.h"

namespace aph {

void TEditModel::Reset(const QString& text, const QString& editMask)
{
    m_modified = false;
    m_selectAll = false;
    if (!editMask.isEmpty()) {
        m_masked.emplace(TEditMask(editMask));
        m_masked->SetValue(text);
        m_text.clear();
        return;
    }
    m_masked.reset();
    m_text = text;
    m_cursor = static_cast<int>(text.size());
}

QString TEditModel::Text() const
{
    return m_masked ? m_masked->Value() : m_text;
}

QString TEditModel::Display() const
{
    return m_masked ? m_masked->Display() : m_text;
}

int TEditModel::Cursor() const
{
    return m_masked ? m_masked->Cursor() : m_cursor;
}

void TEditModel::SelectAll()
{
    if (m_masked)
        m_masked->SelectAll();
    else
        m_selectAll = true;
}

bool TEditModel::TypeChar(QChar c)
{
    if (m_masked) {
        const bool accepted = m_masked->TypeChar(c);
        m_modified = m_modified || accepted;
        return accepted;
    }
    if (!c.isPrint())
        return false;
    if (m_selectAll) {
        m_text.clear();
        m_cursor = 0;
        m_selectAll = false;
    }
    if (m_maxLength > 0 && m_text.size() >= m_maxLength)
        return false;
    m_text.insert(m_cursor++, c);
    m_modified = true;
    return true;
}

void TEditModel::Backspace()
{
    if (m_masked) {
        m_masked->Backspace();
        m_modified = m_modified || m_masked->Modified();
        return;
    }
    if (m_selectAll) {
        m_text.clear();
        m_cursor = 0;
        m_selectAll = false;
        m_modified = true;
    } else if (m_cursor > 0) {
        m_text.remove(--m_cursor, 1);
        m_modified = true;
    }
}

void TEditModel::Delete()
{
    if (m_masked) {
        m_masked->Delete();
        m_modified = m_modified || m_masked->Modified();
        return;
    }
    if (m_selectAll) {
        m_text.clear();
        m_cursor = 0;
        m_selectAll = false;
        m_modified = true;
    } else if (m_cursor < m_text.size()) {
        m_text.remove(m_cursor, 1);
        m_modified = true;
    }
}

void TEditModel::MoveLeft()
{
    m_selectAll = false;
    if (m_masked)
        m_masked->MoveLeft();
    else if (m_cursor > 0)
        --m_cursor;
}

void TEditModel::MoveRight()
{
    m_selectAll = false;
    if (m_masked)
        m_masked->MoveRight();
    else if (m_cursor < m_text.size())
        ++m_cursor;
}

void TEditModel::Home()
{
    m_selectAll = false;
    if (m_masked)
        m_masked->Home();
    else
        m_cursor = 0;
}

void TEditModel::End()
{
    m_selectAll = false;
    if (m_masked)
        m_masked->End();
    else
        m_cursor = static_cast<int>(m_text.size());
}

bool TEditModel::AtStart() const
{
    return Cursor() == 0;
}

bool TEditModel::AtEnd() const
{
    return Cursor() >= Display().size();
}

} // namespace aph
