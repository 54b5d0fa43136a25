// aph-server backup and check: a copy taken while a client keeps saving
// through a running server holds every save acknowledged before it began
// and serves as it is; check finds each invariant the data breaks.
#include "host/data/packetcodec.h"
#include "server/common/newfile.h"
#include "tests/support/serverfixture.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <ostream>
#include <thread>

using namespace Qt::StringLiterals;

// Failures show the line as text.
void PrintTo(const QString& text, std::ostream* os)
{
    *os << text.toStdString();
}

using namespace aph;
using namespace aph::test;

namespace {

constexpr int kMonths = 6;
constexpr int kDaysPerMonth = 28;

class BackupTest : public ServerTest
{
protected:
    bool OnPostgres() const { return TTestDatabase::UsesPostgres(); }
    QString CopyPath() const
    {
        return QFileInfo(m_db->SqlitePath()).absolutePath() + u"/copia.db"_s;
    }

    // TF1 on TP1/01/001, 8 h worked on each of the first days of each month.
    void AddDays()
    {
        AddTestWorld();
        for (int m = 1; m <= kMonths; ++m)
            for (int d = 1; d <= kDaysPerMonth; ++d)
                AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, m, d), 8);
    }
    TDataPacket Month(TRpcClient& client, int month)
    {
        return Checked(client, u"GetCSA"_s,
                       {u"TC1"_s, u"TF1"_s, Day(2030, month, 1), Day(2030, month, kDaysPerMonth),
                        u"DES"_s, u"TP1"_s, u"01"_s, QString(), u"N"_s, u"01"_s});
    }
    // The approval the save of day i (in order of month and day) sets.
    static double Approval(int i) { return 1 + i % 7; }
    // One delta per day, each approving it.
    std::vector<QJsonObject> ApproveEachDay()
    {
        std::vector<QJsonObject> deltas;
        for (int m = 1; m <= kMonths; ++m) {
            const TDataPacket p = Month(*m_client, m);
            for (const TRow& row : p.Rows) {
                TDelta delta;
                delta.Fields = p.Fields;
                TDeltaRecord rec;
                rec.Op = TDeltaRecord::Kind::Modify;
                rec.Original = *row;
                rec.New.emplace_back(p.FieldIndex(u"QTHRAPROFATU"_s),
                                     Value::FromNumber(Approval(static_cast<int>(deltas.size()))));
                delta.Records.push_back(std::move(rec));
                deltas.push_back(DeltaToJson(delta));
            }
        }
        return deltas;
    }
    // The database refuses the rows the checks look for; they are for a
    // database changed around the server, which this lets the test do.
    void AllowBrokenRows()
    {
        if (!OnPostgres()) {
            m_db->ExecDirect(u"PRAGMA foreign_keys=OFF"_s);
            m_db->ExecDirect(u"PRAGMA ignore_check_constraints=ON"_s);
            return;
        }
        for (const QVariantList& c :
             m_db->Rows(u"SELECT conname FROM pg_constraint WHERE conrelid = 'csa'::regclass AND "
                        "(confrelid = 'cht'::regclass OR pg_get_constraintdef(oid) ILIKE "
                        "'%qthrapr%')"_s))
            m_db->ExecDirect(u"ALTER TABLE CSA DROP CONSTRAINT \"%1\""_s.arg(c[0].toString()));
    }
    // The line check prints for the verification of that name.
    QString CheckLine(const QString& spec, const QString& name, int* exitCode = nullptr)
    {
        QString out, err;
        const int code = RunServerCommand({u"check"_s, spec}, &out, &err);
        if (exitCode)
            *exitCode = code;
        for (const QString& line : out.split(u'\n'))
            if (line.startsWith(name + u':'))
                return line;
        return u"(sem a linha; saída: %1 %2)"_s.arg(out, err);
    }
};

} // namespace

