#include "host/qt/gridview.h"

#include "host/framework/gridexport.h"
#include "host/qt/gridmodel.h"
#include "host/qt/input.h"
#include "host/qt/qtcanvas.h"
#include "host/qt/qtconvert.h"
#include "host/ui/dbgrid.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

constexpr int kFrameWidth = 2;    // the focused row's frame, in pixels
constexpr int kFrameDarker = 170; // its colour: the highlight, this much darker

// Every cell is painted by the grid: canvas prepared as the grid prepares
// it, then its default drawing and the screen's draw handler.
class TGridDelegate : public QStyledItemDelegate
{
public:
    TGridDelegate(TGridView* view) : QStyledItemDelegate(view), m_view(view) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        TDBGrid* grid = m_view->Grid();
        if (!grid)
            return;
        TQtCanvas canvas(*painter, m_view->palette());
        painter->save();
        painter->setClipRect(option.rect);
        try {
            grid->PaintCell(canvas, index.row(), index.column(), option.rect);
        } catch (...) {
            // A failing draw handler leaves the cell as far as it got; an
            // exception must not cross the paint event.
        }
        painter->restore();
        FrameFocusedRow(painter, option.rect, index);
    }

    // The grid with the focus frames its current row: among several grids
    // showing their selection, the one the keys go to stands out.
    void FrameFocusedRow(QPainter* painter, const QRect& rect, const QModelIndex& index) const
    {
        TDBGrid* grid = m_view->Grid();
        const TClientDataSet* ds = grid->DataSet();
        if (!grid->Focused() || !ds || index.row() != ds->CurrentIndex())
            return;
        painter->save();
        painter->setPen(QPen(m_view->palette().color(QPalette::Highlight).darker(kFrameDarker),
                             kFrameWidth, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        const QRectF r = QRectF(rect).adjusted(1, 1, -1, -1);
        painter->drawLine(r.topLeft(), r.topRight());
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        if (index.column() == 0)
            painter->drawLine(r.topLeft(), r.bottomLeft());
        if (index.column() == index.model()->columnCount() - 1)
            painter->drawLine(r.topRight(), r.bottomRight());
        painter->restore();
    }

private:
    TGridView* m_view;
};

constexpr int kTextMargin = 2;

// A canvas that paints nothing and finds how wide a cell must be for the
// text drawn on it to show whole: a text that spills out of the cell, or
// into its margins, asks for its own width and the margins it was drawn
// with, at least two pixels a side.
class TMeasureCanvas : public TCanvas
{
public:
    void FillRect(const QRect&) override {}
    void TextRect(const QRect& clip, int x, int, const QString& text) override
    {
        const int width = TextWidth(text);
        const int left = x - clip.left();
        const int right = clip.width() - left - width;
        if (left < kTextMargin || right < kTextMargin)
            m_needed = std::max(m_needed,
                                std::max(left, kTextMargin) + width + std::max(right, kTextMargin));
    }
    int TextWidth(const QString& text) override
    {
        return QFontMetrics(QtFont(Font)).horizontalAdvance(text);
    }
    int Needed() const { return m_needed; }

private:
    int m_needed = 0;
};

// Rows measured for the widths: those on screen, and never fewer than
// these, so that a grid not yet laid out is measured as it will show.
constexpr int kMeasuredRows = 32;

int CurrentRow(const TDBGrid* grid)
{
    const TClientDataSet* ds = grid->DataSet();
    return ds && ds->Active() ? ds->CurrentIndex() : -1;
}

} // namespace

