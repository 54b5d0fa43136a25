// The CHT statement (GetDemCHT, aph-server statement): the CSV carries the
// database's days and the totals panel's amount; the PDF is one that a PDF
// reader opens and reads back.
#include "host/data/formatsettings.h"
#include "host/data/hourtext.h"
#include "service/chttotals.h"
#include "tests/support/serverfixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

// CHT 90001: TF1 by the hour on TP1/001, 4 to 8 March, two days with an
// occurrence; its billed hours times 90 are 3194.9991, which rounds once to
// 3195. CHT 90002: a package on TP1/002, 749.997. CHT 90003: TF2 at a fixed
// value on TP2/001, 40 h contracted at 90. Every service bills 90 an hour.
class StatementTest : public ServerTest
{
protected:
    void SetUp() override
    {
        ServerTest::SetUp();
        if (IsSkipped())
            return;
        AddTestWorld();
        AddCht(u"90001"_s, u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, u"P"_s);
        const double h[][3] = {
            {8, 8, 8}, {7.49999, 7.49999, 7}, {9.5, 9, 9.5}, {8.25, 8.25, 8}, {3, 2.75, 3}};
        for (int i = 0; i < 5; ++i)
            AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 4 + i), h[i][0],
                   u"90001"_s, h[i][1], h[i][2]);
        SetOccurrence(u"TF1"_s, Day(2030, 3, 5), u"01"_s, u"02"_s);
        SetOccurrence(u"TF1"_s, Day(2030, 3, 7), u"02"_s, u"01"_s);
        AddCht(u"90002"_s, u"TP1"_s, u"01"_s, u"002"_s, u"TF1"_s, u"01"_s, u"A"_s);
        AddCsa(u"TP1"_s, u"01"_s, u"002"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 11), 4, u"90002"_s,
               3.3333, 4);
        AddCsa(u"TP1"_s, u"01"_s, u"002"_s, u"TF1"_s, u"01"_s, Day(2030, 3, 12), 5, u"90002"_s, 5,
               5);
        AddCht(u"90003"_s, u"TP2"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, u"R"_s);
        AddCsa(u"TP2"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, Day(2030, 3, 4), 7, u"90003"_s, 7,
               7);
        AddCsa(u"TP2"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, Day(2030, 3, 5), 6.5, u"90003"_s, 6,
               6.5);
    }

    void SetOccurrence(const QString& employee, double day, const QString& group,
                       const QString& code)
    {
        m_db->Exec(u"UPDATE CSA SET CDGRPOCOR = ?, CDOCORR = ? WHERE CDFUNC = ? AND "
                   "DTSERVPREST = ?"_s,
                   {group, code, employee, static_cast<qint64>(day)});
    }

    // The statement's reply, its file decoded.
    // version: none for a caller from before the client's version.
    QJsonObject Statement(const QString& cht, const QString& format,
                          const QString& version = QString())
    {
        QJsonArray params = {cht, format};
        if (!version.isNull())
            params.append(version);
        return m_client->Call(u"GetDemCHT"_s, params).toObject();
    }
    QByteArray File(const QString& cht, const QString& format, const QString& version = QString())
    {
        const QJsonObject reply = Statement(cht, format, version);
        EXPECT_TRUE(reply.value(u"ok"_s).toBool())
            << reply.value(u"message"_s).toString().toStdString();
        return QByteArray::fromBase64(
            reply.value(u"file"_s).toObject().value(u"base64"_s).toString().toLatin1());
    }

    // The amount the screen's totals panel gives for the CHT's CSAs as the
    // database holds them.
    QString SharedAmount(const QString& cht)
    {
        const QList<QVariantList> service = m_db->Rows(
            u"SELECT S.IDTIPOCOBRCONT, S.QTSERVCONT, S.VRDEHORACLIE FROM CHT H JOIN SERVCONT S ON "
            "S.NRPROPOSFAS = H.NRPROPOSFAS AND S.NRVERPROPFAS = H.NRVERPROPFAS AND "
            "S.NRSERVCONT = H.NRSERVCONT WHERE H.NRSEQUCHT = ?"_s,
            {cht});
        TChtTotals totals(service[0][0].toString(), service[0][1].toDouble(),
                          service[0][2].toDouble());
        for (const QVariantList& d : Days(cht))
            totals.Add(d[1].toDouble(), d[2].toDouble(), d[3].toDouble());
        return u"R$ "_s + FormatFloat(u"#,###,##0.00"_s, totals.Amount(),
                                      TFormatSettings::ForLocale(u"pt_BR"_s));
    }
    QList<QVariantList> Days(const QString& cht)
    {
        return m_db->Rows(
            u"SELECT C.DTSERVPREST, C.QTHRTRAB, C.QTHRAPROFATU, C.QTHRAPRCOMIS, C.CDGRPOCOR, "
            "C.CDOCORR, O.DSOCORR FROM CSA C LEFT JOIN OCORRENCIA O ON O.CDGRPOCOR = C.CDGRPOCOR "
            "AND O.CDOCORR = C.CDOCORR WHERE C.NRSEQUCHT = ? ORDER BY C.DTSERVPREST"_s,
            {cht});
    }
};

