// The main window on real Qt widgets (offscreen) and the Qt network, whose sockets progress only
// in the event loop: keystrokes in a real edit reach the device as one block write, and a hostile
// device is given up within the engine's bounds. The first test runs the engine on real time (about
// two seconds: the commit delay and the pause after connecting); the second on a virtual clock
// moved on faster than real time.

#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <algorithm>

#include "model/main_fields.h"
#include "platform/qt/qt_network.h"
#include "platform/qt/qt_window_system.h"
#include "resources/main_dialog_template.h"
#include "tests/support/main_window_rig.h"
#include "tests/support/widget_rig.h"

namespace veskator::mainwin_test {
namespace {

using namespace main_ids;

// Sockets kept full: before each send they are filled until they take no more, so against a
// device that never reads every frame meets the Qt socket's own WouldBlock. Loopback buffers
// would otherwise take a whole frame at once (and grow while the link waits), so the engine's
// send bound could never run out.
class CloggedNetwork final : public Network {
  public:
    explicit CloggedNetwork(Network& inner) : m_inner(inner) {}
    std::unique_ptr<HostLookup> lookup(std::string_view hostName) override {
        return m_inner.lookup(hostName);
    }
    std::unique_ptr<StreamSocket> connect(Ipv4Address address, std::uint16_t port) override {
        auto inner = m_inner.connect(address, port);
        if (!inner) return nullptr;
        return std::make_unique<Socket>(std::move(inner));
    }

  private:
    class Socket final : public StreamSocket {
      public:
        explicit Socket(std::unique_ptr<StreamSocket> inner) : m_inner(std::move(inner)) {}
        ConnectStatus connectStatus() override { return m_inner->connectStatus(); }
        IoResult send(std::span<const std::uint8_t> bytes) override {
            static constexpr std::array<std::uint8_t, 4096> kFiller{};
            while (m_inner->send(kFiller).status == IoStatus::Ok) {
                m_filled += kFiller.size();
                if (m_filled > (std::size_t{16} << 20)) {
                    ADD_FAILURE() << "the socket takes without bound";
                    break;
                }
            }
            return m_inner->send(bytes);
        }
        IoResult receive(std::span<std::uint8_t> buffer) override {
            return m_inner->receive(buffer);
        }
        void setReadyHandler(std::function<void()> handler) override {
            m_inner->setReadyHandler(std::move(handler));
        }
        bool callsReadyHandler() const override { return m_inner->callsReadyHandler(); }

      private:
        std::unique_ptr<StreamSocket> m_inner;
        std::size_t m_filled = 0;
    };

    Network& m_inner;
};

TEST(MainWindowOnWidgets, TypingIntoThePortEditWritesOneBlock) {
    test_support::WidgetRig rig("veskator-widgets");
    rig.imageAsRead();
    sim::CommunicatorSim& sim = rig.sim;
    LinkEngine& engine = rig.app->link();
    CMainProgDlg& window = rig.app->mainWindow();
    std::unique_ptr<QtDialog> dialog = rig.openMain();

    auto* edit = qobject_cast<QLineEdit*>(dialog->control(kServerPort1));
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->maxLength(), 11);
    QTest::keyClicks(edit, "5001");
    EXPECT_EQ(window.values().text(kServerPort1), "5001");

    const auto writes = [&sim] {
        std::vector<sim::SimEvent> found;
        for (const sim::SimEvent& e : sim.events()) {
            if (e.kind == sim::SimEvent::Kind::BlockWrite) found.push_back(e);
        }
        return found;
    };
    QElapsedTimer waited;
    waited.start();
    while ((writes().empty() || !engine.idle()) && waited.elapsed() < 8000) QTest::qWait(20);

    const auto found = writes();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].number, 0);
    EXPECT_EQ(std::string(found[0].data.begin() + 0x60, found[0].data.begin() + 0x65),
              std::string_view("5001\0", 5));
    // Nothing more is on its way: no commit pending, no request queued.
    EXPECT_TRUE(engine.idle());
    EXPECT_EQ(window.pendingCommits(), 0);
    EXPECT_TRUE(engine.settled());
    EXPECT_EQ(sim.connectionCount(), 1);

    window.onClosed();
}

// Each case on a fresh program: a device that streams a greeting without end is given up by its
// bytes, one that stops reading by the send bound. Virtual time moves 10 ms per step with a tick
// of the link (as the session's timer gives it at that pace), and about a millisecond of real
// time for the event loop.
TEST(MainWindowOnWidgets, AHostileDeviceIsGivenUpWithinTheEngineBounds) {
    struct Case {
        sim::FaultMode fault;
        std::string_view error;
        std::chrono::milliseconds earliest;
        std::chrono::milliseconds latest;
    };
    const std::array cases{
        Case{sim::FaultMode::EndlessGreeting, kErrorNoGreeting, kPauseAfterConnect,
             kPauseAfterConnect + kGreetingTimeout},
        // The greeting comes over real sockets while virtual time runs ten times faster: it may
        // take up to its own bound before the send bound starts.
        Case{sim::FaultMode::StallSends, kErrorSend, kPauseAfterConnect + kSendTimeout,
             kPauseAfterConnect + kGreetingTimeout + kSendTimeout},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        sim::SimConfig config;
        config.fault = c.fault;
        test_support::WidgetRig rig(
            "veskator-hostile", config, test_support::WidgetRig::Time::Virtual,
            [](Network& qt) { return std::make_unique<CloggedNetwork>(qt); });
        VirtualClock& clock = rig.virtualClock;
        LinkEngine& engine = rig.app->link();
        CMainProgDlg& window = rig.app->mainWindow();
        std::unique_ptr<QtDialog> dialog = rig.openMain();

        engine.requestExchange(kCodeStatus);
        const auto start = clock.now();
        std::size_t longestTrace = 0;
        QElapsedTimer real;
        real.start();
        while (engine.status().lastError.empty() && real.elapsed() < 10000) {
            clock.advance(10ms);
            engine.tick();
            QTest::qWait(1);
            longestTrace = std::max(longestTrace, engine.texts().trace.size());
        }
        EXPECT_EQ(engine.status().lastError, c.error);
        const auto waited = clock.now() - start;
        EXPECT_GE(waited, c.earliest);
        EXPECT_LE(waited, c.latest);
        EXPECT_LE(longestTrace, kTraceLimit);

        window.onClosed();
    }
}

}  // namespace
}  // namespace veskator::mainwin_test
