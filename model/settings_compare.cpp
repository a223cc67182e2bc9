#include "model/settings_compare.h"

#include <array>
#include <functional>
#include <initializer_list>

#include "model/dialer_data.h"

namespace veskator {
namespace {

// The bits a setting shows, given the two values it shows.
NamedBits shownBits(const Setting& s, const std::string& a, const std::string& b) {
    if (s.textChars == 0) return s.named;
    // The characters of the longer text, and the zero byte that ends it where one is shown.
    const std::size_t longer = std::max(a.size(), b.size());
    const std::size_t count = std::min(s.named.size(), longer + (longer < s.textChars ? 1 : 0));
    return {s.named.begin(), s.named.begin() + static_cast<std::ptrdiff_t>(count)};
}

// The workspace as the device holds it once it is written: image bytes of 13 go out as 12. The
// dialer's chunks and the spare area are sent as they stand.
std::array<std::uint8_t, kWorkspaceSize> asSent(ConstWorkspace workspace) {
    std::array<std::uint8_t, kWorkspaceSize> bytes{};
    std::copy(workspace.begin(), workspace.end(), bytes.begin());
    for (std::size_t i = 0; i < kImageSize; ++i) bytes[i] = sentAs(bytes[i]);
    return bytes;
}

std::string stars(const std::string& text) { return std::string(text.size(), '*'); }

std::string hex(std::size_t value, int digits) {
    constexpr std::string_view kDigits = "0123456789abcdef";
    std::string text;
    for (int d = digits - 1; d >= 0; --d) text += kDigits[(value >> (4 * d)) & 0xf];
    return "0x" + text;
}

std::string csvField(std::string_view field) {
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(field);
    std::string quoted = "\"";
    for (const char c : field) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string csvLine(std::initializer_list<std::string_view> fields) {
    std::string line;
    for (const std::string_view field : fields) {
        if (!line.empty()) line += ',';
        line += csvField(field);
    }
    return line + "\r\n";
}

}  // namespace

// A changed password says so, and its length, never its characters.
SettingDifference settingDifference(const Setting& setting, std::string before, std::string after) {
    if (setting.secret) {
        before = stars(before);
        after = stars(after);
        if (before == after) after += " (changed)";
    }
    return {setting.window, setting.label, std::move(before), std::move(after)};
}

// Every differing bit is either shown by a setting whose shown value differs, or its byte is
// counted: bytes behind a text's zero byte, bits no option names, a bit another one hides, codes
// shown alike and slot bytes no window shows all change the device without showing as a setting.
SettingsComparison compareSettings(ConstWorkspace beforeBytes, ConstWorkspace afterBytes) {
    const auto beforeSent = asSent(beforeBytes);
    const auto afterSent = asSent(afterBytes);
    const ConstWorkspace before(beforeSent);
    const ConstWorkspace after(afterSent);
    SettingsComparison result;
    std::array<std::uint8_t, kWorkspaceSize> shown{};
    for (const Setting& s : allSettings()) {
        std::string a = s.show(before);
        std::string b = s.show(after);
        if (a == b) continue;
        for (const auto& [offset, mask] : shownBits(s, a, b)) shown[offset] |= mask;
        result.settings.push_back(settingDifference(s, std::move(a), std::move(b)));
    }
    const auto countOther = [&](std::size_t from, std::size_t size) {
        for (std::size_t i = from; i < from + size; ++i) {
            if (((before[i] ^ after[i]) & ~shown[i]) == 0) continue;
            ++result.otherBytes;
            result.others.push_back({i, before[i], after[i]});
        }
    };
    countOther(0, kImageSize);
    countOther(kDialerDataOffset, kDialerDataSize);
    countOther(kSubscriberOffset, kSubscriberSize);
    return result;
}

std::string bytePlaceText(std::size_t offset) {
    if (offset < kImageSize) {
        return blockName(static_cast<int>(offset / kBlockSize)) + " offset " +
               hex(offset % kBlockSize, 2);
    }
    if (offset >= kSubscriberOffset && offset < kSubscriberOffset + kSubscriberSize) {
        return "subscribers offset " + hex(offset - kSubscriberOffset, 3);
    }
    if (offset >= kDialerDataOffset && offset < kDialerDataOffset + kDialerDataSize) {
        return "dialer data offset " + hex(offset - kDialerDataOffset, 4);
    }
    return "offset " + hex(offset, 4);
}

std::string byteText(std::uint8_t byte) { return hex(byte, 2); }

std::string comparisonCsv(const SettingsComparison& comparison, std::string_view beforeName,
                          std::string_view afterName) {
    std::string csv = csvLine({"window", "setting", beforeName, afterName});
    for (SettingsWindow window :
         {SettingsWindow::Main, SettingsWindow::Options, SettingsWindow::Dialer}) {
        for (const SettingDifference& d : comparison.settings) {
            if (d.window == window)
                csv += csvLine({windowName(window), d.label, d.before, d.after});
        }
    }
    for (const ByteDifference& b : comparison.others) {
        csv += csvLine(
            {"other bytes", bytePlaceText(b.offset), byteText(b.before), byteText(b.after)});
    }
    return csv;
}

std::string settingsDifferText(const SettingsComparison& comparison) {
    const std::size_t n = comparison.settings.size();
    return n == 1 ? std::string("1 setting differs") : std::to_string(n) + " settings differ";
}

std::string comparisonReport(const SettingsComparison& comparison, std::string_view beforeName,
                             std::string_view afterName) {
    if (comparison.same()) {
        return std::string(beforeName) + " and " + std::string(afterName) +
               " hold the same settings\r\n";
    }
    std::string report = settingsDifferText(comparison) + " (" + std::string(beforeName) + " -> " +
                         std::string(afterName) + ")\r\n";
    for (SettingsWindow window :
         {SettingsWindow::Main, SettingsWindow::Options, SettingsWindow::Dialer}) {
        bool heading = false;
        for (const SettingDifference& d : comparison.settings) {
            if (d.window != window) continue;
            if (!heading) report += "\r\n[" + std::string(windowName(window)) + "]\r\n";
            heading = true;
            report += d.label + ": \"" + d.before + "\" -> \"" + d.after + "\"\r\n";
        }
    }
    if (comparison.otherBytes > 0) {
        report += "\r\n" + std::to_string(comparison.otherBytes) +
                  " other bytes differ where no window names a setting\r\n";
    }
    return report;
}

}  // namespace veskator