// The CSV's lines split at ";", without the byte order mark.
QList<QStringList> CsvLines(const QByteArray& csv)
{
    QList<QStringList> lines;
    for (const QString& line : QString::fromUtf8(csv.mid(3)).split(u"\r\n"_s))
        lines << line.split(u';');
    return lines;
}

// What pdftotext reads from the document.
QString PdfText(const QByteArray& pdf)
{
    QTemporaryDir dir;
    QFile f(dir.filePath(u"d.pdf"_s));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(pdf);
    f.close();
    QProcess p;
    p.start(u"pdftotext"_s, {u"-layout"_s, f.fileName(), u"-"_s});
    EXPECT_TRUE(p.waitForFinished(60000)) << "pdftotext (poppler-utils) must be installed";
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Header, cross-reference table whose offsets point at their objects,
// trailer.
void ExpectPdfStructure(const QByteArray& pdf)
{
    ASSERT_TRUE(pdf.startsWith("%PDF-1.4\n"));
    ASSERT_TRUE(pdf.endsWith("%%EOF\n"));
    const qsizetype start = pdf.lastIndexOf("startxref\n");
    ASSERT_GT(start, 0);
    const qsizetype xref = pdf.mid(start + 10).split('\n').value(0).toLongLong();
    ASSERT_TRUE(pdf.mid(xref).startsWith("xref\n0 "));
    const QList<QByteArray> lines = pdf.mid(xref).split('\n');
    const int count = lines[1].split(' ').value(1).toInt();
    ASSERT_GT(count, 4);
    for (int i = 1; i < count; ++i) {
        const qsizetype offset = lines[2 + i].left(10).toLongLong();
        EXPECT_TRUE(pdf.mid(offset).startsWith(QByteArray(QByteArray::number(i) + " 0 obj")))
            << "object " << i;
    }
}

} // namespace

