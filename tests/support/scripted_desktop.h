#pragma once

#include "host/data/dataset.h"
#include "host/framework/desktop.h"

#include <QStringList>

#include <deque>
#include <functional>

namespace aph::test {

// The desktop of the screen tests: records every message, question and
// busy change, and plays a script of the user's answers. Installed as the
// application's desktop for its lifetime.
class ScriptedDesktop : public Desktop
{
public:
    ScriptedDesktop();
    ~ScriptedDesktop() override;

    // What the user saw.
    QStringList errors;
    QStringList questions;
    QStringList shownForms;
    QList<bool> busyChanges;
    int maxBusyDepth = 0;
    QList<TPickListRequest> pickLists;
    QStringList pickRowTitles;
    QStringList searches;
    QStringList statuses;
    QStringList screenStatuses;      // the screen's standing notes
    QStringList clipboard;           // what was copied, in order
    QStringList saveFileTitles;      // each save-file question: "title|filter"
    QStringList saveFileSuggestions; // the file name each one proposed
    QStringList inputChecks;         // what a question's check said of a value

    // What the user will do, in order. An empty script answers No, closes
    // a modal form without confirming, and leaves pickers without choosing.
    std::deque<int> answers;                             // MessageDlg results
    std::deque<std::function<void(TForm&)>> modal;       // one per modal form shown
    std::deque<std::optional<QStringList>> listPicks;    // PickList: keys, or none
    std::deque<int> rowPicks;                            // PickRow: row index, -1 none
    std::deque<std::pair<QString, QString>> searchPicks; // Search: field and value
    // InputQuery: one per value typed; a value the question's check finds
    // wrong is followed by the corrected one, typed in the same question.
    std::deque<std::optional<QString>> inputs;
    std::deque<int> stringPicks;                  // PickString
    std::deque<std::optional<QString>> saveFiles; // SaveFileName: a path, or none

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
    void ShowStatus(const QString& text) override { statuses << text; }
    void ShowScreenStatus(const QString& text) override { screenStatuses << text; }
    void CopyToClipboard(const QString& text) override { clipboard << text; }
    TCursor cursor = TCursor::crDefault;
};

// The user's hand: one input at a time, as the event loop delivers it
// (errors go to the desktop, released forms are deleted afterwards).
void UserClick(TControl* control);
void UserKey(TForm& form, TWord key, TShiftState shift = ssNone);
void UserType(TForm& form, const QString& text);
void UserFocus(TControl* control);

} // namespace aph::test
