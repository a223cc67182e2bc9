// The link engine against a hostile device, all in memory on virtual time: the front of the input
// is what the windows ask of the engine and how time passes, the back what the device does (its
// connects, greetings, replies, pieces, delays, stalls and closes; zeros: a device that answers
// at once). Checked throughout:
//   - an image block is written only to the device whose data the image holds, once it holds
//     some, with the image's bytes (13 as 12), and only when that block's write was asked for;
//   - a read reply is stored only at the unit whose frame went out, and only by a full read; the
//     engine changes nothing of the workspace but the units it reads and the 13s it sends as 12;
//   - a read, a load, an alarm-code download, a dialer upload or a pairing is reported done only
//     when each of its frames reached the device;
//   - the texts the engine keeps stay bounded;
// and, once the input has ended and nothing more is asked, the engine is idle with no connection
// open within a bounded virtual time.

#include <algorithm>
#include <array>
#include <bitset>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "link/link_engine.h"
#include "link/parameter_load.h"
#include "model/dialer_data.h"
#include "model/programmer_state.h"
#include "platform/network.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/memory_files.h"
#include "tools/communicator_sim/frame_reader.h"

namespace veskator {
namespace {

using fuzz::FuzzInput;
using fuzz::printable;
using TimePoint = Clock::TimePoint;
using Bytes = std::array<std::uint8_t, kWorkspaceSize>;
using Unit = std::array<std::uint8_t, kReadUnitSize>;
using Block = std::array<std::uint8_t, kBlockSize>;
using ByteString = std::vector<std::uint8_t>;

constexpr std::uint32_t kLoopback = 0x7f000001;
constexpr std::array<std::uint16_t, 2> kDevicePorts{4000, 4001};
constexpr std::size_t kDeviceMemorySize = 32768;
constexpr std::string_view kGreeting = "NORVANE COMMUNICATOR READY\r\n";
constexpr std::string_view kPairingKeyword = "DOWNLOADBT/";
constexpr std::string_view kPairingReply = "BT PAIRED\r";
constexpr std::uint8_t kExtraByte = 0xEE;
// Every text the engine keeps but the trace (which has kTraceLimit) is a sentence or a frame.
constexpr std::size_t kTextLimit = 512;
// Once the input has ended: ticks this far apart, and time enough for every job that can be under
// way, plus each single exchange still queued.
constexpr std::chrono::milliseconds kSettleTick{250};
constexpr std::chrono::minutes kSettleTime{10};
constexpr std::chrono::seconds kSettlePerExchange{2};
// Ticks asked for early in a row before time moves on.
constexpr int kEarlyTicks = 4;

// Device 0 at port 4000 and device 1 at 4001, by address or by name; a target without a port and
// one whose name is found nowhere.
const std::array<Target, 6> kTargets{{{"127.0.0.1", 4000},
                                      {"127.0.0.1", 4001},
                                      {"localhost", 4000},
                                      {"LocalHost ", 4001},
                                      {"127.0.0.1", 0},
                                      {"nowhere.invalid", 4000}}};

std::string lowerTrimmed(std::string_view host) {
    std::string name(trimmedHost(host));
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name;
}

// The device a target names: 0, 1, or -1 for none.
int deviceOf(const Target& target) {
    const std::string host = lowerTrimmed(target.host);
    if (host != "127.0.0.1" && host != "localhost") return -1;
    for (std::size_t d = 0; d < kDevicePorts.size(); ++d) {
        if (target.port == kDevicePorts[d]) return static_cast<int>(d);
    }
    return -1;
}

ByteString bytesOf(std::string_view text) { return ByteString(text.begin(), text.end()); }

Block sentBlock(std::span<const std::uint8_t> block) {
    Block b{};
    std::transform(block.begin(), block.end(), b.begin(), sentAs);
    return b;
}

// The unit a read frame asks for: "read program0", "read program1", "read programA" + suffix.
std::optional<int> readUnitOf(std::string_view text) {
    if (text == "read program0") return 0;
    if (text == "read program1") return 1;
    if (text.size() == kReadPrefix.size() + 1 && text.starts_with(kReadPrefix)) {
        return sim::suffixNumber(static_cast<std::uint8_t>(text.back()));
    }
    return std::nullopt;
}

class VirtualTime final : public Clock {
  public:
    TimePoint now() const override { return m_now; }
    void advance(std::chrono::milliseconds d) { m_now += d; }

  private:
    TimePoint m_now = TimePoint{} + std::chrono::hours(1);
};

class Harness;

// One connection as the device sees it: what it has been sent, what it sends back and when.
class FakeSocket final : public StreamSocket {
  public:
    FakeSocket(Harness& harness, int device) : m_harness(harness), m_device(device) {}
    ~FakeSocket() override;
    ConnectStatus connectStatus() override;
    IoResult send(std::span<const std::uint8_t> bytes) override;
    IoResult receive(std::span<std::uint8_t> buffer) override;
    void setReadyHandler(std::function<void()> handler) override { m_ready = std::move(handler); }

    // The device's bytes, in order: a piece never comes before one queued earlier.
    void queue(TimePoint due, ByteString bytes) {
        if (closed(due) || bytes.empty()) return;
        if (!m_output.empty()) due = std::max(due, m_output.back().due);
        m_output.push_back({due, std::move(bytes)});
    }
    // The device closes once what it has sent by then has gone.
    void closeAt(TimePoint at) {
        if (!m_output.empty()) at = std::max(at, m_output.back().due);
        if (!m_closeAt || at < *m_closeAt) m_closeAt = at;
    }
    bool closed(TimePoint now) const { return m_closeAt && now >= *m_closeAt; }
    bool hasNews(TimePoint now) const {
        return (m_connect == ConnectStatus::Pending && now >= m_connectAt) ||
               (!m_output.empty() && m_output.front().due <= now) || closed(now) ||
               (m_streamFrom && now >= *m_streamFrom);
    }
    void notify() {
        if (m_ready) m_ready();
    }