TGridView::TGridView(TDBGrid* grid, QWidget* parent)
    : QTableView(parent), m_grid(grid), m_model(new TGridModel(grid, this)),
      m_editor(new QLineEdit(viewport())), m_button(new QToolButton(viewport()))
{
    setModel(m_model);
    setItemDelegate(new TGridDelegate(this));
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setFocusPolicy(Qt::StrongFocus);
    setWordWrap(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(8);
    verticalHeader()->setDefaultSectionSize(TDBGrid::kRowHeight);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setMinimumSectionSize(8);

    // The editor only shows what the grid's editor holds; typing goes to
    // the grid through the form.
    m_editor->setReadOnly(true);
    m_editor->setFocusPolicy(Qt::NoFocus);
    m_editor->setFrame(true);
    m_editor->setContextMenuPolicy(Qt::NoContextMenu);
    m_editor->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_editor->setObjectName(u"cellEditor"_s);
    // The editor never holds the Qt focus (the grid does): its selection is
    // drawn in the active colours all the same.
    QPalette editorColours = m_editor->palette();
    for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        editorColours.setColor(QPalette::Inactive, role,
                               editorColours.color(QPalette::Active, role));
    m_editor->setPalette(editorColours);
    m_editor->hide();
    m_button->setText(u"…"_s);
    m_button->setFocusPolicy(Qt::NoFocus);
    m_button->setObjectName(u"editButton"_s);
    m_button->hide();
    connect(m_button, &QToolButton::clicked, this, [this] {
        if (TDBGrid* g = m_grid)
            UserInput([g] { g->ClickEditButton(); });
    });
    ApplyOptions();
    ApplyColumnWidths();
    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int section, int, int size) {
                // The user widened a column: the grid keeps the width.
                if (m_grid && section < m_grid->ColumnCount()) {
                    m_grid->Column(section)->SetWidth(size);
                    m_userWidths.insert(section);
                }
                PlaceEditor();
            });
    Sync();
}

TGridView::~TGridView() = default;

void TGridView::Detach()
{
    m_grid = nullptr;
    m_model->Detach();
    m_editor->hide();
    m_button->hide();
}

void TGridView::ApplyOptions()
{
    if (!m_grid)
        return;
    horizontalHeader()->setVisible(m_grid->HasOption(dgTitles));
    horizontalHeader()->setSectionResizeMode(
        m_grid->HasOption(dgColumnResize) ? QHeaderView::Interactive : QHeaderView::Fixed);
    horizontalHeader()->setFont(QtFont(m_grid->TitleFont()));
    verticalHeader()->setVisible(m_grid->HasOption(dgIndicator));
    verticalHeader()->setFixedWidth(12);
    setShowGrid(m_grid->HasOption(dgColLines) || m_grid->HasOption(dgRowLines));
    setFont(QtFont(m_grid->Font()));
    // The area below the last row has the grid's colour.
    QPalette p = palette();
    p.setColor(QPalette::Base, QtColor(m_grid->Color(), QPalette()));
    setPalette(p);
}

void TGridView::ApplyColumnWidths()
{
    if (!m_grid)
        return;
    QSignalBlocker block(horizontalHeader());
    for (int i = 0; i < m_grid->ColumnCount() && i < m_model->columnCount(); ++i) {
        const int width = m_userWidths.contains(i) ? m_grid->Column(i)->Width() : FittedWidth(i);
        if (horizontalHeader()->sectionSize(i) != width)
            horizontalHeader()->resizeSection(i, width);
    }
}

int TGridView::FittedWidth(int column)
{
    // The widths are given for the design font; the font standing in for
    // it is wider, so a column grows to show its title and the values on
    // screen whole. The headless grid keeps the width it was given.
    const int design = m_grid->Column(column)->Width();
    int width = design;
    if (m_grid->HasOption(dgTitles))
        width = std::max(width, horizontalHeader()->sectionSizeHint(column));
    const int rows = m_model->rowCount();
    const int first = std::max(0, rowAt(0));
    const int shown = viewport()->height() / TDBGrid::kRowHeight + 1;
    const int last = std::min(rows, first + std::max(shown, kMeasuredRows));
    TMeasureCanvas canvas;
    const QRect cell(0, 0, design, TDBGrid::kRowHeight);
    for (int row = first; row < last; ++row)
        m_grid->PaintCell(canvas, row, column, cell);
    return std::max(width, canvas.Needed());
}

void TGridView::Sync()
{
    if (!m_grid)
        return;
    if (m_model->Sync())
        m_userWidths.clear();
    const int row = CurrentRow(m_grid);
    const int column = m_grid->SelectedIndex();
    if (row != m_row || column != m_column) {
        m_row = row;
        m_column = column;
        if (row >= 0 && row < m_model->rowCount() && column >= 0 && column < m_model->columnCount())
            scrollTo(m_model->index(row, column));
    }
    // Other values may be on screen now.
    ApplyColumnWidths();
    verticalHeader()->viewport()->update();
    viewport()->update();
    PlaceEditor();
}

