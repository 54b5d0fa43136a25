#pragma once

#include "host/framework/desktop.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QStringList>

#include <functional>

class QDialog;
class QEventLoop;
class QMdiArea;
class QMessageBox;
class QWidget;

namespace aph {

class TFormView;

// Qt's own texts (the file dialog's columns and buttons, the standard
// menus) in Portuguese, from the translations Qt ships; false when they are
// not installed.
bool InstallQtTranslations();

// The desktop with real windows: forms as MDI children of the host's main
// window (or as windows of their own), modal forms in a local event loop,
// messages and questions in message boxes with the system's Portuguese
// texts, the pickers as dialogs, and a wait cursor and busy indicator that
// nest. Installed as the application's desktop for its lifetime.
class TQtDesktop : public Desktop
{
public:
    TQtDesktop();
    ~TQtDesktop() override;

    // Where MDI child forms go; without it every form has its own window.
    void SetMdiArea(QMdiArea* area);
    // The application's name: the title of the work area's window (which
    // shows a maximised form's title after it once) and of messages of no
    // kind. Nothing is appended to the titles of the other windows.
    void SetApplicationTitle(const QString& title);
    const QString& ApplicationTitle() const { return m_title; }
    // Screens (MDI children) open maximised in the work area, and so grow
    // and shrink with the main window.
    void SetMaximisedScreens(bool on) { m_maximisedScreens = on; }
    // A widget shown while the application is busy (a status-bar indicator).
    void SetBusyIndicator(QWidget* indicator);
    // Messages and questions are written to standard error and answered
    // with their default (No, Cancel, OK) instead of waiting for a person:
    // for runs without anybody at the screen.
    void SetNonInteractive(bool on) { m_nonInteractive = on; }
    // What was said in non-interactive mode.
    const QStringList& Messages() const { return m_messages; }
    // Called once a modal form's window is on screen (for scripted runs).
    std::function<void(TForm& form, QWidget* window)> OnModalShown;
    // Called once a message box is on screen, from inside its own event
    // loop (for scripted runs that answer it as a person would).
    std::function<void(QMessageBox& box)> OnMessageShown;
    // Called once a picker or an input dialog is on screen, from inside its
    // own event loop (for scripted runs that answer it from the keyboard).
    std::function<void(QDialog& dialog)> OnDialogShown;

    TFormView* ViewOf(const TForm* form) const;
    QWidget* WindowOf(const TForm* form) const;
    bool Busy() const { return m_busy > 0; }

    // --- Desktop ---------------------------------------------------------
    void ShowForm(TForm& form) override;
    void HideForm(TForm& form) override;
    int RunModal(TForm& form) override;
    void ShowError(const QString& text) override;
    int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons) override;
    bool PickList(const TPickListRequest& request, QStringList& keys) override;
    bool PickRow(TDataSource* source, const QString& title, bool searchBox) override;
    bool Search(TClientDataSet* dataSet) override;
    using Desktop::InputQuery;
    bool InputQuery(const QString& caption, const QString& prompt, QString& value,
                    const TInputCheck& check) override;
    bool PickString(const QString& title, const QStringList& items, int& index) override;
    bool SaveFileName(const QString& title, const QString& filter, QString& path) override;
    void BusyChanged(bool busy) override;
    void CursorChanged(TCursor cursor) override;
    void ShowStatus(const QString& text) override
    {
        if (OnStatus)
            OnStatus(text);
    }
    void ShowScreenStatus(const QString& text) override
    {
        if (OnScreenStatus)
            OnScreenStatus(text);
    }
    void CopyToClipboard(const QString& text) override;
    // Where the host shows status lines (its status bar).
    std::function<void(const QString& text)> OnStatus;
    // Where the host shows the screen's standing note (its own part of the
    // status bar).
    std::function<void(const QString& text)> OnScreenStatus;

private:
    struct TWindow
    {
        TFormView* View = nullptr;
        QPointer<QWidget> Frame; // the sub-window or the top-level window
    };
    struct TModalLoop
    {
        TForm* Form;
        QEventLoop* Loop;
        bool Destroyed = false;
    };

    TWindow& EnsureWindow(TForm& form, bool modal);
    void FormDestroyed(TForm* form);
    void AfterInput();
    void ApplyCursor();
    QWidget* DialogParent() const;
    // Runs a dialog modally, telling OnDialogShown once it is on screen.
    int Exec(QDialog& dialog);
    // Keys typed in a form reach it before the work area's own handling.
    void KeysToFormsFirst();

    QPointer<QMdiArea> m_mdi;
    QPointer<QObject> m_formKeys; // owned by the work area
    QPointer<QWidget> m_busyIndicator;
    QHash<const TForm*, TWindow> m_windows;
    QList<TModalLoop*> m_loops;
    int m_busy = 0;
    TCursor m_cursor = TCursor::crDefault;
    bool m_waitCursorShown = false;
    bool m_nonInteractive = false;
    bool m_maximisedScreens = false;
    QStringList m_messages;
    QString m_title;
};

} // namespace aph