    struct Piece {
        TimePoint due;
        ByteString bytes;
    };

    Harness& m_harness;
    int m_device;
    ConnectStatus m_connect = ConnectStatus::Pending;
    TimePoint m_connectAt{};
    ConnectStatus m_connectThen = ConnectStatus::Connected;
    std::deque<Piece> m_output;
    std::optional<TimePoint> m_closeAt;
    TimePoint m_stalledUntil{};
    // From then on, once what was queued has gone, the device sends text without end.
    std::optional<TimePoint> m_streamFrom;
    sim::FrameReader m_reader;
    ByteString m_received;
    // The device did something no engine can tell from an answer (bytes that answer nothing,
    // an answer given twice): what is stored from this connection is not judged by its content.
    bool m_ambiguous = false;
    int m_lastReadUnit = -1;
    std::map<int, std::set<Unit>> m_replies;  // every whole reply sent, by unit
    int m_rewrittenBlock = -1;  // 13s of this block went to 12: its write frame must come next
    std::function<void()> m_ready;
};

class FakeLookup final : public HostLookup {
  public:
    FakeLookup(const Clock& clock, TimePoint ready, bool found)
        : m_clock(clock), m_ready(ready), m_found(found) {}
    LookupStatus status() override {
        if (m_clock.now() < m_ready) return LookupStatus::Pending;
        return m_found ? LookupStatus::Done : LookupStatus::Failed;
    }
    Ipv4Address address() override { return {kLoopback}; }

  private:
    const Clock& m_clock;
    TimePoint m_ready;
    bool m_found;
};

class FakeNetwork final : public Network {
  public:
    explicit FakeNetwork(Harness& harness) : m_harness(harness) {}
    std::unique_ptr<HostLookup> lookup(std::string_view hostName) override;
    std::unique_ptr<StreamSocket> connect(Ipv4Address address, std::uint16_t port) override;

  private:
    Harness& m_harness;
};

class FixedCalendar final : public WallClock {
  public:
    LocalTime localNow() const override { return {2026, 12, 8, 14, 3, 22}; }
};

class Harness {
  public:
    explicit Harness(FuzzInput& input);
    ~Harness() { m_tearingDown = true; }
    void run();

    // For the fake network and sockets.
    int decide(int n) { return m_input.backBelow(n); }
    int decideByte() { return m_input.back(); }
    TimePoint now() const { return m_clock.now(); }
    const Clock& clock() const { return m_clock; }
    void opened(FakeSocket* socket) { m_sockets.insert(socket); }
    void closing(FakeSocket& socket);
    void checkWorkspace(FakeSocket* socket);
    void greet(FakeSocket& socket);
    void checkFreshFrame(FakeSocket& socket, std::span<const std::uint8_t> bytes);
    void onFrame(FakeSocket& socket, const sim::Frame& frame);

  private:
    void act();
    void advance(std::chrono::milliseconds d);
    void runTick();
    void afterTick();
    void checkTexts() const;
    void checkReports();
    void settle();
    void noteImage();
    void acceptWorkspace();
    void reply(FakeSocket& socket, ByteString bytes, std::optional<int> unit);
    void imageWriteReceived(FakeSocket& socket, int block, std::span<const std::uint8_t> data);
    void chunkReceived(int block, std::span<const std::uint8_t> data);
    void askAllOf(std::bitset<kBlockCount> blocks) { m_askedBlocks |= blocks; }
    void loadAsked();
    std::chrono::milliseconds takeDuration();
    ByteString patternBytes(std::size_t size);

    FuzzInput& m_input;
    VirtualTime m_clock;
    FakeNetwork m_network{*this};
    fuzz::MemoryFiles m_files;
    FixedCalendar m_calendar;
    SnapshotKeeper m_snapshots{m_files};
    ProgrammerState m_state;
    std::array<std::array<std::uint8_t, kDeviceMemorySize>, 2> m_devices{};
    std::set<FakeSocket*> m_sockets;
    bool m_tickSoon = false;
    bool m_tearingDown = false;

    // What the workspace held after the last change the harness made or accepted.
    Bytes m_expected{};
    // Every state of each image block, as it goes to the device.
    std::array<std::set<Block>, kBlockCount> m_imageVersions;
    std::bitset<kBlockCount> m_askedBlocks;

    // What reached the devices since each job was last asked for.
    bool m_readWanted = false;  // a full read asked for, not stopped, not yet done
    std::bitset<kReadUnitCount> m_unitsSinceRead;
    std::bitset<kReadUnitCount> m_unitsSinceLoad;
    std::bitset<kBlockCount> m_writtenSinceLoad;
    // The load's device, and what makes its read-back's verdict unjudgeable: image blocks changed
    // since it was asked for, and a device that answered ambiguously meanwhile.
    int m_loadDevice = -1;
    std::bitset<kBlockCount> m_changedSinceLoad;
    bool m_ambiguousSinceLoad = false;
    std::array<std::uint8_t, kAlarmCodeBufferSize> m_alarm{};
    std::set<int> m_alarmChunks;
    std::array<std::uint8_t, kDialerDataSize> m_dialerList{};
    std::set<int> m_dialerChunks;
    int m_dialerUpload = 0;
    bool m_dialerChecked = false;
    std::multiset<ByteString> m_pairingFrames;
    int m_pairingsOut = 0;
    int m_pairingsAnswered = 0;

    // The engine's counters as last seen.
    int m_readsSeen = 0;
    int m_loadsSeen = 0;
    int m_downloadChangesSeen = 0;
    int m_pairingsSeen = 0;