TEST_F(BackupTest, ACopyTakenWhileSavingHoldsEverySaveAcknowledgedBeforeAndServes)
{
    if (OnPostgres())
        GTEST_SKIP() << "pg_dump backs up PostgreSQL";
    AddDays();
    const std::vector<QJsonObject> deltas = ApproveEachDay();
    ASSERT_EQ(deltas.size(), static_cast<std::size_t>(kMonths * kDaysPerMonth));
    std::atomic<int> acknowledged{0};
    std::atomic<bool> stop{false};
    QString failure;
    std::thread saver([&, port = m_server->Port()] {
        try {
            auto client = NewClient(true, port); // a connection of its own thread
            for (const QJsonObject& delta : deltas) {
                if (stop)
                    break;
                Checked(*client, u"SetCSA"_s, {delta});
                ++acknowledged;
            }
        } catch (const Exception& e) {
            failure = e.Message();
        }
    });
    QDeadlineTimer deadline(60000);
    while (acknowledged < 20 && !deadline.hasExpired() && failure.isEmpty())
        QThread::msleep(2);
    const int before = acknowledged;
    QString out, err;
    const int code = RunServerCommand({u"backup"_s, m_db->Spec(), CopyPath()}, &out, &err);
    stop = true;
    saver.join();
    ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
    ASSERT_GE(before, 20);
    ASSERT_EQ(code, 0) << err.toStdString();
    // One standalone file, and the read audit records beside it.
    EXPECT_FALSE(QFileInfo::exists(CopyPath() + u"-wal"_s));
    EXPECT_FALSE(QFileInfo::exists(CopyPath() + u".parcial"_s));
    EXPECT_TRUE(QFileInfo::exists(CopyPath() + u".audit"_s));

    EXPECT_EQ(RunServerCommand({u"check"_s, u"sqlite:"_s + CopyPath()}, &out, &err), 0)
        << out.toStdString() << err.toStdString();
    EXPECT_EQ(out.count(u": ok\n"_s), 8) << out.toStdString();

    // Restored: a server on the copy answers with every approval
    // acknowledged before the backup began.
    TServerProcess restored(u"sqlite:"_s + CopyPath());
    auto client = NewClient(true, restored.Port());
    QStringList approvals;
    for (int m = 1; m <= kMonths; ++m)
        approvals << Column(Month(*client, m), "QTHRAPROFATU");
    ASSERT_EQ(approvals.size(), kMonths * kDaysPerMonth);
    for (int i = 0; i < before; ++i)
        EXPECT_EQ(approvals[i].toDouble(), Approval(i)) << "save " << i << " of " << before;
}

TEST_F(BackupTest, BackupNeverOverwritesAndOnPostgresPointsToPgDump)
{
    QString out, err;
    if (OnPostgres()) {
        const QString target = QDir::tempPath() + u"/aph-copia-nunca-gravada.dump"_s;
        EXPECT_EQ(RunServerCommand({u"backup"_s, m_db->Spec(), target}, &out, &err), 2);
        EXPECT_TRUE(err.contains(u"pg_dump --format=custom"_s)) << err.toStdString();
        EXPECT_TRUE(err.contains(target)) << err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(target));
        return;
    }
    QFile existing(CopyPath());
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("conteúdo que fica");
    existing.close();
    EXPECT_EQ(RunServerCommand({u"backup"_s, m_db->Spec(), CopyPath()}, &out, &err), 1);
    EXPECT_TRUE(err.contains(u"já existe"_s)) << err.toStdString();
    ASSERT_TRUE(existing.open(QIODevice::ReadOnly));
    EXPECT_EQ(existing.readAll(), QByteArray("conteúdo que fica"));
}

