// A device that streams without end, splits its greeting's line end, or stops taking what is
// sent: the window thread and the memory stay bounded, and unit 0 starts with its own reply.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "link/link_engine.h"
#include "tests/link/link_fixture.h"

namespace veskator::link_test {
namespace {

// Real sockets, with what each tick received counted, and sends that can be made to stall as
// they would on a peer whose buffers are full (loopback buffers always take a whole frame).
class MeteredNetwork final : public Network {
  public:
    explicit MeteredNetwork(Network& inner) : m_inner(inner) {}
    std::unique_ptr<HostLookup> lookup(std::string_view hostName) override {
        return m_inner.lookup(hostName);
    }
    std::unique_ptr<StreamSocket> connect(Ipv4Address address, std::uint16_t port) override {
        auto inner = m_inner.connect(address, port);
        if (!inner) return nullptr;
        return std::make_unique<Socket>(*this, std::move(inner));
    }

    std::size_t received = 0;
    bool stallSends = false;

  private:
    class Socket final : public StreamSocket {
      public:
        Socket(MeteredNetwork& owner, std::unique_ptr<StreamSocket> inner)
            : m_owner(owner), m_inner(std::move(inner)) {}
        ConnectStatus connectStatus() override { return m_inner->connectStatus(); }
        IoResult send(std::span<const std::uint8_t> bytes) override {
            if (m_owner.stallSends) return {IoStatus::WouldBlock, 0};
            return m_inner->send(bytes);
        }
        IoResult receive(std::span<std::uint8_t> buffer) override {
            const IoResult r = m_inner->receive(buffer);
            if (r.status == IoStatus::Ok) m_owner.received += r.count;
            return r;
        }
        void setReadyHandler(std::function<void()> handler) override {
            m_inner->setReadyHandler(std::move(handler));
        }
        bool callsReadyHandler() const override { return m_inner->callsReadyHandler(); }

      private:
        MeteredNetwork& m_owner;
        std::unique_ptr<StreamSocket> m_inner;
    };

    Network& m_inner;
};

class HostileDeviceTest : public LinkEngineTest {
  protected:
    HostileDeviceTest() {
        network.setPatience(std::chrono::milliseconds(5));
        engine = std::make_unique<LinkEngine>(state, metered, clock, &logs);
        setTargetPort(targetPort);
    }
    MeteredNetwork metered{network};
};

TEST_F(HostileDeviceTest, AnEndlessGreetingIsGivenUpWithinItsBoundsOfBytesAndTime) {
    sim::SimConfig config;
    config.fault = sim::FaultMode::EndlessGreeting;
    startSim(config);
    engine->requestExchange(kCodeStatus);
    std::size_t mostInOneTick = 0;
    std::size_t longestTrace = 0;
    const auto start = clock.now();
    while (engine->status().lastError.empty() && clock.now() - start < std::chrono::seconds(30)) {
        metered.received = 0;
        runTicks(1);
        mostInOneTick = std::max(mostInOneTick, metered.received);
        longestTrace = std::max(longestTrace, engine->texts().trace.size());
    }
    EXPECT_EQ(engine->status().lastError, kErrorNoGreeting);
    EXPECT_LE(clock.now() - start, kPauseAfterConnect + kGreetingTimeout);
    EXPECT_GT(mostInOneTick, 0u);
    EXPECT_LE(mostInOneTick, kMaxReadPerTick);
    EXPECT_LE(longestTrace, kTraceLimit);
    EXPECT_TRUE(commands().empty());
}

TEST_F(HostileDeviceTest, WhatFollowsTheGreetingNeverShiftsUnitZero) {
    // A 99-character greeting: its carriage return ends one receive, the line feed comes alone.
    sim::SimConfig config;
    config.fault = sim::FaultMode::GreetingCrLf;
    config.greeting = std::string(99, 'G') + "\r\n";
    startSim(config);
    requestFullRead();
    ASSERT_TRUE(pumpUntilSettled());
    EXPECT_EQ(firstDifference(receiveArea(), deviceBytes(0, kReceiveAreaSize)), std::nullopt);
    EXPECT_EQ(engine->status().lastError, "");
}

TEST_F(HostileDeviceTest, AFrameThatCannotBeSentFailsWithinTheSendBound) {
    metered.stallSends = true;
    engine->requestExchange(kCodeStatus);
    const auto start = clock.now();
    ASSERT_TRUE(pumpUntil([&] { return !engine->status().lastError.empty(); }));
    EXPECT_EQ(engine->status().lastError, kErrorSend);
    const auto waited = clock.now() - start;
    EXPECT_GE(waited, kPauseAfterConnect + kSendTimeout);
    EXPECT_LE(waited, kPauseAfterConnect + kSendTimeout + std::chrono::milliseconds(100));
    ASSERT_TRUE(pumpUntilSettled(std::chrono::seconds(60)));
    EXPECT_EQ(connections(), kMaxAttempts);
    EXPECT_EQ(engine->status().lastError, "status request not sent: could not send to device");
}

// A port that refuses every connection at once.
class RefusingNetwork final : public Network {
  public:
    std::unique_ptr<HostLookup> lookup(std::string_view hostName) override {
        return lookupWithoutResolver(hostName);
    }
    std::unique_ptr<StreamSocket> connect(Ipv4Address, std::uint16_t) override {
        return std::make_unique<Refused>();
    }

  private:
    struct Refused final : StreamSocket {
        ConnectStatus connectStatus() override { return ConnectStatus::Failed; }
        IoResult send(std::span<const std::uint8_t>) override { return {IoStatus::Error, 0}; }
        IoResult receive(std::span<std::uint8_t>) override { return {IoStatus::Error, 0}; }
        void setReadyHandler(std::function<void()>) override {}
    };
};

// A day of the options window's loop-status poll against a port that refuses: every text the
// engine keeps stays within its bound, and nothing piles up.
TEST_F(HostileDeviceTest, ADayOfRefusedPollsLeavesEveryTextWithinItsBound) {
    RefusingNetwork refusing;
    LinkEngine polled(state, refusing, clock, &logs);
    polled.setTarget({"127.0.0.1", 4000});
    constexpr auto kPollEvery = std::chrono::milliseconds(1010);
    const auto dayEnd = clock.now() + std::chrono::hours(24);
    std::size_t longest = 0;
    int polls = 0;
    for (auto nextPoll = clock.now(); clock.now() < dayEnd;) {
        if (clock.now() >= nextPoll) {
            polled.requestExchange(kCodeStatus);
            nextPoll += kPollEvery;
            ++polls;
        }
        polled.tick();
        const LinkStatus& status = polled.status();
        const LinkTexts& texts = polled.texts();
        longest =
            std::max({longest, texts.trace.size(), texts.download.size(), status.lastError.size()});
        ASSERT_LE(polled.queued(), 1u);
        ASSERT_LE(status.transfers.size(), 1u);
        // The engine's own next tick when it has one, the poll's time otherwise.
        const auto next = polled.nextTick();
        clock.set(std::max(next ? std::min(*next, nextPoll) : nextPoll,
                           clock.now() + std::chrono::milliseconds(10)));
    }
    EXPECT_GT(polls, 85000);
    EXPECT_LE(polled.texts().trace.size(), kTraceLimit);
    EXPECT_LE(longest, kTraceLimit);
    EXPECT_EQ(polled.status().lastError, "status request not sent: connect failed");
    EXPECT_TRUE(polled.status().rewritten.empty());
}

}  // namespace
}  // namespace veskator::link_test
