#include "host/qt/qtdesktop.h"

#include "host/data/dataset.h"
#include "host/qt/formview.h"
#include "host/qt/input.h"
#include "host/qt/pickerdialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QStyle>
#include <QTimer>
#include <QTranslator>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace aph {

namespace {

// A dialog at least as wide as its title plus the title bar's buttons, so
// that the window system does not cut the title ("Marca…turada").
void KeepTitleWhole(QDialog& dialog, const QString& title)
{
    constexpr int kTitleBarButtons = 160;
    dialog.setMinimumWidth(std::max(
        dialog.minimumWidth(), dialog.fontMetrics().horizontalAdvance(title) + kTitleBarButtons));
}

// Closing a form's window is the form's decision: the close button asks
// the form, which hides, frees or keeps itself.
class TCloseToForm : public QObject
{
public:
    TCloseToForm(QObject* parent, TFormView* view) : QObject(parent), m_view(view) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Close || !m_view || !m_view->Form())
            return QObject::eventFilter(watched, event);
        event->ignore();
        TForm* form = m_view->Form();
        UserInput([form] { form->Close(); });
        return true;
    }

private:
    QPointer<TFormView> m_view;
};

// The work area switches its windows on Ctrl+Tab, taking the key before
// any window sees it; in a form Ctrl+Tab moves to the next control, so a
// key typed in a form goes to the form first.
class TFormKeysFirst : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        auto* key = static_cast<QKeyEvent*>(event);
        const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
        if (!tab || !(key->modifiers() & Qt::ControlModifier) ||
            (key->modifiers() & Qt::AltModifier))
            return QObject::eventFilter(watched, event);
        TFormView* view = TFormView::ViewOf(watched);
        if (!view)
            return QObject::eventFilter(watched, event);
        view->TakeKey(key);
        return true;
    }
};

QString TitleOf(TMsgDlgType type, const QString& application)
{
    switch (type) {
    case TMsgDlgType::mtWarning:
        return u"Aviso"_s;
    case TMsgDlgType::mtError:
        return u"Erro"_s;
    case TMsgDlgType::mtInformation:
        return QString::fromUtf8("Informação");
    case TMsgDlgType::mtConfirmation:
        return QString::fromUtf8("Confirmação");
    case TMsgDlgType::mtCustom:
        break;
    }
    return application.isEmpty() ? QApplication::applicationDisplayName() : application;
}

QMessageBox::Icon IconOf(TMsgDlgType type)
{
    switch (type) {
    case TMsgDlgType::mtWarning:
        return QMessageBox::Warning;
    case TMsgDlgType::mtError:
        return QMessageBox::Critical;
    case TMsgDlgType::mtInformation:
        return QMessageBox::Information;
    case TMsgDlgType::mtConfirmation:
        return QMessageBox::Question;
    case TMsgDlgType::mtCustom:
        break;
    }
    return QMessageBox::NoIcon;
}

int DefaultAnswer(TMsgDlgButtons buttons)
{
    return (buttons & mbNo) ? mrNo : (buttons & mbCancel) ? mrCancel : mrOk;
}

} // namespace

TQtDesktop::TQtDesktop()
{
    Application()->SetDesktop(this);
    SetAfterInputHook([this] { AfterInput(); });
}

TQtDesktop::~TQtDesktop()
{
    SetAfterInputHook(nullptr);
    if (m_formKeys)
        qApp->removeEventFilter(m_formKeys);
    for (TModalLoop* loop : std::as_const(m_loops))
        loop->Loop->quit();
    for (auto it = m_windows.begin(); it != m_windows.end(); ++it) {
        if (TForm* form = it.value().View->Form())
            form->SetObserver(nullptr);
        it.value().View->OnFormDestroyed = nullptr;
        delete it.value().Frame;
    }
    m_windows.clear();
    if (m_waitCursorShown)
        QApplication::restoreOverrideCursor();
    if (Application()->GetDesktop() == this)
        Application()->SetDesktop(nullptr);
}

void TQtDesktop::SetMdiArea(QMdiArea* area)
{
    m_mdi = area;
    if (area && !m_title.isEmpty())
        area->window()->setWindowTitle(m_title);
    KeysToFormsFirst();
}

