// The policy and the error codes both sides share, held to what
// docs/protocol.md tells a client's author: the roles table (every method,
// every step of a CHT), the steps' table with their situations, and the
// error codes with those that close the connection.
#include "service/policy.h"
#include "service/rpccodes.h"

#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace aph;

namespace {

// The text of docs/protocol.md from the heading to the next one of the
// same level or above.
QString Section(const QString& heading)
{
    QFile file(QStringLiteral(APH_SOURCE_DIR "/docs/protocol.md"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << "docs/protocol.md";
    const QString text = QString::fromUtf8(file.readAll());
    const qsizetype start = text.indexOf(u"\n"_s + heading);
    EXPECT_GE(start, 0) << heading.toStdString();
    const QString level = heading.section(u' ', 0, 0);
    qsizetype end = text.size();
    for (qsizetype h = text.indexOf(u"\n#"_s, start + 1); h >= 0; h = text.indexOf(u"\n#"_s, h + 1))
        if (text.mid(h + 1).section(u' ', 0, 0).size() <= level.size()) {
            end = h;
            break;
        }
    return start < 0 ? QString() : text.mid(start, end - start);
}

// The cells of a section's table rows, the header and its rule left out.
QList<QStringList> Rows(const QString& section)
{
    QList<QStringList> rows;
    bool header = true;
    for (const QString& line : section.split(u'\n')) {
        if (!line.startsWith(u'|')) {
            header = rows.isEmpty();
            continue;
        }
        if (header || line.startsWith(u"|---")) {
            header = false;
            continue;
        }
        QStringList cells = line.split(u'|');
        cells = cells.mid(1, cells.size() - 2);
        for (QString& cell : cells)
            cell = cell.trimmed();
        rows << cells;
    }
    return rows;
}

QStringList Quoted(const QString& cell)
{
    QStringList names;
    static const QRegularExpression quoted(u"`([^`]+)`"_s);
    for (auto it = quoted.globalMatch(cell); it.hasNext();)
        names << it.next().captured(1);
    return names;
}

QString Latin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

TRoles RoleOfCell(const QString& cell)
{
    if (cell == u"—")
        return 0;
    const QStringList names = Quoted(cell);
    const std::optional<TRole> role = names.size() == 1 ? ParseRole(names[0]) : std::nullopt;
    EXPECT_TRUE(role) << "no role: " << cell.toStdString();
    return role ? RoleBit(*role) : 0;
}

// "GetCHT=consultar; SetStatusCHT=supervisionar,faturar", for a readable
// difference.
std::string Text(const QMap<QString, TRoles>& roles)
{
    QStringList entries;
    for (auto it = roles.begin(); it != roles.end(); ++it)
        entries << it.key() + u'=' + RoleNames(it.value()).join(u',');
    return entries.join(u"; "_s).toStdString();
}

std::string Text(const QMap<QString, QString>& steps)
{
    QStringList entries;
    for (auto it = steps.begin(); it != steps.end(); ++it)
        entries << it.key() + u'=' + it.value();
    return entries.join(u"; "_s).toStdString();
}

} // namespace

TEST(Policy, TheProtocolsRolesTablesAreThePolicys)
{
    // Each method's roles and each step's role, as the roles table says.
    QMap<QString, TRoles> methods;
    QMap<QString, TRoles> steps;
    const QList<QStringList> roleRows = Rows(Section(u"### Roles"_s));
    ASSERT_FALSE(roleRows.isEmpty());
    for (const QStringList& row : roleRows) {
        ASSERT_EQ(row.size(), 2) << row.join(u'|').toStdString();
        const TRoles role = RoleOfCell(row[0]);
        const QStringList names = Quoted(row[1]);
        ASSERT_FALSE(names.isEmpty()) << row[1].toStdString();
        if (names[0] == u"SetStatusCHT" && names.size() > 1) {
            methods[names[0]] |= role;
            for (const QString& step : names.mid(1))
                steps[step] |= role;
            continue;
        }
        for (const QString& method : names)
            methods[method] |= role;
    }
    QMap<QString, TRoles> policyMethods;
    for (const TMethodPolicy& policy : kMethodPolicies)
        policyMethods[Latin1(policy.Method)] = policy.Roles;
    EXPECT_EQ(Text(methods), Text(policyMethods))
        << "docs/protocol.md's roles table and kMethodPolicies";

    // Each step's role and situations, as SetStatusCHT's table says.
    QMap<QString, QString> documented, policySteps;
    for (const QStringList& row : Rows(Section(u"### SetStatusCHT"_s))) {
        ASSERT_GE(row.size(), 3) << row.join(u'|').toStdString();
        const QString action = Quoted(row[0]).value(0);
        EXPECT_EQ(RoleOfCell(row[1]), steps.value(action)) << action.toStdString();
        documented[action] = RoleNames(RoleOfCell(row[1])).join(u',') + u' ' + row[2];
    }
    for (const TChtStepPolicy& step : kChtStepPolicies)
        policySteps[Latin1(step.Name)] = RoleName(step.Role) + u' ' + QChar::fromLatin1(step.From) +
                                         u" → "_s + QChar::fromLatin1(step.To);
    EXPECT_EQ(Text(documented), Text(policySteps))
        << "SetStatusCHT's steps table and kChtStepPolicies";
    EXPECT_EQ(steps.keys().join(u',').toStdString(), policySteps.keys().join(u',').toStdString());
    EXPECT_EQ(policyMethods.value(u"SetStatusCHT"_s), ChtStepRoles());
    for (const TChtStepPolicy& step : kChtStepPolicies)
        EXPECT_EQ(ParseChtAction(Latin1(step.Name)), step.Action);
    EXPECT_EQ(ParseChtAction(u"Aprovar"), std::nullopt) << "actions are matched exactly";
}

TEST(Policy, TheProtocolsErrorTableIsTheCodesBothSidesRead)
{
    const QString errors = Section(u"## Errors"_s);
    QSet<int> documented;
    for (const QStringList& row : Rows(errors))
        documented << row.value(0).toInt();
    QSet<int> named;
    QSet<int> closing;
    for (const int code : rpc::kCodes) {
        named << code;
        if (rpc::ClosesConnection(code))
            closing << code;
    }
    EXPECT_EQ(documented, named);
    EXPECT_EQ(named.size(), qsizetype(std::size(rpc::kCodes))) << "a code named twice";

    // "After any error the connection stays usable, except for ...".
    const qsizetype from = errors.indexOf(u"except for"_s);
    const QString sentence = errors.mid(from, errors.indexOf(u'.', from) - from);
    ASSERT_GE(from, 0);
    QSet<int> documentedClosing;
    static const QRegularExpression code(u"-\\d{5}"_s);
    for (auto it = code.globalMatch(sentence); it.hasNext();)
        documentedClosing << it.next().captured().toInt();
    EXPECT_EQ(documentedClosing, closing);
}

// The heavy reads' section names, in its first sentence, exactly the
// methods the policy runs as heavy jobs.
TEST(Policy, TheHeavyReadsTheDocsNameAreThePolicys)
{
    const QString first =
        Section(u"## Heavy reads"_s).section(u"\n\n"_s, 1, 1).section(u". "_s, 0, 0);
    QSet<QString> named;
    for (const QRegularExpressionMatch& m : QRegularExpression(u"`(\\w+)`"_s).globalMatch(first))
        if (FindMethodRoles(m.captured(1)))
            named << m.captured(1);
    QSet<QString> heavy;
    for (const std::string_view method : kHeavyMethods)
        heavy << QString::fromLatin1(method.data(), qsizetype(method.size()));
    EXPECT_EQ(named, heavy) << first.toStdString();
    for (const TMethodPolicy& policy : kMethodPolicies) {
        const QString method =
            QString::fromLatin1(policy.Method.data(), qsizetype(policy.Method.size()));
        EXPECT_EQ(IsHeavyMethod(method), heavy.contains(method)) << method.toStdString();
    }
}
