#pragma once

#include <QList>
#include <QStringList>

namespace aph {

class TClientDataSet;

// The rows of a dataset as a picker lists them: the visible fields' labels
// and display texts, and each row's key, read once without moving the
// dataset. Searching keeps the rows where any shown text contains the
// search text, letter case and accents aside.
class TRowTable
{
public:
    TRowTable(const TClientDataSet& dataSet, const QString& keyField = {});

    const QStringList& Headers() const { return m_headers; }
    int RowCount() const { return static_cast<int>(m_texts.size()); }
    const QStringList& Texts(int row) const { return m_texts[row]; }
    const QString& Key(int row) const { return m_keys[row]; }
    // The rows (indexes into the dataset) that match a search text.
    QList<int> Matching(const QString& search) const;

private:
    QStringList m_headers;
    QList<QStringList> m_texts;
    QStringList m_keys;
    QStringList m_folded; // each row's texts, joined and folded for search
};

// Folds text for searching: lower case, accents removed.
QString FoldForSearch(const QString& text);

} // namespace aph
