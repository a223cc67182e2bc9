#pragma once
// The communicator options window (dialog resource 100): 760 x 409 dialog units. Controls follow
// the window's groups in tab order; every text box is preceded by its label. Beyond the original
// controls there is a status line at the bottom with the link's progress and last error.

#include <array>

#include "resources/dialog_template.h"
#include "resources/main_dialog_template.h"  // the application icon

namespace veskator {

// Control ids of the options window.
namespace options_ids {
// Contact ID alarm messages, LOOP1 and LOOP2.
inline constexpr ControlId kAccount1 = 1003;
inline constexpr ControlId kQualifier1 = 1004;
inline constexpr ControlId kPartition1 = 1005;
inline constexpr ControlId kZone1 = 1006;
inline constexpr ControlId kField18_1 = 1007;
inline constexpr ControlId kAlarmCode1 = 1008;
inline constexpr ControlId kAccount2 = 1009;
inline constexpr ControlId kField18_2 = 1010;
inline constexpr ControlId kQualifier2 = 1011;
inline constexpr ControlId kAlarmCode2 = 1012;
inline constexpr ControlId kPartition2 = 1013;
inline constexpr ControlId kZone2 = 1015;
// E-mail.
inline constexpr ControlId kToAddress = 1042;
inline constexpr ControlId kFromAddress = 1043;
inline constexpr ControlId kMailServer = 1044;
inline constexpr ControlId kUser = 1045;
inline constexpr ControlId kPassword = 1046;
inline constexpr ControlId kSubject = 1048;
// Dynamic DNS.
inline constexpr ControlId kDdnsHost = 1052;
inline constexpr ControlId kDdnsUser = 1053;
inline constexpr ControlId kDdnsPassword = 1054;
inline constexpr ControlId kDdnsCheckIp = 1055;
inline constexpr ControlId kDdnsUpdateServer = 1056;
inline constexpr ControlId kDdnsEnable = 1057;
inline constexpr ControlId kMessageBox = 1058;
inline constexpr ControlId kDisplayIp = 1067;
inline constexpr ControlId kForceDdns = 1068;
inline constexpr ControlId kAddIpMessage = 1073;
inline constexpr ControlId kAlarmMonitor = 1074;
inline constexpr ControlId kTestReports = 1075;
inline constexpr ControlId kAtPanel = 1076;
inline constexpr ControlId kAtReceiver = 1077;
inline constexpr ControlId kSoundSlider = 1078;
inline constexpr ControlId kRestoreSlider = 1079;
inline constexpr ControlId kContactIdFormat = 1080;
inline constexpr ControlId kArm1 = 1082;
inline constexpr ControlId kArm2 = 1083;
inline constexpr ControlId kAlarmLatched1 = 1084;
inline constexpr ControlId kAlarmLatched2 = 1085;
inline constexpr ControlId kMicInput = 1087;
inline constexpr ControlId kSetupSlider = 1088;
inline constexpr ControlId kLoopStatus1 = 1089;
inline constexpr ControlId kLoopStatus2 = 1090;
inline constexpr ControlId kSirenSlider = 1091;
inline constexpr ControlId kSoundBox = 1092;
inline constexpr ControlId kPrealarmSlider = 1093;
inline constexpr ControlId kRestoreBox = 1094;
inline constexpr ControlId kClearDdns = 1095;
inline constexpr ControlId kClearEmail = 1096;
inline constexpr ControlId kPrealarmBox = 1097;
inline constexpr ControlId kEnableDialer = 1098;
inline constexpr ControlId kBackupTel = 1099;
inline constexpr ControlId kSmtpPort = 1100;
inline constexpr ControlId kRepeatEmail = 1101;
inline constexpr ControlId kTime = 1102;
inline constexpr ControlId kTimePlus = 1103;
inline constexpr ControlId kTimeMinus = 1104;
inline constexpr ControlId kSetupBox = 1105;
inline constexpr ControlId kMainTel = 1106;
inline constexpr ControlId kTestRate = 1107;
inline constexpr ControlId kSirenBox = 1108;
inline constexpr ControlId kModulationBox = 1109;
inline constexpr ControlId kNormallyClosed1 = 1111;
inline constexpr ControlId kNormallyClosed2 = 1112;
inline constexpr ControlId kListenIn = 1113;
inline constexpr ControlId kReceiverOrVoice = 1114;
inline constexpr ControlId kReadLoopStatus = 1115;
inline constexpr ControlId kSendTest = 1116;
inline constexpr ControlId kHistoryFile = 1117;
inline constexpr ControlId kTestEveryTwoHours = 1120;
inline constexpr ControlId kRedial = 1129;
inline constexpr ControlId kDialerWindow = 1130;
inline constexpr ControlId kStatusLine = 1190;
}  // namespace options_ids

inline constexpr int kOptionsDialogResource = 100;
inline constexpr std::string_view kOptionsCaption = "KVT PROGRAMMING";

namespace options_ids::detail {
using K = ControlKind;
// Text boxes take one character less than their field, so a text always keeps its zero byte;
// TO ADDRESS and TIME+/TIME- keep their smaller limits, and the LOOP2 Contact ID boxes take as
// many digits as LOOP1's.
// clang-format off
inline constexpr std::array<ControlTemplate, 115> kOptionsControls{{
    {kStaticId, K::GroupFrame, "EMAIL", 5, 3, 245, 211},
    {kRepeatEmail, K::Option, "REPEAT EMAIL", 10, 14, 72, 10},
    {kStaticId, K::Label, "SMTP PORT NUMBER LIKE 25, 80, or 587", 10, 32, 80, 17},
    {kSmtpPort, K::Edit, "", 92, 34, 60, 12, 15, "SMTP PORT NUMBER LIKE 25, 80, or 587"},
    {kStaticId, K::Label, "TO ADDRESS", 10, 54, 80, 8},
    {kToAddress, K::Edit, "", 92, 52, 153, 12, 64, "TO ADDRESS"},
    {kContactIdFormat, K::Option, "Contact-ID format", 84, 14, 78, 10},
    {kStaticId, K::Label, "FROM ADDRESS", 10, 70, 80, 8},
    {kFromAddress, K::Edit, "", 92, 68, 153, 12, 31, "FROM ADDRESS"},
    {kAddIpMessage, K::Option, "Add IP alarm message for emails", 164, 10, 84, 20},
    {kStaticId, K::Label, "MAIL SERVER", 10, 86, 80, 8},
    {kMailServer, K::Edit, "", 92, 84, 153, 12, 31, "MAIL SERVER"},
    {kStaticId, K::Label, "TIME", 10, 150, 80, 8},
    {kTime, K::Edit, "", 92, 148, 60, 12, 15, "TIME"},
    {kStaticId, K::Label, "USER", 10, 102, 80, 8},
    {kUser, K::Edit, "", 92, 100, 153, 12, 31, "USER"},
    {kStaticId, K::Label, "TIME+", 10, 166, 80, 8},
    {kTimePlus, K::Edit, "", 92, 164, 60, 12, 7, "TIME+"},
    {kStaticId, K::Label, "PASSWORD", 10, 118, 80, 8},
    {kPassword, K::Edit, "", 92, 116, 90, 12, 15, "PASSWORD", true},
    {kStaticId, K::Label, "TIME-", 10, 182, 80, 8},
    {kTimeMinus, K::Edit, "", 92, 180, 60, 12, 7, "TIME-"},
    {kStaticId, K::Label, "SUBJECT", 10, 134, 80, 8},
    {kSubject, K::Edit, "", 92, 132, 90, 12, 15, "SUBJECT"},
    {kClearEmail, K::PushButton, "CLEAR EMAIL DATA", 10, 197, 110, 13},
    {kHistoryFile, K::PushButton, "CREATE HISTORY FILE", 5, 218, 115, 13},

    {kStaticId, K::GroupFrame, "DDNS", 5, 235, 245, 150},
    {kStaticId, K::Label, "YOUR DDNS HOST NAME", 10, 246, 80, 17},
    {kDdnsHost, K::Edit, "", 92, 248, 153, 12, 31, "YOUR DDNS HOST NAME"},
    {kStaticId, K::Label, "YOUR DDNS USER NAME", 10, 265, 80, 17},
    {kDdnsUser, K::Edit, "", 92, 267, 153, 12, 31, "YOUR DDNS USER NAME"},
    {kStaticId, K::Label, "YOUR DDNS PASSWORD", 10, 284, 80, 17},
    {kDdnsPassword, K::Edit, "", 92, 286, 153, 12, 31, "YOUR DDNS PASSWORD", true},
    {kStaticId, K::Label, "DDNS CHECKIP SERVER", 10, 303, 80, 17},
    {kDdnsCheckIp, K::Edit, "", 92, 305, 153, 12, 31, "DDNS CHECKIP SERVER"},
    {kStaticId, K::Label, "DDNS UPDATE SERVER", 10, 322, 80, 17},
    {kDdnsUpdateServer, K::Edit, "", 92, 324, 153, 12, 31, "DDNS UPDATE SERVER"},
    {kDdnsEnable, K::Option, "ENABLE DDNS CLIENT UPDATE", 10, 343, 160, 12},
    {kForceDdns, K::PushButton, "FORCE DDNS UPDATE", 10, 362, 110, 14},
    {kClearDdns, K::PushButton, "CLEAR DYNDNS DATA", 130, 362, 110, 14},

    {kStaticId, K::GroupFrame, "ALARM MONITOR", 255, 3, 250, 48},
    {kAlarmMonitor, K::Option, "ENABLE ALARM MONITOR", 260, 13, 140, 12},
    {kAtPanel, K::Option, "PLACED AT ALARM PANEL", 260, 28, 115, 18},
    {kAtReceiver, K::Option, "PLACED AT ALARM RECEIVER", 378, 28, 124, 18},

    {kStaticId, K::GroupFrame, "TEST MESSAGES", 255, 54, 250, 88},
    {kTestReports, K::Option, "sending test reports", 260, 64, 110, 12},
    {kStaticId, K::Label, "test rate in 0-512 sec", 375, 66, 80, 8},
    {kTestRate, K::Edit, "", 458, 64, 42, 12, 0, "test rate in 0-512 sec"},
    {kTestEveryTwoHours, K::Option, "TEST EVERY TWO HOURS ON THE HOURS AS 08:00, 10:00, ETC.", 260, 78, 240, 20},
    {kSendTest, K::PushButton, "SEND TEST MESSAGES TO IP SERVERS, EMAIL ADDRESSES, CONTACT-ID-TEST MESSAGE OVER TELEPHONE LINE", 260, 100, 240, 38},

    {kStaticId, K::GroupFrame, "ALARM MESSAGE PROG", 255, 145, 190, 114},
    {kStaticId, K::Label, "LOOP1", 360, 155, 35, 8},
    {kStaticId, K::Label, "LOOP2", 400, 155, 35, 8},
    {kStaticId, K::Label, "4-digit account number", 260, 167, 98, 8},
    {kAccount1, K::Edit, "", 360, 165, 35, 12, 4, "LOOP1 4-digit account number"},
    {kAccount2, K::Edit, "", 400, 165, 35, 12, 4, "LOOP2 4-digit account number"},
    {kStaticId, K::Label, "Contact ID field 18", 260, 182, 98, 8},
    {kField18_1, K::Edit, "", 360, 180, 35, 12, 2, "LOOP1 Contact ID field 18"},
    {kField18_2, K::Edit, "", 400, 180, 35, 12, 2, "LOOP2 Contact ID field 18"},
    {kStaticId, K::Label, "1(new) or 3(restore)", 260, 197, 98, 8},
    {kQualifier1, K::Edit, "", 360, 195, 35, 12, 1, "LOOP1 1(new) or 3(restore)"},
    {kQualifier2, K::Edit, "", 400, 195, 35, 12, 1, "LOOP2 1(new) or 3(restore)"},
    {kStaticId, K::Label, "3-digit alarm code", 260, 212, 98, 8},
    {kAlarmCode1, K::Edit, "", 360, 210, 35, 12, 3, "LOOP1 3-digit alarm code"},
    {kAlarmCode2, K::Edit, "", 400, 210, 35, 12, 3, "LOOP2 3-digit alarm code"},
    {kStaticId, K::Label, "2-digit partition", 260, 227, 98, 8},
    {kPartition1, K::Edit, "", 360, 225, 35, 12, 2, "LOOP1 2-digit partition"},
    {kPartition2, K::Edit, "", 400, 225, 35, 12, 2, "LOOP2 2-digit partition"},
    {kStaticId, K::Label, "3-digit zone", 260, 242, 98, 8},
    {kZone1, K::Edit, "", 360, 240, 35, 12, 3, "LOOP1 3-digit zone"},
    {kZone2, K::Edit, "", 400, 240, 35, 12, 3, "LOOP2 3-digit zone"},
    {kDialerWindow, K::PushButton, "DV70-1 and RZ50", 450, 152, 55, 26},

    {kStaticId, K::GroupFrame, "LOOP1", 255, 262, 125, 104},
    {kArm1, K::Option, "ARM", 260, 273, 50, 12},
    {kNormallyClosed1, K::Option, "NORMALLY CLOSED", 260, 287, 115, 12},
    {kLoopStatus1, K::Option, "loop status", 260, 301, 115, 12},
    {kAlarmLatched1, K::Option, "ALARM detected-click to clear", 260, 315, 115, 20},
    {kReadLoopStatus, K::Option, "reading loop status", 260, 337, 115, 20},
    {kStaticId, K::GroupFrame, "LOOP2", 385, 262, 120, 104},
    {kArm2, K::Option, "ARM", 390, 273, 50, 12},
    {kNormallyClosed2, K::Option, "NORMALLY CLOSED LOOP", 390, 287, 112, 12},
    {kLoopStatus2, K::Option, "loop status", 390, 301, 112, 12},
    {kAlarmLatched2, K::Option, "ALARM detected-click to clear", 390, 315, 112, 20},
    {kMicInput, K::Option, "MIC INPUT INSTEAD OF LOOP2", 390, 337, 112, 20},

    {kStaticId, K::Label, "ALARM RESTORE (sec)", 510, 6, 112, 17},
    {kRestoreBox, K::Edit, "", 624, 6, 30, 12, 0, "ALARM RESTORE (sec)"},
    {kRestoreSlider, K::Slider, "", 658, 6, 97, 14, 0, "ALARM RESTORE (sec) slider"},
    {kStaticId, K::Label, "SIREN MODULATION FREQ", 510, 26, 112, 17},
    {kModulationBox, K::Edit, "", 624, 26, 30, 12, 0, "SIREN MODULATION FREQ"},
    {kStaticId, K::Label, "ALARM SETUP DELAY (sec)", 510, 46, 112, 17},
    {kSetupBox, K::Edit, "", 624, 46, 30, 12, 0, "ALARM SETUP DELAY (sec)"},
    {kSetupSlider, K::Slider, "", 658, 46, 97, 14, 0, "ALARM SETUP DELAY (sec) slider"},
    {kStaticId, K::Label, "ENTRY PREALARM PERIOD (sec)", 510, 66, 112, 17},
    {kPrealarmBox, K::Edit, "", 624, 66, 30, 12, 0, "ENTRY PREALARM PERIOD (sec)"},
    {kPrealarmSlider, K::Slider, "", 658, 66, 97, 14, 0, "ENTRY PREALARM PERIOD (sec) slider"},
    {kStaticId, K::Label, "SOUND DETECTING LEVEL", 510, 91, 112, 17},
    {kSoundBox, K::Edit, "", 624, 91, 30, 12, 0, "SOUND DETECTING LEVEL"},
    {kStaticId, K::Label, "sensitive", 658, 84, 45, 8},
    {kSoundSlider, K::Slider, "", 658, 93, 97, 14, 0, "SOUND DETECTING LEVEL slider"},
    {kStaticId, K::Label, "insensitive", 708, 84, 47, 8},
    {kStaticId, K::Label, "SIREN PERIOD (sec)", 510, 111, 112, 17},
    {kSirenBox, K::Edit, "", 624, 111, 30, 12, 0, "SIREN PERIOD (sec)"},
    {kSirenSlider, K::Slider, "", 658, 111, 97, 14, 0, "SIREN PERIOD (sec) slider"},

    {kStaticId, K::GroupFrame, "TELEPHONE LINE", 510, 131, 245, 116},
    {kEnableDialer, K::Option, "enabledialer", 515, 142, 90, 12},
    {kStaticId, K::Label, "main tel#", 515, 158, 110, 8},
    {kMainTel, K::Edit, "", 628, 156, 122, 12, 15, "main tel#"},
    {kStaticId, K::Label, "back-up tel# or for redial QM30/QL30NET", 515, 171, 110, 17},
    {kBackupTel, K::Edit, "", 628, 173, 122, 12, 15, "back-up tel# or for redial QM30/QL30NET"},
    {kReceiverOrVoice, K::Option, "alarm receiver or voice call", 515, 191, 160, 12},
    {kListenIn, K::Option, "Enable listen-in after sending Contact-ID Listen-in command or  for voice-call", 515, 205, 235, 20},
    {kRedial, K::Option, "REDIAL QM30/QL30NET", 515, 229, 130, 12},

    {kDisplayIp, K::PushButton, "DISPLAY IP ADDRESSES", 510, 251, 120, 14},
    {kMessageBox, K::MultiLineEdit, "", 510, 268, 245, 118, 0, "message box"},
    {kStatusLine, K::Label, "link: idle", 5, 392, 750, 10},
}};
// clang-format on
}  // namespace options_ids::detail

inline constexpr int kOptionsWidth = 760;
inline constexpr int kOptionsHeight = 409;
static_assert(idsAreUnique(options_ids::detail::kOptionsControls));
static_assert(controlsInside(options_ids::detail::kOptionsControls, kOptionsWidth, kOptionsHeight));

inline constexpr DialogTemplate kOptionsDialogTemplate{
    kOptionsDialogResource, kOptionsCaption,
    kOptionsWidth,          kOptionsHeight,
    "MS Sans Serif",        8,
    kAppIconResource,       options_ids::detail::kOptionsControls};

}  // namespace veskator