void TQtDesktop::SetApplicationTitle(const QString& title)
{
    m_title = title;
    // Qt appends the display name to every window title that does not end
    // with it, the work area's "name - [form]" included, which then names
    // the application twice; an empty one ends every title.
    QGuiApplication::setApplicationDisplayName(QString());
    if (m_mdi)
        m_mdi->window()->setWindowTitle(title);
}

void TQtDesktop::KeysToFormsFirst()
{
    if (!m_mdi)
        return;
    if (!m_formKeys)
        m_formKeys = new TFormKeysFirst(m_mdi);
    // Installing again puts it before the filters installed since.
    qApp->installEventFilter(m_formKeys);
}

void TQtDesktop::SetBusyIndicator(QWidget* indicator)
{
    m_busyIndicator = indicator;
    if (indicator)
        indicator->setVisible(m_busy > 0);
}

TFormView* TQtDesktop::ViewOf(const TForm* form) const
{
    return m_windows.value(form).View;
}

QWidget* TQtDesktop::WindowOf(const TForm* form) const
{
    return m_windows.value(form).Frame;
}

QWidget* TQtDesktop::DialogParent() const
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    if (QWidget* active = QApplication::activeWindow())
        return active;
    return m_mdi ? m_mdi->window() : nullptr;
}

TQtDesktop::TWindow& TQtDesktop::EnsureWindow(TForm& form, bool modal)
{
    auto it = m_windows.find(&form);
    if (it != m_windows.end() && it.value().Frame) {
        // A form shown before as the other kind of window gets a new one.
        const bool isSub = qobject_cast<QMdiSubWindow*>(it.value().Frame) != nullptr;
        const bool wantSub = !modal && m_mdi && form.FormStyle() == TFormStyle::fsMDIChild;
        if (isSub == wantSub)
            return it.value();
        it.value().View->setParent(nullptr);
        delete it.value().Frame;
        it.value().View->deleteLater();
        m_windows.erase(it);
    }
    auto* view = new TFormView(form);
    TWindow window;
    window.View = view;
    if (!modal && m_mdi && form.FormStyle() == TFormStyle::fsMDIChild) {
        QMdiSubWindow* sub = m_mdi->addSubWindow(view);
        sub->setAttribute(Qt::WA_DeleteOnClose, false);
        sub->setWindowTitle(form.Caption());
        sub->resize(sub->sizeHint());
        window.Frame = sub;
    } else {
        auto* frame = new QWidget(DialogParent(), modal ? Qt::Dialog : Qt::Window);
        auto* layout = new QVBoxLayout(frame);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(view);
        frame->setWindowTitle(form.Caption());
        frame->resize(view->sizeHint());
        window.Frame = frame;
    }
    window.Frame->setObjectName(form.Name() + u"_window"_s);
    window.Frame->installEventFilter(new TCloseToForm(window.Frame, view));
    TForm* key = &form;
    view->OnFormDestroyed = [this, key] {
        FormDestroyed(key);
    };
    view->OnCaptionChanged = [this, key] {
        const TWindow w = m_windows.value(key);
        if (w.Frame && w.View->Form())
            w.Frame->setWindowTitle(w.View->Form()->Caption());
    };
    return m_windows[&form] = window;
}

void TQtDesktop::FormDestroyed(TForm* form)
{
    for (TModalLoop* loop : std::as_const(m_loops))
        if (loop->Form == form) {
            loop->Destroyed = true;
            loop->Loop->quit();
        }
    const TWindow window = m_windows.take(form);
    if (window.Frame) {
        window.Frame->hide();
        window.Frame->deleteLater(); // the view goes with it
    }
}

void TQtDesktop::ShowForm(TForm& form)
{
    const bool first = !m_windows.contains(&form);
    TWindow& window = EnsureWindow(form, false);
    auto* sub = qobject_cast<QMdiSubWindow*>(window.Frame.data());
    if (first && sub && m_maximisedScreens)
        sub->showMaximized();
    else
        window.Frame->show();
    window.Frame->raise();
    if (sub) {
        m_mdi->setActiveSubWindow(sub);
        KeysToFormsFirst();
    } else
        window.Frame->activateWindow();
    // As on any desktop, a form opens with the focus on its first control.
    if (first && !form.ActiveControl())
        Perform([&form] { form.SelectNext(true); });
    window.View->SyncFocus(true);
}

