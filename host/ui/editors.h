#pragma once

#include "host/data/formatsettings.h"
#include "host/ui/control.h"
#include "host/ui/editmodel.h"

namespace aph {

class TDataSource;
class TRadioButton;

// A one-line edit box. Text set by code fires OnChange; typing goes
// through the edit model (and its mask, when there is one).
class TCustomEdit : public TControl
{
public:
    explicit TCustomEdit(QString name);
    QString Text() const;
    // The text as the box shows it (mask blanks and literals included).
    QString DisplayText() const { return m_model.Display(); }
    void SetText(const QString& text);
    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool readOnly);
    int MaxLength() const { return m_model.MaxLength(); }
    void SetMaxLength(int length) { m_model.SetMaxLength(length); }
    const QString& EditMask() const { return m_editMask; }
    void SetEditMask(const QString& mask);
    bool Modified() const { return m_model.Modified(); }
    void Clear() { SetText(QString()); }
    // Where typing goes: the cursor in the shown text, or the whole text
    // selected (entering the box by keyboard, or Ctrl+A).
    int CursorPosition() const { return m_model.Cursor(); }
    bool AllSelected() const { return m_model.AllSelected(); }
    void SelectAll();

    TNotifyEvent OnChange;

    void KeyDown(TWord& key, TShiftState shift) override;
    void KeyPress(QChar& key) override;
    void DoEnter() override;

protected:
    virtual void TextChanged();
    // One typed character into the text; false when it has no place.
    virtual bool TypeKey(QChar key) { return m_model.TypeChar(key); }
    TEditModel& Model() { return m_model; }

private:
    TEditModel m_model;
    QString m_editMask;
    bool m_readOnly = false;
};

class TEdit : public TCustomEdit
{
public:
    using TCustomEdit::TCustomEdit;
    const char* ClassName() const override { return "TEdit"; }
};

// The framework's date edit: whole days only, typed in the short date form.
class TDateEditPlus : public TCustomEdit
{
public:
    explicit TDateEditPlus(QString name);
    const char* ClassName() const override { return "TDateEditPlus"; }

    // The date of the text; 0 when the text is empty or no date.
    TDateTime GetDate() const;
    TDateTime Date() const { return GetDate(); }
    // Shows a date without its time; 0 empties the box.
    void SetDate(TDateTime date);
    bool IsDateValid() const;
    // Refuses text that is no date (empty text passes), with the date
    // edit's own message.
    void CheckValidDate() const;

    bool SaveTime() const { return false; }
    TColor ValidDateColor() const { return m_validDateColor; }
    const QStringList& DayNames() const { return m_dayNames; }
    void SetDayNames(const QStringList& names) { m_dayNames = names; }

protected:
    bool TypeKey(QChar key) override;

private:
    // Whether a digit typed now starts the next part of the date.
    bool SeparatorDue() const;

    TColor m_validDateColor = clBlue;
    QStringList m_dayNames;
};

// The framework's number edit: a value shown with a fixed number of
// decimals, optionally as currency and with thousands separators.
class TNumberEdit : public TCustomEdit
{
public:
    explicit TNumberEdit(QString name);
    const char* ClassName() const override { return "TNumberEdit"; }
    double Value() const { return m_value; }
    void SetNumber(double value);
    bool Currency() const { return m_currency; }
    void SetCurrency(bool currency);
    int Decimals() const { return m_decimals; }
    void SetDecimals(int decimals);
    bool ThousandSeparator() const { return m_thousands; }
    void SetThousandSeparator(bool on);
    // The text the box shows for a value.
    QString FormatValue(double value) const;

protected:
    void TextChanged() override;

private:
    double m_value = 0;
    bool m_currency = false;
    int m_decimals = 2;
    bool m_thousands = true;
    bool m_updating = false;
};

// A check box. Its click handler runs on every change of state, whether the
// user clicked or code set it.
class TCheckBox : public TControl
{
public:
    explicit TCheckBox(QString name);
    const char* ClassName() const override { return "TCheckBox"; }
    bool Checked() const { return m_checked; }
    void SetChecked(bool checked);
    // The user's click toggles the box.
    void Click() override;
    void KeyPress(QChar& key) override;

private:
    bool m_checked = false;
};

// A radio button; checking one unchecks the others of the same parent.
// Its click handler runs when it becomes checked, by the user or by code.
// Only the checked one of a group is a tab stop; the arrow keys move to
// the group's next or previous button and check it, as in Qt.
class TRadioButton : public TControl
{
public:
    explicit TRadioButton(QString name);
    const char* ClassName() const override { return "TRadioButton"; }
    bool Checked() const { return m_checked; }
    void SetChecked(bool checked);
    void Click() override;
    void KeyDown(TWord& key, TShiftState shift) override;
    void KeyPress(QChar& key) override;

private:
    bool m_checked = false;
};

// The framework's picker button: opens a list for its associated "Lista"
// radio button.
class TBtnPesquisa : public TSpeedButton
{
public:
    explicit TBtnPesquisa(QString name);
    const char* ClassName() const override { return "TBtnPesquisa"; }
    TRadioButton* Associate() const { return m_associate; }
    void SetAssociate(TRadioButton* radio) { m_associate = radio; }
    const QString& Title() const { return m_title; }
    void SetTitle(const QString& title) { m_title = title; }
    TDataSource* DataSource() const { return m_dataSource; }
    void SetDataSource(TDataSource* source) { m_dataSource = source; }
    const QString& EmptyText() const { return m_emptyText; }
    void SetEmptyText(const QString& text) { m_emptyText = text; }

private:
    TRadioButton* m_associate = nullptr;
    QString m_title;
    TDataSource* m_dataSource = nullptr;
    QString m_emptyText;
};

} // namespace aph
