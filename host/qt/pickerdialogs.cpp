#include "host/qt/pickerdialogs.h"

#include "host/data/dataset.h"
#include "host/framework/desktop.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace aph {

QString ButtonText(int modalResult)
{
    switch (modalResult) {
    case mrYes:
        return u"Sim"_s;
    case mrNo:
        return QString::fromUtf8("Não");
    case mrOk:
        return u"OK"_s;
    case mrCancel:
        return u"Cancelar"_s;
    default:
        return {};
    }
}

namespace {

QDialogButtonBox* OkCancel(QDialog* dialog)
{
    auto* box = new QDialogButtonBox(dialog);
    QPushButton* ok = box->addButton(ButtonText(mrOk), QDialogButtonBox::AcceptRole);
    QPushButton* cancel = box->addButton(ButtonText(mrCancel), QDialogButtonBox::RejectRole);
    ok->setObjectName(u"ok"_s);
    cancel->setObjectName(u"cancel"_s);
    ok->setDefault(true);
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return box;
}

QTableWidget* RowTableWidget(QWidget* parent, const QStringList& headers)
{
    auto* table = new QTableWidget(parent);
    table->setObjectName(u"table"_s);
    table->setColumnCount(static_cast<int>(headers.size()));
    table->setHorizontalHeaderLabels(headers);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(20);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setWordWrap(false);
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

QLineEdit* SearchBox(QDialog* dialog, QVBoxLayout* layout)
{
    auto* row = new QHBoxLayout();
    auto* label = new QLabel(u"Pesquisar:"_s, dialog);
    auto* search = new QLineEdit(dialog);
    search->setObjectName(u"search"_s);
    search->setClearButtonEnabled(true);
    label->setBuddy(search);
    row->addWidget(label);
    row->addWidget(search, 1);
    layout->addLayout(row);
    return search;
}

// Moves a list's current row for a navigation key typed elsewhere (the
// search box); false for any other key.
bool MoveCurrentRow(QTableWidget* table, const QKeyEvent& key)
{
    if (key.modifiers() & ~Qt::KeypadModifier)
        return false;
    const int rowHeight = std::max(1, table->verticalHeader()->defaultSectionSize());
    const int page = std::max(1, table->viewport()->height() / rowHeight - 1);
    int step = 0;
    switch (key.key()) {
    case Qt::Key_Up:
        step = -1;
        break;
    case Qt::Key_Down:
        step = 1;
        break;
    case Qt::Key_PageUp:
        step = -page;
        break;
    case Qt::Key_PageDown:
        step = page;
        break;
    default:
        return false;
    }
    const int rows = table->rowCount();
    if (rows == 0)
        return true;
    const int from = table->currentRow();
    const int to = std::clamp(from < 0 ? 0 : from + step, 0, rows - 1);
    table->selectRow(to);
    table->scrollTo(table->model()->index(to, 0));
    return true;
}

bool IsEnter(const QKeyEvent& key)
{
    return (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) &&
           !(key.modifiers() & ~Qt::KeypadModifier);
}

void FillRow(QTableWidget* table, int at, const QStringList& texts, int firstColumn)
{
    for (int c = 0; c < texts.size(); ++c)
        table->setItem(at, firstColumn + c, new QTableWidgetItem(texts[c]));
}

} // namespace

// --- TPickListDialog --------------------------------------------------------------

TPickListDialog::TPickListDialog(const TRowTable& rows, const QString& title,
                                 const QStringList& ticked, bool singleChoice, QWidget* parent)
    : QDialog(parent), m_rows(rows), m_single(singleChoice)
{
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    m_search = SearchBox(this, layout);
    QStringList headers{QString()};
    headers += rows.Headers();
    m_table = RowTableWidget(this, headers);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(m_table, 1);
    for (int row = 0; row < rows.RowCount(); ++row)
        if (ticked.contains(rows.Key(row)))
            m_ticked.insert(row);

    auto* buttons = new QHBoxLayout();
    auto* all = new QPushButton(u"Marcar todos"_s, this);
    all->setObjectName(u"checkAll"_s);
    all->setEnabled(!singleChoice);
    auto* none = new QPushButton(u"Desmarcar todos"_s, this);
    none->setObjectName(u"uncheckAll"_s);
    buttons->addWidget(all);
    buttons->addWidget(none);
    buttons->addStretch(1);
    buttons->addWidget(OkCancel(this));
    layout->addLayout(buttons);

    connect(m_search, &QLineEdit::textChanged, this, [this] {
        m_moved = false;
        Fill();
        if (!m_shown.isEmpty())
            m_table->selectRow(0); // the best match first
    });
    m_search->installEventFilter(this);
    connect(all, &QPushButton::clicked, this, [this] {
        for (int row : std::as_const(m_shown))
            m_ticked.insert(row);
        Fill();
    });
    connect(none, &QPushButton::clicked, this, [this] {
        for (int row : std::as_const(m_shown))
            m_ticked.remove(row);
        Fill();
    });
    connect(m_table, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (m_filling || item->column() != 0)
            return;
        SetTicked(m_shown.value(item->row(), -1), item->checkState() == Qt::Checked);
    });
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this](int r, int) {
        const int row = m_shown.value(r, -1);
        SetTicked(row, !m_ticked.contains(row));
    });
    Fill();
    if (!m_shown.isEmpty())
        m_table->selectRow(0);
    resize(560, 420);
}

