// Idle is idle: with nothing due the three windows' timers rest; whatever falls due wakes them,
// whichever window it came from, and once it is done they rest again.

#include <gtest/gtest.h>

#include <functional>

#include "dialer/dialer_receiver_dlg.h"
#include "resources/dialer_dialog_template.h"
#include "tests/options/options_fixture.h"

namespace veskator::options_test {
namespace {

namespace ids = options_ids;

TEST_F(OptionsWindowTest, WindowsRestUntilSomethingIsDueAndRestAgainAfterIt) {
    openOptions();
    CDialerReceiverDlg dialerWindow(services, app->session());
    HeadlessDialog& dialer = windows.open(dialerWindow);
    const auto allSettled = [&] {
        return pumpUntil([&] {
                   return options->pendingEdits() == 0 && dialerWindow.pendingEdits() == 0 &&
                          settled();
               }) &&
               shownAfter();
    };
    ASSERT_TRUE(allSettled());
    const auto restsFor = [&](std::chrono::milliseconds duration) {
        const int ticks = windows.tickCount();
        pumpFor(duration);
        return windows.tickCount() == ticks;
    };
    EXPECT_TRUE(restsFor(10min));

    struct Case {
        const char* what;
        std::function<void()> act;
        std::function<bool()> done;
    };
    const int reads = engine->status().readsCompleted;
    const std::array<Case, 4> cases{{
        {"a text typed into the options window",
         [&] { opt->replaceText(ids::kMailServer, "smtp.example.org"); },
         [&] {
             return deviceBytes(static_cast<std::size_t>(imageOffset({2, 0x40})), 16) ==
                    "smtp.example.org";
         }},
        {"a port typed into the main window",
         [&] { dialog->replaceText(main_ids::kServerPort1, "4321"); },
         [&] { return blockWrites().size() == 1 && blockWrites()[0].number == 0; }},
        {"a delay typed into the dialer window",
         [&] { dialer.replaceText(dialer_ids::kLineDelay, "9"); },
         [&] { return !blockWrites().empty(); }},
        {"a read started in the main window", [&] { dialog->click(main_ids::kStartGo); },
         [&] { return engine->status().readsCompleted == reads + 1; }},
    }};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim->clearEvents();
        c.act();
        ASSERT_TRUE(allSettled());
        EXPECT_TRUE(c.done());
        EXPECT_TRUE(restsFor(1min));
    }

    // Polling: about once a second, the window resting in between; off, all rest again.
    sim->clearEvents();
    opt->click(ids::kReadLoopStatus);
    pumpFor(10s);
    opt->click(ids::kReadLoopStatus);
    // Counted once the last poll's exchange has ended. On a loaded machine the rig's virtual time
    // runs ahead of the real sockets, an exchange spans a poll's due time, and that poll is not
    // asked twice: fewer arrive, never more.
    ASSERT_TRUE(allSettled());
    const auto polls = events(sim::SimEvent::Kind::Status).size();
    EXPECT_GE(polls, 5u);
    EXPECT_LE(polls, 11u);
    EXPECT_TRUE(restsFor(1min));
}

}  // namespace
}  // namespace veskator::options_test
