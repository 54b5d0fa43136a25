#pragma once

#include "host/data/dataset.h"
#include "host/ui/canvas.h"
#include "host/ui/control.h"
#include "host/ui/editmodel.h"

#include <memory>
#include <vector>

namespace aph {

class TDBGrid;

enum TGridOption : int
{
    dgEditing = 1 << 0,
    dgAlwaysShowEditor = 1 << 1,
    dgTitles = 1 << 2,
    dgIndicator = 1 << 3,
    dgColumnResize = 1 << 4,
    dgColLines = 1 << 5,
    dgRowLines = 1 << 6,
    dgTabs = 1 << 7,
    dgRowSelect = 1 << 8,
    dgAlwaysShowSelection = 1 << 9,
    dgConfirmDelete = 1 << 10,
    dgCancelOnExit = 1 << 11,
};
using TGridOptions = int;

enum TGridDrawStateFlag : int
{
    gdSelected = 1,
    gdFocused = 2,
    gdFixed = 4
};
using TGridDrawState = int;

enum class TColumnButtonStyle
{
    cbsAuto,
    cbsEllipsis,
    cbsNone
};

// A grid column bound to a field by name.
class TColumn
{
public:
    TColumn(TDBGrid* grid, QString fieldName) : m_grid(grid), m_fieldName(std::move(fieldName)) {}
    const QString& FieldName() const { return m_fieldName; }
    // The bound field of the grid's dataset (null when it has none).
    TField* Field() const;
    QString TitleCaption() const; // the title, or the field's label
    void SetTitleCaption(const QString& caption) { m_title = caption; }
    // Pixels; 0 takes the field's display width.
    int Width() const;
    void SetWidth(int width) { m_width = width; }
    TColumnButtonStyle ButtonStyle() const { return m_buttonStyle; }
    void SetButtonStyle(TColumnButtonStyle style) { m_buttonStyle = style; }
    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool readOnly) { m_readOnly = readOnly; }

private:
    TDBGrid* m_grid;
    QString m_fieldName;
    QString m_title;
    int m_width = 0;
    TColumnButtonStyle m_buttonStyle = TColumnButtonStyle::cbsAuto;
    bool m_readOnly = false;
};

// The data-aware grid: rows are the dataset's rows, the current row is the
// dataset's, the current column is the grid's. All keyboard and mouse
// behaviour lives here, so that every view shows the same behaviour.
class TDBGrid : public TControl, private TDataLink
{
public:
    using TDrawColumnCellEvent = std::function<void(TObject* Sender, const QRect& Rect, int DataCol,
                                                    TColumn* Column, TGridDrawState State)>;

    explicit TDBGrid(QString name);
    ~TDBGrid() override;
    const char* ClassName() const override { return "TDBGrid"; }

    TDataSource* DataSource() const { return TDataLink::DataSource(); }
    void SetDataSource(TDataSource* source) { TDataLink::SetDataSource(source); }
    TClientDataSet* DataSet() const { return TDataLink::DataSet(); }

    TColumn* AddColumn(const QString& fieldName, const QString& title = {}, int width = 0,
                       TColumnButtonStyle button = TColumnButtonStyle::cbsAuto);
    int ColumnCount() const { return static_cast<int>(m_columns.size()); }
    TColumn* Column(int index) const { return m_columns[static_cast<std::size_t>(index)].get(); }
    int ColumnIndex(const QString& fieldName) const;

