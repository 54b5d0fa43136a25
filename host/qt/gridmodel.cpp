#include "host/qt/gridmodel.h"

#include "host/qt/qtconvert.h"
#include "host/ui/dbgrid.h"

namespace aph {

namespace {

QStringList ColumnFields(const TDBGrid* grid)
{
    QStringList fields;
    for (int i = 0; i < grid->ColumnCount(); ++i)
        fields << grid->Column(i)->FieldName();
    return fields;
}

} // namespace

TGridModel::TGridModel(TDBGrid* grid, QObject* parent) : QAbstractTableModel(parent), m_grid(grid)
{
    m_rows = grid->RowCount();
    m_columns = grid->ColumnCount();
    m_fields = ColumnFields(grid);
}

void TGridModel::Detach()
{
    beginResetModel();
    m_grid = nullptr;
    m_rows = 0;
    m_columns = 0;
    m_fields.clear();
    endResetModel();
}

bool TGridModel::Sync()
{
    if (!m_grid)
        return false;
    const QStringList fields = ColumnFields(m_grid);
    const int rows = m_grid->RowCount();
    if (fields != m_fields) {
        beginResetModel();
        m_fields = fields;
        m_columns = static_cast<int>(fields.size());
        m_rows = rows;
        endResetModel();
        return true;
    }
    // Rows come and go at the end as far as the view is concerned: the
    // scroll position stays, and every cell is repainted anyway.
    if (rows > m_rows) {
        beginInsertRows({}, m_rows, rows - 1);
        m_rows = rows;
        endInsertRows();
    } else if (rows < m_rows) {
        beginRemoveRows({}, rows, m_rows - 1);
        m_rows = rows;
        endRemoveRows();
    }
    if (m_rows > 0 && m_columns > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, m_columns - 1));
    emit headerDataChanged(Qt::Horizontal, 0, std::max(0, m_columns - 1));
    return false;
}

int TGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int TGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_columns;
}

QVariant TGridModel::data(const QModelIndex& index, int role) const
{
    if (!m_grid || !index.isValid() || index.row() >= m_rows || index.column() >= m_columns)
        return {};
    // The count may have moved on since the last report; the grid answers
    // out-of-range cells with nothing.
    switch (role) {
    case Qt::DisplayRole:
        return m_grid->CellText(index.row(), index.column());
    case Qt::TextAlignmentRole: {
        const TField* field = m_grid->Column(index.column())->Field();
        if (field && field->Alignment() == TAlignment::taRightJustify)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    }
    default:
        return {};
    }
}

QVariant TGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (!m_grid || orientation != Qt::Horizontal || section < 0 || section >= m_columns ||
        section >= m_grid->ColumnCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return m_grid->Column(section)->TitleCaption();
    case Qt::FontRole:
        return QtFont(m_grid->TitleFont());
    default:
        return {};
    }
}

} // namespace aph
