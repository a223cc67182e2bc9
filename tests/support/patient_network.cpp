#include "tests/support/patient_network.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

namespace veskator::test_support {
namespace {

using SteadyTime = std::chrono::steady_clock;
constexpr auto kPatienceStep = std::chrono::microseconds(100);

class PatientSocket final : public StreamSocket {
  public:
    PatientSocket(std::unique_ptr<StreamSocket> inner, const Clock& clock,
                  std::chrono::milliseconds patience, std::shared_ptr<int> open)
        : m_inner(std::move(inner)), m_clock(clock), m_patience(patience), m_open(std::move(open)) {
        ++*m_open;
    }
    ~PatientSocket() override { --*m_open; }
    PatientSocket(const PatientSocket&) = delete;
    PatientSocket& operator=(const PatientSocket&) = delete;

    ConnectStatus connectStatus() override {
        ConnectStatus status = m_inner->connectStatus();
        const auto end = SteadyTime::now() + m_patience;
        while (status == ConnectStatus::Pending && SteadyTime::now() < end) {
            std::this_thread::sleep_for(kPatienceStep);
            status = m_inner->connectStatus();
        }
        if (status == ConnectStatus::Connected && !m_connected) {
            m_connected = true;
            owe();  // the greeting
        }
        return status;
    }

    IoResult send(std::span<const std::uint8_t> bytes) override {
        const IoResult r = m_inner->send(bytes);
        if (r.status == IoStatus::Ok && r.count > 0) owe();
        return r;
    }

    IoResult receive(std::span<std::uint8_t> buffer) override {
        IoResult r = m_inner->receive(buffer);
        // A part of an answer leaves the rest owed (a reply may come in pieces), with a grace of
        // its own from this piece on.
        if (r.status != IoStatus::WouldBlock) {
            if (r.status != IoStatus::Ok) m_owed = false;
            if (m_owed) m_owedSince = m_clock.now();
            return r;
        }
        if (!m_owed || m_clock.now() - m_owedSince < PatientNetwork::kGrace) return r;
        m_owed = false;
        const auto end = SteadyTime::now() + m_patience;
        while (r.status == IoStatus::WouldBlock && SteadyTime::now() < end) {
            std::this_thread::sleep_for(kPatienceStep);
            r = m_inner->receive(buffer);
        }
        return r;
    }

    void setReadyHandler(std::function<void()> handler) override {
        m_inner->setReadyHandler(std::move(handler));
    }
    bool callsReadyHandler() const override { return m_inner->callsReadyHandler(); }

  private:
    void owe() {
        m_owed = true;
        m_owedSince = m_clock.now();
    }

    std::unique_ptr<StreamSocket> m_inner;
    const Clock& m_clock;
    std::chrono::milliseconds m_patience;
    std::shared_ptr<int> m_open;
    Clock::TimePoint m_owedSince{};
    bool m_connected = false;
    bool m_owed = false;
};

}  // namespace

std::unique_ptr<HostLookup> PatientNetwork::lookup(std::string_view hostName) {
    return m_inner.lookup(hostName);
}

std::unique_ptr<StreamSocket> PatientNetwork::connect(Ipv4Address address, std::uint16_t port) {
    // Tests talk to loopback only.
    if ((address.value >> 24) != 127) {
        ADD_FAILURE() << "a test tried to connect outside loopback";
        return nullptr;
    }
    auto socket = m_inner.connect(address, port);
    if (!socket) return nullptr;
    return std::make_unique<PatientSocket>(std::move(socket), m_clock, m_patience, m_open);
}

std::filesystem::path makeTempDir(std::string_view prefix) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no temporary directory");
    return pattern;
}

std::string textOf(std::span<const std::uint8_t> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace veskator::test_support
