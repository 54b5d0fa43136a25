#include "tests/support/scripted_desktop.h"

#include "host/data/datasource.h"

namespace aph::test {

ScriptedDesktop::ScriptedDesktop()
{
    Application()->SetDesktop(this);
}

ScriptedDesktop::~ScriptedDesktop()
{
    Application()->DestroyForms();
    Application()->SetDesktop(nullptr);
    while (Application()->BusyDepth() > 0)
        Application()->BusyEnd();
}

void ScriptedDesktop::ShowForm(TForm& form)
{
    shownForms << form.Name();
}

void ScriptedDesktop::HideForm(TForm&) {}

int ScriptedDesktop::RunModal(TForm& form)
{
    shownForms << form.Name();
    if (modal.empty())
        return form.ModalResult();
    auto play = std::move(modal.front());
    modal.pop_front();
    play(form);
    return form.ModalResult();
}

void ScriptedDesktop::ShowError(const QString& text)
{
    errors << text;
}

int ScriptedDesktop::MessageDlg(const QString& text, TMsgDlgType, TMsgDlgButtons buttons)
{
    questions << text;
    if (answers.empty())
        return (buttons & mbNo) ? mrNo : (buttons & mbCancel) ? mrCancel : mrOk;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

bool ScriptedDesktop::PickList(const TPickListRequest& request, QStringList& keys)
{
    pickLists << request;
    if (listPicks.empty())
        return false;
    const std::optional<QStringList> pick = listPicks.front();
    listPicks.pop_front();
    if (!pick)
        return false;
    keys = *pick;
    return true;
}

bool ScriptedDesktop::PickRow(TDataSource* source, const QString& title, bool)
{
    pickRowTitles << title;
    if (rowPicks.empty())
        return false;
    const int row = rowPicks.front();
    rowPicks.pop_front();
    TClientDataSet* ds = source ? source->DataSet() : nullptr;
    if (row < 0 || !ds || row >= ds->RecordCount())
        return false;
    ds->SetRecNo(row + 1);
    return true;
}

bool ScriptedDesktop::Search(TClientDataSet* dataSet)
{
    searches << dataSet->Name();
    if (searchPicks.empty())
        return false;
    const auto [field, value] = searchPicks.front();
    searchPicks.pop_front();
    return dataSet->Locate(field, value,
                           static_cast<int>(TLocateOption::loCaseInsensitive) |
                               static_cast<int>(TLocateOption::loPartialKey));
}

bool ScriptedDesktop::InputQuery(const QString&, const QString& prompt, QString& value,
                                 const TInputCheck& check)
{
    questions << prompt;
    for (;;) {
        if (inputs.empty())
            return false;
        const std::optional<QString> input = inputs.front();
        inputs.pop_front();
        if (!input)
            return false;
        const QString fault = check ? check(*input) : QString();
        if (fault.isEmpty()) {
            value = *input;
            return true;
        }
        inputChecks << fault;
    }
}

bool ScriptedDesktop::PickString(const QString& title, const QStringList&, int& index)
{
    questions << title;
    if (stringPicks.empty())
        return false;
    index = stringPicks.front();
    stringPicks.pop_front();
    return index >= 0;
}

bool ScriptedDesktop::SaveFileName(const QString& title, const QString& filter, QString& path)
{
    saveFileTitles << title + u'|' + filter;
    saveFileSuggestions << path;
    if (saveFiles.empty())
        return false;
    const std::optional<QString> file = saveFiles.front();
    saveFiles.pop_front();
    if (!file)
        return false;
    path = *file;
    return true;
}

void ScriptedDesktop::BusyChanged(bool busy)
{
    busyChanges << busy;
}

void ScriptedDesktop::CursorChanged(TCursor c)
{
    cursor = c;
}

namespace {

void Input(const std::function<void()>& input)
{
    Perform(input);
    Application()->ProcessReleases();
}

} // namespace

void UserClick(TControl* control)
{
    Input([control] { control->Click(); });
}

void UserKey(TForm& form, TWord key, TShiftState shift)
{
    Input([&form, key, shift] {
        TWord k = key;
        form.KeyDown(k, shift);
    });
}

void UserType(TForm& form, const QString& text)
{
    for (const QChar c : text)
        Input([&form, c] {
            QChar k = c;
            form.KeyPress(k);
        });
}

void UserFocus(TControl* control)
{
    Input([control] { control->SetFocus(); });
}

} // namespace aph::test
