// What an import refuses before anything is written: headers that fit no
// table, documents whose check digits are wrong, values no screen can show,
// a CSA without a registered importing operator; and what the rows it
// adds, and the audit, say of who brought them in and when.
#include "host/data/formatsettings.h"
#include "tests/support/serverfixture.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

class ImportChecksTest : public ServerTest
{
protected:
    QTemporaryDir dir;

    QString File(const QString& name, const QByteArray& text)
    {
        return WriteTestFile(dir.path(), name, text);
    }
    int Run(const QStringList& args, QString& text) { return RunServerCommand(args, text); }
    // Every row of the tables an import of these tests could touch, and
    // the issuer, counted by the database itself.
    QString Written()
    {
        QStringList cells;
        for (const QVariant& v :
             m_db->Rows(u"SELECT (SELECT COUNT(*) FROM CLIENTE), (SELECT COUNT(*) FROM PROPOSTA), "
                        "(SELECT COUNT(*) FROM SERVCONT), (SELECT COUNT(*) FROM CSA), (SELECT "
                        "COUNT(*) FROM APH_AUDITORIA), (SELECT MAX(NRCNPJEMITENTE) FROM "
                        "PARAMGERAL)"_s)
                 .value(0))
            cells << v.toString();
        return cells.join(u'|');
    }
    // A good client, proposal and contracted service the refused file sits
    // beside: written, they would show in the counts.
    QStringList Contract()
    {
        return {
            File(u"clientes.csv"_s, "CDCLIENTE;NMFANTCLIE;NRINSJURCLIE;IDTPIJURCLIE\n"
                                    "IC1;Cliente Um;11.222.333/0001-81;J\n"),
            File(u"propostas.csv"_s, "NRPROPOSFAS;NRVERPROPFAS;CDCLIENTE;NRPROPOSTA;CDFILIAL\n"
                                     "IP1;01;IC1;PROP 1;0001\n"),
            File(u"tipos.csv"_s, "CDTIPOSERV;NMTIPOSERV\nDES;Desenvolvimento\n"),
            File(u"servicos.csv"_s, "NRPROPOSFAS;NRVERPROPFAS;NRSERVCONT;CDTIPOSERV;"
                                    "IDTIPOCOBRCONT;VRHORACLIE\nIP1;01;001;DES;H;150,5\n"),
            File(u"pessoas.csv"_s, "CDFUNC;NMFUNC;CDEMPRESA\nIF1;Fulano;01\n"),
        };
    }
};

// OLE moment of a clock reading, as the server keeps moments (local time).
double OleOf(const QDateTime& t)
{
    return DateToOle(t.date()) + t.time().msecsSinceStartOfDay() / 86400000.0;
}

const QByteArray kCsaHead =
    "NRPROPOSFAS;NRVERPROPFAS;NRSERVCONT;CDFUNC;DTSERVPREST;CDEMPRESA;QTHRTRAB\n";

} // namespace

