#pragma once

#include "host/ui/control.h"

namespace aph {

// A menu entry: caption with "&" marking its accelerator, an optional
// shortcut, enabled state and click handler; sub-entries are its children.
// A caption of "-" is a separator.
class TMenuItem : public TWinControl
{
public:
    explicit TMenuItem(QString name);
    const char* ClassName() const override { return "TMenuItem"; }
    const TShortCut& ShortCut() const { return m_shortCut; }
    void SetShortCut(const TShortCut& shortCut);
    bool IsSeparator() const { return Caption() == u"-"; }
    bool CanFocus() const override { return false; }
    // Runs the entry (nothing when it or a parent entry is disabled).
    void Click() override;
    // The enabled entry with this shortcut, searching the sub-entries.
    TMenuItem* FindShortCut(const TShortCut& shortCut);

private:
    TShortCut m_shortCut;
};

// The form's menu bar; its children are the top-level entries.
class TMainMenu : public TWinControl
{
public:
    explicit TMainMenu(QString name);
    const char* ClassName() const override { return "TMainMenu"; }
    bool CanFocus() const override { return false; }
    TMenuItem* FindShortCut(const TShortCut& shortCut);
};

} // namespace aph
