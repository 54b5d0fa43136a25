// The table list against the engine's own catalog, after MigrateSchema on
// an empty database: every table and column of the one is in the other,
// with the same type, width and nullability, the same primary key, the
// same foreign keys and the same codes in the CHECKs.
#include "server/storage/schema.h"
#include "server/storage/storage.h"
#include "server/storage/tablelist.h"
#include "tests/support/serverfixture.h"

#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

using namespace aph;
using namespace aph::test;

namespace {

QString Of(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString Joined(std::span<const std::string_view> names)
{
    QStringList list;
    for (const std::string_view n : names)
        list << Of(n);
    return list.join(u',');
}

// A column's type as both sides can say it: a text's width, or the kind
// of number.
QString ListType(const TColumnSpec& c)
{
    switch (c.Kind) {
    case TColumnKind::Text:
        return c.Size > 0 ? u"varchar(%1)"_s.arg(c.Size) : u"text"_s;
    case TColumnKind::Day:
    case TColumnKind::Integer:
        return u"whole"_s;
    default:
        return u"real"_s;
    }
}

QString CatalogType(QString type, const QVariant& width = {})
{
    type = type.toLower();
    if (type == u"character varying")
        return u"varchar(%1)"_s.arg(width.toInt());
    if (type == u"integer" || type == u"bigint")
        return u"whole"_s;
    if (type == u"double precision")
        return u"real"_s;
    return type.remove(u' ');
}

// What the list says, one line per fact.
QStringList ListFacts()
{
    QStringList facts;
    for (const TTableSpec& t : kSchemaTables) {
        const QString table = Of(t.Name);
        for (const TColumnSpec& c : t.Columns) {
            facts << u"%1.%2 %3%4"_s.arg(table, Of(c.Name), ListType(c),
                                         c.Required ? u" not null"_s : QString());
            if (!c.Codes.empty() && c.CodesInCatalog) {
                QStringList codes;
                for (const std::string_view code : c.Codes)
                    codes << Of(code);
                codes.sort();
                facts << u"%1.%2 in %3"_s.arg(table, Of(c.Name), codes.join(u','));
            }
        }
        if (!t.Key.empty())
            facts << u"%1 key %2"_s.arg(table, Joined(t.Key));
        for (const TParentSpec& p : t.Parents)
            facts << u"%1 (%2) -> %3 (%4)"_s.arg(table, Joined(p.Columns), Of(p.Table),
                                                 Joined(p.ParentColumns));
    }
    facts.sort();
    return facts;
}

// The codes of the CHECKs that limit a column to a list: SQLite keeps the
// statement as written ("CHECK (IDOPERATIVO IN ('A', 'I'))"), PostgreSQL
// its own reading ("((idoperativo)::text = ANY ((ARRAY['A'::character
// varying, ...").
void AddCodes(QStringList& facts, const QString& table, const QString& check)
{
    static const QRegularExpression sqlite(uR"(CHECK \((\w+) IN \(([^)]*)\)\))"_s);
    static const QRegularExpression pg(uR"(^CHECK \(\(\((\w+)\)::text = ANY \((.*)\)\)\)$)"_s);
    static const QRegularExpression literal(u"'([^']*)'"_s);
    QRegularExpressionMatchIterator it = sqlite.globalMatch(check);
    QList<QRegularExpressionMatch> matches;
    while (it.hasNext())
        matches << it.next();
    if (const auto m = pg.match(check); m.hasMatch())
        matches << m;
    for (const QRegularExpressionMatch& m : std::as_const(matches)) {
        QStringList codes;
        for (auto l = literal.globalMatch(m.captured(2)); l.hasNext();)
            codes << l.next().captured(1);
        codes.sort();
        facts << u"%1.%2 in %3"_s.arg(table, m.captured(1).toUpper(), codes.join(u','));
    }
}

QStringList SqliteFacts(TTestDatabase& db)
{
    QStringList facts;
    for (const QVariantList& t : db.Rows(u"SELECT name, sql FROM sqlite_master WHERE type = "
                                         "'table' AND name NOT LIKE 'sqlite_%'"_s)) {
        const QString table = t[0].toString().toUpper();
        const QList<QVariantList> columns = db.Rows(
            u"SELECT name, type, \"notnull\", pk FROM pragma_table_info(?) ORDER BY pk"_s, {t[0]});
        const auto keyColumns = std::count_if(columns.begin(), columns.end(),
                                              [](const QVariantList& c) { return c[3].toInt(); });
        QStringList key;
        for (const QVariantList& c : columns) {
            QString type = c[1].toString().toLower();
            static const QRegularExpression varchar(uR"(^varchar\((\d+)\)$)"_s);
            if (const auto m = varchar.match(type); m.hasMatch())
                type = CatalogType(u"character varying"_s, m.captured(1));
            else
                type = CatalogType(type);
            // An INTEGER PRIMARY KEY is the row id: never null.
            const bool rowId = keyColumns == 1 && c[3].toInt() && c[1].toString() == u"INTEGER";
            facts << u"%1.%2 %3%4"_s.arg(table, c[0].toString().toUpper(), type,
                                         c[2].toInt() || rowId ? u" not null"_s : QString());
            if (c[3].toInt())
                key << c[0].toString().toUpper();
        }
        if (!key.isEmpty())
            facts << u"%1 key %2"_s.arg(table, key.join(u','));
        QMap<int, QStringList> from, to;
        QMap<int, QString> parent;
        for (const QVariantList& f : db.Rows(
                 u"SELECT id, \"table\", \"from\", \"to\" FROM pragma_foreign_key_list(?) ORDER "
                 "BY id, seq"_s,
                 {t[0]})) {
            parent[f[0].toInt()] = f[1].toString().toUpper();
            from[f[0].toInt()] << f[2].toString().toUpper();
            to[f[0].toInt()] << f[3].toString().toUpper();
        }
        for (auto it = parent.cbegin(); it != parent.cend(); ++it)
            facts << u"%1 (%2) -> %3 (%4)"_s.arg(table, from[it.key()].join(u','), it.value(),
                                                 to[it.key()].join(u','));
        AddCodes(facts, table, t[1].toString());
    }
    facts.sort();
    return facts;
}

QStringList PgFacts(TTestDatabase& db)
{
    QStringList facts;
    for (const QVariantList& c :
         db.Rows(u"SELECT c.table_name, c.column_name, c.data_type, c.character_maximum_length, "
                 "c.is_nullable FROM information_schema.columns c JOIN information_schema.tables t "
                 "ON t.table_schema = c.table_schema AND t.table_name = c.table_name WHERE "
                 "c.table_schema = current_schema() AND t.table_type = 'BASE TABLE'"_s))
        facts << u"%1.%2 %3%4"_s.arg(c[0].toString().toUpper(), c[1].toString().toUpper(),
                                     CatalogType(c[2].toString(), c[3]),
                                     c[4].toString() == u"NO" ? u" not null"_s : QString());
    // Keys and foreign keys with their columns in the constraint's order.
    const QString columns = u"(SELECT string_agg(upper(a.attname), ',' ORDER BY k.n) FROM "
                            "unnest(%1) WITH ORDINALITY k(att, n) JOIN pg_attribute a ON "
                            "a.attrelid = %2 AND a.attnum = k.att)"_s;
    for (const QVariantList& k : db.Rows(
             u"SELECT contype, upper(conrelid::regclass::text), %1, "
             "upper(confrelid::regclass::text), %2, pg_get_constraintdef(oid) FROM pg_constraint "
             "WHERE connamespace = current_schema()::regnamespace AND contype IN ('p', 'f', "
             "'c')"_s.arg(columns.arg(u"conkey"_s, u"conrelid"_s),
                          columns.arg(u"confkey"_s, u"confrelid"_s)))) {
        const QString type = k[0].toString(), table = k[1].toString();
        if (type == u"p")
            facts << u"%1 key %2"_s.arg(table, k[2].toString());
        else if (type == u"f")
            facts << u"%1 (%2) -> %3 (%4)"_s.arg(table, k[2].toString(), k[3].toString(),
                                                 k[4].toString());
        else
            AddCodes(facts, table, k[5].toString());
    }
    facts.sort();
    return facts;
}

// Lines of one list missing from the other.
QStringList Missing(const QStringList& from, const QStringList& in)
{
    QStringList missing;
    for (const QString& fact : from)
        if (!in.contains(fact))
            missing << fact;
    return missing;
}

} // namespace

TEST(TableList, SaysWhatTheCatalogOfAFreshSchemaSays)
{
    QString why;
    if (!TTestDatabase::Available(&why))
        GTEST_SKIP() << why.toStdString();
    TTestDatabase db;
    {
        const auto storage =
            TStorage::Open(TDatabaseSpec::Parse(db.Spec()), TStorage::TOpenMode::Create);
        MigrateSchema(*storage);
    }
    const QStringList catalog = TTestDatabase::UsesPostgres() ? PgFacts(db) : SqliteFacts(db);
    const QStringList list = ListFacts();
    EXPECT_EQ(Missing(catalog, list).join(u'\n').toStdString(), "")
        << "in the catalog, not in the list";
    EXPECT_EQ(Missing(list, catalog).join(u'\n').toStdString(), "")
        << "in the list, not in the catalog";
    // The facts that make a table: not an empty comparison.
    EXPECT_TRUE(catalog.contains(u"CSA.QTHRTRAB real not null"_s))
        << catalog.join(u'\n').toStdString();
    EXPECT_TRUE(
        catalog.contains(u"APH_PAPEL.DSPAPEL in aprovar,consultar,faturar,gerar,supervisionar"_s));

    // What the export leaves out, it says why; the rest has a key to order
    // its files by.
    for (const TTableSpec& t : kSchemaTables)
        EXPECT_TRUE(!t.Exported() || !t.Key.empty()) << t.Name;
}
