#include "host/framework/messages.h"

#include "host/framework/modules.h"

namespace aph {

TMessages::TMessages(QString name) : TComponent(std::move(name)) {}

namespace {

qsizetype FindLine(const QStringList& lines, const QString& key)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const qsizetype bar = lines[i].indexOf(u'|');
        if (bar >= 0 && QStringView(lines[i]).left(bar).compare(key, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

} // namespace

QString TMessages::Msg(const QString& key) const
{
    QString translated;
    if (!m_screenCode.isEmpty() && ResourceString(m_screenCode, key, translated))
        return translated;
    const qsizetype i = FindLine(m_lines, key);
    return i < 0 ? QString() : m_lines[i].mid(m_lines[i].indexOf(u'|') + 1);
}

bool TMessages::Contains(const QString& key) const
{
    return FindLine(m_lines, key) >= 0;
}

int TMessages::ShowMsg(const QString& key, TMsgDlgType type, TMsgDlgButtons buttons,
                       int /*helpContext*/) const
{
    Desktop* desktop = Application()->GetDesktop();
    if (!desktop)
        return mrCancel;
    return desktop->MessageDlg(Msg(key), type, buttons);
}

} // namespace aph
