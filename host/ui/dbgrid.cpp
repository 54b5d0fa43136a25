#include "host/ui/dbgrid.h"

#include "host/data/exceptions.h"
#include "host/data/scopeguard.h"
#include "host/ui/form.h"

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace aph {

TField* TColumn::Field() const
{
    TClientDataSet* ds = m_grid->DataSet();
    return ds ? ds->FindField(m_fieldName) : nullptr;
}

QString TColumn::TitleCaption() const
{
    if (!m_title.isEmpty())
        return m_title;
    if (const TField* f = Field())
        return f->DisplayLabel();
    return m_fieldName;
}

int TColumn::Width() const
{
    if (m_width > 0)
        return m_width;
    // A field's display width is in characters of the grid's font; with
    // titles shown, the column is at least as wide as its title.
    const TField* f = Field();
    const int byField = (f ? f->DisplayWidth() : 10) * 6 + 4;
    if (!m_grid->HasOption(dgTitles))
        return byField;
    return std::max(byField, static_cast<int>(TitleCaption().size()) * 6 + 4);
}

TDBGrid::TDBGrid(QString name) : TControl(std::move(name))
{
    SetTabStop(true);
    SetColor(clWindow);
    m_titleFont.Name = u"MS Sans Serif"_s;
}

TDBGrid::~TDBGrid() = default;

TColumn* TDBGrid::AddColumn(const QString& fieldName, const QString& title, int width,
                            TColumnButtonStyle button)
{
    auto column = std::make_unique<TColumn>(this, fieldName);
    column->SetTitleCaption(title);
    column->SetWidth(width);
    column->SetButtonStyle(button);
    m_columns.push_back(std::move(column));
    Changed(TChange::Content);
    return m_columns.back().get();
}

int TDBGrid::ColumnIndex(const QString& fieldName) const
{
    for (int i = 0; i < ColumnCount(); ++i)
        if (Column(i)->FieldName().compare(fieldName, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void TDBGrid::SetOptions(TGridOptions options)
{
    if (m_options == options)
        return;
    m_options = options;
    if (!CanEditShow() && m_editorMode && !m_editor.Modified())
        HideEditor();
    Changed(TChange::Style);
}

TField* TDBGrid::SelectedField() const
{
    if (m_selectedIndex < 0 || m_selectedIndex >= ColumnCount())
        return nullptr;
    return Column(m_selectedIndex)->Field();
}

void TDBGrid::SetSelectedField(TField* field)
{
    if (!field)
        return;
    const int index = ColumnIndex(field->FieldName());
    if (index >= 0)
        SetSelectedIndex(index);
}

void TDBGrid::SetSelectedIndex(int index)
{
    MoveColumn(index);
}

bool TDBGrid::DataSetEditing() const
{
    const TClientDataSet* ds = DataSet();
    return ds && (ds->State() == TDataSetState::dsEdit || ds->State() == TDataSetState::dsInsert);
}

bool TDBGrid::CanEditShow() const
{
    if (!HasOption(dgEditing) || HasOption(dgRowSelect) || m_readOnly || !Active())
        return false;
    const TClientDataSet* ds = DataSet();
    if (!ds || ds->ReadOnly())
        return false;
    if (m_selectedIndex < 0 || m_selectedIndex >= ColumnCount())
        return false;
    const TColumn* column = Column(m_selectedIndex);
    const TField* field = column->Field();
    return field && !field->ReadOnly() && !column->ReadOnly();
}

bool TDBGrid::ShowsEditButton(int column) const
{
    if (column < 0 || column >= ColumnCount())
        return false;
    return Column(column)->ButtonStyle() == TColumnButtonStyle::cbsEllipsis &&
           column == m_selectedIndex && CanEditShow();
}

void TDBGrid::ShowEditor(bool selectAll)
{
    TField* field = SelectedField();
    if (!field)
        return;
    m_editor.Reset(field->Text(), field->EditMask());
    if (selectAll)
        m_editor.SelectAll();
    m_refusedSelected = false;
    m_editorMode = true;
    Changed(TChange::Content);
}

void TDBGrid::SelectEditorText(bool refused)
{
    if (!m_editorMode)
        return;
    m_editor.SelectAll();
    m_refusedSelected = refused;
    Changed(TChange::Content);
}

void TDBGrid::KeepRefusedText()
{
    // A refused text is selected for typing over it; the editing keys still
    // correct it from its end, as they did before it was selected.
    if (std::exchange(m_refusedSelected, false) && m_editor.AllSelected())
        m_editor.End();
}

void TDBGrid::HideEditor()
{
    if (!m_editorMode)
        return;
    m_editorMode = false;
    m_editor.SetModified(false);
    Changed(TChange::Content);
}

void TDBGrid::ResetEditor()
{
    if (TField* field = SelectedField())
        m_editor.Reset(field->Text(), field->EditMask());
}

void TDBGrid::SetEditorMode(bool on)
{
    if (on && CanEditShow())
        ShowEditor(true);
    else if (!on)
        HideEditor();
}

void TDBGrid::StoreEditor()
{
    if (!m_editorMode || !m_editor.Modified())
        return;
    TField* field = SelectedField();
    if (!field)
        return;
    if (!m_editor.IsComplete())
        throw Exception(u"Valor de entrada inválido. Complete o valor ou tecle Esc "
                        "para abandonar a alteração."_s);
    const QString text = m_editor.Text();
    m_editor.SetModified(false);
    TScopeFail keep([this] { m_editor.SetModified(true); }); // the typed text stays to fix
    field->SetText(text);
}

bool TDBGrid::BeginEdit()
{
    if (!CanEditShow())
        return false;
    TClientDataSet* ds = DataSet();
    if (!DataSetEditing())
        ds->Edit(); // a silent abort from BeforeEdit propagates and drops the key
    return DataSetEditing();
}

void TDBGrid::MoveColumn(int index)
{
    if (index < 0 || index >= ColumnCount() || index == m_selectedIndex || m_inColumnMove)
        return;
    TRestore inColumnMove(m_inColumnMove, true);
    StoreEditor();
    if (OnColExit)
        OnColExit(this); // may refuse by raising: the cursor stays
    const bool keepEditor = HasOption(dgAlwaysShowEditor);
    m_editorMode = false;
    m_selectedIndex = index;
    if (keepEditor && CanEditShow())
        ShowEditor(true);
    Changed(TChange::Content);
    if (OnColEnter)
        OnColEnter(this);
}

void TDBGrid::MoveRow(int distance)
{
    TClientDataSet* ds = DataSet();
    if (!ds || !ds->Active() || distance == 0)
        return;
    // An appended row left untouched goes away when the user moves up.
    if (distance < 0 && ds->State() == TDataSetState::dsInsert && !ds->Modified() &&
        !m_editor.Modified()) {
        ds->Cancel();
        if (ds->RecNo() == ds->RecordCount())
            return;
    }
    ds->MoveBy(distance); // posts an edited row first; a refused post keeps the row
}

int TDBGrid::VisibleRows() const
{
    return std::max(1, BoundsRect().height() / kRowHeight - (HasOption(dgTitles) ? 1 : 0));
}

void TDBGrid::KeyDown(TWord& key, TShiftState shift)
{
    if (!EffectivelyEnabled())
        return;
    // A refused value stays in the editor, selected: typing replaces it.
    TScopeFail selectRefused([this] { SelectEditorText(true); });
    TControl::KeyDown(key, shift); // the screen's handler may consume the key
    if (key == 0)
        return;
    const bool ctrl = shift & ssCtrl;
    switch (key) {
    case 'A':
        if (m_editorMode && (shift & (ssCtrl | ssAlt | ssShift)) == ssCtrl) {
            key = 0;
            SelectEditorText(false);
        }
        break;
    case VK_UP:
    case VK_DOWN:
    case VK_PRIOR:
    case VK_NEXT:
        MoveRowByKey(std::exchange(key, 0));
        break;
    case VK_HOME:
    case VK_END:
        HomeEndKey(std::exchange(key, 0), ctrl);
        break;
    case VK_LEFT:
    case VK_RIGHT:
        LeftRightKey(std::exchange(key, 0));
        break;
    case VK_TAB:
        if (!HasOption(dgTabs) || (shift & (ssCtrl | ssAlt)))
            break; // the form moves the focus
        key = 0;
        TabKey(shift & ssShift);
        break;
    case VK_ESCAPE:
        key = 0;
        EscapeKey();
        break;
    case VK_RETURN:
        key = 0;
        // Ctrl+Enter is the keyboard's click on the cell's ellipsis button.
        if (ctrl && ShowsEditButton(m_selectedIndex))
            ClickEditButton();
        else
            ReturnKey();
        break;
    case VK_F2:
        key = 0;
        if (CanEditShow())
            ShowEditor(false);
        break;
    case VK_INSERT:
        key = 0;
        if (ActiveDataSet() && CanChangeRows() && !ctrl)
            DataSet()->Insert();
        break;
    case VK_DELETE:
        if (ctrl) {
            key = 0;
            DeleteRowByKey();
            break;
        }
        [[fallthrough]];
    case VK_BACK:
        if (m_editorMode)
            EraseByKey(std::exchange(key, 0));
        break;
    default:
        break;
    }
}

bool TDBGrid::WantsKey(TWord key, TShiftState /*shift*/) const
{
    if (key == VK_RETURN || key == VK_ESCAPE)
        return m_editorMode || DataSetEditing();
    return false;
}

TClientDataSet* TDBGrid::ActiveDataSet() const
{
    TClientDataSet* ds = DataSet();
    return Active() && ds ? ds : nullptr;
}

bool TDBGrid::CanChangeRows() const
{
    return HasOption(dgEditing) && !m_readOnly && !DataSet()->ReadOnly();
}

void TDBGrid::MoveRowByKey(TWord key)
{
    TClientDataSet* ds = ActiveDataSet();
    if (!ds)
        return;
    switch (key) {
    case VK_UP:
        MoveRow(-1);
        break;
    case VK_DOWN:
        if (ds->State() == TDataSetState::dsInsert && !ds->Modified() && !m_editor.Modified() &&
            ds->RecNo() == ds->RecordCount())
            break; // already on a fresh appended row
        if (ds->RecordCount() > 0 && ds->RecNo() < ds->RecordCount()) {
            MoveRow(1);
        } else if (CanChangeRows()) {
            ds->CheckBrowseMode();
            ds->Append(); // Down on the last row appends
        }
        break;
    case VK_PRIOR:
        MoveRow(-VisibleRows());
        break;
    default:
        MoveRow(VisibleRows());
        break;
    }
}

void TDBGrid::HomeEndKey(TWord key, bool ctrl)
{
    const bool home = key == VK_HOME;
    TClientDataSet* ds = ActiveDataSet();
    if (m_editorMode && !ctrl) {
        // Within the cell being edited.
        if (home)
            m_editor.Home();
        else
            m_editor.End();
    } else if (ctrl && ds) {
        // To the first or last row.
        if (home)
            ds->First();
        else
            ds->Last();
    } else {
        // To the first or last column.
        MoveColumn(home ? 0 : ColumnCount() - 1);
    }
}

void TDBGrid::LeftRightKey(TWord key)
{
    // Through the text being edited, then to the next column.
    // A grid selecting whole rows moves its column all the same: the view
    // keeps that column in sight, so every column is reachable.
    if (m_editorMode)
        KeepRefusedText();
    if (key == VK_LEFT) {
        if (m_editorMode && !m_editor.AtStart())
            m_editor.MoveLeft();
        else
            MoveColumn(m_selectedIndex - 1);
    } else {
        if (m_editorMode && !m_editor.AtEnd())
            m_editor.MoveRight();
        else
            MoveColumn(m_selectedIndex + 1);
    }
}

void TDBGrid::TabKey(bool backward)
{
    // Column by column, wrapping to the next or previous row; past the last
    // cell of the last row a new row is appended.
    TClientDataSet* ds = ActiveDataSet();
    if (!backward) {
        if (m_selectedIndex < ColumnCount() - 1) {
            MoveColumn(m_selectedIndex + 1);
        } else if (ds && ds->RecNo() < ds->RecordCount()) {
            MoveRow(1);
            MoveColumn(0);
        } else if (ds && CanChangeRows()) {
            StoreEditor();
            ds->CheckBrowseMode();
            ds->Append();
            MoveColumn(0);
        }
    } else {
        if (m_selectedIndex > 0) {
            MoveColumn(m_selectedIndex - 1);
        } else if (ds && ds->RecNo() > 1) {
            MoveRow(-1);
            MoveColumn(ColumnCount() - 1);
        }
    }
}

void TDBGrid::EscapeKey()
{
    TClientDataSet* ds = ActiveDataSet();
    if (m_editorMode && m_editor.Modified()) {
        ResetEditor(); // first the cell's edit is abandoned
        HideEditor();
    } else if (ds && DataSetEditing()) {
        HideEditor();
        ds->Cancel(); // then the row's
    } else {
        HideEditor();
    }
}

void TDBGrid::ReturnKey()
{
    if (m_editorMode) {
        StoreEditor();
        HideEditor();
    } else if (CanEditShow()) {
        ShowEditor(true);
    }
}

void TDBGrid::DeleteRowByKey()
{
    TClientDataSet* ds = ActiveDataSet();
    if (!ds || ds->IsEmpty() || !CanChangeRows())
        return;
    const bool confirmed =
        !HasOption(dgConfirmDelete) || !FormHost() || FormHost()->Confirm(u"Excluir registro?"_s);
    if (confirmed)
        ds->Delete();
}

void TDBGrid::EraseByKey(TWord key)
{
    if (!BeginEdit())
        return;
    KeepRefusedText();
    if (key == VK_BACK)
        m_editor.Backspace();
    else
        m_editor.Delete();
    Changed(TChange::Content);
}

void TDBGrid::KeyPress(QChar& key)
{
    if (!EffectivelyEnabled())
        return;
    TControl::KeyPress(key); // the screen's handler may drop the character
    if (key.isNull() || key.unicode() < 32)
        return;
    const QChar typed = key;
    key = QChar();
    m_refusedSelected = false; // typing replaces the selected text
    if (!CanEditShow())
        return;
    if (!BeginEdit())
        return;
    if (!m_editorMode)
        ShowEditor(true);
    if (m_editor.TypeChar(typed))
        Changed(TChange::Content);
}

void TDBGrid::ClickCell(int row, int column)
{
    if (!EffectivelyEnabled())
        return;
    SetFocus();
    TClientDataSet* ds = DataSet();
    if (ds && ds->Active() && row >= 0 && row < ds->RecordCount() && row != ds->CurrentIndex())
        MoveRow(row - ds->CurrentIndex());
    if (!HasOption(dgRowSelect))
        MoveColumn(column);
    if (OnCellClick)
        OnCellClick(this);
}

void TDBGrid::ClickEditButton()
{
    if (!EffectivelyEnabled() || !ShowsEditButton(m_selectedIndex))
        return;
    if (OnEditButtonClick)
        OnEditButtonClick(this);
}

void TDBGrid::DoExit()
{
    TClientDataSet* ds = DataSet();
    if (ds && Active()) {
        if (HasOption(dgCancelOnExit) && ds->State() == TDataSetState::dsInsert &&
            !ds->Modified() && !m_editor.Modified())
            ds->Cancel();
        else
            StoreEditor();
    }
    TControl::DoExit();
}

int TDBGrid::RowCount() const
{
    const TClientDataSet* ds = DataSet();
    return ds && ds->Active() ? ds->RecordCount() : 0;
}

QString TDBGrid::CellText(int row, int column) const
{
    const TClientDataSet* ds = DataSet();
    if (!ds || column < 0 || column >= ColumnCount() || row < 0 || row >= RowCount())
        return {};
    if (m_editorMode && row == ds->CurrentIndex() && column == m_selectedIndex)
        return m_editor.Display();
    TField* field = Column(column)->Field();
    if (!field)
        return {};
    TClientDataSet::ActiveRecordScope scope(*ds, row);
    return field->DisplayText();
}

TGridDrawState TDBGrid::CellState(int row, int column) const
{
    const TClientDataSet* ds = DataSet();
    TGridDrawState state = 0;
    if (!ds || row != ds->CurrentIndex())
        return state;
    const bool currentCell = HasOption(dgRowSelect) || column == m_selectedIndex;
    if (currentCell && (Focused() || HasOption(dgAlwaysShowSelection)))
        state |= gdSelected;
    if (currentCell && Focused())
        state |= gdFocused;
    return state;
}

void TDBGrid::PaintCell(TCanvas& canvas, int row, int column, const QRect& rect)
{
    const TClientDataSet* ds = DataSet();
    if (!ds || column < 0 || column >= ColumnCount() || row < 0 || row >= RowCount())
        return;
    const TGridDrawState state = CellState(row, column);
    canvas.Font = Font();
    if (state & gdSelected) {
        canvas.Brush.Color = clHighlight;
        canvas.Font.Color = clHighlightText;
    } else {
        canvas.Brush.Color = Color();
    }
    TClientDataSet::ActiveRecordScope scope(*ds, row);
    m_canvas = &canvas;
    struct Reset
    {
        TCanvas*& canvas;
        ~Reset() { canvas = nullptr; }
    } reset{m_canvas};
    if (m_defaultDrawing)
        DefaultDrawColumnCell(canvas, rect, column, Column(column), state);
    if (OnDrawColumnCell)
        OnDrawColumnCell(this, rect, column, Column(column), state);
}

void TDBGrid::DefaultDrawColumnCell(TCanvas& canvas, const QRect& rect, int /*dataCol*/,
                                    TColumn* column, TGridDrawState /*state*/)
{
    canvas.FillRect(rect);
    const TField* field = column ? column->Field() : nullptr;
    if (!field)
        return;
    const QString text = field->DisplayText();
    int x = rect.left() + 2;
    if (field->Alignment() == TAlignment::taRightJustify)
        x = rect.right() - 1 - canvas.TextWidth(text);
    else if (field->Alignment() == TAlignment::taCenter)
        x = rect.left() + (rect.width() - canvas.TextWidth(text)) / 2;
    canvas.TextRect(rect, x, rect.top() + 2, text);
}

// --- What the dataset tells the grid ------------------------------------------

void TDBGrid::ActiveChanged()
{
    HideEditor();
    Changed(TChange::Content);
}

void TDBGrid::EditingChanged()
{
    if (!TDataLink::Editing())
        HideEditor();
    Changed(TChange::Content);
}

void TDBGrid::DataSetChanged()
{
    if (!DataSetEditing() && !HasOption(dgAlwaysShowEditor))
        HideEditor();
    Changed(TChange::Content);
}

void TDBGrid::DataSetScrolled()
{
    if (!HasOption(dgAlwaysShowEditor))
        HideEditor();
    Changed(TChange::Content);
}

void TDBGrid::RecordChanged(TField* field)
{
    // A value set by code shows in an editor the user has not typed into.
    if (m_editorMode && !m_editor.Modified() && (!field || field == SelectedField()))
        ResetEditor();
    Changed(TChange::Content);
}

void TDBGrid::UpdateData()
{
    StoreEditor();
}

void TDBGrid::FocusControl(TField* field)
{
    SetSelectedField(field);
}

} // namespace aph
