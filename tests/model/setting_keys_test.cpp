// The names a script gives settings: each setting's key, stable and unique, found in any case, and
// its label as the window shows it (without the blanks it ends in, too); and what each kind takes.

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "model/settings.h"

namespace veskator {
namespace {

TEST(SettingKeys, EveryKeyIsTheOneScriptsKnowUniqueAndFoundInAnyCase) {
    std::ifstream in(std::string(VESKATOR_SOURCE_DIR) + "/tests/model/setting_keys.txt");
    std::vector<std::string> known;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.front() != '#') known.push_back(line);
    }
    std::vector<std::string> keys;
    std::set<std::string> unique;
    const std::regex shape("(main|options|dialer)\\.[a-z0-9]+(_[a-z0-9]+)*");
    for (const Setting& s : allSettings()) {
        keys.push_back(s.key);
        unique.insert(s.key);
        EXPECT_TRUE(std::regex_match(s.key, shape)) << s.key;
        std::string upper = s.key;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const auto found = findSetting(upper);
        ASSERT_TRUE(std::holds_alternative<const Setting*>(found)) << upper;
        EXPECT_EQ(std::get<const Setting*>(found), &s);
    }
    EXPECT_EQ(keys, known);
    EXPECT_EQ(unique.size(), keys.size());
}

TEST(SettingKeys, LabelsKeysAndKindsNameTheSameSetting) {
    struct Case {
        const char* name;
        const char* key;
        SettingKind kind;
        const char* takes;
    };
    // clang-format off
    const Case cases[] = {
        {"MAIL SERVER",                           "options.mail_server",     SettingKind::Text,
         "text, up to 31 characters"},
        {"main/Server IP Address 1",              "main.server_ip_address_1", SettingKind::Host,
         "a host name with its domain or a dotted IPv4 address, up to 30 characters"},
        {"Include Time Stamp (GMT-time in UK) ",  "main.include_time_stamp_gmt_time_in_uk",
         SettingKind::OnOff, "on or off"},
        {"Include Time Stamp (GMT-time in UK)",   "main.include_time_stamp_gmt_time_in_uk",
         SettingKind::OnOff, "on or off"},
        {"test rate in 0-512 sec",                "options.test_rate_in_0_512_sec",
         SettingKind::Number, "a number from 0 to 510 in steps of 2"},
        {"ARM (LOOP1)",                           "options.arm_loop1",       SettingKind::OnOff,
         "on or off"},
        {"SMTP PORT NUMBER LIKE 25, 80, or 587",  "options.smtp_port_number_like_25_80_or_587",
         SettingKind::Port, "a port, 1 to 65535"},
        {"RS232 baud rate",                       "dialer.rs232_baud_rate",  SettingKind::Choice,
         "one of: 1.2K, 2.4K, 9.6K, 19.2K, 57.6K, 115.2K"},
        {"my MAC Address",                        "main.my_mac_address",     SettingKind::Shown,
         "shown only"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto found = findSetting(c.name);
        ASSERT_TRUE(std::holds_alternative<const Setting*>(found)) << std::get<std::string>(found);
        const Setting& s = *std::get<const Setting*>(found);
        EXPECT_EQ(s.key, c.key);
        EXPECT_EQ(s.kind, c.kind);
        EXPECT_EQ(s.kindText(), c.takes);
    }
    // What a label does not say is in its note.
    const Setting& rate = *std::get<const Setting*>(findSetting("options.test_rate_in_0_512_sec"));
    EXPECT_NE(rate.note.find("even numbers 0 to 510"), std::string::npos);
    const Setting& stamp =
        *std::get<const Setting*>(findSetting("main.include_time_stamp_gmt_time_in_uk"));
    EXPECT_NE(stamp.note.find("ends in a blank"), std::string::npos);
}

TEST(SettingKeys, TextsComeAsUtf8AndAreHeldAsLatin1) {
    EXPECT_EQ(latin1FromUtf8("caf\xc3\xa9 \xc2\xa0"), std::string("caf\xe9 \xa0"));
    EXPECT_EQ(utf8FromLatin1("caf\xe9"), "caf\xc3\xa9");
    for (const char* refused : {"\xe2\x82\xac", "\xe9", "\xc3", "\xc3\x28", "\xc4\x80"}) {
        EXPECT_FALSE(latin1FromUtf8(refused)) << refused;
    }
    const auto stored = checkAssignment("options.subject", "caf\xc3\xa9");
    ASSERT_TRUE(std::holds_alternative<Assignment>(stored));
    EXPECT_EQ(std::get<Assignment>(stored).value, "caf\xe9");
    const auto refused = checkAssignment("options.subject", "5 \xe2\x82\xac");
    ASSERT_TRUE(std::holds_alternative<std::string>(refused));
    EXPECT_EQ(std::get<std::string>(refused),
              "options/SUBJECT takes characters of latin-1 only (as UTF-8), one byte each on the "
              "device");
}

}  // namespace
}  // namespace veskator
