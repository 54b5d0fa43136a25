// The scope guards: the undo runs however the scope ends, and an undo that
// fails never hides the failure it is undoing, nor ends the program.
#include "host/data/exceptions.h"
#include "host/data/scopeguard.h"

#include <gtest/gtest.h>

#include <functional>

using namespace Qt::StringLiterals;
using namespace aph;

namespace {

struct TDisplay
{
    int Depth = 0;
    bool FailOnEnable = false;
    void DisableControls() { ++Depth; }
    void EnableControls()
    {
        --Depth;
        if (FailOnEnable)
            throw Exception(u"reexibição"_s);
    }
};

QString MessageOf(const std::function<void()>& work)
{
    try {
        work();
    } catch (const Exception& e) {
        return e.Message();
    }
    return {};
}

} // namespace

TEST(ScopeGuards, ExitRunsOnEveryWayOutAndFailRunsOnlyOnFailure)
{
    int exits = 0, fails = 0;
    {
        TScopeExit exit([&] { ++exits; });
        TScopeFail fail([&] { ++fails; });
    }
    EXPECT_EQ(exits, 1);
    EXPECT_EQ(fails, 0);
    EXPECT_EQ(MessageOf([&] {
                  TScopeExit exit([&] { ++exits; });
                  TScopeFail fail([&] { ++fails; });
                  throw Exception(u"falha"_s);
              }),
              u"falha"_s);
    EXPECT_EQ(exits, 2);
    EXPECT_EQ(fails, 1);
    {
        TScopeExit exit([&] { ++exits; });
        exit.Release();
    }
    EXPECT_EQ(exits, 2) << "a released guard does nothing";
}

TEST(ScopeGuards, AnUndoThatFailsKeepsTheFirstFailureOrRaisesItsOwn)
{
    // While a failure unwinds, the undo's own failure is dropped.
    EXPECT_EQ(MessageOf([] {
                  TScopeExit exit([] { throw Exception(u"desfazer"_s); });
                  TScopeFail fail([] { throw Exception(u"desfazer"_s); });
                  throw Exception(u"primeira"_s);
              }),
              u"primeira"_s);
    // On a normal way out it is the failure.
    EXPECT_EQ(MessageOf([] { TScopeExit exit([] { throw Exception(u"desfazer"_s); }); }),
              u"desfazer"_s);
}

TEST(ScopeGuards, HandlersAndDisplayComeBackAsTheyWere)
{
    int calls = 0;
    std::function<void()> handler = [&] {
        ++calls;
    };
    EXPECT_EQ(MessageOf([&] {
                  TDetachHandler detached(handler);
                  EXPECT_FALSE(handler);
                  throw Exception(u"falha"_s);
              }),
              u"falha"_s);
    ASSERT_TRUE(handler);
    handler();
    EXPECT_EQ(calls, 1);

    TDisplay display;
    {
        TControlsDisabled outer(&display);
        TControlsDisabled inner(&display);
        EXPECT_EQ(display.Depth, 2);
    }
    EXPECT_EQ(display.Depth, 0);
    TControlsDisabled<TDisplay> none(nullptr);

    display.FailOnEnable = true;
    EXPECT_EQ(MessageOf([&] {
                  TControlsDisabled suspended(&display);
                  throw Exception(u"carga"_s);
              }),
              u"carga"_s);
    EXPECT_EQ(display.Depth, 0);
    EXPECT_EQ(MessageOf([&] { TControlsDisabled suspended(&display); }), u"reexibição"_s);
}