// A name planted at the destination, a link above all, is never written
// through nor taken for the copy: the backup is refused with the name, and
// neither the copy's names nor what the links point at get anything.
// Without one, both files come out whole and nothing else is left.
TEST_F(BackupTest, BackupWritesOnlyNewFilesOfItsOwnAndAllOrNothing)
{
    if (OnPostgres())
        GTEST_SKIP() << "pg_dump backs up PostgreSQL";
    ASSERT_TRUE(QFileInfo(m_db->SqlitePath() + u".audit"_s).isFile()) << "the server keeps one";
    const QDir dir(QFileInfo(m_db->SqlitePath()).absolutePath());
    const QString copy = dir.filePath(u"destino.db"_s);
    const QString audit = copy + u".audit"_s;
    const QString elsewhere = dir.filePath(u"fora/alvo"_s);
    const QString existing = dir.filePath(u"existente"_s);
    struct Case
    {
        const char* name;
        QString planted;   // the name a link or a file is put at
        QString pointsAt;  // the link's target; empty: a regular file
        const char* error; // the refusal says this; empty: written
    };
    const QList<Case> cases{
        {"copy a dangling link", copy, elsewhere, "já existe"},
        {"audit a dangling link", audit, elsewhere, "já existe"},
        {"copy a link to a file", copy, existing, "já existe"},
        {"audit a link to a file", audit, existing, "já existe"},
        {"a file at the audit's name", audit, QString(), "já existe"},
        {"a link at the old partial name", copy + u".parcial"_s, elsewhere, ""},
        {"a folder missing", dir.filePath(u"nenhuma/destino.db"_s), QString(), "não existe"},
    };
    ASSERT_TRUE(dir.mkpath(u"fora"_s));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile keep(existing);
        ASSERT_TRUE(keep.open(QIODevice::WriteOnly));
        keep.write("fica");
        keep.close();
        const bool missingFolder = !QFileInfo(c.planted).absoluteDir().exists();
        if (!c.pointsAt.isEmpty()) {
            ASSERT_TRUE(QFile::link(c.pointsAt, c.planted));
        } else if (!missingFolder) {
            QFile f(c.planted);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("outro");
        }
        const QString target = missingFolder ? c.planted : copy;
        QString out, err;
        const int code = RunServerCommand({u"backup"_s, m_db->Spec(), target}, &out, &err);
        if (*c.error) {
            EXPECT_EQ(code, 1) << out.toStdString();
            EXPECT_TRUE(err.contains(QString::fromUtf8(c.error))) << err.toStdString();
            EXPECT_TRUE(out.isEmpty()) << out.toStdString();
            // Only what was planted is there.
            for (const QString& name : {copy, audit})
                EXPECT_EQ(QFileInfo(name).isSymLink() || QFileInfo::exists(name), name == c.planted)
                    << name.toStdString();
        } else {
            EXPECT_EQ(code, 0) << err.toStdString();
            EXPECT_TRUE(out.contains(copy) && out.contains(audit)) << out.toStdString();
            for (const QString& name : {copy, audit}) {
                const QFileInfo written(name);
                EXPECT_TRUE(written.isFile() && !written.isSymLink()) << name.toStdString();
            }
            QString checkOut, checkErr;
            EXPECT_EQ(RunServerCommand({u"check"_s, u"sqlite:"_s + copy}, &checkOut, &checkErr), 0)
                << checkOut.toStdString() << checkErr.toStdString();
        }
        EXPECT_FALSE(QFileInfo::exists(elsewhere)) << "written through a link";
        QFile kept(existing);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), QByteArray("fica"));
        // No work folder is left behind.
        EXPECT_EQ(dir.entryList({u"destino.db.parcial.*"_s}, QDir::AllEntries | QDir::System),
                  QStringList());
        for (const QString& name : {copy, audit, c.planted, existing})
            QFile::remove(name);
    }
}

