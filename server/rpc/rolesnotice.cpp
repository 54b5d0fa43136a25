#include "server/rpc/rolesnotice.h"

using namespace Qt::StringLiterals;

namespace aph {

QByteArray RolesJson(TRoles roles)
{
    QByteArray json = "[";
    const QStringList names = RoleNames(roles);
    for (qsizetype i = 0; i < names.size(); ++i)
        json += (i ? ",\"" : "\"") + names[i].toLatin1() + '"';
    return json + ']';
}

QByteArray NoticeRoles(const QString& method, QByteArray reply, TSession& session)
{
    if (!session.LoggedIn())
        return reply;
    // Login and GetRoles name the roles in their result.
    if (method == u"Login" || method == u"GetRoles" || !session.Told) {
        session.ToldRoles = session.Roles;
        session.Told = true;
        return reply;
    }
    if (session.Roles == session.ToldRoles || !reply.endsWith('}'))
        return reply;
    session.ToldRoles = session.Roles;
    reply.chop(1);
    return reply + ",\"roles\":" + RolesJson(session.Roles) + '}';
}

} // namespace aph
