#pragma once

#include "host/ui/form.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace aph {

class TClientDataSet;
class TDataSource;

enum class TMsgDlgType
{
    mtWarning,
    mtError,
    mtInformation,
    mtConfirmation,
    mtCustom
};
enum TMsgDlgBtn : int
{
    mbYes = 1,
    mbNo = 2,
    mbOK = 4,
    mbCancel = 8
};
using TMsgDlgButtons = int;

// A multi-selection list over a dataset: the keys of the rows the user
// ticked.
struct TPickListRequest
{
    TDataSource* Source = nullptr;
    QString KeyField;
    QString Title;
    QStringList SelectedKeys; // ticked when the list opens
    bool SingleChoice = false;
};

// Everything that needs a person goes through here: the Qt desktop shows
// real windows, the scripted desktop of the tests plays answers.
class Desktop : public IFormHost
{
public:
    virtual void ShowError(const QString& text) = 0;
    virtual int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons) = 0;
    // False when the user left the list without choosing.
    virtual bool PickList(const TPickListRequest& request, QStringList& keys) = 0;
    // A single row; true leaves the dataset on the chosen row. With a
    // search box the user can type to find the row.
    virtual bool PickRow(TDataSource* source, const QString& title, bool searchBox) = 0;
    // Searches a dataset and positions it on the row found.
    virtual bool Search(TClientDataSet* dataSet) = 0;
    // What is wrong with a typed value, in a sentence for the user; empty
    // when the value will do.
    using TInputCheck = std::function<QString(const QString& value)>;
    // A line to type. With a check, a value it finds wrong keeps the
    // question open with the check's sentence, so that the user corrects
    // what they typed rather than type it again.
    virtual bool InputQuery(const QString& caption, const QString& prompt, QString& value,
                            const TInputCheck& check) = 0;
    bool InputQuery(const QString& caption, const QString& prompt, QString& value)
    {
        return InputQuery(caption, prompt, value, TInputCheck());
    }
    virtual bool PickString(const QString& title, const QStringList& items, int& index) = 0;
    // The name of a file to write: the filter in the file dialog's form
    // ("Planilha CSV (*.csv)", several joined by ";;"); the path comes in
    // as the suggestion and goes out as the choice, with the chosen
    // filter's extension when the user typed none. False when the user gave
    // up.
    virtual bool SaveFileName(const QString& title, const QString& filter, QString& path) = 0;
    // The busy animation starts and stops (only at the outermost level).
    virtual void BusyChanged(bool busy) = 0;
    virtual void CursorChanged(TCursor cursor) = 0;
    // A line for the status bar that stays until the next one (what a long
    // operation did); a desktop without a status bar ignores it.
    virtual void ShowStatus(const QString& /*text*/) {}
    // A standing note about what the screen shows (the pending days of the
    // CHT on screen), in its own part of the status bar, so that it does
    // not replace the last operation's line; an empty text clears it.
    virtual void ShowScreenStatus(const QString& /*text*/) {}
    // Puts the text on the clipboard, for the user to paste elsewhere (an
    // acceptance link into the mail to the client).
    virtual void CopyToClipboard(const QString& /*text*/) {}

    bool Confirm(const QString& question) override;
    void ReleaseForm(TForm& form) override;
};

// The host application: owns the forms, shows what escapes an event
// handler, counts the busy animation, holds the screen cursor.
class TApplication
{
public:
    TApplication();
    ~TApplication();

    Desktop* GetDesktop() const { return m_desktop; }
    // Installs the desktop as form host and error display.
    void SetDesktop(Desktop* desktop);

    TForm* MainForm() const { return m_mainForm; }
    void SetMainForm(TForm* form) { m_mainForm = form; }

    // Creates a form the application owns and runs its creation handler;
    // a creation that fails leaves no form behind.
    template <class T, class... Args> T* CreateForm(Args&&... args)
    {
        auto form = std::make_unique<T>(std::forward<Args>(args)...);
        T* raw = form.get();
        if (raw->OnCreate)
            raw->OnCreate(raw);
        m_forms.push_back(std::move(form));
        return raw;
    }
    // Takes a form the caller created.
    void AdoptForm(std::unique_ptr<TForm> form);
    bool Owns(const TForm* form) const;
    // Deletes the form once the current event has been handled.
    void ScheduleRelease(TForm* form);
    // Deletes the forms scheduled for release (the event loop calls it).
    void ProcessReleases();
    // Deletes one form now (a module unloading its screens).
    void DestroyForm(TForm* form);
    // Deletes every form (at the end).
    void DestroyForms();

    // The host's error display: the silent abort shows nothing, our
    // exceptions show their message, anything else a generic one.
    void ShowException(std::exception_ptr error);

    // The busy animation; calls nest and only the outermost pair shows.
    void BusyBegin(int kind);
    void BusyEnd();
    int BusyDepth() const { return m_busyDepth; }

    TCursor Cursor() const { return m_cursor; }
    void SetCursor(TCursor cursor);

private:
    Desktop* m_desktop = nullptr;
    TForm* m_mainForm = nullptr;
    std::vector<std::unique_ptr<TForm>> m_forms;
    std::vector<TForm*> m_released;
    int m_busyDepth = 0;
    TCursor m_cursor = TCursor::crDefault;
};

TApplication* Application();

} // namespace aph
