#include "host/framework/gridexport.h"

#include "host/data/csvwriter.h"
#include "host/data/exceptions.h"
#include "host/framework/desktop.h"
#include "host/ui/dbgrid.h"

#include <QDir>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// Why a file could not be written, in the user's words.
QString Reason(QFileDevice::FileError error)
{
    switch (error) {
    case QFileDevice::PermissionsError:
        return u"sem permissão de gravação"_s;
    case QFileDevice::OpenError:
        return u"a pasta não existe ou o arquivo não pode ser aberto"_s;
    case QFileDevice::WriteError:
    case QFileDevice::ResourceError:
        return u"falha de gravação (disco cheio?)"_s;
    default:
        return u"erro de gravação"_s;
    }
}

} // namespace

QByteArray GridToCsv(const TDBGrid& grid)
{
    // A file for people: a spreadsheet opens it.
    QString text;
    QStringList line;
    for (int c = 0; c < grid.ColumnCount(); ++c)
        line << grid.Column(c)->TitleCaption();
    text += CsvRecord(line, TCsvPolicy::ForPeople);
    // The rows by index: the dataset's cursor does not move, so nothing of
    // the screen (scroll handlers, the current row) reacts to the export.
    const int rows = grid.RowCount();
    for (int r = 0; r < rows; ++r) {
        line.clear();
        for (int c = 0; c < grid.ColumnCount(); ++c)
            line << grid.CellText(r, c);
        text += CsvRecord(line, TCsvPolicy::ForPeople);
    }
    return QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
}

QString ExportGridToCsvCaption()
{
    return u"Exportar para CSV..."_s;
}

void ExportGridToCsv(const TDBGrid& grid)
{
    Desktop* desktop = Application()->GetDesktop();
    if (!desktop)
        return;
    QString path = grid.OnGetExportName ? grid.OnGetExportName() : QString();
    if (path.isEmpty())
        path = grid.Name().mid(3) + u".csv"_s; // "dbgCSA" suggests "CSA.csv"
    if (!desktop->SaveFileName(u"Exportar para CSV"_s, u"Planilha CSV (*.csv)"_s, path))
        return;
    const QByteArray csv = GridToCsv(grid);
    // Written whole or not at all: a failure leaves an existing file as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size() || !file.commit())
        throw Exception(
            u"Não foi possível gravar o arquivo \"%1\": %2."_s.arg(path, Reason(file.error())));
    // Where the file went, for the user to find it.
    desktop->ShowStatus(u"Planilha gravada em %1"_s.arg(QDir::toNativeSeparators(path)));
}

} // namespace aph
