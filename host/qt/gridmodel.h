#pragma once

#include <QAbstractTableModel>

namespace aph {

class TDBGrid;

// A thin table model over the headless grid: it holds no data, only the
// row and column counts it last reported, and reads cells on demand, so a
// large dataset costs what the visible rows cost.
class TGridModel : public QAbstractTableModel
{
public:
    explicit TGridModel(TDBGrid* grid, QObject* parent = nullptr);
    TDBGrid* Grid() const { return m_grid; }
    // The grid goes away: the model is empty from now on.
    void Detach();
    // Brings the reported shape in step with the grid and marks every cell
    // as changed; returns true when the columns changed.
    bool Sync();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    TDBGrid* m_grid;
    int m_rows = 0;
    int m_columns = 0;
    QStringList m_fields; // the columns' fields when last reported
};

} // namespace aph