// Each bad file is refused with its file, line and column, and nothing of
// the run is written: not the good files beside it, not an audit row.
TEST_F(ImportChecksTest, EveryBadHeaderDocumentAndValueIsRefusedByItsColumn)
{
    m_db->Exec(u"INSERT INTO OPERADOR (CDOPERADOR, NMOPERADOR, IDOPERATIVO) VALUES ('SAIU', "
               "'Saiu', 'I')"_s);
    const struct
    {
        const char* Name;
        QByteArray Text;
        QString Operator;
        QString Error;
    } cases[] = {
        // Headers: the closest table, its unknown columns, what it lacks.
        {"c.csv",
         "CDCLIENTE;NMFANTCLIE;NMRAZAOSOCIAL\nIC2;Dois;Dois Ltda\n",
         {},
         u"c.csv, linha 1, coluna NMRAZAOSOCIAL: o cabeçalho não corresponde a nenhuma tabela; "
         "a mais próxima é CLIENTE: coluna desconhecida NMRAZAOSOCIAL (NMRAZSOCCLIE?)."_s},
        {"c.csv",
         "CDCLIENTE;NMRAZSOCCLIE\nIC2;Dois Ltda\n",
         {},
         u"c.csv, linha 1, coluna NMFANTCLIE: o cabeçalho não corresponde a nenhuma tabela; a "
         "mais próxima é CLIENTE: falta NMFANTCLIE."_s},
        {"d.csv",
         "NRPROPOSFAS;NRVERPROPFAS;NRSERVCONT;CDFUNC;DTSERVPREST;CDEMPRESA;QTHRTRAB;OBS;HORAS\n"
         "IP1;01;001;IF1;02/03/2026;01;8;x;8\n",
         u"ANA"_s,
         u"d.csv, linha 1, coluna OBS: o cabeçalho não corresponde a nenhuma tabela; a mais "
         "próxima é CSA: colunas desconhecidas OBS, HORAS."_s},
        // Documents, by the kind of the client.
        {"c.csv",
         "CDCLIENTE;NMFANTCLIE;NRINSJURCLIE;IDTPIJURCLIE\nIC2;Dois;11222333000199;J\n",
         {},
         u"c.csv, linha 2, coluna NRINSJURCLIE: \"11222333000199\" não é um CNPJ válido"_s},
        {"c.csv",
         "CDCLIENTE;NMFANTCLIE;NRINSJURCLIE;IDTPIJURCLIE\nIC2;Dois;11222333000181;Z\n",
         {},
         u"c.csv, linha 2, coluna IDTPIJURCLIE: \"Z\" não é um dos códigos aceitos (J, F)"_s},
        {"c.csv",
         "CDCLIENTE;NMFANTCLIE;NRINSJURCLIE;IDTPIJURCLIE\nIC2;Dois;11.222.333/0001-81;F\n",
         {},
         u"c.csv, linha 2, coluna NRINSJURCLIE: \"11222333000181\" não é um CPF válido"_s},
        {"c.csv",
         "CDCLIENTE;NMFANTCLIE;NRINSJURCLIE;IDTPIJURCLIE\nIC2;Dois;529.982.247-52;F\n",
         {},
         u"c.csv, linha 2, coluna NRINSJURCLIE: \"52998224752\" não é um CPF válido"_s},
        {"c.csv",
         "CDCLIENTE;NMFANTCLIE;NRINSJURCLIE;IDTPIJURCLIE\nIC2;Dois;12.ABC.345/01DE-53;J\n",
         {},
         u"c.csv, linha 2, coluna NRINSJURCLIE: \"12ABC34501DE53\" não é um CNPJ válido"_s},
        {"c.csv",
         "CDCLIENTE;NMFANTCLIE;NRINSJURCLIE\nIC2;Dois;11222333000181\n",
         {},
         u"c.csv, linha 2, coluna NRINSJURCLIE: o documento 11222333000181 pede IDTPIJURCLIE"_s},
        {"p.csv",
         "IDPARAMGERAL;NMSISTEMA;NMEMITENTE;NRCNPJEMITENTE\n1;Apuração;Firma;11.222.333/0001-18\n",
         {},
         u"p.csv, linha 2, coluna NRCNPJEMITENTE: o CNPJ do emitente \"11222333000118\" não é "
         "válido"_s},
        // Values no screen can show, and one reading of a number.
        {"d.csv", kCsaHead + "IP1;01;001;IF1;0099-03-02;01;8\n", u"ANA"_s,
         u"d.csv, linha 2, coluna DTSERVPREST: 02/03/0099 é antes de 01/01/1900"_s},
        {"s.csv",
         "NRPROPOSFAS;NRVERPROPFAS;NRSERVCONT;CDTIPOSERV;IDTIPOCOBRCONT;VRHORACLIE\n"
         "IP1;01;002;DES;H;-199,75\n",
         {},
         u"s.csv, linha 2, coluna VRHORACLIE: -199,75 é negativo"_s},
        {"s.csv",
         "NRPROPOSFAS;NRVERPROPFAS;NRSERVCONT;CDTIPOSERV;IDTIPOCOBRCONT;VRHORACLIE\n"
         "IP1;01;002;DES;H;1.234,56\n",
         {},
         u"s.csv, linha 2, coluna VRHORACLIE: \"1.234,56\" não é um número"_s},
        {"c.csv",
         "CDCLIENTE;NMFANTCLIE\nIC2;Dois\x1b[31m\n",
         {},
         u"c.csv, linha 2, coluna NMFANTCLIE: o texto tem um caractere invisível ou de controle "
         "(U+001B)"_s},
        {"c.csv",
         "CDCLIENTE;NMFANTCLIE\nIC2;\"Do\nis\"\n",
         {},
         u"c.csv, linha 2, coluna NMFANTCLIE: o texto tem um caractere invisível ou de controle "
         "(U+000A)"_s},
        {"c.csv",
         "CDCLIENTE;NMFANTCLIE\nIC2;Do\0is\n"_ba,
         {},
         u"c.csv, linha 2, coluna NMFANTCLIE: o texto tem um caractere invisível ou de controle "
         "(U+0000)"_s},
        {"c.csv",
         "CDCLIENTE;NMFANTCLIE\nIC2;Do\xe2\x80\x8bis\n",
         {},
         u"c.csv, linha 2, coluna NMFANTCLIE: o texto tem um caractere invisível ou de controle "
         "(U+200B)"_s},
        // CSAs come in only under a registered, active operator.
        {"d.csv",
         kCsaHead + "IP1;01;001;IF1;02/03/2026;01;8\n",
         {},
         u"--operador: uma importação de CSAs pede o operador que as inclui"_s},
        {"d.csv", kCsaHead + "IP1;01;001;IF1;02/03/2026;01;8\n", u"NINGUEM"_s,
         u"--operador: o operador \"NINGUEM\" não está cadastrado"_s},
        {"d.csv", kCsaHead + "IP1;01;001;IF1;02/03/2026;01;8\n", u"saiu"_s,
         u"--operador: o operador SAIU está inativo"_s},
    };
    const QString before = Written();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text.toStdString());
        QStringList args{u"import"_s, m_db->Spec(), File(QString::fromLatin1(c.Name), c.Text)};
        if (!c.Operator.isEmpty())
            args << u"--operador"_s << c.Operator;
        QString text;
        EXPECT_EQ(Run(args + Contract(), text), 1) << text.toStdString();
        EXPECT_TRUE(text.contains(c.Error)) << text.toStdString();
        EXPECT_TRUE(text.contains(u"nada foi gravado"_s)) << text.toStdString();
        EXPECT_EQ(Written(), before);
    }
}