    TGridOptions Options() const { return m_options; }
    void SetOptions(TGridOptions options);
    bool HasOption(TGridOption option) const { return (m_options & option) != 0; }
    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool readOnly) { m_readOnly = readOnly; }
    bool DefaultDrawing() const { return m_defaultDrawing; }
    void SetDefaultDrawing(bool on) { m_defaultDrawing = on; }
    const TFont& TitleFont() const { return m_titleFont; }
    void SetTitleFont(const TFont& font) { m_titleFont = font; }
    static constexpr int kRowHeight = 18;

    // The current column. Moving it stores the cell editor's text into the
    // field, runs OnColExit (which may refuse by raising), then OnColEnter.
    int SelectedIndex() const { return m_selectedIndex; }
    void SetSelectedIndex(int index);
    TField* SelectedField() const;
    void SetSelectedField(TField* field);

    // The in-place editor of the current cell.
    bool EditorMode() const { return m_editorMode; }
    void SetEditorMode(bool on);
    QString EditorText() const { return m_editor.Display(); }
    // Where the editor's cursor stands, and whether the next key replaces
    // the whole text.
    int EditorCursor() const { return m_editor.Cursor(); }
    bool EditorAllSelected() const { return m_editor.AllSelected(); }
    bool EditorModified() const { return m_editorMode && m_editor.Modified(); }
    // Whether the current cell can take an edit now.
    bool CanEditShow() const;
    // Stores the editor's text into the field through its set-text handler;
    // an incomplete masked entry is refused.
    void StoreEditor();

    TNotifyEvent OnColEnter;
    TNotifyEvent OnColExit;
    TNotifyEvent OnEditButtonClick;
    TNotifyEvent OnCellClick;
    TDrawColumnCellEvent OnDrawColumnCell;
    // The file name an export of the grid proposes, saying what the rows
    // are ("dias-F0007-2025-02.csv"); empty or detached: the grid's name.
    std::function<QString()> OnGetExportName;

    // --- User input ------------------------------------------------------
    void KeyDown(TWord& key, TShiftState shift) override;
    void KeyPress(QChar& key) override;
    // Enter and Escape work on the cell or row being edited.
    bool WantsKey(TWord key, TShiftState shift) const override;
    // A click on a data cell (0-based dataset row, column index).
    void ClickCell(int row, int column);
    // A click on the current cell's ellipsis button.
    void ClickEditButton();
    bool ShowsEditButton(int column) const;
    void DoExit() override;

    // --- Painting ----------------------------------------------------------
    int RowCount() const;
    // Paints one data cell as the grid does: canvas prepared, then the
    // default drawing and/or the draw handler.
    void PaintCell(TCanvas& canvas, int row, int column, const QRect& rect);
    void DefaultDrawColumnCell(TCanvas& canvas, const QRect& rect, int dataCol, TColumn* column,
                               TGridDrawState state);
    // During OnDrawColumnCell: the canvas being painted.
    TCanvas* Canvas() const { return m_canvas; }
    // The text of a cell as shown (through the field's text handler).
    QString CellText(int row, int column) const;
    TGridDrawState CellState(int row, int column) const;

private:
    void ActiveChanged() override;
    void EditingChanged() override;
    void DataSetChanged() override;
    void DataSetScrolled() override;
    void RecordChanged(TField* field) override;
    void UpdateData() override;
    void FocusControl(TField* field) override;

    void MoveColumn(int index);
    void MoveRow(int distance);
    void ShowEditor(bool selectAll);
    void HideEditor();
    // The editor's whole text selected: on Ctrl+A, or after the text was
    // refused, when Backspace and the arrows still work from its end.
    void SelectEditorText(bool refused);
    void KeepRefusedText();
    void ResetEditor();
    bool BeginEdit();
    bool DataSetEditing() const;
    int VisibleRows() const;

    // The keys of the data grid, by kind.
    TClientDataSet* ActiveDataSet() const; // null while the grid has no open data
    bool CanChangeRows() const;            // rows may be added and deleted here
    void MoveRowByKey(TWord key);          // Up, Down, Page Up, Page Down
    void HomeEndKey(TWord key, bool ctrl);
    void LeftRightKey(TWord key);
    void TabKey(bool backward);
    void EscapeKey();
    void ReturnKey();
    void DeleteRowByKey();      // Ctrl+Delete
    void EraseByKey(TWord key); // Backspace or Delete in the cell editor

    std::vector<std::unique_ptr<TColumn>> m_columns;
    TGridOptions m_options = dgEditing | dgTitles | dgIndicator | dgColumnResize | dgColLines |
                             dgRowLines | dgTabs | dgConfirmDelete | dgCancelOnExit;
    bool m_readOnly = false;
    bool m_defaultDrawing = true;
    TFont m_titleFont;
    int m_selectedIndex = 0;
    bool m_editorMode = false;
    TEditModel m_editor;
    bool m_refusedSelected = false;
    bool m_inColumnMove = false;
    TCanvas* m_canvas = nullptr;
};

} // namespace aph