TEST_F(StatementTest, TheCsvHoldsTheDatabasesDaysAndTheSharedAmount)
{
    const QStringList weekdays = {u"segunda-feira"_s, u"terça-feira"_s, u"quarta-feira"_s,
                                  u"quinta-feira"_s,  u"sexta-feira"_s, u"sábado"_s,
                                  u"domingo"_s};
    // Each billing type, with the amount worked out by hand.
    const std::vector<std::pair<QString, QString>> chts = {{u"90001"_s, u"R$ 3.195,00"_s},
                                                           {u"90002"_s, u"R$ 750,00"_s},
                                                           {u"90003"_s, u"R$ 3.600,00"_s}};
    for (const auto& [cht, amount] : chts) {
        SCOPED_TRACE(cht.toStdString());
        const QJsonObject reply = Statement(cht, u"csv"_s);
        EXPECT_EQ(reply.value(u"file"_s).toObject().value(u"name"_s).toString(),
                  u"CHT-%1.csv"_s.arg(cht));
        EXPECT_EQ(reply.value(u"file"_s).toObject().value(u"type"_s).toString(), u"text/csv"_s);
        const QByteArray csv = File(cht, u"csv"_s);
        ASSERT_TRUE(csv.startsWith("\xEF\xBB\xBF"));
        const QList<QStringList> lines = CsvLines(csv);
        EXPECT_TRUE(lines.contains(QStringList{u"CHT"_s, cht}));
        qsizetype at = 0;
        while (at < lines.size() && lines[at].value(0) != u"Data")
            ++at;
        ASSERT_LT(at, lines.size());
        const QList<QVariantList> days = Days(cht);
        ASSERT_GE(lines.size(), at + days.size() + 1);
        double worked = 0, billed = 0, commission = 0;
        for (qsizetype i = 0; i < days.size(); ++i) {
            const QVariantList& d = days[i];
            const QDate date = QDate(1899, 12, 30).addDays(d[0].toLongLong());
            const QString occurrence =
                d[5].isNull() ? QString() : d[4].toString() + u'/' + d[5].toString();
            EXPECT_EQ(lines[at + 1 + i],
                      (QStringList{date.toString(u"dd/MM/yyyy"_s), weekdays[date.dayOfWeek() - 1],
                                   HoursText(d[1].toDouble()), HoursText(d[2].toDouble()),
                                   HoursText(d[3].toDouble()), occurrence, d[6].toString()}));
            worked += d[1].toDouble();
            billed += d[2].toDouble();
            commission += d[3].toDouble();
        }
        EXPECT_EQ(lines[at + 1 + days.size()],
                  (QStringList{u"Total"_s, QString(), HoursText(worked), HoursText(billed),
                               HoursText(commission)}));
        EXPECT_TRUE(lines.contains(QStringList{u"Valor a faturar"_s, SharedAmount(cht)}));
        EXPECT_EQ(SharedAmount(cht), amount);
    }
    EXPECT_TRUE(CsvLines(File(u"90001"_s, u"csv"_s))
                    .contains(QStringList{u"Funcionário"_s, u"TF1"_s, u"Teste Funcionário Um"_s}));
    EXPECT_TRUE(CsvLines(File(u"90001"_s, u"csv"_s))
                    .contains(QStringList{u"Período"_s, u"04/03/2030"_s, u"08/03/2030"_s}));
    EXPECT_TRUE(
        CsvLines(File(u"90003"_s, u"csv"_s)).contains(QStringList{u"Situação"_s, u"Faturada"_s}));
}

TEST_F(StatementTest, ThePdfOpensAndReadsBack)
{
    const QJsonObject reply = Statement(u"90001"_s, u"pdf"_s);
    EXPECT_EQ(reply.value(u"file"_s).toObject().value(u"name"_s).toString(), u"CHT-90001.pdf"_s);
    EXPECT_EQ(reply.value(u"file"_s).toObject().value(u"type"_s).toString(), u"application/pdf"_s);
    const QByteArray pdf = File(u"90001"_s, u"pdf"_s);
    ExpectPdfStructure(pdf);
    const QString text = PdfText(pdf);
    EXPECT_TRUE(text.contains(u"Demonstrativo da CHT 90001"_s)) << text.toStdString();
    EXPECT_TRUE(text.contains(u"Teste Funcionário Um"_s)) << text.toStdString();
    EXPECT_TRUE(text.contains(u"R$ 3.195,00"_s)) << text.toStdString();
    EXPECT_TRUE(text.contains(u"Atestado médico"_s)) << text.toStdString();
    EXPECT_TRUE(text.contains(u"Página 1 de 1"_s)) << text.toStdString();

    // Seventy days run over a second page, titles repeated, nothing lost.
    AddCht(u"90004"_s, u"TP1"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, u"P"_s);
    for (int i = 0; i < 70; ++i)
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, Day(2030, 6, 1) + i, 8, u"90004"_s,
               8, 8);
    const QByteArray longPdf = File(u"90004"_s, u"pdf"_s);
    ExpectPdfStructure(longPdf);
    const QString longText = PdfText(longPdf);
    EXPECT_TRUE(longText.contains(u"Página 2 de 2"_s)) << longText.toStdString();
    EXPECT_EQ(longText.count(QRegularExpression(u"\\d\\d/0[678]/2030 +\\S+ +08:00"_s)), 70);
    EXPECT_EQ(longText.count(u"trabalhadas"_s), 2);
    EXPECT_TRUE(longText.contains(u"R$ 50.400,00"_s)) << longText.toStdString();
}

TEST_F(StatementTest, UnknownChtsFormatsAndConnectionsAreRefused)
{
    const QJsonObject unknown = Statement(u"12"_s, u"pdf"_s);
    EXPECT_FALSE(unknown.value(u"ok"_s).toBool());
    EXPECT_EQ(unknown.value(u"message"_s).toString(), u"A CHT 00012 não existe."_s);
    const auto error = [](TRpcClient& client, const QJsonArray& params) {
        try {
            client.Call(u"GetDemCHT"_s, params);
        } catch (const ERpcError& e) {
            return e.Code();
        }
        return 0;
    };
    EXPECT_EQ(error(*m_client, {u"90001"_s, u"xls"_s}), -32602);
    EXPECT_EQ(error(*m_client, {u"90001"_s}), -32602);
    auto anonymous = NewClient(false);
    EXPECT_EQ(error(*anonymous, {u"90001"_s, u"csv"_s}), -32000);
}