void TQtDesktop::HideForm(TForm& form)
{
    const TWindow window = m_windows.value(&form);
    if (window.Frame)
        window.Frame->hide();
}

int TQtDesktop::RunModal(TForm& form)
{
    TWindow& window = EnsureWindow(form, true);
    QPointer<QWidget> frame = window.Frame;
    frame->setWindowModality(Qt::ApplicationModal);
    frame->show();
    frame->raise();
    frame->activateWindow();
    if (!form.ActiveControl())
        Perform([&form] { form.SelectNext(true); });
    window.View->SyncFocus(true);

    QEventLoop loop;
    TModalLoop entry{&form, &loop};
    m_loops.push_back(&entry);
    if (OnModalShown)
        QTimer::singleShot(0, &loop, [this, &entry, frame] {
            if (!entry.Destroyed && frame && OnModalShown)
                OnModalShown(*entry.Form, frame);
        });
    if (form.ModalResult() == mrNone && form.Visible())
        loop.exec(QEventLoop::DialogExec);
    m_loops.removeOne(&entry);
    if (entry.Destroyed)
        return mrCancel;
    if (frame)
        frame->hide();
    return form.ModalResult();
}

void TQtDesktop::AfterInput()
{
    for (TModalLoop* loop : std::as_const(m_loops))
        if (loop->Destroyed || loop->Form->ModalResult() != mrNone || !loop->Form->Visible())
            loop->Loop->quit();
    for (const TWindow& window : std::as_const(m_windows))
        window.View->SyncFocus();
}

void TQtDesktop::ShowError(const QString& text)
{
    MessageDlg(text, TMsgDlgType::mtError, mbOK);
}

int TQtDesktop::MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons)
{
    if (m_nonInteractive) {
        m_messages << text;
        std::fprintf(stderr, "%s: %s\n", TitleOf(type, m_title).toUtf8().constData(),
                     text.toUtf8().constData());
        return DefaultAnswer(buttons);
    }
    QMessageBox box(IconOf(type), TitleOf(type, m_title), text, QMessageBox::NoButton,
                    DialogParent());
    QHash<QAbstractButton*, int> results;
    QPushButton* escape = nullptr;
    const std::pair<int, QMessageBox::ButtonRole> kinds[] = {{mbYes, QMessageBox::YesRole},
                                                             {mbNo, QMessageBox::NoRole},
                                                             {mbOK, QMessageBox::AcceptRole},
                                                             {mbCancel, QMessageBox::RejectRole}};
    const int resultOf[] = {mrYes, mrNo, mrOk, mrCancel};
    int i = 0;
    for (const auto& [flag, role] : kinds) {
        if (buttons & flag) {
            QPushButton* b = box.addButton(ButtonText(resultOf[i]), role);
            results.insert(b, resultOf[i]);
            if (results.size() == 1)
                box.setDefaultButton(b);
            if (flag == mbNo || flag == mbCancel || (!escape && flag == mbOK))
                escape = b;
        }
        ++i;
    }
    if (results.isEmpty()) {
        QPushButton* b = box.addButton(ButtonText(mrOk), QMessageBox::AcceptRole);
        results.insert(b, mrOk);
        escape = b;
    }
    box.setEscapeButton(escape);
    if (OnMessageShown)
        QTimer::singleShot(0, &box, [this, &box] {
            // A copy: the hook may replace itself while it runs.
            if (const auto hook = OnMessageShown)
                hook(box);
        });
    box.exec();
    return results.value(box.clickedButton(), DefaultAnswer(buttons));
}

int TQtDesktop::Exec(QDialog& dialog)
{
    if (OnDialogShown)
        QTimer::singleShot(0, &dialog, [this, &dialog] {
            // A copy: the hook may replace itself while it runs.
            if (const auto hook = OnDialogShown)
                hook(dialog);
        });
    return dialog.exec();
}

