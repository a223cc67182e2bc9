// What a complete full read shows in the main window, and what it reloads.

#include <array>

#include "model/main_fields.h"
#include "resources/main_dialog_template.h"
#include "tests/support/main_window_rig.h"

namespace veskator::mainwin_test {
namespace {

using namespace main_ids;

struct Shown {
    ControlId id;
    bool on;
};

void expectOptions(const HeadlessDialog& dialog, const ControlValues& values,
                   std::initializer_list<Shown> options) {
    for (const Shown& o : options) {
        EXPECT_EQ(values.isChecked(o.id), o.on) << "option " << o.id;
        EXPECT_EQ(dialog.isChecked(o.id), o.on) << "option " << o.id << " as shown";
    }
}

TEST_F(MainWindowTest, AFullReadShowsTheDevicesValuesAndReloadsTheWorkingCopies) {
    constexpr std::array<std::uint8_t, 6> kMac{0x00, 0x0A, 0x1B, 0x2C, 0x3D, 0x4E};
    setDeviceBytes(1, 0x7a, kMac);
    // 31 characters and no zero byte: the next byte is the option byte A0 0x1f, all on ("?").
    const std::string address31 = "abcdefghijklmnopqrstuvwxyz01234";
    setDeviceText(0, 0x00, address31 + "\x3f");
    const std::string address32 = "0123456789abcdefghijklmnopqrstuv";
    setDeviceText(0, 0x70, address32);  // runs into A1, up to the receiver number at A1 0x10
    constexpr std::array<std::uint8_t, 1> kAllOff{0x00};
    constexpr std::array<std::uint8_t, 1> kA1x3f{0x2f};
    constexpr std::array<std::uint8_t, 1> kA0x6c{0x02};
    constexpr std::array<std::uint8_t, 1> kA0x6e{0x04};
    constexpr std::array<std::uint8_t, 1> kA0x6f{0x08};
    setDeviceBytes(1, 0x3d, kAllOff);
    setDeviceBytes(1, 0x3f, kA1x3f);
    setDeviceBytes(0, 0x6c, kA0x6c);
    setDeviceBytes(0, 0x6e, kA0x6e);
    setDeviceBytes(0, 0x6f, kA0x6f);

    openWindow();
    readDevice();

    EXPECT_EQ(values().text(kMacAddress), "000A1B2C3D4E");
    EXPECT_EQ(shown(kMacAddress), "000A1B2C3D4E");
    EXPECT_EQ(values().text(kServerIp1), address31);
    // The device's 31 characters are shown whole; the limit only bounds what the user types.
    EXPECT_EQ(shown(kServerIp1), address31);
    EXPECT_EQ(values().text(kServerIp2), address32);
    // The device's own values, from the simulator's default memory.
    const std::array<std::pair<ControlId, std::string_view>, 9> texts{{
        {kAlarmSequence, "0001"},
        {kReceiver1, "01"},
        {kAccountPrefix, "1234"},
        {kServerPort2, "3062"},
        {kServerPort1, "3061"},
        {kReceiver2, "02"},
        {kProgrammingData, "PROGDATA0123456"},
        {kDeviceServerPort, "8000"},
        {kTargetAddress, "127.0.0.1"},
    }};
    for (const auto& [id, text] : texts) {
        EXPECT_EQ(values().text(id), text) << "edit " << id;
        EXPECT_EQ(shown(id), text) << "edit " << id << " as shown";
    }

    expectOptions(*dialog, values(),
                  {{kByeCommand, true},
                   {kCommentFields, true},
                   {kEmail, true},
                   {kSecondServer, true},
                   {kAttachDecoded, true},
                   {kIncludeProgData, true},
                   {kTcpOrUdp, true},
                   {kSearchOpenPort, false},
                   {kNoServerAck, false},
                   {kNoCrc, true},
                   {kTimeStamp, true},
                   {kIncludeMac, true},
                   {kListenIn, true},
                   {kAutoKissoff, true},
                   {kDc09, true},
                   {kUdpAck, true},
                   {kProprietary, true},
                   {kIpThenContactId, false}});
    EXPECT_EQ(state.optionCopies().bytes(), (std::array<std::uint8_t, 4>{0x3f, 0x2f, 0x00, 0x80}));

    // Showing the device's values is no user change: nothing is committed or sent.
    EXPECT_TRUE((dlg->pendingCommits() == 0));
    EXPECT_EQ(engine->queued(), 0u);
    pumpFor(2000ms);
    EXPECT_EQ(sim->connectionCount(), 1);

    // A second read with other option bytes.
    constexpr std::array<std::uint8_t, 1> kA1x3d{0x13};
    setDeviceBytes(0, 0x1f, kAllOff);
    setDeviceBytes(1, 0x3d, kA1x3d);
    setDeviceBytes(0, 0x6e, kAllOff);
    setDeviceBytes(0, 0x6f, kAllOff);
    readDevice();
    expectOptions(*dialog, values(),
                  {{kByeCommand, false},
                   {kCommentFields, false},
                   {kEmail, false},
                   {kSecondServer, false},
                   {kAttachDecoded, false},
                   {kIncludeProgData, false},
                   {kTcpOrUdp, false},
                   {kSearchOpenPort, true},
                   {kNoServerAck, true},
                   {kProprietary, false},
                   {kIpThenContactId, true}});
    EXPECT_EQ(state.optionCopies().bytes(), (std::array<std::uint8_t, 4>{0x00, 0x2f, 0x13, 0x80}));
    // Still at most 31 characters; a zero option byte now ends the text as well.
    EXPECT_EQ(values().text(kServerIp1), address31);

    // The next clicks start from the bytes just read.
    dialog->click(kByeCommand);
    dialog->click(kSearchOpenPort);
    ASSERT_TRUE(pumpUntilSettled());
    const auto writes = blockWrites();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].number, 0);
    EXPECT_EQ(writes[0].data[0x1f], 0x01);
    EXPECT_EQ(writes[1].number, 1);
    EXPECT_EQ(writes[1].data[0x3d], 0x12);
}

}  // namespace
}  // namespace veskator::mainwin_test