TEST_F(StatementTest, TheCommandLineWritesTheFiles)
{
    QTemporaryDir dir;
    const QString csv = dir.filePath(u"cht.csv"_s), pdf = dir.filePath(u"cht.pdf"_s);
    QString out, err;
    ASSERT_EQ(RunServerCommand({u"statement"_s, m_db->Spec(), u"90002"_s, u"--format"_s, u"csv"_s,
                                u"--out"_s, csv, u"--para"_s, u"interno"_s},
                               &out, &err),
              0)
        << err.toStdString();
    EXPECT_TRUE(out.contains(csv)) << out.toStdString();
    QFile csvFile(csv);
    ASSERT_TRUE(csvFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(csvFile.readAll(), File(u"90002"_s, u"csv"_s));
    ASSERT_EQ(RunServerCommand({u"statement"_s, m_db->Spec(), u"90002"_s, u"--format"_s, u"pdf"_s,
                                u"--out"_s, pdf}),
              0);
    QFile pdfFile(pdf);
    ASSERT_TRUE(pdfFile.open(QIODevice::ReadOnly));
    const QByteArray written = pdfFile.readAll();
    ExpectPdfStructure(written);
    EXPECT_TRUE(PdfText(written).contains(u"R$ 750,00"_s));

    EXPECT_EQ(RunServerCommand({u"statement"_s, m_db->Spec(), u"99"_s, u"--format"_s, u"pdf"_s,
                                u"--out"_s, dir.filePath(u"none.pdf"_s)},
                               nullptr, &err),
              1);
    EXPECT_TRUE(err.contains(u"A CHT 00099 não existe."_s)) << err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath(u"none.pdf"_s)));
    EXPECT_EQ(RunServerCommand({u"statement"_s, m_db->Spec(), u"90002"_s, u"--format"_s, u"doc"_s,
                                u"--out"_s, dir.filePath(u"x.doc"_s)},
                               nullptr, &err),
              1);
    EXPECT_TRUE(err.contains(u"pdf ou csv"_s)) << err.toStdString();
}

