#pragma once

#include "host/qt/rowtable.h"

#include <QDialog>
#include <QSet>

class QKeyEvent;
class QLineEdit;
class QTableWidget;
class QComboBox;

namespace aph {

class TClientDataSet;

// Texts of the standard buttons, in the system's language.
QString ButtonText(int modalResult);

// The multi-selection list: the rows of a data source with a box to tick
// each, a search box over the shown fields, and buttons to tick or clear
// every row shown. Ticks survive a change of the search text. The search
// box keeps the focus: Up, Down, PageUp and PageDown move the list's
// current row; Space ticks it once the list was moved (or with no search
// text), else it types; Enter closes, taking the current row when nothing
// is ticked.
class TPickListDialog : public QDialog
{
public:
    TPickListDialog(const TRowTable& rows, const QString& title, const QStringList& ticked,
                    bool singleChoice, QWidget* parent = nullptr);
    // The ticked rows' keys, in the rows' order.
    QStringList TickedKeys() const;
    void SetSearch(const QString& text);
    void SetTicked(int row, bool ticked);
    // Rows of the dataset shown now, in order.
    const QList<int>& Shown() const { return m_shown; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Fill();
    // The key typed in the search box, for the list; true when taken.
    bool SearchKey(const QKeyEvent& key);
    const TRowTable& m_rows;
    bool m_single;
    QSet<int> m_ticked;
    QList<int> m_shown;
    QLineEdit* m_search;
    QTableWidget* m_table;
    bool m_filling = false;
    bool m_moved = false; // the current row was moved since the text last changed
};

// One row of a data source, optionally found by typing in a search box,
// which keeps the focus while Up, Down, PageUp and PageDown move the list's
// current row; Enter takes that row.
class TPickRowDialog : public QDialog
{
public:
    TPickRowDialog(const TRowTable& rows, const QString& title, bool searchBox,
                   QWidget* parent = nullptr);
    // The dataset row chosen, -1 for none.
    int ChosenRow() const;
    void SetSearch(const QString& text);
    void SelectShown(int index);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Fill();
    const TRowTable& m_rows;
    QList<int> m_shown;
    QLineEdit* m_search;
    QTableWidget* m_table;
};

// Searching a dataset: a field and a value; the dataset moves to the first
// row whose field starts with the value (letter case aside).
class TSearchDialog : public QDialog
{
public:
    TSearchDialog(TClientDataSet& dataSet, QWidget* parent = nullptr);
    void SetField(const QString& fieldName);
    void SetValue(const QString& value);
    // Looks for the row; true when the dataset moved to one.
    bool Find();

private:
    TClientDataSet& m_dataSet;
    QComboBox* m_field;
    QLineEdit* m_value;
};

} // namespace aph
