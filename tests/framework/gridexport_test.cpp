// A grid exported to CSV as the user does it ("Exportar para CSV...", a
// file chosen): names a spreadsheet would run as formulas come out as
// text, and hours and numbers stay numbers.
#include "host/framework/gridexport.h"
#include "host/ui/dbgrid.h"
#include "tests/support/scripted_desktop.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

class TfrmNomes : public TForm
{
public:
    TfrmNomes() : TForm(u"frmNomes"_s)
    {
        cdsNomes.AddField(u"NMCLIENTE"_s, TFieldType::ftString, 60);
        cdsNomes.AddField(u"QTHORAS"_s, TFieldType::ftString, 6);
        cdsNomes.AddField(u"VRSALDO"_s, TFieldType::ftFloat);
        cdsNomes.CreateDataSet();
        const QList<std::tuple<QString, QString, double>> rows{
            {u"=HYPERLINK(\"http://x\")"_s, u"-01:00"_s, -12.5},
            {u"@SOMA(A1)"_s, u"08:30"_s, 3},
            {u"+55 11 5555-0000"_s, u"-00:30"_s, 0},
            {u"Cliente - Matriz"_s, u"00:00"_s, -1234.5},
        };
        for (const auto& [name, hours, balance] : rows) {
            cdsNomes.Append();
            cdsNomes.FieldByName(u"NMCLIENTE"_s)->SetAsString(name);
            cdsNomes.FieldByName(u"QTHORAS"_s)->SetAsString(hours);
            cdsNomes.FieldByName(u"VRSALDO"_s)->SetAsFloat(balance);
            cdsNomes.Post();
        }
        dtsNomes.SetDataSet(&cdsNomes);
        dbgNomes = Add<TDBGrid>(u"dbgNomes"_s);
        dbgNomes->SetDataSource(&dtsNomes);
        dbgNomes->AddColumn(u"NMCLIENTE"_s, u"Cliente"_s, 120);
        dbgNomes->AddColumn(u"QTHORAS"_s, u"Horas"_s, 60);
        dbgNomes->AddColumn(u"VRSALDO"_s, u"Saldo"_s, 60);
    }
    TClientDataSet cdsNomes{u"cdsNomes"_s};
    TDataSource dtsNomes{u"dtsNomes"_s};
    TDBGrid* dbgNomes = nullptr;
};

} // namespace

TEST(GridExport, FormulasBecomeTextAndNumbersStayNumbers)
{
    ScriptedDesktop desktop;
    auto* form = Application()->CreateForm<TfrmNomes>();
    form->Show();
    QTemporaryDir dir;
    const QString path = dir.filePath(u"Nomes.csv"_s);
    desktop.saveFiles.push_back(path);
    ExportGridToCsv(*form->dbgNomes);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll().mid(3)).split(u"\r\n"_s);
    ASSERT_GE(lines.size(), 5) << lines.join(u'|').toStdString();
    EXPECT_EQ(lines[1].section(u';', 0, 0), u"\"'=HYPERLINK(\"\"http://x\"\")\""_s);
    EXPECT_EQ(lines[2].section(u';', 0, 0), u"'@SOMA(A1)"_s);
    EXPECT_EQ(lines[3].section(u';', 0, 0), u"'+55 11 5555-0000"_s);
    EXPECT_EQ(lines[4].section(u';', 0, 0), u"Cliente - Matriz"_s);
    EXPECT_EQ(lines[1].section(u';', 1, 1), u"-01:00"_s);
    EXPECT_EQ(lines[3].section(u';', 1, 1), u"-00:30"_s);
    EXPECT_EQ(lines[1].section(u';', 2, 2), form->dbgNomes->CellText(0, 2));
    EXPECT_TRUE(lines[1].section(u';', 2, 2).startsWith(u'-'));
    EXPECT_TRUE(lines[4].section(u';', 2, 2).startsWith(u'-'));
}