// The client's version of a CHT of each way of charging: the issuer, the
// client and the basis of the amount are there, the amount is the totals
// panel's, and nothing internal is: no commission, no occurrence, no
// situation. Its lines hold the billed hours as the database has them.
TEST_F(StatementTest, TheClientsVersionReadsRightForEachWayOfCharging)
{
    struct TCase
    {
        QString Cht, Client, Basis, Amount;
    };
    const auto billed = [this](const QString& cht) {
        double sum = 0;
        for (const QVariantList& d : Days(cht))
            sum += d[2].toDouble();
        return HoursText(sum);
    };
    // The billed hours of 90001 are 35.49999, of 90002 8.3333.
    const std::vector<TCase> cases = {
        {u"90001"_s, u"Cliente Teste Um - CNPJ 11.222.333/0001-81"_s,
         billed(u"90001"_s) + u" = 35,50 h faturadas × R$ 90,00"_s, u"R$ 3.195,00"_s},
        {u"90002"_s, u"Cliente Teste Um - CNPJ 11.222.333/0001-81"_s,
         billed(u"90002"_s) + u" = 8,3333 h faturadas × R$ 90,00"_s, u"R$ 750,00"_s},
        {u"90003"_s, u"Cliente Teste Dois - CNPJ 11.222.333/0001-81"_s,
         u"40:00 = 40,00 h contratadas × R$ 90,00"_s, u"R$ 3.600,00"_s},
    };
    const QString today = QDate::currentDate().toString(u"dd/MM/yyyy"_s);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Cht.toStdString());
        EXPECT_EQ(SharedAmount(c.Cht), c.Amount);
        const QJsonObject reply = Statement(c.Cht, u"pdf"_s, u"cliente"_s);
        // 90001 is pending: its file is named a preview.
        EXPECT_EQ(reply.value(u"file"_s).toObject().value(u"name"_s).toString(),
                  (c.Cht == u"90001" ? u"CHT-%1-cliente-previa.pdf"_s : u"CHT-%1-cliente.pdf"_s)
                      .arg(c.Cht));
        const QByteArray pdf = File(c.Cht, u"pdf"_s, u"cliente"_s);
        ExpectPdfStructure(pdf);
        const QString text = PdfText(pdf).simplified();
        for (const QString& wanted :
             QStringList{u"Emitente: Firma de Teste Ltda. - CNPJ 45.781.296/0001-63"_s,
                         u"Cliente: "_s + c.Client, u"Base de cálculo: "_s + c.Basis,
                         u"Valor a faturar: "_s + c.Amount, u"Quantidade contratada: 40:00"_s,
                         u"Emissão: "_s + today, u"Página 1 de 1"_s,
                         u"Valor da hora: valor contratual R$ 100,00; valor faturado R$ 90,00 "
                         "(R$ 10,00 a menos por hora)"_s})
            EXPECT_TRUE(text.contains(wanted)) << wanted.toStdString() << "\n"
                                               << text.toStdString();
        // One issue date.
        EXPECT_FALSE(text.contains(u"Emitido"_s)) << text.toStdString();
        QStringList internal = {u"omiss"_s, u"Pendente"_s,    u"Aprovada"_s, u"Faturada"_s,
                                u"Ocorr"_s, u"trabalhadas"_s, u"TF1"_s,      u"TF2"_s};
        for (const QVariantList& d : Days(c.Cht))
            if (!d[6].toString().isEmpty())
                internal << d[6].toString();
        for (const QString& unwanted : internal)
            EXPECT_FALSE(text.contains(unwanted)) << unwanted.toStdString();

        const QList<QStringList> lines = CsvLines(File(c.Cht, u"csv"_s, u"cliente"_s));
        const qsizetype at =
            lines.indexOf(QStringList{u"Data"_s, u"Dia da semana"_s, u"Horas faturadas"_s});
        ASSERT_GT(at, 0);
        const QList<QVariantList> days = Days(c.Cht);
        ASSERT_GE(lines.size(), at + days.size() + 1);
        for (qsizetype i = 0; i < days.size(); ++i)
            EXPECT_EQ(lines[at + 1 + i].value(2), HoursText(days[i][2].toDouble()));
        EXPECT_EQ(lines[at + 1 + days.size()], (QStringList{u"Total"_s, QString(), billed(c.Cht)}));
        EXPECT_TRUE(lines.contains(QStringList{u"Base de cálculo"_s, c.Basis}));
        EXPECT_TRUE(lines.contains(QStringList{u"Valor a faturar"_s, SharedAmount(c.Cht)}));
    }
}

