#pragma once

#include "approval/cli_aph31500.h"
#include "host/data/exceptions.h"
#include "tests/support/scripted_desktop.h"
#include "tests/support/text.h"

#include <QString>

#include <gtest/gtest.h>

#include <optional>

namespace aph::test {

inline Value N(std::optional<double> v)
{
    return v ? Value::FromNumber(*v) : Value();
}

// The approval screen without a server: its datasets filled by hand, as
// the loads would fill them.
struct ApprovalScreen : ::testing::Test
{
    std::unique_ptr<ScriptedDesktop> desktop = std::make_unique<ScriptedDesktop>();
    std::unique_ptr<TfrmAprovaHoras> form;

    void SetUp() override
    {
        SetFormatSettings(TFormatSettings::ForLocale(u"pt_BR.UTF-8"_s));
        form = std::make_unique<TfrmAprovaHoras>();
    }
    void TearDown() override
    {
        form.reset();
        desktop.reset();
    }

    // One service row with its billing data.
    void Service(const char* billing, std::optional<double> contracted, double hourValue,
                 double contractValue = 100)
    {
        TClientDataSet& ds = form->cdsServPrest;
        TDataPacket p;
        p.Fields = ds.FieldDefs();
        TRowValues row(static_cast<std::size_t>(p.Fields.size()));
        const auto set = [&](const char* name, Value v) {
            row[static_cast<std::size_t>(p.FieldIndex(QString::fromUtf8(name)))] = std::move(v);
        };
        set("CDCLIENTE", Value::FromString(u"000101"));
        set("IDTIPOCOBRCONT", billing ? Value::FromString(QString::fromUtf8(billing)) : Value());
        set("QTSERVCONT", N(contracted));
        set("VRDEHORACLIE", Value::FromNumber(hourValue));
        set("VRHORACLIE", Value::FromNumber(contractValue));
        p.Rows.push_back(std::make_shared<const TRowValues>(std::move(row)));
        const auto scroll = ds.AfterScroll;
        ds.AfterScroll = nullptr; // no server behind this screen
        ds.SetData(p);
        ds.AfterScroll = scroll;
    }

    struct Day
    {
        double date;
        std::optional<double> worked, billed, commission;
        const char* inclusion = nullptr;
    };
    // The days of a CHT, in the working copy.
    void Days(std::initializer_list<Day> days)
    {
        TClientDataSet& ds = form->cdsAuxCSA;
        TDataPacket p;
        p.Fields = ds.FieldDefs();
        for (const Day& d : days) {
            TRowValues row(static_cast<std::size_t>(p.Fields.size()));
            const auto set = [&](const char* name, Value v) {
                row[static_cast<std::size_t>(p.FieldIndex(QString::fromUtf8(name)))] = std::move(v);
            };
            set("DTSERVPREST", Value::FromNumber(d.date));
            set("QTHRTRAB", N(d.worked));
            set("QTHRAPROFATU", N(d.billed));
            set("QTHRAPRCOMIS", N(d.commission));
            if (d.inclusion)
                set("INCLUSAO", Value::FromString(QString::fromUtf8(d.inclusion)));
            p.Rows.push_back(std::make_shared<const TRowValues>(std::move(row)));
        }
        ds.SetData(p);
    }

    QString Text(const char* field)
    {
        return form->cdsAuxCSA.FieldByName(QString::fromUtf8(field))->DisplayText();
    }
};

} // namespace aph::test
