#include "host/qt/rowtable.h"

#include "host/data/dataset.h"

namespace aph {

QString FoldForSearch(const QString& text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString folded;
    folded.reserve(decomposed.size());
    for (const QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing)
            folded += c.toLower();
    return folded;
}

TRowTable::TRowTable(const TClientDataSet& dataSet, const QString& keyField)
{
    QList<const TField*> shown;
    for (int i = 0; i < dataSet.FieldCount(); ++i) {
        const TField* f = dataSet.Field(i);
        if (f->Visible()) {
            shown << f;
            m_headers << f->DisplayLabel();
        }
    }
    const TField* key = keyField.isEmpty() ? nullptr : dataSet.FindField(keyField);
    const int rows = dataSet.Active() ? dataSet.RecordCount() : 0;
    m_texts.reserve(rows);
    for (int row = 0; row < rows; ++row) {
        TClientDataSet::ActiveRecordScope scope(dataSet, row);
        QStringList texts;
        for (const TField* f : shown)
            texts << f->DisplayText();
        m_folded << FoldForSearch(texts.join(u'\x1F'));
        m_texts << texts;
        m_keys << (key ? key->AsString() : QString());
    }
}

QList<int> TRowTable::Matching(const QString& search) const
{
    const QStringList words = FoldForSearch(search).split(u' ', Qt::SkipEmptyParts);
    QList<int> rows;
    for (int row = 0; row < RowCount(); ++row) {
        bool all = true;
        for (const QString& w : words)
            if (!m_folded[row].contains(w)) {
                all = false;
                break;
            }
        if (all)
            rows << row;
    }
    return rows;
}

} // namespace aph