// The client's statement as the client reads it, for each way of charging
// at hour values that differ from the contract's: the proposal by the
// number the client knows, the invoice once billed (from the command line
// here), a preview mark on every page of a CHT
// not approved, and a basis whose product, worked out from the printed
// figures, is the amount the database's own rows give.
TEST_F(StatementTest, TheClientsStatementMultipliesOutAndSaysWhatItIs)
{
    m_db->Exec(u"UPDATE PROPOSTA SET NRPROPOSTA = 'PROP 2026/0701-01' WHERE NRPROPOSFAS = 'TP1'"_s);
    m_db->Exec(u"UPDATE SERVCONT SET VRHORACLIE = 180, VRDEHORACLIE = 175.5 WHERE NRPROPOSFAS = "
               "'TP1' AND NRSERVCONT = '001'"_s);
    m_db->Exec(u"UPDATE SERVCONT SET QTSERVCONT = 5, VRHORACLIE = 150, VRDEHORACLIE = 150 WHERE "
               "NRPROPOSFAS = 'TP1' AND NRSERVCONT = '002'"_s);
    m_db->Exec(u"UPDATE SERVCONT SET VRHORACLIE = 200, VRDEHORACLIE = 210 WHERE NRPROPOSFAS = "
               "'TP2'"_s);
    // Seventy pending days: a preview of two pages.
    AddCht(u"90005"_s, u"TP1"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, u"P"_s);
    for (int i = 0; i < 70; ++i)
        AddCsa(u"TP1"_s, u"01"_s, u"001"_s, u"TF2"_s, u"02"_s, Day(2030, 6, 1) + i, 8, u"90005"_s,
               7.75, 8);
    // 90003 billed on its invoice from the command line.
    ASSERT_EQ(RunServerCommand({u"cht-status"_s, m_db->Spec(), u"90003"_s, u"A"_s}), 0);
    ASSERT_EQ(RunServerCommand(
                  {u"cht-status"_s, m_db->Spec(), u"90003"_s, u"R"_s, u"--nota"_s, u"NF-1187"_s}),
              0);

    struct TCase
    {
        QString Cht;
        int Pages;
        QStringList Wanted, Unwanted;
    };
    const QString today = QDate::currentDate().toString(u"dd/MM/yyyy"_s);
    const QString mark = u"Prévia — CHT ainda não aprovada"_s;
    const std::vector<TCase> cases = {
        {u"90001"_s,
         1,
         {u"Proposta: PROP 2026/0701-01"_s,
          u"Valor da hora: valor contratual R$ 180,00; valor faturado R$ 175,50"_s},
         {u"Nota fiscal"_s, u"Pacote:"_s}},
        {u"90005"_s,
         2,
         {u"Página 2 de 2"_s, u"Base de cálculo: 542:30 = 542,50 h faturadas"_s},
         {u"Nota fiscal"_s}},
        {u"90002"_s,
         1,
         {u"Proposta: PROP 2026/0701-01"_s, u"Valor da hora: R$ 150,00"_s,
          u"Pacote: 05:00 contratadas; 08:20 faturadas (03:20 além do pacote)"_s},
         {mark, u"Nota fiscal"_s, u"contratual"_s}},
        {u"90003"_s,
         1,
         {u"Nota fiscal: NF-1187, de "_s + today,
          u"Valor da hora: valor contratual R$ 200,00; valor faturado R$ 210,00 (R$ 10,00 a "
          "mais por hora)"_s},
         {mark, u"Pacote:"_s}},
    };
    const QRegularExpression basis(u"Base de cálculo: (\\d+):(\\d\\d) = ([\\d.]+,\\d+) h "
                                   "(faturadas|contratadas) × R\\$ ([\\d.]+,\\d\\d)"_s);
    const QRegularExpression amount(u"Valor a faturar: R\\$ ([\\d.]+,\\d\\d)"_s);
    const auto number = [](QString text) {
        return text.remove(u'.').replace(u',', u'.').toDouble();
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Cht.toStdString());
        const QString text = PdfText(File(c.Cht, u"pdf"_s, u"cliente"_s)).simplified();
        for (const QString& wanted : c.Wanted)
            EXPECT_TRUE(text.contains(wanted)) << wanted.toStdString() << "\n"
                                               << text.toStdString();
        for (const QString& unwanted : c.Unwanted)
            EXPECT_FALSE(text.contains(unwanted)) << unwanted.toStdString();
        const bool preview = c.Cht == u"90001" || c.Cht == u"90005";
        EXPECT_EQ(text.count(mark), preview ? c.Pages : 0) << text.toStdString();
        EXPECT_EQ(text.count(u"Página"_s), c.Pages);

        // The database's own figures: the hours the amount is made of and
        // the hour value to bill.
        const QVariantList service = m_db->Rows(
            u"SELECT S.IDTIPOCOBRCONT, S.QTSERVCONT, S.VRDEHORACLIE, (SELECT SUM(QTHRAPROFATU) "
            "FROM CSA WHERE NRSEQUCHT = H.NRSEQUCHT) FROM CHT H JOIN SERVCONT S ON S.NRPROPOSFAS "
            "= H.NRPROPOSFAS AND S.NRVERPROPFAS = H.NRVERPROPFAS AND S.NRSERVCONT = H.NRSERVCONT "
            "WHERE H.NRSEQUCHT = ?"_s,
            {c.Cht})[0];
        const bool fixed = service[0].toString() == u"F";
        const double hours = fixed ? service[1].toDouble() : service[3].toDouble();
        const double expected = RoundDec(hours * service[2].toDouble(), 2);
        // The printed basis read back: hh:mm and decimal agree, the decimal
        // times the hour value is the printed amount, and that is the
        // database's.
        const QRegularExpressionMatch b = basis.match(text), a = amount.match(text);
        ASSERT_TRUE(b.hasMatch() && a.hasMatch()) << text.toStdString();
        const double decimal = number(b.captured(3));
        EXPECT_NEAR(b.captured(1).toDouble() + b.captured(2).toDouble() / 60, decimal, 1.0 / 120);
        EXPECT_NEAR(decimal, hours, 0.00005);
        EXPECT_EQ(b.captured(4), fixed ? u"contratadas"_s : u"faturadas"_s);
        EXPECT_EQ(number(b.captured(5)), service[2].toDouble());
        EXPECT_EQ(RoundDec(decimal * number(b.captured(5)), 2), number(a.captured(1)));
        EXPECT_EQ(number(a.captured(1)), expected);

        // The CSV says the same.
        const QList<QStringList> lines = CsvLines(File(c.Cht, u"csv"_s, u"cliente"_s));
        EXPECT_EQ(lines.contains(QStringList{mark}), preview);
        EXPECT_TRUE(lines.contains(QStringList{u"Base de cálculo"_s, b.captured(0).mid(17)}))
            << b.captured(0).toStdString();
    }
}

