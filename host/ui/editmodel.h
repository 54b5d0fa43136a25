#pragma once

#include "host/ui/editmask.h"

#include <QString>

#include <optional>

namespace aph {

// What typing does to the text of an edit box, with or without a mask:
// shared by the edit controls and the grid's cell editor.
class TEditModel
{
public:
    // Starts editing a text; a non-empty mask governs the typing.
    void Reset(const QString& text, const QString& editMask = {});
    QString Text() const;
    // The text as shown (with the mask's blanks and literals).
    QString Display() const;
    bool Modified() const { return m_modified; }
    void SetModified(bool modified) { m_modified = modified; }
    bool IsComplete() const { return !m_masked || m_masked->IsComplete(); }
    bool HasMask() const { return m_masked.has_value(); }
    int Cursor() const;
    int MaxLength() const { return m_maxLength; }
    void SetMaxLength(int length) { m_maxLength = length; }

    // The whole text is selected: the next key replaces it.
    void SelectAll();
    bool AllSelected() const { return m_masked ? m_masked->AllSelected() : m_selectAll; }
    bool TypeChar(QChar c);
    void Backspace();
    void Delete();
    void MoveLeft();
    void MoveRight();
    void Home();
    void End();
    // Whether the cursor stands at the start or end, where Left and Right
    // leave the box (the grid moves to the next column then).
    bool AtStart() const;
    bool AtEnd() const;

private:
    std::optional<TMaskedEditor> m_masked;
    QString m_text;
    int m_cursor = 0;
    bool m_selectAll = false;
    bool m_modified = false;
    int m_maxLength = 0;
};

} // namespace aph
