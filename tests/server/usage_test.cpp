// aph-server's command line as the administrator meets it: --help alone
// gives every command's synopsis, --help after a command that command's
// synopsis and help, and a usage error its message and its command's
// synopsis alone.
#include "tests/support/serverfixture.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

// The commands the whole usage names, each from its "  aph-server X" line.
QStringList UsageCommands(const QString& usage)
{
    QStringList commands;
    static const QRegularExpression line(u"^  aph-server ([a-z-]+)"_s,
                                         QRegularExpression::MultilineOption);
    for (const auto& m : line.globalMatch(usage))
        if (!commands.contains(m.captured(1)))
            commands << m.captured(1);
    return commands;
}

// The synopsis a command's --help opens with: "uso:" up to the blank line.
QString Synopsis(const QString& command)
{
    QString out;
    EXPECT_EQ(RunServerCommand({command, u"--help"_s}, &out), 0) << command.toStdString();
    return out.left(out.indexOf(u"\n\n"_s) + 1);
}

} // namespace

TEST(CommandLine, EachCommandShowsItsOwnSynopsisAndHelp)
{
    QString full;
    ASSERT_EQ(RunServerCommand({u"--help"_s}, &full), 0);
    const QStringList commands = UsageCommands(full);
    EXPECT_TRUE(commands.contains(u"estacao"_s) && commands.contains(u"import"_s) &&
                commands.size() >= 16)
        << full.toStdString();
    const QStringList fullLines = full.split(u'\n');
    for (const QString& command : commands) {
        SCOPED_TRACE(command.toStdString());
        QString out, err;
        ASSERT_EQ(RunServerCommand({command, u"--help"_s}, &out, &err), 0);
        EXPECT_TRUE(err.isEmpty()) << err.toStdString();
        const QStringList synopsis = Synopsis(command).split(u'\n', Qt::SkipEmptyParts);
        ASSERT_GE(synopsis.size(), 2) << out.toStdString();
        EXPECT_EQ(synopsis.first(), u"uso:"_s);
        // Its own lines of the whole usage, and no other command's.
        for (const QString& line : synopsis.mid(1)) {
            EXPECT_TRUE(fullLines.contains(line)) << line.toStdString();
            EXPECT_TRUE(!line.startsWith(u"  aph-server "_s) ||
                        line.startsWith(u"  aph-server "_s + command + u' '))
                << line.toStdString();
        }
        // Then what it does, and what BANCO is.
        const QString help = out.mid(out.indexOf(u"\n\n"_s) + 2);
        EXPECT_GE(help.split(u'\n', Qt::SkipEmptyParts).size(), 2) << out.toStdString();
        EXPECT_LT(out.count(u'\n'), full.count(u'\n') / 2) << out.toStdString();
    }
}

TEST(CommandLine, AUsageErrorShowsItsMessageAndItsCommandsSynopsisAlone)
{
    const QString db = u"sqlite:/nenhuma/pasta/aph.db"_s;
    const struct
    {
        QStringList Args;
        QString Message; // how stderr begins
    } cases[] = {
        {{u"token"_s}, u"token recebe um banco de dados e um operador."_s},
        {{u"token"_s, db, u"ANA"_s, u"--dias"_s}, u"Opção desconhecida: --dias"_s},
        {{u"export"_s, db}, u"export recebe um banco de dados e a pasta"_s},
        {{u"operator"_s, u"apagar"_s}, u"operator recebe add, disable, enable, grant ou deny."_s},
        {{u"import"_s, db, u"a.csv"_s, u"--formato-data"_s, u"dd/MM/yyyy"_s},
         u"--formato-data dá o formato das datas de um controle de tempo: só vale com --mapa"_s},
        {{u"serve"_s, db, u"--port"_s, u"porta"_s}, u"Valor inválido para --port"_s},
        {{u"estacao"_s, db, u"ANA"_s, u"--out"_s, u"a.ini"_s},
         u"estacao recebe um banco de dados, o operador, --host"_s},
        {{u"estacao"_s, db, u"ANA"_s, u"--host"_s, u"app 1"_s, u"--out"_s, u"a.ini"_s},
         u"--host recebe o nome ou o endereço do servidor"_s},
        {{u"estacao"_s, db, u"ANA"_s, u"--host"_s, u"app1"_s, u"--ca"_s, u"ca.pem"_s, u"--out"_s,
          u"a.ini"_s},
         u"--ca só vale com --tls"_s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Args.join(u' ').toStdString());
        QString out, err;
        EXPECT_EQ(RunServerCommand(c.Args, &out, &err), 2);
        EXPECT_TRUE(out.isEmpty()) << out.toStdString();
        // One line of message (which the synopsis follows), then the
        // command's synopsis and nothing else.
        const QString synopsis = Synopsis(c.Args.first());
        EXPECT_TRUE(err.startsWith(c.Message)) << err.toStdString();
        EXPECT_TRUE(err.endsWith(u'\n' + synopsis)) << err.toStdString();
        EXPECT_EQ(err.count(u'\n'), synopsis.count(u'\n') + 1) << err.toStdString();
    }
    // A command nobody has: one line naming the commands, what was typed
    // shown as escapes.
    QString err;
    EXPECT_EQ(RunServerCommand({u"fro\x1b[2Jb"_s}, nullptr, &err), 2);
    EXPECT_TRUE(err.startsWith(u"Comando desconhecido: fro\\x1b[2Jb. Os comandos são: init, "_s))
        << err.toStdString();
    EXPECT_TRUE(err.contains(u"estacao"_s) && err.count(u'\n') == 1) << err.toStdString();
}
