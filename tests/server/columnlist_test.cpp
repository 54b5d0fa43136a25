// The operations guide shows the columns of each table as
// `aph-server import --colunas` prints them from the table list: a column,
// a kind, a code or a rule changed in the list and not in the guide fails.
#include "server/firmdata/columnlist.h"
#include "server/firmdata/tables.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace aph;

namespace {

// The block of the guide between its markers, without the code fence.
QString GuideBlock()
{
    QFile file(QString::fromUtf8(APH_DOCS_DIR) + u"/operations.md"_s);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(file.readAll());
    const QString begin = u"<!-- início: aph-server import --colunas -->\n```text\n"_s;
    const QString end = u"\n```\n<!-- fim: aph-server import --colunas -->"_s;
    const qsizetype from = text.indexOf(begin), to = text.indexOf(end);
    if (from < 0 || to < from)
        return {};
    return text.mid(from + begin.size(), to - from - begin.size());
}

} // namespace

TEST(ColumnList, TheGuideShowsWhatImportColunasPrints)
{
    const QString block = GuideBlock();
    ASSERT_FALSE(block.isEmpty()) << "operations.md has no block of the columns";
    EXPECT_EQ(block, ColumnListText()) << "regenerate it with: aph-server import --colunas\n"
                                       << ColumnListText().toStdString();
    // The client's kinds, which no CHECK holds, are there too.
    EXPECT_TRUE(block.contains(u"IDTPIJURCLIE"_s) && block.contains(u"J, F"_s));
}