bool TQtDesktop::PickList(const TPickListRequest& request, QStringList& keys)
{
    TClientDataSet* ds = request.Source ? request.Source->DataSet() : nullptr;
    if (!ds || m_nonInteractive)
        return false;
    const TRowTable rows(*ds, request.KeyField);
    TPickListDialog dialog(rows, request.Title, request.SelectedKeys, request.SingleChoice,
                           DialogParent());
    if (Exec(dialog) != QDialog::Accepted)
        return false;
    keys = dialog.TickedKeys();
    return true;
}

bool TQtDesktop::PickRow(TDataSource* source, const QString& title, bool searchBox)
{
    TClientDataSet* ds = source ? source->DataSet() : nullptr;
    if (!ds || m_nonInteractive)
        return false;
    const TRowTable rows(*ds);
    TPickRowDialog dialog(rows, title, searchBox, DialogParent());
    if (Exec(dialog) != QDialog::Accepted)
        return false;
    const int row = dialog.ChosenRow();
    if (row < 0 || row >= ds->RecordCount())
        return false;
    ds->SetRecNo(row + 1);
    return true;
}

bool TQtDesktop::Search(TClientDataSet* dataSet)
{
    if (!dataSet || m_nonInteractive)
        return false;
    TSearchDialog dialog(*dataSet, DialogParent());
    return Exec(dialog) == QDialog::Accepted;
}

bool TQtDesktop::InputQuery(const QString& caption, const QString& prompt, QString& value,
                            const TInputCheck& check)
{
    if (m_nonInteractive)
        return false;
    QDialog dialog(DialogParent());
    dialog.setWindowTitle(caption);
    KeepTitleWhole(dialog, caption);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(prompt, &dialog));
    auto* edit = new QLineEdit(value, &dialog);
    edit->setObjectName(u"value"_s);
    layout->addWidget(edit);
    // What the check found wrong, under the line, until the next try.
    auto* fault = new QLabel(&dialog);
    fault->setObjectName(u"fault"_s);
    fault->setWordWrap(true);
    fault->hide();
    layout->addWidget(fault);
    auto* box = new QDialogButtonBox(&dialog);
    box->addButton(ButtonText(mrOk), QDialogButtonBox::AcceptRole)->setDefault(true);
    box->addButton(ButtonText(mrCancel), QDialogButtonBox::RejectRole);
    QObject::connect(box, &QDialogButtonBox::accepted, &dialog, [&] {
        const QString wrong = check ? check(edit->text()) : QString();
        if (wrong.isEmpty()) {
            dialog.accept();
            return;
        }
        fault->setText(wrong);
        fault->show();
        edit->setFocus();
    });
    QObject::connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(box);
    if (Exec(dialog) != QDialog::Accepted)
        return false;
    value = edit->text();
    return true;
}

