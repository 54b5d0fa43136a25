#pragma once

#include "host/ui/canvas.h"
#include "host/ui/form.h"

#include <QList>
#include <QString>

namespace aph::test {

// Plays the user's keyboard on a form, the way the event loop delivers it:
// each key is one piece of input, and whatever escapes goes to the
// installed exception handler.
inline void PressKey(TForm& form, TWord key, TShiftState shift = ssNone)
{
    Perform([&] {
        TWord k = key;
        form.KeyDown(k, shift);
    });
}

inline void TypeText(TForm& form, const QString& text)
{
    for (const QChar c : text) {
        Perform([&] {
            QChar k = c;
            form.KeyPress(k);
        });
    }
}

// Records what a cell painting did.
class RecordingCanvas : public TCanvas
{
public:
    struct Text
    {
        QRect clip;
        int x, y;
        QString text;
        TColor color;
        bool bold;
        bool italic;
    };
    QList<QRect> fills;
    QList<TColor> fillColors;
    QList<Text> texts;

    void FillRect(const QRect& rect) override
    {
        fills << rect;
        fillColors << Brush.Color;
    }
    void TextRect(const QRect& clip, int x, int y, const QString& text) override
    {
        texts << Text{clip, x, y, text, Font.Color, Font.Bold, Font.Italic};
    }
    int TextWidth(const QString& text) override { return static_cast<int>(text.size()) * 6; }
};

} // namespace aph::test

namespace aph::test {

// A form host without windows: shows and hides by flag, answers the
// grid's questions from a preset answer, and deletes released forms when
// told to.
class HeadlessFormHost : public IFormHost
{
public:
    HeadlessFormHost() { SetFormHost(this); }
    ~HeadlessFormHost() override { SetFormHost(nullptr); }
    bool answer = true;
    QStringList questions;
    std::function<void(TForm&)> onModal;

    void ShowForm(TForm&) override {}
    void HideForm(TForm&) override {}
    int RunModal(TForm& form) override
    {
        if (onModal)
            onModal(form);
        return form.ModalResult();
    }
    void ReleaseForm(TForm&) override {}
    bool Confirm(const QString& question) override
    {
        questions << question;
        return answer;
    }
};

} // namespace aph::test