// New CSAs carry the importing operator (named in any case, kept as
// stored) and the import's moment; a day updated later keeps who included
// it. Documents are kept without punctuation. Each run written is one
// audit row; a dry run and a refused run leave none.
TEST_F(ImportChecksTest, ImportedRowsSayWhoBroughtThemInAndTheAuditHasTheRun)
{
    const QString days =
        File(u"dias.csv"_s, kCsaHead + "IP1;01;001;IF1;02/03/2026;01;8\nIP1;01;001;IF1;"
                                       "03/03/2026;01;7,5\n");
    const QString people =
        File(u"gente.csv"_s, "CDCLIENTE;NMFANTCLIE;NRINSJURCLIE;IDTPIJURCLIE\n"
                             "IC2;Alfa;12.abc.345/01de-35;J\nIC3;Bia;529.982.247-25;F\n");
    const auto audits = [this] {
        return m_db->Scalar(u"SELECT COUNT(*) FROM APH_AUDITORIA WHERE DSEVENTO LIKE 'import%'"_s)
            .toLongLong();
    };
    QString text;
    ASSERT_EQ(Run(QStringList{u"import"_s, m_db->Spec(), days, u"--dry-run"_s, u"--operador"_s,
                              u"ANA"_s} +
                      Contract(),
                  text),
              0)
        << text.toStdString();
    EXPECT_EQ(audits(), 0);

    const double from = OleOf(QDateTime::currentDateTime()) - 1.0 / 86400;
    ASSERT_EQ(Run(QStringList{u"import"_s, m_db->Spec(), days, people, u"--operador"_s, u"ana"_s} +
                      Contract(),
                  text),
              0)
        << text.toStdString();
    const double to = OleOf(QDateTime::currentDateTime()) + 1.0 / 86400;
    const QList<QVariantList> stamps = m_db->Rows(
        u"SELECT CDOPERINCL, DTINCLUSAO FROM CSA WHERE CDFUNC = 'IF1' ORDER BY DTSERVPREST"_s);
    ASSERT_EQ(stamps.size(), 2);
    for (const QVariantList& row : stamps) {
        EXPECT_EQ(row[0].toString(), u"ANA"_s);
        EXPECT_GE(row[1].toDouble(), from);
        EXPECT_LE(row[1].toDouble(), to);
        EXPECT_EQ(row[1].toDouble(), stamps[0][1].toDouble()) << "one moment per run";
    }
    EXPECT_EQ(m_db->Rows(u"SELECT NRINSJURCLIE FROM CLIENTE WHERE CDCLIENTE IN ('IC2', 'IC3') "
                         "ORDER BY CDCLIENTE"_s),
              (QList<QVariantList>{{u"12ABC34501DE35"_s}, {u"52998224725"_s}}));
    const QList<QVariantList> audit = m_db->Rows(
        u"SELECT CDOPERADOR, CDOPERCONEXAO, DSEVENTO FROM APH_AUDITORIA WHERE DSEVENTO LIKE "
        "'import%'"_s);
    ASSERT_EQ(audit.size(), 1);
    EXPECT_EQ(audit[0][0].toString(), u"ANA"_s);
    EXPECT_TRUE(audit[0][1].isNull());
    EXPECT_EQ(audit[0][2].toString().toStdString(),
              "import: inseridas CLIENTE 3, FUNCIONARIO 1, PROPOSTA 1, SERVCONT 1, CSA 2; "
              "atualizadas TIPOSERV 1; 7 arquivo(s): dias.csv, gente.csv, clientes.csv, "
              "propostas.csv, tipos.csv, servicos.csv, pessoas.csv"); // DES has another name

    // A changed day under another operator: updated, its inclusion kept.
    m_db->Exec(u"INSERT INTO OPERADOR (CDOPERADOR, NMOPERADOR, IDOPERATIVO) VALUES ('BIA', "
               "'Bia', 'A')"_s);
    const QString changed = File(u"dias2.csv"_s, kCsaHead + "IP1;01;001;IF1;02/03/2026;01;6\n"
                                                            "IP1;01;001;IF1;04/03/2026;01;5\n");
    ASSERT_EQ(Run({u"import"_s, m_db->Spec(), changed, u"--operador"_s, u"BIA"_s}, text), 0)
        << text.toStdString();
    EXPECT_EQ(m_db->Rows(u"SELECT CDOPERINCL, QTHRTRAB FROM CSA WHERE CDFUNC = 'IF1' ORDER BY "
                         "DTSERVPREST"_s),
              (QList<QVariantList>{{u"ANA"_s, 6.0}, {u"ANA"_s, 7.5}, {u"BIA"_s, 5.0}}));
    EXPECT_EQ(m_db->Scalar(u"SELECT DTINCLUSAO FROM CSA WHERE CDFUNC = 'IF1' AND QTHRTRAB = 6"_s)
                  .toDouble(),
              stamps[0][1].toDouble());
    EXPECT_EQ(audits(), 2);
    EXPECT_EQ(m_db->Scalar(u"SELECT COUNT(*) FROM APH_AUDITORIA WHERE CDOPERADOR = 'BIA' AND "
                           "DSEVENTO = 'import: inseridas CSA 1; atualizadas CSA 1; 1 "
                           "arquivo(s): dias2.csv'"_s)
                  .toLongLong(),
              1);
}