void TGridView::SyncStyle()
{
    ApplyOptions();
    Sync();
}

void TGridView::PlaceEditor()
{
    if (!m_grid) {
        m_editor->hide();
        m_button->hide();
        return;
    }
    const int row = CurrentRow(m_grid);
    const int column = m_grid->SelectedIndex();
    const bool valid =
        row >= 0 && row < m_model->rowCount() && column >= 0 && column < m_model->columnCount();
    QRect cell = valid ? visualRect(m_model->index(row, column)) : QRect();
    const bool button = valid && m_grid->ShowsEditButton(column);
    if (button) {
        const int w = std::min(18, cell.width());
        m_button->setGeometry(cell.right() - w + 1, cell.top(), w, cell.height());
        m_button->show();
        cell.setRight(cell.right() - w);
    } else {
        m_button->hide();
    }
    if (valid && m_grid->EditorMode()) {
        m_editor->setFont(QtFont(m_grid->Font()));
        m_editor->setGeometry(cell);
        const QString text = m_grid->EditorText();
        if (m_editor->text() != text)
            m_editor->setText(text);
        // The editor shows where typing goes: over the whole text once
        // selected, else at the cursor.
        if (m_grid->EditorAllSelected())
            m_editor->selectAll();
        else
            m_editor->setCursorPosition(m_grid->EditorCursor());
        m_editor->show();
    } else {
        m_editor->hide();
    }
}

void TGridView::mousePressEvent(QMouseEvent* event)
{
    if (!m_grid || event->button() != Qt::LeftButton)
        return;
    const QModelIndex index = indexAt(event->position().toPoint());
    TDBGrid* grid = m_grid;
    // The click moves the focus, the row and the column as the grid does;
    // a refusal on the way (a check of the cell being left) is shown and
    // leaves everything where it was.
    UserInput([grid, index] {
        if (index.isValid())
            grid->ClickCell(index.row(), index.column());
        else
            grid->SetFocus();
    });
}

void TGridView::mouseDoubleClickEvent(QMouseEvent* event)
{
    mousePressEvent(event);
}

void TGridView::mouseMoveEvent(QMouseEvent*) {}

void TGridView::mouseReleaseEvent(QMouseEvent*) {}

void TGridView::keyPressEvent(QKeyEvent* event)
{
    // Keys go to the headless form; nothing reaches the view's own keys.
    event->ignore();
}

void TGridView::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    ShowContextMenu(event->reason() == QContextMenuEvent::Mouse ? event->globalPos()
                                                                : ContextMenuPoint());
}

QPoint TGridView::ContextMenuPoint() const
{
    // Under the current cell when it is on screen, else the top left.
    const int row = CurrentRow(m_grid);
    const int column = m_grid ? m_grid->SelectedIndex() : -1;
    QRect cell;
    if (row >= 0 && row < m_model->rowCount() && column >= 0 && column < m_model->columnCount())
        cell = visualRect(m_model->index(row, column)).intersected(viewport()->rect());
    const QPoint at = cell.isEmpty() ? QPoint(4, 4) : cell.bottomLeft();
    return viewport()->mapToGlobal(at);
}

void TGridView::ShowContextMenu(const QPoint& globalPos)
{
    if (!m_grid)
        return;
    QMenu menu(this);
    menu.setObjectName(u"gridMenu"_s);
    QAction* exportCsv = menu.addAction(ExportGridToCsvCaption());
    exportCsv->setObjectName(u"exportCsv"_s);
    // The menu runs its own loop: the grid may be gone when it returns.
    QPointer<TGridView> self(this);
    QAction* chosen = menu.exec(globalPos);
    if (!self || !m_grid || chosen != exportCsv)
        return;
    const TDBGrid* grid = m_grid;
    UserInput([grid] { ExportGridToCsv(*grid); });
}

void TGridView::scrollContentsBy(int dx, int dy)
{
    QTableView::scrollContentsBy(dx, dy);
    PlaceEditor();
}

void TGridView::updateGeometries()
{
    QTableView::updateGeometries();
    PlaceEditor();
}

} // namespace aph
