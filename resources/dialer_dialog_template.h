#pragma once
// The dialer, receiver and bridge window (dialog resource 103): 520 x 330 dialog units. Left the
// DV70-1 dialer with its schedule and its log; right the RZ50 receiver, the serial bridge, the
// RS232 baud rate and the subscriber information; a status line with the link's progress at the
// bottom. Ids repeat those of the options window with other meanings: they are this window's own.

#include <array>

#include "resources/dialog_template.h"
#include "resources/main_dialog_template.h"  // the application icon

namespace veskator {

namespace dialer_ids {
// DV70-1: telephone list, schedule, options and the upload.
inline constexpr ControlId kTelephone = 1047;
inline constexpr ControlId kTestEnabled = 1121;
inline constexpr ControlId kLineNumber = 1049;
inline constexpr ControlId kNextLine = 1122;
inline constexpr ControlId kPreviousLine = 1123;
inline constexpr ControlId kScheduleTime = 1125;
inline constexpr ControlId kNextSchedule = 1127;
inline constexpr ControlId kPreviousSchedule = 1128;
inline constexpr ControlId kScheduleNumber = 1050;
inline constexpr ControlId kScheduleOrAutomatic = 1132;
inline constexpr ControlId kLineDelay = 1133;
inline constexpr ControlId kStartupDelay = 1134;
inline constexpr ControlId kTransmitIpServer = 1135;
inline constexpr ControlId kUpload = 1136;
inline constexpr ControlId kLog = 1058;
inline constexpr ControlId kEmailGoodResult = 1129;
// RZ50 receiver.
inline constexpr ControlId kRawFormat = 1137;
inline constexpr ControlId kDecodedFormat = 1138;
inline constexpr ControlId kSurGardFormat = 1139;
inline constexpr ControlId kHeartbeat = 1086;
inline constexpr ControlId kReceiverEnable = 1072;
inline constexpr ControlId kTcpSocketSize = 1140;
inline constexpr ControlId kUdpSocketSize = 1141;
// Serial bridge.
inline constexpr ControlId kSlaveMac = 1048;
inline constexpr ControlId kServerMac = 1051;
inline constexpr ControlId kDialingNumber = 1052;
inline constexpr ControlId kPair = 1142;
// RS232 baud rate, codes 1 to 6.
inline constexpr ControlId kBaud1200 = 1149;
inline constexpr ControlId kBaud2400 = 1150;
inline constexpr ControlId kBaud9600 = 1151;
inline constexpr ControlId kBaud19200 = 1152;
inline constexpr ControlId kBaud57600 = 1153;
inline constexpr ControlId kBaud115200 = 1154;
inline constexpr ControlId kSubscriber = 1148;
inline constexpr ControlId kStatusLine = 1190;
}  // namespace dialer_ids

inline constexpr int kDialerDialogResource = 103;
inline constexpr std::string_view kDialerCaption = "RZ50 and DV70 programming";

// Limits: a telephone line holds 16 characters, a schedule slot 5 (3 at its last position, set
// as the position moves), the start-up delay shows 6, a MAC file is read back up to 50 bytes.
inline constexpr int kTelephoneChars = 16;
inline constexpr int kScheduleChars = 5;
inline constexpr int kStartupDelayChars = 6;
inline constexpr int kMacChars = 50;
inline constexpr std::string_view kScheduleLabel =
    "enter time in 24HR expression for \"HR\" : \"MN\" as 23:00, 25 time schedules maximum, "
    "\"F\" at the end";

namespace dialer_ids::detail {
// clang-format off
inline constexpr std::array<ControlTemplate, 53> kDialerControls{{
    edit(kTelephone, 10, 14, 80, 12, "telephone number, or E for end of list").limit(kTelephoneChars),
    label("telephone number, or E for end of list", 94, 16, 156, 8),
    option(kTestEnabled, "DV70-1 TEST ENABLED -1 minutes start-up delay, no redialing of telephone numbers", 10, 30, 240, 20),
    edit(kLineNumber, 10, 54, 30, 12, "line number"),
    label("line number", 44, 56, 50, 8),
    button(kNextLine, "+", 100, 53, 22, 14),
    button(kPreviousLine, "-", 126, 53, 22, 14),
    edit(kScheduleTime, 15, 84, 40, 12, kScheduleLabel).limit(kScheduleChars),
    label(kScheduleLabel, 60, 82, 185, 26),
    button(kNextSchedule, "next time schedule", 15, 110, 85, 14),
    button(kPreviousSchedule, "previous time schedule", 105, 110, 100, 14),
    edit(kScheduleNumber, 15, 128, 30, 12, "schedule number"),
    label("schedule number", 50, 130, 100, 8),
    option(kScheduleOrAutomatic, "schedule time(marked) or automatic (unmarked)", 15, 144, 230, 12),
    edit(kLineDelay, 15, 160, 30, 12, "delay between lines in second").limit(3),
    label("delay between lines in second", 50, 162, 150, 8),
    edit(kStartupDelay, 15, 176, 30, 12, "startup delay in seconds").limit(kStartupDelayChars),
    label("startup delay in seconds", 50, 178, 150, 8),
    option(kTransmitIpServer, "tansmit IP server for all test messages", 10, 208, 240, 12),
    button(kUpload, "update DV70-1 with your newly programmed telephone numbers and scheduled test times", 10, 236, 240, 22),
    group("schedule test start time", 10, 72, 240, 132),
    group("DV70-1", 5, 3, 250, 260),
    multiLineEdit(kLog, 5, 266, 250, 46, "log"),
    option(kEmailGoodResult, "email good result also", 10, 222, 240, 12),
    option(kRawFormat, "received raw format", 270, 24, 110, 12),
    group("RZ50", 260, 3, 255, 108),
    option(kDecodedFormat, "decoded format", 270, 38, 110, 12),
    option(kSurGardFormat, "su-gard format", 270, 52, 110, 12),
    group("RS232 OUTPUT FORMAT", 265, 13, 120, 56),
    option(kHeartbeat, "HEARTBEAT", 392, 24, 118, 12),
    option(kReceiverEnable, "Enable alarm receiver", 392, 38, 118, 12),
    edit(kTcpSocketSize, 270, 76, 40, 12, "TCP socket size (RZ50A)").limit(3),
    edit(kUdpSocketSize, 270, 92, 40, 12, "UDP socket size (RZ50A)").limit(3),
    label("TCP socket size (RZ50A)", 315, 78, 190, 8),
    label("UDP socket size (RZ50A)", 315, 94, 190, 8),
    edit(kSlaveMac, 265, 125, 150, 12, "SLAVE MAC ADDRESS").limit(kMacChars),
    label("SLAVE MAC ADDRESS", 420, 127, 90, 8),
    label("MY MAC IN TX410A, WHICH IS DOWNLOADED TO SLAVE MAC", 265, 141, 245, 8),
    edit(kServerMac, 265, 151, 150, 12, "MY MAC IN TX410A, WHICH IS DOWNLOADED TO SLAVE MAC").limit(kMacChars),
    label("READING DIALING TELEPHONE NUMBER IN THE SERVER MAC IN THE ABOVE BT DEVICE", 265, 167, 245, 16),
    edit(kDialingNumber, 265, 185, 150, 12, "READING DIALING TELEPHONE NUMBER IN THE SERVER MAC IN THE ABOVE BT DEVICE"),
    group("BT DEVICE PROGRAMMING", 260, 114, 255, 118),
    button(kPair, "SOCKET CONNECTION TO THE ABOVE SLAVE AND OBTAIN PROGRAMMED DATA", 265, 201, 245, 24),
    option(kBaud1200, "1.2K", 265, 247, 38, 12),
    option(kBaud2400, "2.4K", 305, 247, 38, 12),
    option(kBaud9600, "9.6K", 345, 247, 38, 12),
    option(kBaud19200, "19.2K", 385, 247, 40, 12),
    option(kBaud57600, "57.6K", 427, 247, 40, 12),
    option(kBaud115200, "115.2K", 469, 247, 44, 12),
    group("RS232 baud rate", 260, 236, 255, 28),
    // Its slot holds 1023 characters and a zero byte: nothing is cut without a word.
    multiLineEdit(kSubscriber, 260, 278, 255, 34, "Subscriber information for TX480").limit(1023),
    label("Subscriber information for TX480", 260, 268, 250, 8),
    label(kStatusLine, "link: idle", 5, 316, 510, 10),
}};
// clang-format on
}  // namespace dialer_ids::detail

inline constexpr int kDialerWidth = 520;
inline constexpr int kDialerHeight = 330;
static_assert(idsAreUnique(dialer_ids::detail::kDialerControls));
static_assert(controlsInside(dialer_ids::detail::kDialerControls, kDialerWidth, kDialerHeight));
static_assert(controlsAreNamed(dialer_ids::detail::kDialerControls));

inline constexpr DialogTemplate kDialerDialogTemplate{
    kDialerDialogResource, kDialerCaption,
    kDialerWidth,          kDialerHeight,
    "MS Sans Serif",       8,
    kAppIconResource,      dialer_ids::detail::kDialerControls};

}  // namespace veskator
