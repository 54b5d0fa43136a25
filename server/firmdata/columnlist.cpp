#include "server/firmdata/columnlist.h"

#include "server/firmdata/tables.h"

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// How alike two names are, from 0 to 1: twice their longest common
// subsequence over their lengths ("NMRAZAOSOCIAL" and "NMRAZSOCCLIE"
// share NMRAZSOCI: 0.72).
double Likeness(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty())
        return 0;
    std::vector<int> row(static_cast<std::size_t>(b.size() + 1), 0);
    for (qsizetype i = 0; i < a.size(); ++i) {
        int diagonal = 0;
        for (qsizetype j = 0; j < b.size(); ++j) {
            const auto at = static_cast<std::size_t>(j + 1);
            const int above = row[at];
            row[at] = a[i] == b[j] ? diagonal + 1 : std::max(row[at], row[at - 1]);
            diagonal = above;
        }
    }
    return 2.0 * row.back() / static_cast<double>(a.size() + b.size());
}

// Below this likeness a column is not offered for an unknown title.
constexpr double kLikeEnough = 0.6;

bool HasTitle(const QStringList& titles, const QString& column)
{
    return std::any_of(titles.begin(), titles.end(), [&](const QString& t) {
        return t.trimmed().compare(column, Qt::CaseInsensitive) == 0;
    });
}

// The column of the table, not in the header, an unknown title most
// likely meant; empty for none alike enough.
QString Meant(const TFirmTable& table, const QStringList& titles, const QString& title)
{
    QString best;
    double likeness = kLikeEnough;
    for (const TColumn& c : table.Columns) {
        const double l = Likeness(title.trimmed().toUpper(), c.Name);
        if (l >= likeness && !HasTitle(titles, c.Name)) {
            likeness = l;
            best = c.Name;
        }
    }
    return best;
}

QString Plural(qsizetype n, const QString& one, const QString& many)
{
    return n == 1 ? one : many;
}

QString KindText(const TColumn& c)
{
    switch (c.Kind) {
    case TColumnKind::Text:
        return c.Size > 0 ? u"texto até %1"_s.arg(c.Size) : u"texto"_s;
    case TColumnKind::Day:
        return u"dia"_s;
    case TColumnKind::Moment:
        return u"data e hora"_s;
    case TColumnKind::Number:
        return u"número"_s;
    case TColumnKind::Hours:
        return u"horas"_s;
    case TColumnKind::Integer:
        return u"inteiro"_s;
    }
    return {};
}

// What the import holds a column to beyond its kind, or fills it with.
QString RulesText(const TColumn& c)
{
    QStringList rules;
    if (c.Owner == TColumnOwner::System)
        rules << u"do sistema"_s;
    if (!c.Codes.isEmpty())
        rules << c.Codes.join(u", ");
    switch (c.Rule) {
    case TColumnRule::Document:
        rules << u"CNPJ (J) ou CPF (F), conforme IDTPIJURCLIE; guardado sem pontuação"_s;
        break;
    case TColumnRule::Cnpj:
        rules << u"CNPJ; guardado sem pontuação"_s;
        break;
    case TColumnRule::InclusionOperator:
        rules << u"linha nova sem valor: o --operador"_s;
        break;
    case TColumnRule::InclusionMoment:
        rules << u"linha nova sem valor: a hora da importação"_s;
        break;
    case TColumnRule::None:
        break;
    }
    return rules.join(u"; ");
}

QString TableText(const TFirmTable& t)
{
    const QString row = u"  %1 %2 %3 %4"_s;
    QStringList lines{u"%1 (chave: %2)"_s.arg(t.Name, t.Key.join(u", ")),
                      row.arg(u"COLUNA"_s, -17)
                          .arg(u"TIPO"_s, -14)
                          .arg(u"OBRIGATÓRIA"_s, -12)
                          .arg(u"CÓDIGOS E REGRAS"_s)};
    for (const TColumn& c : t.Columns)
        lines << row.arg(c.Name, -17)
                     .arg(KindText(c), -14)
                     .arg(c.Required ? u"sim"_s : u"não"_s, -12)
                     .arg(RulesText(c))
                     .trimmed()
                     .prepend(u"  "_s);
    return lines.join(u'\n');
}

} // namespace

QString ExplainHeader(const QStringList& titles, QString& column)
{
    const TFirmTable* closest = nullptr;
    qsizetype known = 0, missing = 0;
    QStringList fits; // tables the header fits whole
    for (const TFirmTable& t : FirmTables()) {
        const auto k = std::count_if(titles.begin(), titles.end(),
                                     [&](const QString& n) { return t.Find(n.trimmed()); });
        const auto m = std::count_if(t.Columns.begin(), t.Columns.end(), [&](const TColumn& c) {
            return c.Required && !HasTitle(titles, c.Name);
        });
        if (k == titles.size() && m == 0)
            fits << t.Name;
        if (k > known || (k == known && k > 0 && m < missing)) {
            closest = &t;
            known = k;
            missing = m;
        }
    }
    if (!closest)
        return {};
    if (fits.size() > 1)
        return u"o cabeçalho serve a mais de uma tabela (%1); acrescente uma coluna que só uma "
               "delas tenha"_s.arg(fits.join(u", "));
    QStringList unknown, lacking;
    for (const QString& title : titles) {
        if (closest->Find(title.trimmed()))
            continue;
        const QString meant = Meant(*closest, titles, title);
        unknown << (meant.isEmpty() ? title.trimmed() : u"%1 (%2?)"_s.arg(title.trimmed(), meant));
        if (column.isEmpty())
            column = title.trimmed();
    }
    for (const TColumn& c : closest->Columns)
        if (c.Required && !HasTitle(titles, c.Name))
            lacking << c.Name;
    if (column.isEmpty() && !lacking.isEmpty())
        column = lacking.first();
    QStringList parts;
    if (!unknown.isEmpty())
        parts << Plural(unknown.size(), u"coluna desconhecida "_s, u"colunas desconhecidas "_s) +
                     unknown.join(u", ");
    if (!lacking.isEmpty())
        parts << Plural(lacking.size(), u"falta "_s, u"faltam "_s) + lacking.join(u", ");
    return u"o cabeçalho não corresponde a nenhuma tabela; a mais próxima é %1: %2. As "
           "colunas de cada tabela: aph-server import --colunas %1"_s.arg(closest->Name,
                                                                          parts.join(u"; "));
}

QString ColumnListText(const TFirmTable* only)
{
    QStringList tables;
    for (const TFirmTable& t : FirmTables())
        if (!only || only == &t)
            tables << TableText(t);
    return tables.join(u"\n\n");
}

} // namespace aph
