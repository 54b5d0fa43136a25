// The names the grids' exports propose: what the rows are, and whose.
#include "approval/cli_aph31500.h"

using namespace Qt::StringLiterals;

namespace aph {

namespace {

QString Field(const TClientDataSet& ds, const char* name)
{
    if (!ds.Active() || ds.IsEmpty())
        return {};
    return ds.FieldByName(QString::fromUtf8(name))->AsString().trimmed();
}

} // namespace

void TfrmAprovaHoras::CreateExportNames()
{
    QStringList lines = msgPadrao->Lines();
    lines << QStringList{
        u"EXP_DIAS|dias-%1-%2.csv"_s,
        u"EXP_CHTS|chts-proposta-%1.csv"_s,
        u"EXP_FUNC|funcionarios-proposta-%1.csv"_s,
        u"EXP_SERV|servicos.csv"_s,
    };
    msgPadrao->SetLines(lines);
    // The days of one employee in one month: "dias-F0007-2025-02.csv".
    dbgCSA->OnGetExportName = [this] {
        const TClientDataSet* days = dbgCSA->DataSet();
        QString month;
        if (days && days->Active() && !days->IsEmpty())
            month =
                OleToDate(days->FieldByName(u"DTSERVPREST"_s)->AsDateTime()).toString(u"yyyy-MM"_s);
        return msgPadrao->Msg(u"EXP_DIAS"_s).arg(Field(cdsFunc, "CDFUNC"), month);
    };
    dbgCHT->OnGetExportName = [this] {
        return msgPadrao->Msg(u"EXP_CHTS"_s).arg(Field(cdsServPrest, "NRPROPOSTA"));
    };
    dbgFuncionario->OnGetExportName = [this] {
        return msgPadrao->Msg(u"EXP_FUNC"_s).arg(Field(cdsServPrest, "NRPROPOSTA"));
    };
    dbgPadrao->OnGetExportName = [this] {
        return msgPadrao->Msg(u"EXP_SERV"_s);
    };
}

} // namespace aph
