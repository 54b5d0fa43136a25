#pragma once

#include "host/data/component.h"
#include "host/framework/desktop.h"

#include <QStringList>

namespace aph {

// A screen's message table: lines of "key|text", looked up by key without
// regard to letter case.
class TMessages : public TComponent
{
public:
    explicit TMessages(QString name = {});
    void SetLines(const QStringList& lines) { m_lines = lines; }
    const QStringList& Lines() const { return m_lines; }
    void Add(const QString& key, const QString& text) { m_lines << key + u'|' + text; }
    // The screen code whose texts a loaded language resource may replace.
    void SetScreenCode(const QString& code) { m_screenCode = code; }
    // The text after "|" on the line of the key; empty when there is none.
    QString Msg(const QString& key) const;
    bool Contains(const QString& key) const;
    // Asks the text of a key modally; returns the answer (6 for Yes).
    int ShowMsg(const QString& key, TMsgDlgType type, TMsgDlgButtons buttons,
                int helpContext = 0) const;

private:
    QStringList m_lines;
    QString m_screenCode;
};

} // namespace aph