bool TQtDesktop::PickString(const QString& title, const QStringList& items, int& index)
{
    if (m_nonInteractive || items.isEmpty())
        return false;
    QDialog dialog(DialogParent());
    dialog.setWindowTitle(title);
    auto* layout = new QVBoxLayout(&dialog);
    auto* list = new QListWidget(&dialog);
    list->setObjectName(u"list"_s);
    list->addItems(items);
    list->setCurrentRow(index >= 0 && index < items.size() ? index : 0);
    // Every choice whole ("Interno (com comissão, ocorrências e
    // situação)"), and the title too.
    list->setMinimumWidth(list->sizeHintForColumn(0) + 2 * list->frameWidth() +
                          list->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    KeepTitleWhole(dialog, title);
    layout->addWidget(list);
    auto* box = new QDialogButtonBox(&dialog);
    box->addButton(ButtonText(mrOk), QDialogButtonBox::AcceptRole)->setDefault(true);
    box->addButton(ButtonText(mrCancel), QDialogButtonBox::RejectRole);
    QObject::connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    layout->addWidget(box);
    if (Exec(dialog) != QDialog::Accepted || list->currentRow() < 0)
        return false;
    index = list->currentRow();
    return true;
}

void TQtDesktop::BusyChanged(bool busy)
{
    m_busy = std::max(0, m_busy + (busy ? 1 : -1));
    ApplyCursor();
    if (!m_busyIndicator)
        return;
    m_busyIndicator->setVisible(m_busy > 0);
    // The work that follows holds the event loop: the indicator (and the
    // cursor with it) reaches the screen now, without running any event.
    if (m_busy > 0 && m_busyIndicator->isVisible())
        if (QWidget* bar = m_busyIndicator->parentWidget()) {
            if (bar->layout())
                bar->layout()->activate();
            bar->repaint();
        }
}

void TQtDesktop::CursorChanged(TCursor cursor)
{
    m_cursor = cursor;
    ApplyCursor();
}

void TQtDesktop::ApplyCursor()
{
    const bool wait = m_busy > 0 || m_cursor != TCursor::crDefault;
    if (wait == m_waitCursorShown)
        return;
    m_waitCursorShown = wait;
    if (wait)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

} // namespace aph

namespace aph {

namespace {

// The extension of a filter such as "Planilha CSV (*.csv)": "csv".
QString SuffixOf(const QString& filter)
{
    static const QRegularExpression pattern(u"\\*\\.([A-Za-z0-9]+)"_s);
    const QRegularExpressionMatch match = pattern.match(filter);
    return match.hasMatch() ? match.captured(1) : QString();
}

// The file dialogs of one kind (by the types they offer: "csv", "pdf-csv")
// open where the user last left one, kept in the user's settings.
QString FolderKind(const QString& filter)
{
    static const QRegularExpression pattern(u"\\*\\.([A-Za-z0-9]+)"_s);
    QStringList suffixes;
    for (const QRegularExpressionMatch& m : pattern.globalMatch(filter))
        suffixes << m.captured(1).toLower();
    return suffixes.isEmpty() ? u"arquivos"_s : suffixes.join(u'-');
}

QString FolderSettingsFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           u"/aph/pastas.ini"_s;
}

// Where a dialog of the kind starts: the folder last chosen, else the
// user's documents, else the home folder.
QString StartFolder(const QString& kind)
{
    const QSettings settings(FolderSettingsFile(), QSettings::IniFormat);
    const QString last = settings.value(u"pastas/"_s + kind).toString();
    if (!last.isEmpty() && QFileInfo(last).isDir())
        return last;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

void RememberFolder(const QString& kind, const QString& file)
{
    QDir().mkpath(QFileInfo(FolderSettingsFile()).absolutePath());
    QSettings settings(FolderSettingsFile(), QSettings::IniFormat);
    settings.setValue(u"pastas/"_s + kind, QFileInfo(file).absolutePath());
}

} // namespace

bool InstallQtTranslations()
{
    static QTranslator* texts = nullptr;
    if (texts)
        return true;
    auto* translator = new QTranslator(qApp);
    if (!translator->load(QLocale(u"pt_BR"_s), u"qtbase"_s, u"_"_s,
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    texts = translator;
    return true;
}

bool TQtDesktop::SaveFileName(const QString& title, const QString& filter, QString& path)
{
    if (m_nonInteractive)
        return false;
    const QString kind = FolderKind(filter);
    const QString start = StartFolder(kind);
    // Qt's own dialog, the same on every platform and answerable by a
    // scripted run; it asks before replacing a file.
    QFileDialog dialog(DialogParent(), title, start, filter);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setLabelText(QFileDialog::Accept, u"Salvar"_s);
    dialog.setLabelText(QFileDialog::Reject, ButtonText(mrCancel));
    dialog.setLabelText(QFileDialog::LookIn, u"Salvar em:"_s);
    dialog.setLabelText(QFileDialog::FileName, u"Nome do arquivo:"_s);
    dialog.setLabelText(QFileDialog::FileType, u"Tipo:"_s);
    // The proposed name, in the start folder unless it names a folder.
    if (!path.isEmpty())
        dialog.selectFile(QDir::isAbsolutePath(path) ? path : QDir(start).filePath(path));
    if (Exec(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    QString chosen = dialog.selectedFiles().first();
    const QString suffix = SuffixOf(dialog.selectedNameFilter());
    if (QFileInfo(chosen).suffix().isEmpty() && !suffix.isEmpty())
        chosen += u'.' + suffix;
    path = chosen;
    RememberFolder(kind, chosen);
    return true;
}

void TQtDesktop::CopyToClipboard(const QString& text)
{
    QGuiApplication::clipboard()->setText(text);
}

} // namespace aph