// Which version a caller gets: the command line the client's unless told,
// the protocol the internal one unless told (callers from before); bad
// versions and a missing issuer are refused.
TEST_F(StatementTest, EachCallerGetsTheVersionItAskedFor)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"dem.csv"_s);
    const auto written = [&](const QStringList& extra, int exitCode = 0) {
        QFile::remove(path);
        QString err;
        EXPECT_EQ(RunServerCommand(QStringList{u"statement"_s, m_db->Spec(), u"90003"_s,
                                               u"--format"_s, u"csv"_s, u"--out"_s, path} +
                                       extra,
                                   nullptr, &err),
                  exitCode)
            << err.toStdString();
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : err.toUtf8();
    };
    const QByteArray internal = File(u"90003"_s, u"csv"_s);
    const QByteArray client = File(u"90003"_s, u"csv"_s, u"cliente"_s);
    EXPECT_NE(internal, client);
    EXPECT_TRUE(internal.contains("Horas comissão"));
    EXPECT_EQ(File(u"90003"_s, u"csv"_s, u"interno"_s), internal);
    EXPECT_EQ(written({}), client);
    EXPECT_EQ(written({u"--para"_s, u"interno"_s}), internal);
    EXPECT_THROW(m_client->Call(u"GetDemCHT"_s, {u"90003"_s, u"pdf"_s, u"client"_s}), ERpcError);

    // Without an issuer the client's version is refused, the internal one
    // is not.
    m_db->Exec(u"UPDATE PARAMGERAL SET NMEMITENTE = NULL, NRCNPJEMITENTE = NULL"_s);
    const QJsonObject refused = Statement(u"90003"_s, u"pdf"_s, u"cliente"_s);
    EXPECT_FALSE(refused.value(u"ok"_s).toBool());
    EXPECT_TRUE(refused.value(u"message"_s).toString().contains(u"aph-server emitente"_s));
    EXPECT_EQ(File(u"90003"_s, u"csv"_s), internal);
    EXPECT_TRUE(written({}, 1).contains("emitente"));
    EXPECT_FALSE(QFile::exists(path));
}

// aph-server emitente: shows the issuer, sets it only with a CNPJ whose
// check digits are right, and keeps the last good one otherwise.
TEST_F(StatementTest, TheIssuersCnpjIsCheckedBeforeItIsKept)
{
    struct TCase
    {
        QString Cnpj;
        int Exit;
        QString Shown; // what emitente shows afterwards
    };
    const QString first = u"Emitente: Alfa Ltda. - CNPJ 11.222.333/0001-81"_s;
    const QString second = u"Emitente: Alfa Ltda. - CNPJ 45.781.296/0001-63"_s;
    const std::vector<TCase> cases = {
        {u"11.222.333/0001-81"_s, 0, first},  // with punctuation
        {u"45781296000163"_s, 0, second},     // digits only
        {u"45.781.296/0001-64"_s, 1, second}, // second check digit wrong
        {u"45.781.296/0001-53"_s, 1, second}, // first check digit wrong
        {u"11.222.333/0001-18"_s, 1, second}, // check digits swapped
        {u"00000000000000"_s, 1, second},     // every digit the same
        {u"4578129600016"_s, 1, second},      // 13 digits
        {u"457812960001630"_s, 1, second},    // 15 digits
        {u"45.781.296/0001-6A"_s, 1, second}, // a letter
        {QString(), 1, second},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Cnpj.toStdString());
        QString err;
        EXPECT_EQ(RunServerCommand({u"emitente"_s, m_db->Spec(), u"--nome"_s, u" Alfa Ltda. "_s,
                                    u"--cnpj"_s, c.Cnpj},
                                   nullptr, &err),
                  c.Exit)
            << err.toStdString();
        if (c.Exit != 0) {
            EXPECT_TRUE(err.contains(u"CNPJ inválido"_s)) << err.toStdString();
        }
        QString out;
        ASSERT_EQ(RunServerCommand({u"emitente"_s, m_db->Spec()}, &out), 0);
        EXPECT_EQ(out.trimmed(), c.Shown);
    }
    // The statement shows what was kept; --nome alone is a usage error.
    EXPECT_TRUE(PdfText(File(u"90001"_s, u"pdf"_s, u"cliente"_s))
                    .contains(u"Alfa Ltda. - CNPJ 45.781.296/0001-63"_s));
    EXPECT_EQ(RunServerCommand({u"emitente"_s, m_db->Spec(), u"--nome"_s, u"Beta"_s}), 2);
}