bool TPickListDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_search && event->type() == QEvent::KeyPress &&
        SearchKey(*static_cast<QKeyEvent*>(event)))
        return true;
    return QDialog::eventFilter(watched, event);
}

bool TPickListDialog::SearchKey(const QKeyEvent& key)
{
    if (MoveCurrentRow(m_table, key)) {
        m_moved = true;
        return true;
    }
    const int current = m_shown.value(m_table->currentRow(), -1);
    if (key.key() == Qt::Key_Space && key.modifiers() == Qt::NoModifier &&
        (m_moved || m_search->text().isEmpty())) {
        SetTicked(current, !m_ticked.contains(current));
        return true;
    }
    if (IsEnter(key)) {
        if (m_ticked.isEmpty())
            SetTicked(current, true);
        accept();
        return true;
    }
    return false;
}

void TPickListDialog::SetSearch(const QString& text)
{
    m_search->setText(text);
}

void TPickListDialog::SetTicked(int row, bool ticked)
{
    if (row < 0 || row >= m_rows.RowCount())
        return;
    if (ticked && m_single)
        m_ticked.clear();
    if (ticked)
        m_ticked.insert(row);
    else
        m_ticked.remove(row);
    Fill();
}

void TPickListDialog::Fill()
{
    m_filling = true;
    const int current = m_table->currentRow();
    m_shown = m_rows.Matching(m_search->text());
    m_table->setRowCount(static_cast<int>(m_shown.size()));
    for (int i = 0; i < m_shown.size(); ++i) {
        const int row = m_shown[i];
        auto* tick = new QTableWidgetItem();
        tick->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        tick->setCheckState(m_ticked.contains(row) ? Qt::Checked : Qt::Unchecked);
        m_table->setItem(i, 0, tick);
        FillRow(m_table, i, m_rows.Texts(row), 1);
    }
    m_table->resizeColumnToContents(0);
    // A tick keeps the list where it was.
    if (current >= 0 && current < m_shown.size())
        m_table->selectRow(current);
    m_filling = false;
}

QStringList TPickListDialog::TickedKeys() const
{
    QList<int> rows(m_ticked.cbegin(), m_ticked.cend());
    std::sort(rows.begin(), rows.end());
    QStringList keys;
    for (int row : rows)
        keys << m_rows.Key(row);
    return keys;
}

// --- TPickRowDialog ------------------------------------------------------------------

