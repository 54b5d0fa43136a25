#pragma once

#include "host/data/dataset.h"
#include "host/framework/functions.h"
#include "host/qt/formview.h"
#include "host/qt/gridview.h"
#include "host/qt/qtdesktop.h"
#include "host/ui/dbgrid.h"
#include "tests/support/text.h"

#include <QApplication>
#include <QImage>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace aph::test {

// The Qt desktop, answering messages by itself (and keeping them), for the
// life of one test.
struct GuiTest : ::testing::Test
{
    std::unique_ptr<TQtDesktop> desktop;
    void SetUp() override
    {
        SetFormatSettings(TFormatSettings::ForLocale(u"pt_BR"_s));
        desktop = std::make_unique<TQtDesktop>();
        desktop->SetNonInteractive(true);
    }
    void TearDown() override { desktop.reset(); }
};

// Runs something once the next (nested) event loop is running: the way a
// test answers a modal dialog.
inline void WhenModal(std::function<void()> play)
{
    QTimer::singleShot(0, qApp, std::move(play));
}

// Pixels of a picture inside a rectangle that are clearly red.
inline int RedPixels(const QImage& image, const QRect& rect)
{
    int n = 0;
    const QRect r = rect.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 180 && c.green() < 90 && c.blue() < 90)
                ++n;
        }
    return n;
}

// Hours typed as HH:MM under the mask the approval grids use.
inline void HoursField(TField* f)
{
    f->SetEditMask(u"!90:00;1; "_s);
    f->OnGetText = [](TField* field, QString& text, bool) {
        if (field->IsNull())
            return;
        const int minutes = qRound(field->AsFloat() * 60);
        text = QStringLiteral("%1:%2")
                   .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                   .arg(minutes % 60, 2, 10, QLatin1Char('0'));
    };
    f->OnSetText = [](TField* field, const QString& text) {
        if (EmptyString(QString(text).remove(u':')))
            field->Clear();
        else
            field->SetAsFloat(static_cast<double>(StTimeToReal(text)));
    };
}

} // namespace aph::test
