#pragma once
// The main programming window (dialog resource 102): 522 x 334 dialog units. Against the original
// resource, the window is 4 units taller so that the status line has room below it, and two
// options are larger so that their labels are not cut off: BYEcommand (55 units wide, not 42:
// one word that cannot wrap) and Include MAC address (16 units high, not 15: two full lines).

#include <array>

#include "resources/dialog_template.h"

namespace veskator {

// Control ids of the main window.
namespace main_ids {
inline constexpr ControlId kMacAddress = 1000;
inline constexpr ControlId kAlarmSequence = 1001;
inline constexpr ControlId kReceiver1 = 1002;
inline constexpr ControlId kReceiver2 = 1003;
inline constexpr ControlId kAccountPrefix = 1005;
inline constexpr ControlId kProgrammingData = 1006;
inline constexpr ControlId kServerIp1 = 1008;
inline constexpr ControlId kTimeStamp = 1009;
inline constexpr ControlId kIncludeMac = 1011;
inline constexpr ControlId kServerPort1 = 1012;
inline constexpr ControlId kServerIp2 = 1015;
inline constexpr ControlId kServerPort2 = 1016;
inline constexpr ControlId kNoCrc = 1017;
inline constexpr ControlId kDeviceServerPort = 1019;
inline constexpr ControlId kTargetAddress = 1020;
inline constexpr ControlId kByeCommand = 1034;
inline constexpr ControlId kCommentFields = 1035;
inline constexpr ControlId kAttachDecoded = 1036;
inline constexpr ControlId kEmail = 1037;
inline constexpr ControlId kSecondServer = 1038;
inline constexpr ControlId kDc09 = 1039;
inline constexpr ControlId kOptionsWindow = 1040;
inline constexpr ControlId kListenIn = 1041;
inline constexpr ControlId kIncludeProgData = 1042;
inline constexpr ControlId kSearchOpenPort = 1044;
inline constexpr ControlId kSaveName = 1049;
inline constexpr ControlId kLoadName = 1050;
inline constexpr ControlId kTargetPort = 1058;
inline constexpr ControlId kSave = 1059;
inline constexpr ControlId kLoad = 1060;
inline constexpr ControlId kMessageWindow = 1061;
inline constexpr ControlId kYes = 1062;
inline constexpr ControlId kNo = 1063;
inline constexpr ControlId kStartGo = 1064;
inline constexpr ControlId kAutoKissoff = 1066;
inline constexpr ControlId kNoServerAck = 1067;
inline constexpr ControlId kTcpOrUdp = 1068;
inline constexpr ControlId kFinalize = 1069;
inline constexpr ControlId kUdpAck = 1070;
inline constexpr ControlId kTraceBox = 1073;
inline constexpr ControlId kAlarmCode = 1107;
inline constexpr ControlId kDownloadLine = 1108;
inline constexpr ControlId kProprietary = 1114;
inline constexpr ControlId kIpThenContactId = 1115;
// Beyond the original controls: a status line with the link's progress and last error.
inline constexpr ControlId kStatusLine = 1190;
// Beyond the original controls: compares the file named for loading with the image.
inline constexpr ControlId kCompare = 1191;
// Beyond the original controls: the progress of a long transfer and its time left.
inline constexpr ControlId kProgress = 1192;
// Beyond the original controls: the devices read last, to pick the target from.
inline constexpr ControlId kRecentDevices = 1193;
// Beyond the original controls: pick the file to save in, or to load from, in a file dialog.
inline constexpr ControlId kPickSaveName = 1194;
inline constexpr ControlId kPickLoadName = 1195;
}  // namespace main_ids

inline constexpr int kMainDialogResource = 102;
inline constexpr int kAppIconResource = 128;
// String resource 101: the About entry of the window's system menu; it opens the options window.
inline constexpr std::string_view kAboutEntryText = "About VESKATOR (communicator options)...";
inline constexpr int kAboutCommand = 16;
inline constexpr std::string_view kMainCaption =
    "VESKATOR.EXE  V3.1                    www.norvane.example";

namespace detail {
namespace ids = main_ids;
// clang-format off
inline constexpr std::array<ControlTemplate, 68> kMainControls{{
    label("my MAC Address", 25, 47, 63, 10),
    edit(ids::kMacAddress, 88, 45, 105, 15, "my MAC Address"),
    label("Alarm Sequence Number", 25, 66, 60, 18),
    edit(ids::kAlarmSequence, 88, 65, 105, 15, "Alarm Sequence Number").limit(15),
    edit(ids::kReceiver1, 88, 82, 105, 15, "Receiver Number 1").limit(15),
    label("Receiver Number 1", 20, 85, 65, 11),
    label("Account Prefix", 25, 102, 60, 11),
    edit(ids::kAccountPrefix, 87, 98, 105, 15, "Account Prefix").limit(15),
    label("Server IP Address 1", 210, 40, 70, 10),
    edit(ids::kServerIp1, 210, 56, 100, 15, "Server IP Address 1").limit(30),
    option(ids::kTimeStamp, "Include Time Stamp (GMT-time in UK) ", 25, 154, 70, 25),
    option(ids::kIncludeMac, "Include MAC address", 25, 135, 58, 16),
    label("IP PORT NUMBER 1", 210, 70, 70, 8),
    edit(ids::kServerPort1, 210, 90, 80, 12, "IP PORT NUMBER 1").limit(11),
    option(ids::kNoCrc, "no CRC (for testing receiver)", 25, 180, 75, 20),
    label("warning: data below showing beginning value", 33, 35, 166, 10),
    option(ids::kByeCommand, "BYEcommand", 258, 175, 55, 20),
    option(ids::kCommentFields, "comment fields", 258, 145, 42, 20),
    label("Receiver Number 2", 340, 125, 70, 11),
    edit(ids::kReceiver2, 340, 140, 86, 15, "Receiver Number 2").limit(15),
    label("IP PORT NUMBER 2", 340, 100, 70, 8),
    edit(ids::kServerIp2, 340, 80, 82, 15, "Server IP Address 2").limit(31),
    label("Server IP Address 2", 340, 65, 70, 10),
    edit(ids::kServerPort2, 340, 110, 83, 12, "IP PORT NUMBER 2").limit(15),
    option(ids::kEmail, "EMAIL", 210, 140, 42, 21),
    option(ids::kSecondServer, "sending to 2nd server", 330, 170, 90, 10),
    option(ids::kAttachDecoded, "Attach decoded message in V field", 210, 160, 42, 33),
    edit(ids::kProgrammingData, 88, 114, 105, 15, "Programming data").limit(15),
    label("SERVER PORT (CHANGING DISABLED)", 200, 110, 55, 25),
    button(ids::kOptionsWindow, "EMAIL AND DDNS PARAMETERS PROGRMMING", 415, 200, 100, 30),
    option(ids::kListenIn, "Listen-in via IP", 330, 160, 65, 8),
    label("EITHER OR", 420, 165, 47, 8),
    edit(ids::kDeviceServerPort, 260, 110, 50, 12, "SERVER PORT (CHANGING DISABLED)"),
    label("Programming data", 25, 115, 60, 11),
    edit(ids::kTargetAddress, 100, 10, 100, 15, "Target clientl  IP Address or host name"),
    dropDown(ids::kRecentDevices, 202, 10, 14, 15, "recent devices"),
    label("Target clientl  IP Address or host name", 10, 10, 72, 20),
    label("Target client port number", 220, 10, 60, 20),
    edit(ids::kTargetPort, 280, 10, 75, 15, "Target client port number"),
    edit(ids::kSaveName, 10, 250, 90, 15, "SAVING IN FILE BELOW"),
    button(ids::kPickSaveName, "...", 102, 250, 14, 15),
    button(ids::kSave, "SAVING IN FILE BELOW", 10, 230, 90, 10),
    edit(ids::kLoadName, 120, 250, 110, 15, "LOADING FROM FILE BELOW"),
    button(ids::kPickLoadName, "...", 231, 250, 8, 15),
    button(ids::kLoad, "LOADING FROM FILE BELOW", 120, 230, 110, 10),
    edit(ids::kMessageWindow, 290, 250, 55, 12, "message window"),
    button(ids::kYes, "YES", 240, 230, 40, 10),
    button(ids::kNo, "NO", 240, 250, 40, 10),
    group("Parameter Saving/Loading", 0, 220, 375, 50),
    option(ids::kIncludeProgData, "Include Prog. Data", 90, 130, 42, 25),
    button(ids::kStartGo, "Start/Go", 370, 10, 60, 10),
    option(ids::kAutoKissoff, "AUTOMATIC KISSOFF (NOT FOR TX410)", 5, 205, 145, 15),
    option(ids::kSearchOpenPort, "SEARCH OPEN PORT, IP PORT NUMBER+(0-9) MUST DISABLE 2ND SERVER", 105, 160, 80, 40),
    option(ids::kTcpOrUdp, "TCP(or UDP)", 425, 70, 60, 10),
    button(ids::kFinalize, "Finalize flash memory write after any change before exit", 405, 30, 100, 20),
    multiLineEdit(ids::kTraceBox, 5, 280, 505, 20, "link trace"),
    button(ids::kAlarmCode, "LOAD EXTERNAL ALARM CODE(OPTION)", 325, 180, 150, 10),
    edit(ids::kDownloadLine, 0, 310, 510, 12, "alarm code download"),
    option(ids::kProprietary, "proprietary format", 140, 130, 50, 20),
    group("OPTIONAL FEATURES-NOT FOR TX410", 320, 55, 170, 140),
    option(ids::kNoServerAck, "NO SERVER ACK REQUIRED FOR GENERATING KISS-OFF", 165, 195, 125, 25),
    option(ids::kIpThenContactId, "starting IP message then Contact-ID message", 290, 30, 100, 20),
    label("message window", 290, 230, 70, 10),
    option(ids::kDc09, "DC09-2013", 400, 235, 65, 15),
    option(ids::kUdpAck, "REPLY (ACK) GENERATION IN UDP", 295, 195, 110, 25),
    label(ids::kStatusLine, "link: idle", 0, 322, 510, 8),
    button(ids::kCompare, "compare with file", 380, 252, 70, 12),
    progress(ids::kProgress, 0, 332, 510, 11, "transfer progress"),
}};
// clang-format on
}  // namespace detail

inline constexpr int kMainWidth = 522;
inline constexpr int kMainHeight = 346;
static_assert(idsAreUnique(detail::kMainControls));
static_assert(controlsAreNamed(detail::kMainControls));
static_assert(controlsInside(detail::kMainControls, kMainWidth, kMainHeight));

inline constexpr DialogTemplate kMainDialogTemplate{
    kMainDialogResource, kMainCaption,         kMainWidth, kMainHeight, "MS Sans Serif", 8,
    kAppIconResource,    detail::kMainControls};

}  // namespace veskator