// --out writes a new file only: nothing that exists is replaced, and with
// --sobrescrever only an ordinary file, never a link, a device, a FIFO, a
// folder or the database itself. Nothing is left behind by a refusal.
TEST_F(StatementTest, TheCommandLineNeverClobbersWhatIsThere)
{
    QTemporaryDir dir;
    const auto put = [&dir](const QString& name) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("antes");
        return f.fileName();
    };
    const QString file = put(u"existe.csv"_s);
    const QString replaced = put(u"substituir.csv"_s);
    const QString linked = put(u"alvo.csv"_s);
    const QString link = dir.filePath(u"link.csv"_s);
    ASSERT_TRUE(QFile::link(linked, link));
    const QString fifo = dir.filePath(u"fifo.csv"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    struct Case
    {
        QString out;
        bool overwrite;
        int exitCode;
        QString says;
    };
    QList<Case> cases{
        {file, false, 1, u"já existe"_s},
        {link, false, 1, u"já existe"_s},
        {link, true, 1, u"não é um arquivo comum"_s},
        {fifo, true, 1, u"não é um arquivo comum"_s},
        {u"/dev/null"_s, true, 1, u"não é um arquivo comum"_s},
        {dir.path(), true, 1, u"não é um arquivo comum"_s},
        {dir.filePath(u"nenhuma/x.csv"_s), false, 1, u"não existe"_s},
        {replaced, true, 0, QString()},
    };
    if (!m_db->SqlitePath().isEmpty()) {
        cases.append({m_db->SqlitePath(), false, 1, u"já existe"_s});
        cases.append({m_db->SqlitePath(), true, 1, u"do próprio banco"_s});
    }
    for (const Case& c : cases) {
        QStringList args{u"statement"_s, m_db->Spec(), u"90002"_s, u"--format"_s, u"csv"_s,
                         u"--para"_s,    u"interno"_s, u"--out"_s, c.out};
        if (c.overwrite)
            args << u"--sobrescrever"_s;
        QString err;
        EXPECT_EQ(RunServerCommand(args, nullptr, &err), c.exitCode) << c.out.toStdString();
        EXPECT_TRUE(err.contains(c.says)) << c.out.toStdString() << err.toStdString();
    }
    const auto read = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    EXPECT_EQ(read(file), "antes");
    EXPECT_EQ(read(linked), "antes");
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(read(replaced), File(u"90002"_s, u"csv"_s));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System).size(), 5)
        << QDir(dir.path()).entryList(QDir::Files | QDir::System).join(u' ').toStdString();
    // The database still serves.
    EXPECT_NO_THROW(Statement(u"90001"_s, u"pdf"_s));
}

// The server builds statements up to --max-statement-days days; a longer
// CHT is refused with the reason, before any of it is built.
TEST_F(StatementTest, AStatementPastTheDaysLimitIsRefusedWithTheReason)
{
    StartServer({u"--max-statement-days"_s, u"4"_s});
    const QJsonObject refused = Statement(u"90001"_s, u"pdf"_s);
    EXPECT_FALSE(refused.value(u"ok"_s).toBool());
    EXPECT_EQ(refused.value(u"message"_s).toString(),
              u"A CHT 90001 tem 5 dias, mais que os 4 de um demonstrativo pelo servidor "
              "(--max-statement-days); gere-o com aph-server statement."_s);
    EXPECT_FALSE(refused.contains(u"file"_s));
    EXPECT_TRUE(Statement(u"90002"_s, u"csv"_s).value(u"ok"_s).toBool());
}
