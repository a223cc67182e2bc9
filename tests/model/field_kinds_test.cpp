// What each kind of field takes, asked the way the command line asks it: by setting name, before
// any workspace is touched. The values are typed from what the device reads, not from the rules.

#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "model/settings.h"

namespace veskator {
namespace {

struct Value {
    const char* setting;
    const char* value;
    bool taken;
};

// clang-format off
constexpr Value kValues[] = {
    {"SMTP PORT NUMBER LIKE 25, 80, or 587", "587",              true},
    {"SMTP PORT NUMBER LIKE 25, 80, or 587", "65535",            true},
    {"SMTP PORT NUMBER LIKE 25, 80, or 587", "",                 true},   // cleared
    {"SMTP PORT NUMBER LIKE 25, 80, or 587", "abc",              false},
    {"SMTP PORT NUMBER LIKE 25, 80, or 587", "70000",            false},
    {"SMTP PORT NUMBER LIKE 25, 80, or 587", "-1",               false},
    {"SMTP PORT NUMBER LIKE 25, 80, or 587", " 25",              false},
    {"SMTP PORT NUMBER LIKE 25, 80, or 587", "0",                false},
    {"IP PORT NUMBER 1",                     "5001",             true},
    {"IP PORT NUMBER 2",                     "50x1",             false},
    {"Server IP Address 1",                  "192.168.1.100",    true},
    {"Server IP Address 1",                  "rx-1.alarm.example", true},
    {"Server IP Address 1",                  "999.1.1.1",        false},
    {"Server IP Address 1",                  "1.2.3",            false},
    {"Server IP Address 1",                  "hello",            false},
    {"Server IP Address 1",                  "-rx.example",      false},
    {"Server IP Address 1",                  "rx..example",      false},
    {"Server IP Address 2",                  "rx_2.example",     false},
    {"startup delay in seconds",             "30",               true},
    {"startup delay in seconds",             "3O",               false},
    {"MAIL SERVER",                          "smtp.example.org", true},
    {"MAIL SERVER",                          "a b",              true},   // any text
};
// clang-format on

TEST(FieldKinds, EachKindTakesWhatTheDeviceReadsAndRefusesTheRestWithItsReason) {
    for (const Value& v : kValues) {
        SCOPED_TRACE(std::string(v.setting) + "=" + v.value);
        const auto checked = checkAssignment(v.setting, v.value);
        if (v.taken) {
            EXPECT_TRUE(std::holds_alternative<Assignment>(checked))
                << std::get<std::string>(checked);
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<std::string>(checked));
        EXPECT_NE(std::get<std::string>(checked).find(" takes "), std::string::npos)
            << std::get<std::string>(checked);
    }
}

}  // namespace
}  // namespace veskator
