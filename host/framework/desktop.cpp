#include "host/framework/desktop.h"

#include "host/data/exceptions.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace aph {

bool Desktop::Confirm(const QString& question)
{
    return MessageDlg(question, TMsgDlgType::mtConfirmation, mbYes | mbNo) == mrYes;
}

void Desktop::ReleaseForm(TForm& form)
{
    Application()->ScheduleRelease(&form);
}

TApplication::TApplication() = default;

TApplication::~TApplication()
{
    DestroyForms();
}

void TApplication::SetDesktop(Desktop* desktop)
{
    m_desktop = desktop;
    SetFormHost(desktop);
    if (desktop)
        SetExceptionHandler([this](std::exception_ptr e) { ShowException(e); });
    else
        SetExceptionHandler(nullptr);
}

void TApplication::AdoptForm(std::unique_ptr<TForm> form)
{
    m_forms.push_back(std::move(form));
}

bool TApplication::Owns(const TForm* form) const
{
    return std::any_of(m_forms.begin(), m_forms.end(),
                       [form](const auto& f) { return f.get() == form; });
}

void TApplication::ScheduleRelease(TForm* form)
{
    if (std::find(m_released.begin(), m_released.end(), form) == m_released.end())
        m_released.push_back(form);
}

void TApplication::ProcessReleases()
{
    while (!m_released.empty()) {
        TForm* form = m_released.back();
        m_released.pop_back();
        if (form == m_mainForm)
            m_mainForm = nullptr;
        const auto it = std::find_if(m_forms.begin(), m_forms.end(),
                                     [form](const auto& f) { return f.get() == form; });
        if (it != m_forms.end())
            m_forms.erase(it); // the form's destructor runs here
    }
}

void TApplication::DestroyForm(TForm* form)
{
    m_released.erase(std::remove(m_released.begin(), m_released.end(), form), m_released.end());
    if (form == m_mainForm)
        m_mainForm = nullptr;
    const auto it = std::find_if(m_forms.begin(), m_forms.end(),
                                 [form](const auto& f) { return f.get() == form; });
    if (it != m_forms.end())
        m_forms.erase(it);
}

void TApplication::DestroyForms()
{
    m_released.clear();
    m_mainForm = nullptr;
    while (!m_forms.empty())
        m_forms.pop_back();
}

void TApplication::ShowException(std::exception_ptr error)
{
    QString message;
    try {
        std::rethrow_exception(error);
    } catch (const EAbort&) {
        return;
    } catch (const Exception& e) {
        message = e.Message();
    } catch (const std::exception& e) {
        message = u"Erro inesperado: %1"_s.arg(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        message = u"Erro inesperado."_s;
    }
    if (m_desktop)
        m_desktop->ShowError(message);
}

void TApplication::BusyBegin(int /*kind*/)
{
    if (m_busyDepth++ == 0 && m_desktop)
        m_desktop->BusyChanged(true);
}

void TApplication::BusyEnd()
{
    if (m_busyDepth == 0)
        return; // an end without a start changes nothing
    if (--m_busyDepth == 0 && m_desktop)
        m_desktop->BusyChanged(false);
}

void TApplication::SetCursor(TCursor cursor)
{
    if (m_cursor == cursor)
        return;
    m_cursor = cursor;
    if (m_desktop)
        m_desktop->CursorChanged(cursor);
}

TApplication* Application()
{
    static TApplication application;
    return &application;
}

} // namespace aph
