#pragma once

#include <QSet>
#include <QTableView>

class QLineEdit;
class QToolButton;

namespace aph {

class TDBGrid;
class TGridModel;

// The Qt face of a headless data grid: a table view over a thin model,
// cells painted by the grid itself (and so by the screen's draw handler) on
// a QPainter-backed canvas, the in-place editor showing the grid's editor
// text, and every click handed to the grid. Keys reach the grid through its
// form (see TFormView), never through the view's own key handling.
class TGridView : public QTableView
{
public:
    explicit TGridView(TDBGrid* grid, QWidget* parent = nullptr);
    ~TGridView() override;

    TDBGrid* Grid() const { return m_grid; }
    void Detach();
    // Follows the grid after a change of its content: rows, columns, the
    // editor, and the current cell kept in sight.
    void Sync();
    // The same after a change of options, fonts or colours.
    void SyncStyle();

    // The in-place editor and the ellipsis button (hidden when unused).
    QLineEdit* CellEditor() const { return m_editor; }
    QToolButton* EditButton() const { return m_button; }

    // The grid's context menu ("Exportar para CSV..."), at a point on
    // screen; the keyboard opens it under the current cell.
    void ShowContextMenu(const QPoint& globalPos);
    QPoint ContextMenuPoint() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void updateGeometries() override;

private:
    void ApplyOptions();
    void ApplyColumnWidths();
    // The width a column shows with: its own, or more for its title and
    // the values on screen to show whole.
    int FittedWidth(int column);
    void PlaceEditor();

    TDBGrid* m_grid;
    TGridModel* m_model;
    QLineEdit* m_editor;
    QToolButton* m_button;
    int m_row = -2;
    int m_column = -2;
    QSet<int> m_userWidths; // columns the user resized: shown as they were left
};

} // namespace aph