TPickRowDialog::TPickRowDialog(const TRowTable& rows, const QString& title, bool searchBox,
                               QWidget* parent)
    : QDialog(parent), m_rows(rows)
{
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    m_search = SearchBox(this, layout);
    if (!searchBox) {
        m_search->hide();
        if (auto* label = findChild<QLabel*>())
            label->hide();
    }
    m_table = RowTableWidget(this, rows.Headers());
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    layout->addWidget(m_table, 1);
    layout->addWidget(OkCancel(this));
    connect(m_search, &QLineEdit::textChanged, this, [this] { Fill(); });
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this](int, int) { accept(); });
    m_search->installEventFilter(this);
    Fill();
    resize(520, 380);
}

bool TPickRowDialog::eventFilter(QObject* watched, QEvent* event)
{
    // The text keeps the focus; the keys that move through a list move the
    // list, and Enter takes its current row through the default button.
    if (watched == m_search && event->type() == QEvent::KeyPress &&
        MoveCurrentRow(m_table, *static_cast<QKeyEvent*>(event)))
        return true;
    return QDialog::eventFilter(watched, event);
}

void TPickRowDialog::Fill()
{
    m_shown = m_rows.Matching(m_search->text());
    m_table->setRowCount(static_cast<int>(m_shown.size()));
    for (int i = 0; i < m_shown.size(); ++i)
        FillRow(m_table, i, m_rows.Texts(m_shown[i]), 0);
    if (!m_shown.isEmpty())
        m_table->selectRow(0);
}

void TPickRowDialog::SetSearch(const QString& text)
{
    m_search->setText(text);
}

void TPickRowDialog::SelectShown(int index)
{
    m_table->selectRow(index);
}

int TPickRowDialog::ChosenRow() const
{
    const QList<QTableWidgetItem*> selected = m_table->selectedItems();
    if (selected.isEmpty())
        return -1;
    return m_shown.value(selected.first()->row(), -1);
}

// --- TSearchDialog ---------------------------------------------------------------------

TSearchDialog::TSearchDialog(TClientDataSet& dataSet, QWidget* parent)
    : QDialog(parent), m_dataSet(dataSet)
{
    setWindowTitle(u"Procurar"_s);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout();
    m_field = new QComboBox(this);
    m_field->setObjectName(u"field"_s);
    for (int i = 0; i < dataSet.FieldCount(); ++i)
        if (dataSet.Field(i)->Visible())
            m_field->addItem(dataSet.Field(i)->DisplayLabel(), dataSet.Field(i)->FieldName());
    m_value = new QLineEdit(this);
    m_value->setObjectName(u"value"_s);
    form->addRow(u"Campo:"_s, m_field);
    form->addRow(u"Valor:"_s, m_value);
    layout->addLayout(form);
    auto* box = new QDialogButtonBox(this);
    QPushButton* find = box->addButton(u"Procurar"_s, QDialogButtonBox::AcceptRole);
    find->setObjectName(u"ok"_s);
    find->setDefault(true);
    box->addButton(ButtonText(mrCancel), QDialogButtonBox::RejectRole)->setObjectName(u"cancel"_s);
    connect(box, &QDialogButtonBox::accepted, this, [this] {
        if (Find())
            accept();
        else
            QMessageBox::information(this, windowTitle(),
                                     QString::fromUtf8("Registro não encontrado."));
    });
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(box);
}

void TSearchDialog::SetField(const QString& fieldName)
{
    const int index = m_field->findData(fieldName);
    if (index >= 0)
        m_field->setCurrentIndex(index);
}

void TSearchDialog::SetValue(const QString& value)
{
    m_value->setText(value);
}

bool TSearchDialog::Find()
{
    const QString field = m_field->currentData().toString();
    if (field.isEmpty() || m_value->text().isEmpty())
        return false;
    return m_dataSet.Locate(field, m_value->text(),
                            static_cast<int>(TLocateOption::loCaseInsensitive) |
                                static_cast<int>(TLocateOption::loPartialKey));
}

} // namespace aph