    // Last, so that it goes first: its sockets still reach the harness as they close.
    LinkEngine m_engine;
};

FakeSocket::~FakeSocket() { m_harness.closing(*this); }

ConnectStatus FakeSocket::connectStatus() {
    m_harness.checkWorkspace(this);
    if (m_connect == ConnectStatus::Pending && m_harness.now() >= m_connectAt) {
        m_connect = m_connectThen;
        if (m_connect == ConnectStatus::Connected) m_harness.greet(*this);
    }
    return m_connect;
}

IoResult FakeSocket::send(std::span<const std::uint8_t> bytes) {
    m_harness.checkWorkspace(this);
    const TimePoint now = m_harness.now();
    FUZZ_CHECK(m_connect == ConnectStatus::Connected, "sent on a socket not connected");
    if (closed(now)) return {IoStatus::Closed, 0};
    if (now < m_stalledUntil) return {IoStatus::WouldBlock, 0};
    m_harness.checkFreshFrame(*this, bytes);
    std::size_t taken = bytes.size();
    switch (m_harness.decide(16)) {
        case 11:
            if (bytes.size() > 1)
                taken = 1 + static_cast<std::size_t>(m_harness.decideByte()) % (bytes.size() - 1);
            break;
        case 12:
            return {IoStatus::WouldBlock, 0};
        case 13:
            closeAt(now);
            return {IoStatus::Closed, 0};
        case 14:
            closeAt(now);
            return {IoStatus::Error, 0};
        case 15:
            m_stalledUntil = now + std::chrono::milliseconds(50) * m_harness.decideByte();
            return {IoStatus::WouldBlock, 0};
        default:
            break;
    }
    const auto accepted = bytes.first(taken);
    m_received.insert(m_received.end(), accepted.begin(), accepted.end());
    m_reader.feed(accepted);
    while (!closed(m_harness.now())) {
        const std::optional<sim::Frame> frame = m_reader.next();
        if (!frame) break;
        m_harness.onFrame(*this, *frame);
    }
    return {IoStatus::Ok, taken};
}

IoResult FakeSocket::receive(std::span<std::uint8_t> buffer) {
    m_harness.checkWorkspace(this);
    const TimePoint now = m_harness.now();
    FUZZ_CHECK(m_connect == ConnectStatus::Connected, "received on a socket not connected");
    if (!m_output.empty() && m_output.front().due <= now) {
        ByteString& piece = m_output.front().bytes;
        const std::size_t n = std::min(buffer.size(), piece.size());
        std::copy_n(piece.begin(), n, buffer.begin());
        piece.erase(piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(n));
        if (piece.empty()) m_output.pop_front();
        return {IoStatus::Ok, n};
    }
    if (closed(now)) return {IoStatus::Closed, 0};
    if (m_streamFrom && now >= *m_streamFrom) {
        std::fill(buffer.begin(), buffer.end(), std::uint8_t{'x'});
        return {IoStatus::Ok, buffer.size()};
    }
    return {IoStatus::WouldBlock, 0};
}

std::unique_ptr<HostLookup> FakeNetwork::lookup(std::string_view hostName) {
    if (auto direct = lookupWithoutResolver(hostName)) return direct;
    const auto ready = m_harness.now() + std::chrono::seconds(2) * m_harness.decide(4);
    const bool found = lowerTrimmed(hostName) == "localhost" && m_harness.decide(8) != 7;
    return std::make_unique<FakeLookup>(m_harness.clock(), ready, found);
}

std::unique_ptr<StreamSocket> FakeNetwork::connect(Ipv4Address address, std::uint16_t port) {
    int device = -1;
    for (std::size_t d = 0; d < kDevicePorts.size(); ++d) {
        if (address.value == kLoopback && port == kDevicePorts[d]) device = static_cast<int>(d);
    }
    const TimePoint now = m_harness.now();
    const int choice = device < 0 ? 7 : m_harness.decide(8);
    if (choice == 6) return nullptr;
    auto socket = std::make_unique<FakeSocket>(m_harness, device);
    m_harness.opened(socket.get());
    const auto later = now + std::chrono::milliseconds(20) * m_harness.decideByte();
    switch (choice) {
        case 3:
            socket->m_connectAt = later;
            break;
        case 4:
            socket->m_connectAt = later;
            socket->m_connectThen = ConnectStatus::Failed;
            break;
        case 5:
            socket->m_connectAt = TimePoint::max();
            break;
        case 7:
            socket->m_connectAt = now;
            socket->m_connectThen = ConnectStatus::Failed;
            break;
        default:
            socket->m_connectAt = now;
            break;
    }
    return socket;
}

Harness::Harness(FuzzInput& input) : m_input(input), m_engine(m_state, m_network, m_clock) {
    m_engine.setTickSoon([this] { m_tickSoon = true; });
    m_engine.setTarget(kTargets[0]);
    // Each device's units differ from each other and from the other device's.
    for (std::size_t d = 0; d < m_devices.size(); ++d) {
        for (std::size_t i = 0; i < kDeviceMemorySize; ++i) {
            m_devices[d][i] = static_cast<std::uint8_t>(i * 131 + (i >> 8) * 7 + d * 59 + 17);
        }
    }
    acceptWorkspace();
}

void Harness::closing(FakeSocket& socket) {
    m_sockets.erase(&socket);
    if (m_tearingDown) return;
    checkWorkspace(&socket);
    m_ambiguousSinceLoad = m_ambiguousSinceLoad || socket.m_ambiguous;
    if (m_pairingFrames.contains(socket.m_received)) ++m_pairingsOut;
}

void Harness::loadAsked() {
    m_writtenSinceLoad.reset();
    m_unitsSinceLoad.reset();
    m_changedSinceLoad.reset();
    m_ambiguousSinceLoad = false;
    m_loadDevice = deviceOf(m_engine.target());
}

void Harness::noteImage() {
    for (int k = 0; k < kBlockCount; ++k) {
        m_imageVersions[static_cast<std::size_t>(k)].insert(sentBlock(m_state.workspace.block(k)));
    }
}

void Harness::acceptWorkspace() {
    const auto bytes = m_state.workspace.bytes();
    std::copy(bytes.begin(), bytes.end(), m_expected.begin());
    noteImage();
}

// What changed in the workspace since it was last looked at must be the engine's to change: a
// unit stored by a full read from this connection, at the unit its last read frame asked for, as
// the device sent it; or image bytes of 13 sent as 12, in the one block about to be written.
void Harness::checkWorkspace(FakeSocket* socket) {
    const auto now = m_state.workspace.bytes();
    if (std::equal(now.begin(), now.end(), m_expected.begin())) return;
    for (std::size_t i = kReceiveAreaSize; i < kWorkspaceSize; ++i) {
        FUZZ_CHECK(now[i] == m_expected[i],
                   "byte " + std::to_string(i) + " outside the receive area changed");
    }
    for (int u = 0; u < kReadUnitCount; ++u) {
        const std::size_t start = static_cast<std::size_t>(u) * kReadUnitSize;
        const auto unit = now.subspan(start, kReadUnitSize);
        const auto before = std::span<const std::uint8_t>(m_expected).subspan(start, kReadUnitSize);
        if (std::equal(unit.begin(), unit.end(), before.begin())) continue;
        const std::string where = "unit " + std::to_string(u);
        FUZZ_CHECK(socket != nullptr, where + " changed with no connection to the device");
        const JobKind job = m_engine.status().job;
        if (job == JobKind::FullRead) {
            FUZZ_CHECK(m_readWanted, where + " stored by a full read no longer asked for");
            FUZZ_CHECK(socket->m_lastReadUnit == u, where + " stored after the frame of unit " +
                                                        std::to_string(socket->m_lastReadUnit));
            Unit stored{};
            std::copy(unit.begin(), unit.end(), stored.begin());
            FUZZ_CHECK(socket->m_ambiguous || socket->m_replies[u].contains(stored),
                       where + " stored as " + printable(unit) + ", which the device never sent");
            if (start < kImageSize) m_changedSinceLoad.set(static_cast<std::size_t>(u / 2));
            continue;
        }
        const bool rewrite =
            start < kImageSize &&
            std::equal(unit.begin(), unit.end(), before.begin(),
                       [](std::uint8_t n, std::uint8_t b) {
                           return n == b || (b == kImageCarriageReturn && n == kBlockCrReplacement);
                       });
        FUZZ_CHECK(rewrite, where + " changed by job " + std::to_string(static_cast<int>(job)) +
                                ": " + printable(unit));
        FUZZ_CHECK(job == JobKind::BlockWrite || job == JobKind::WriteAll,
                   where + ": 13s sent as 12 by job " + std::to_string(static_cast<int>(job)));
        const int block = u / 2;
        FUZZ_CHECK(socket->m_rewrittenBlock < 0 || socket->m_rewrittenBlock == block,
                   "13s sent as 12 in two blocks at once");
        socket->m_rewrittenBlock = block;
    }
    acceptWorkspace();
}

// A write frame of an image block, as it starts to go: it carries the image as it is sent.
void Harness::checkFreshFrame(FakeSocket& socket, std::span<const std::uint8_t> bytes) {
    const bool fresh = socket.m_reader.buffered() == 0 && bytes.size() >= sim::kWriteFrameSize &&
                       bytes[0] == sim::kLineFeed && bytes[1] == sim::kQuote &&
                       std::equal(kWritePrefix.begin(), kWritePrefix.end(), bytes.begin() + 2);
    const int block = fresh ? sim::suffixNumber(bytes[sim::kWriteDataOffset - 1]) : -1;
    const int rewritten = std::exchange(socket.m_rewrittenBlock, -1);
    FUZZ_CHECK(rewritten < 0 || rewritten == block,
               "13s of " + blockName(rewritten) + " sent as 12 for another frame");
    if (block < 0 || block >= kBlockCount) return;
    const JobKind job = m_engine.status().job;
    FUZZ_CHECK(job == JobKind::BlockWrite || job == JobKind::WriteAll,
               "an image block written by job " + std::to_string(static_cast<int>(job)));
    Block data{};
    std::copy_n(bytes.begin() + sim::kWriteDataOffset, kBlockSize, data.begin());
    FUZZ_CHECK(m_imageVersions[static_cast<std::size_t>(block)].contains(data),
               blockName(block) + " sent as bytes the image never held: " + printable(data));
}

void Harness::onFrame(FakeSocket& socket, const sim::Frame& frame) {
    const TimePoint now = m_clock.now();
    switch (frame.kind) {
        case sim::Frame::Kind::Write: {
            if (!frame.terminated) return;
            const int block = frame.block();
            const auto data = frame.data();
            if (block < kBlockCount) {
                imageWriteReceived(socket, block, data);
            } else {
                chunkReceived(block, data);
            }
            auto& memory = m_devices[static_cast<std::size_t>(socket.m_device)];
            const std::size_t offset = static_cast<std::size_t>(block) * kBlockSize;
            if (offset + kBlockSize <= memory.size()) {
                std::copy(data.begin(), data.end(),
                          memory.begin() + static_cast<std::ptrdiff_t>(offset));
            }
            switch (decide(16)) {
                case 13:
                    // A failing memory cell: the block is kept with a byte flipped.
                    if (offset + kBlockSize <= memory.size()) {
                        memory[offset + static_cast<std::size_t>(decideByte()) % kBlockSize] ^=
                            0xff;
                    }
                    break;
                case 14:
                    socket.closeAt(now);
                    break;
                case 15: {
                    // Bytes nothing asked for.
                    socket.m_ambiguous = true;
                    const auto due = now + std::chrono::milliseconds(10) * decideByte();
                    socket.queue(
                        due, ByteString(1 + static_cast<std::size_t>(decideByte()), kExtraByte));
                    break;
                }
                default:
                    break;
            }
            return;
        }
        case sim::Frame::Kind::Command:
            if (frame.overlong) return;
            if (const auto unit = readUnitOf(frame.text)) {
                socket.m_lastReadUnit = *unit;
                if (*unit < kReadUnitCount) {
                    m_unitsSinceRead.set(static_cast<std::size_t>(*unit));
                    m_unitsSinceLoad.set(static_cast<std::size_t>(*unit));
                }
                const auto& memory = m_devices[static_cast<std::size_t>(socket.m_device)];
                const auto start = memory.begin() + static_cast<std::ptrdiff_t>(*unit) *
                                                        static_cast<std::ptrdiff_t>(kReadUnitSize);
                return reply(socket, ByteString(start, start + kReadUnitSize), *unit);
            }
            if (frame.text == "gpcommandr1") {
                ByteString status = bytesOf("STATUS");
                status.push_back(static_cast<std::uint8_t>(decideByte()));
                status.push_back(static_cast<std::uint8_t>(decideByte()));
                status.push_back(kFrameEnd);
                return reply(socket, status, std::nullopt);
            }
            if (frame.text == "gpcommandr2")
                return reply(socket, bytesOf("GP2 OK\r"), std::nullopt);
            if (frame.text == "$remotereset$" && decide(4) == 3) socket.closeAt(now);
            return;
        case sim::Frame::Kind::Line:
            if (!frame.overlong && frame.text.find(kPairingKeyword) != std::string::npos) {
                reply(socket, bytesOf(kPairingReply), std::nullopt);
            }
            return;
    }
}

// The device's answer to a frame: whole at once, late, in pieces, cut short, with more after it,
// twice, or not at all.
void Harness::reply(FakeSocket& socket, ByteString bytes, std::optional<int> unit) {
    const TimePoint now = m_clock.now();
    const auto whole = [&] {
        if (unit && bytes.size() == kReadUnitSize) {
            Unit u{};
            std::copy(bytes.begin(), bytes.end(), u.begin());
            socket.m_replies[*unit].insert(u);
        }
    };
    const auto shortened = [&] {
        return ByteString(
            bytes.begin(),
            bytes.begin() +
                static_cast<std::ptrdiff_t>(static_cast<std::size_t>(decideByte()) % bytes.size()));
    };
    switch (decide(16)) {
        case 7:
            whole();
            socket.queue(now + std::chrono::milliseconds(20) * decideByte(), bytes);
            return;
        case 8: {
            whole();
            TimePoint due = now;
            std::size_t at = 0;
            for (int piece = 0; piece < 3 && at < bytes.size(); ++piece) {
                const std::size_t end =
                    piece == 2
                        ? bytes.size()
                        : std::min(bytes.size(),
                                   at + 1 + static_cast<std::size_t>(decideByte()) % bytes.size());
                socket.queue(due, ByteString(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                             bytes.begin() + static_cast<std::ptrdiff_t>(end)));
                at = end;
                due += std::chrono::milliseconds(10) * decideByte();
            }
            return;
        }
        case 9:
            socket.queue(now, shortened());
            return;
        case 10:
            socket.queue(now, shortened());
            socket.closeAt(now);
            return;
        case 11: {
            whole();
            ByteString more = bytes;
            more.insert(more.end(), static_cast<std::size_t>(decideByte()) % 200, kExtraByte);
            socket.queue(now, std::move(more));
            return;
        }
        case 12: {
            whole();
            socket.queue(now, bytes);
            socket.m_ambiguous = true;
            const auto due = now + std::chrono::milliseconds(10) * decideByte();
            socket.queue(due,
                         ByteString(1 + static_cast<std::size_t>(decideByte()) % 100, kExtraByte));
            return;
        }
        case 13:
            return;
        case 14:
            socket.closeAt(now);
            return;
        case 15:
            whole();
            socket.m_ambiguous = true;
            socket.queue(now, bytes);
            socket.queue(now, bytes);
            return;
        default:
            whole();
            socket.queue(now, bytes);
            return;
    }
}

// The greeting once connected: the device's line, or none, late, in pieces, endless, cut short,
// with more after it, or a close.
void Harness::greet(FakeSocket& socket) {
    const TimePoint at = m_clock.now();
    ByteString greeting = bytesOf(kGreeting);
    std::vector<std::pair<TimePoint, ByteString>> pieces;
    switch (decide(16)) {
        case 6: {
            TimePoint due = at;
            std::size_t from = 0;
            for (int piece = 0; piece < 3 && from < greeting.size(); ++piece) {
                const std::size_t end =
                    piece == 2 ? greeting.size()
                               : std::min(greeting.size(),
                                          from + 1 + static_cast<std::size_t>(decideByte()) % 16);
                pieces.emplace_back(
                    due, ByteString(greeting.begin() + static_cast<std::ptrdiff_t>(from),
                                    greeting.begin() + static_cast<std::ptrdiff_t>(end)));
                from = end;
                due += std::chrono::milliseconds(20) * decideByte();
            }
            break;
        }
        case 7:
            pieces.emplace_back(at, bytesOf("OK\r\n"));
            break;
        case 8:
            break;
        case 9:
            // Text without end, never a line.
            socket.m_streamFrom = at;
            break;
        case 10:
            pieces.emplace_back(at + std::chrono::milliseconds(40) * decideByte(), greeting);
            break;
        case 11: {
            ByteString custom;
            for (int n = decide(64); n > 0; --n)
                custom.push_back(static_cast<std::uint8_t>(decideByte()));
            pieces.emplace_back(at, custom);
            break;
        }
        case 12:
            socket.closeAt(at);
            break;
        case 13:
            pieces.emplace_back(at, bytesOf("READY\r"));
            pieces.emplace_back(at + std::chrono::milliseconds(10) * (1 + decideByte()),
                                bytesOf("\n"));
            break;
        case 14:
            greeting.insert(greeting.end(), static_cast<std::size_t>(decideByte()) * 20,
                            kExtraByte);
            pieces.emplace_back(at, greeting);
            if (decide(2) == 1) {
                // And then text without end.
                socket.m_streamFrom = at;
                socket.m_ambiguous = true;
            }
            break;
        case 15:
            pieces.emplace_back(at, greeting);
            socket.closeAt(at + std::chrono::milliseconds(50) * decideByte());
            break;
        default:
            pieces.emplace_back(at, greeting);
            break;
    }
    // Bytes after the line's end that come later than it may be taken for an answer.
    std::optional<TimePoint> lineEnd;
    for (auto& [due, bytes] : pieces) {
        if (lineEnd && due > *lineEnd) socket.m_ambiguous = true;
        if (!lineEnd && std::find(bytes.begin(), bytes.end(), kFrameEnd) != bytes.end()) {
            lineEnd = due;
        }
        socket.queue(due, std::move(bytes));
    }
}

void Harness::imageWriteReceived(FakeSocket& socket, int block,
                                 std::span<const std::uint8_t> data) {
    const std::string what =
        blockName(block) + " written to device " + std::to_string(socket.m_device);
    FUZZ_CHECK(m_state.holdsDeviceData(), what + " while the image holds no device data");
    FUZZ_CHECK(deviceOf(m_state.source().device) == socket.m_device,
               what + ", the image is " + m_state.source().device.text() + "'s");
    FUZZ_CHECK(m_askedBlocks.test(static_cast<std::size_t>(block)), what + ", never asked for");
    FUZZ_CHECK(std::find(data.begin(), data.end(), kImageCarriageReturn) == data.end(),
               what + " with a byte of 13");
    m_writtenSinceLoad.set(static_cast<std::size_t>(block));
}

// Alarm-code chunks and dialer chunks, known by their block and bytes.
void Harness::chunkReceived(int block, std::span<const std::uint8_t> data) {
    if (block >= kFirstAlarmChunk && block <= kLastAlarmChunk) {
        const auto start = m_alarm.begin() + static_cast<std::ptrdiff_t>(block - kFirstAlarmChunk) *
                                                 static_cast<std::ptrdiff_t>(kBlockSize);
        if (std::equal(data.begin(), data.end(), start)) m_alarmChunks.insert(block);
    }
    const int chunk = block - kDialerFirstBlock;
    if (chunk >= 0 && chunk < kDialerChunkCount) {
        const auto source =
            dialerChunk(std::span<const std::uint8_t, kDialerDataSize>(m_dialerList), chunk);
        if (std::equal(data.begin(), data.end(), source.begin())) m_dialerChunks.insert(chunk);
    }
}

std::chrono::milliseconds Harness::takeDuration() {
    static constexpr std::array<int, 8> kSteps{0, 10, 50, 100, 250, 1000, 5000, -1};
    const int step = kSteps[static_cast<std::size_t>(m_input.frontBelow(8))];
    return std::chrono::milliseconds(step >= 0 ? step : 40 * m_input.front());
}

// Bytes of a small generator seeded by the input: long buffers from a few input bytes, with
// carriage returns and end marks among them.
ByteString Harness::patternBytes(std::size_t size) {
    std::uint32_t seed = static_cast<std::uint32_t>(m_input.front16()) * 2654435761u + 1;
    const int flavour = m_input.frontBelow(4);
    ByteString bytes(size);
    for (std::uint8_t& b : bytes) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        b = static_cast<std::uint8_t>(seed);
        if (flavour == 1 && (seed & 0x300) == 0) b = kImageCarriageReturn;
        if (flavour == 2 && (seed & 0xf00) == 0) b = '?';
        if (flavour == 3) b = static_cast<std::uint8_t>('0' + seed % 10);
    }
    return bytes;
}

void Harness::advance(std::chrono::milliseconds d) {
    m_clock.advance(d);
    // A socket with news tells its owner, as the window's event loop would.
    const std::vector<FakeSocket*> sockets(m_sockets.begin(), m_sockets.end());
    for (FakeSocket* socket : sockets) {
        if (m_sockets.contains(socket) && socket->hasNews(m_clock.now())) socket->notify();
    }
}

void Harness::runTick() {
    m_engine.tick();
    afterTick();
    for (int early = 0; m_tickSoon && early < kEarlyTicks; ++early) {
        m_tickSoon = false;
        m_engine.tick();
        afterTick();
    }
    m_tickSoon = false;
}

void Harness::afterTick() {
    checkWorkspace(nullptr);
    checkTexts();
    checkReports();
}

void Harness::checkTexts() const {
    const LinkStatus& status = m_engine.status();
    const LinkTexts& texts = m_engine.texts();
    FUZZ_CHECK(texts.trace.size() <= kTraceLimit, std::to_string(texts.trace.size()));
    FUZZ_CHECK(texts.download.size() <= kTextLimit, printable(texts.download));
    FUZZ_CHECK(status.lastError.size() <= kTextLimit, printable(status.lastError));
    FUZZ_CHECK(status.rewritten.size() <= kRewritesKept, std::to_string(status.rewritten.size()));
    FUZZ_CHECK(status.dialer.failure.size() <= kTextLimit, printable(status.dialer.failure));
    if (status.pairing) {
        FUZZ_CHECK(status.pairing->answer.size() <= kGeneralReplySize &&
                       status.pairing->reason.size() <= kTextLimit,
                   printable(status.pairing->answer));
    }
    if (status.lastLoad) {
        FUZZ_CHECK(status.lastLoad->reason.size() <= kTextLimit,
                   printable(status.lastLoad->reason));
    }
}

// What the engine reports done must have reached the device.
void Harness::checkReports() {
    const LinkStatus& status = m_engine.status();
    const LinkTexts& texts = m_engine.texts();
    if (status.readsCompleted != m_readsSeen) {
        m_readsSeen = status.readsCompleted;
        m_readWanted = false;
        FUZZ_CHECK(m_unitsSinceRead.all(),
                   "a full read done with units " + m_unitsSinceRead.to_string() + " asked for");
    }
    if (status.loadsFinished != m_loadsSeen) {
        m_loadsSeen = status.loadsFinished;
        FUZZ_CHECK(status.lastLoad.has_value(), "a load finished without its outcome");
        const LoadOutcome& load = *status.lastLoad;
        const std::string what = "blocks " + load.blocks.to_string() + ", written " +
                                 load.written.to_string() + ", sent " +
                                 m_writtenSinceLoad.to_string();
        FUZZ_CHECK((load.written & ~m_writtenSinceLoad).none(), what);
        FUZZ_CHECK(!load.complete() || (load.blocks & ~m_writtenSinceLoad).none(),
                   "complete: " + what);
        for (int k = 0; k < kBlockCount; ++k) {
            const bool readBack = m_unitsSinceLoad.test(static_cast<std::size_t>(2 * k)) &&
                                  m_unitsSinceLoad.test(static_cast<std::size_t>(2 * k + 1));
            FUZZ_CHECK(!load.verified.test(static_cast<std::size_t>(k)) || readBack,
                       blockName(k) + " verified, never read back");
        }
        FUZZ_CHECK(load.stop != LoadOutcome::Stop::Interrupted || m_engine.halted(), what);
        // Verified: the device holds the block as the image has it.
        for (int k = 0; k < kBlockCount && m_loadDevice >= 0 && !m_ambiguousSinceLoad; ++k) {
            const auto bit = static_cast<std::size_t>(k);
            if (!load.verified.test(bit) || m_changedSinceLoad.test(bit)) continue;
            const auto& memory = m_devices[static_cast<std::size_t>(m_loadDevice)];
            const Block held = sentBlock(std::span(memory).subspan(bit * kBlockSize, kBlockSize));
            FUZZ_CHECK(held == sentBlock(m_state.workspace.block(k)),
                       blockName(k) + " verified, the device holds " + printable(held));
        }
    }
    if (texts.downloadChanges != m_downloadChangesSeen) {
        m_downloadChangesSeen = texts.downloadChanges;
        const bool endMark = texts.download.starts_with(kTextFileEnd);
        const bool lastChunk = texts.download.find("the last one") != std::string::npos;
        if (endMark || lastChunk) {
            // The chunks up to the one with the end mark, as the engine looks for it in the frame.
            int last = kLastAlarmChunk;
            for (int chunk = kFirstAlarmChunk; endMark && chunk <= kLastAlarmChunk; ++chunk) {
                FrameBuffer frame{};
                const std::span<const std::uint8_t, kBlockSize> source(
                    m_alarm.data() +
                        static_cast<std::size_t>(chunk - kFirstAlarmChunk) * kBlockSize,
                    kBlockSize);
                const int length = BuildChunkFrame(frame, source, chunk);
                const std::string_view sent(reinterpret_cast<const char*>(frame.data()),
                                            static_cast<std::size_t>(length));
                if (sent.find("??") != std::string_view::npos) {
                    last = chunk;
                    break;
                }
            }
            for (int chunk = kFirstAlarmChunk; chunk <= last; ++chunk) {
                FUZZ_CHECK(m_alarmChunks.contains(chunk),
                           "alarm code sent (" + printable(texts.download) + ") without chunk " +
                               std::to_string(chunk));
            }
        }
    }
    const DialerProgress& dialer = status.dialer;
    if (dialer.upload == m_dialerUpload && dialer.end == DialerProgress::End::Completed &&
        !m_dialerChecked) {
        m_dialerChecked = true;
        const int chunks =
            dialerChunksToSend(std::span<const std::uint8_t, kDialerDataSize>(m_dialerList));
        FUZZ_CHECK(dialer.chunksSent == chunks, std::to_string(dialer.chunksSent));
        for (int chunk = 0; chunk < chunks; ++chunk) {
            FUZZ_CHECK(m_dialerChunks.contains(chunk),
                       "dialer upload completed without chunk " + std::to_string(chunk));
        }
    }
    if (status.pairingsEnded != m_pairingsSeen) {
        FUZZ_CHECK(status.pairingsEnded == m_pairingsSeen + 1, "two pairings ended in a tick");
        m_pairingsSeen = status.pairingsEnded;
        if (status.pairing && status.pairing->result != PairingOutcome::Result::NotSent) {
            ++m_pairingsAnswered;
            FUZZ_CHECK(m_pairingsAnswered <= m_pairingsOut,
                       "a pairing frame said to have gone out (" +
                           printable(status.pairing->answer) + "), " +
                           std::to_string(m_pairingsOut) + " went whole");
        }
    }
}

void Harness::act() {
    const auto blockOf = [this] { return m_input.frontBelow(10) - 1; };
    switch (m_input.frontBelow(32)) {
        case 8:
            m_readWanted = true;
            m_unitsSinceRead.reset();
            m_engine.requestFullRead();
            break;
        case 9:
            m_readWanted = false;
            m_engine.stopFullRead();
            break;
        case 10: {
            const ReadBack readBack = (m_input.front() & 1) != 0 ? ReadBack::On : ReadBack::Off;
            const std::bitset<kBlockCount> blocks(m_input.front());
            askAllOf(blocks);
            loadAsked();
            m_engine.requestWriteAll(readBack, blocks);
            break;
        }
        case 11: {
            const int block = blockOf();
            if (block >= 0 && block < kBlockCount)
                m_askedBlocks.set(static_cast<std::size_t>(block));
            m_engine.requestBlockWrite(block);
            break;
        }
        case 12: {
            static constexpr std::array<CommandCode, 8> kCodes{
                kCodeRemoteReset, kCodeStatus, kCodeStatus, kCodeStatus2, 10, 21, 5, 31};
            const int pick = m_input.front();
            const CommandCode code =
                pick < 200 ? kCodes[static_cast<std::size_t>(pick) % kCodes.size()] : pick - 200;
            if (const int block = blockOfWriteCode(code); block >= 0) {
                m_askedBlocks.set(static_cast<std::size_t>(block));
            }
            m_engine.requestExchange(code);
            break;
        }
        case 13: {
            const ByteString code = patternBytes(static_cast<std::size_t>(m_input.front()) * 40);
            m_alarm.fill(0);
            std::copy_n(code.begin(), std::min(code.size(), m_alarm.size()), m_alarm.begin());
            m_alarmChunks.clear();
            m_engine.startAlarmDownload(code);
            break;
        }
        case 14: {
            const auto list = m_state.workspace.dialerDataArea();
            std::copy(list.begin(), list.end(), m_dialerList.begin());
            m_dialerChunks.clear();
            m_dialerChecked = false;
            m_engine.startDialerUpload();
            m_dialerUpload = m_engine.status().dialer.upload;
            break;
        }
        case 15: {
            const ByteString source = patternBytes(kBlockSize);
            m_engine.requestChunk(
                std::span<const std::uint8_t, kBlockSize>(source.data(), kBlockSize),
                kDialerFirstBlock + m_input.frontBelow(kLastAlarmChunk - kDialerFirstBlock + 1));
            break;
        }
        case 16: {
            ByteString frame = bytesOf("001122334455/DOWNLOADBT/66778899AABB5551234\r");
            if (const int size = m_input.front(); size >= 128) {
                frame = patternBytes(static_cast<std::size_t>(size - 128) * 3);
            }
            if (m_engine.requestPairing(frame)) m_pairingFrames.insert(frame);
            break;
        }
        case 17:
            // Now and then: a halt ends everything for good.
            if (m_input.front() < 16) m_engine.halt();
            break;
        case 18:
            askAllOf(m_engine.status().unwrittenBlocks);
            m_engine.retryUnwrittenBlocks();
            break;
        case 19:
            m_engine.setTarget(kTargets[static_cast<std::size_t>(
                m_input.frontBelow(static_cast<int>(kTargets.size())))]);
            break;
        case 20: {
            static constexpr std::array<std::size_t, 3> kSizes{kImageSize, kWorkspaceSize, 100};
            const ByteString content =
                patternBytes(kSizes[static_cast<std::size_t>(m_input.frontBelow(3))]);
            m_files.put("site.bin", content);
            const LoadRequest request{"site.bin",
                                      m_input.frontBelow(2) != 0 ? ReadBack::Off : ReadBack::On,
                                      FileSizeRule::ParameterFile};
            const LoadStart start =
                startLoad({m_state, m_engine, m_files, m_snapshots, m_calendar}, request);
            if (start.started()) {
                m_readWanted = false;  // a load stops the read
                askAllOf(std::bitset<kBlockCount>().set());
                loadAsked();
            }
            acceptWorkspace();
            break;
        }
        case 21: {
            // An edit in a window: an image byte, its block's write asked for.
            const std::size_t offset = static_cast<std::size_t>(m_input.front16()) % kImageSize;
            m_state.workspace.bytes()[offset] = m_input.front();
            acceptWorkspace();
            const int block = static_cast<int>(offset / kBlockSize);
            m_changedSinceLoad.set(static_cast<std::size_t>(block));
            m_askedBlocks.set(static_cast<std::size_t>(block));
            m_engine.requestBlockWrite(block);
            break;
        }
        case 22: {
            const std::size_t offset =
                static_cast<std::size_t>(m_input.front16()) % kDialerDataSize;
            m_state.workspace.dialerDataArea()[offset] =
                m_input.frontBelow(2) != 0 ? kDialerEndMark : m_input.front();
            acceptWorkspace();
            break;
        }
        case 23:
            m_engine.clearError();
            break;
        default:
            advance(takeDuration());
            runTick();
            break;
    }
}

// Nothing more is asked and the device now answers as it should: the engine ends what it has
// and rests, with no connection left open.
void Harness::settle() {
    const auto bound = kSettleTime + kSettlePerExchange * static_cast<int>(m_engine.queued());
    const TimePoint end = m_clock.now() + bound;
    while (!m_engine.settled() && m_clock.now() < end) {
        advance(kSettleTick);
        runTick();
    }
    FUZZ_CHECK(m_engine.settled(),
               "not settled after " +
                   std::to_string(std::chrono::duration_cast<std::chrono::seconds>(bound).count()) +
                   " s; state " + std::to_string(static_cast<int>(m_engine.linkState())) +
                   ", job " + std::to_string(static_cast<int>(m_engine.status().job)) + ", " +
                   std::to_string(m_engine.queued()) + " queued");
    FUZZ_CHECK(m_sockets.empty(), std::to_string(m_sockets.size()) + " connections left open");
    FUZZ_CHECK(m_engine.status().transfers.empty() && !m_engine.status().dialer.running,
               "a transfer still shown");
}

void Harness::run() {
    while (!m_input.exhausted()) act();
    settle();
}

}  // namespace
}  // namespace veskator

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    veskator::fuzz::FuzzInput input(data, size);
    veskator::Harness harness(input);
    harness.run();
    return 0;
}