// Each invariant broken by SQL in turn shows on its own line of check.
TEST_F(BackupTest, CheckFindsEachInvariantTheDataBreaks)
{
    AddDays();
    const QString spec = m_db->Spec();
    QString out, err;
    ASSERT_EQ(RunServerCommand({u"check"_s, spec}, &out, &err), 0)
        << out.toStdString() << err.toStdString();
    const QString first = m_db->Scalar(u"SELECT MIN(NRSEQUCHT) FROM CHT"_s).toString();
    const QString last = m_db->Scalar(u"SELECT MAX(NRSEQUCHT) FROM CHT"_s).toString();
    ASSERT_NE(first, last);
    const qint64 jan1 = static_cast<qint64>(Day(2030, 1, 1));
    const qint64 feb1 = static_cast<qint64>(Day(2030, 2, 1));
    int code = 0;

    AllowBrokenRows();

    const QString foreign = u"CSA em CHT de outro serviço ou funcionário"_s;
    const QString orphan = u"registro que nomeia outro inexistente"_s;
    EXPECT_EQ(CheckLine(spec, foreign), foreign + u": ok"_s);
    EXPECT_EQ(CheckLine(spec, orphan), orphan + u": ok"_s);
    m_db->Exec(u"UPDATE CSA SET NRSEQUCHT = ? WHERE CDFUNC = 'TF1' AND DTSERVPREST = ?"_s,
               {first, jan1});
    EXPECT_EQ(CheckLine(spec, foreign, &code),
              u"%1: 1 (CSA TP1/01/001 TF1 01/01/2030 na CHT %2)"_s.arg(foreign, first));
    EXPECT_EQ(code, 1);
    // The same row by the table list's parents, in the import's words.
    const QString cht = m_db->Scalar(u"SELECT NRPROPOSFAS || '/' || NRVERPROPFAS || '/' || "
                                     "NRSERVCONT || '/' || CDFUNC FROM CSA WHERE CDFUNC = 'TF1' "
                                     "AND DTSERVPREST = ?"_s,
                                     {jan1})
                            .toString();
    EXPECT_EQ(
        CheckLine(spec, orphan),
        u"%1: 1 (CSA: a CHT, do mesmo serviço e funcionário, %2/%3 não está cadastrada)"_s.arg(
            orphan, first, cht));

    const QString empty = u"CHT sem CSA"_s;
    EXPECT_EQ(CheckLine(spec, empty), empty + u": ok"_s);
    m_db->Exec(u"UPDATE CSA SET NRSEQUCHT = NULL WHERE NRSEQUCHT = ?"_s, {last});
    EXPECT_EQ(CheckLine(spec, empty), u"%1: 1 (CHT %2)"_s.arg(empty, last));

    const QString counter = u"CHT de número além do contador (APH_SEQUENCIA)"_s;
    EXPECT_EQ(CheckLine(spec, counter), counter + u": ok"_s);
    m_db->Exec(u"UPDATE APH_SEQUENCIA SET NRVALOR = ? WHERE NMSEQUENCIA = 'CHT'"_s,
               {last.toInt() - 1});
    EXPECT_TRUE(
        CheckLine(spec, counter)
            .startsWith(
                u"%1: 1 (CHT %2 com o contador em %3)"_s.arg(counter, last).arg(last.toInt() - 1)));

    const QString approval = u"aprovação fora das horas trabalhadas"_s;
    EXPECT_EQ(CheckLine(spec, approval), approval + u": ok"_s);
    m_db->Exec(u"UPDATE CSA SET QTHRAPRCOMIS = 8.01 WHERE CDFUNC = 'TF1' AND DTSERVPREST = ?"_s,
               {feb1});
    EXPECT_TRUE(
        CheckLine(spec, approval)
            .startsWith(approval + u": 1 (CSA TP1/01/001 TF1 01/02/2030: trabalhadas 8, "_s))
        << CheckLine(spec, approval).toStdString();

    const QString version = u"versão do esquema"_s;
    EXPECT_EQ(CheckLine(spec, version), version + u": ok"_s);
    m_db->Exec(u"UPDATE APH_VERSAO SET NRVERSAO = 3"_s);
    EXPECT_TRUE(CheckLine(spec, version).startsWith(version + u": 1 (versão 3;"_s));

    if (OnPostgres())
        return;
    // An index declared on another column than the one it holds: its
    // entries no longer match the rows.
    // PRAGMA integrity_check checks the CHECK constraints too.
    m_db->Exec(u"UPDATE CSA SET QTHRAPRCOMIS = NULL WHERE CDFUNC = 'TF1' AND DTSERVPREST = ?"_s,
               {feb1});
    const QString integrity = u"integridade do arquivo"_s;
    EXPECT_EQ(CheckLine(spec, integrity), integrity + u": ok"_s);
    m_db->ExecDirect(u"PRAGMA writable_schema=ON"_s);
    m_db->Exec(u"UPDATE sqlite_master SET sql = 'CREATE INDEX IX_CSA_DIA ON CSA (QTHRTRAB)' "
               "WHERE name = 'IX_CSA_DIA'"_s);
    m_db->Reconnect();
    const QString broken = CheckLine(spec, integrity, &code);
    EXPECT_TRUE(broken.startsWith(integrity + u": "_s) && !broken.endsWith(u": ok"_s))
        << broken.toStdString();
    EXPECT_EQ(code, 1);
}

// When one of a result's names is taken by the time it is given, the names
// given before it are taken back: no part of the result keeps a final name.
TEST(NewFiles, AResultIsNamedWhollyOrNotAtAll)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const TWorkFolder work(dir.filePath(u"r"_s));
    const auto make = [](const QString& path, const QByteArray& data) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
    };
    ASSERT_TRUE(make(work.FilePath(u"a"_s), "a") && make(work.FilePath(u"b"_s), "b"));
    ASSERT_TRUE(QFile::link(dir.filePath(u"nada"_s), dir.filePath(u"b"_s)));
    const QList<std::pair<QString, QString>> files{{work.FilePath(u"a"_s), dir.filePath(u"a"_s)},
                                                   {work.FilePath(u"b"_s), dir.filePath(u"b"_s)}};
    EXPECT_THROW(PublishNewFiles(files), Exception);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(u"a"_s)));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(u"nada"_s)));
    EXPECT_TRUE(QFileInfo(dir.filePath(u"b"_s)).isSymLink());
    ASSERT_TRUE(QFile::remove(dir.filePath(u"b"_s)));
    PublishNewFiles(files);
    QFile a(dir.filePath(u"a"_s)), b(dir.filePath(u"b"_s));
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_EQ(a.readAll() + b.readAll(), QByteArray("ab"));
}
