#include "ui/status_line.h"

#include "model/dialer_data.h"

namespace veskator {

namespace {

// "A0, A2": the blocks as a sentence lists them.
std::string blockSentence(const std::bitset<kBlockCount>& blocks) {
    std::string list;
    for (int b = 0; b < kBlockCount; ++b) {
        if (!blocks.test(static_cast<std::size_t>(b))) continue;
        if (!list.empty()) list += ", ";
        list += blockName(b);
    }
    return list;
}

std::string editCount(int edits) {
    return std::to_string(edits) + (edits == 1 ? " edit" : " edits");
}

std::string hexOffset(int offset) {
    constexpr std::string_view kDigits = "0123456789abcdef";
    std::string text("0x");
    text += kDigits[static_cast<std::size_t>((offset >> 4) & 0xf)];
    text += kDigits[static_cast<std::size_t>(offset & 0xf)];
    return text;
}

std::string transferText(const Transfer& t) {
    switch (t.kind) {
        case TransferKind::FullRead:
            return "link: reading device, " + std::to_string(t.done) + " of 64 units";
        case TransferKind::AlarmCode:
            return "link: alarm code download, chunk " + std::to_string(t.at);
        case TransferKind::WriteAll:
            switch (t.stage) {
                case WriteStage::ReadingBack:
                    return "link: reading back the written blocks, " + blockName(t.at);
                case WriteStage::Rewriting:
                    return "link: writing " + blockName(t.at) + " again, it differed on the device";
                case WriteStage::Writing:
                    break;
            }
            return "link: writing all blocks, " + blockName(t.at);
        case TransferKind::DialerUpload:
            return "link: dialer upload, chunk " + std::to_string(t.at + 1) + " of at most " +
                   std::to_string(kDialerChunkCount);
    }
    return {};
}

}  // namespace

std::string refusalText(Refusal refusal) {
    switch (refusal) {
        case Refusal::None:
            break;
        case Refusal::NoDeviceData:
            return std::string(kTextReadFirst);
        case Refusal::TargetChanged:
            return std::string(kTextTargetChanged);
    }
    return {};
}

std::string loadOutcomeText(const LoadOutcome& outcome) {
    using Stop = LoadOutcome::Stop;
    if (outcome.stop == Stop::Writing) {
        const int last = kBlockCount - 1;
        std::string notWritten = blockName(outcome.stoppedAt);
        if (outcome.stoppedAt < last) notWritten += " to " + blockName(last);
        std::string kept = "the device keeps its old settings";
        if (outcome.stoppedAt > 0) {
            kept = "the device holds A0";
            if (outcome.stoppedAt > 1) kept += " to " + blockName(outcome.stoppedAt - 1);
            kept += " of the file";
        }
        return "loading stopped: " + outcome.reason + "; " + notWritten + " not written (" + kept +
               ")";
    }
    if (!outcome.readBack) {
        return outcome.broken.none()
                   ? std::string(kTextLoadingCompleted)
                   : "loading failed: " + blockList(outcome.broken) + " not written";
    }
    std::string text = std::string(kTextLoadingCompleted) + ", " +
                       std::to_string(outcome.verified.count()) + " of " +
                       std::to_string(outcome.blocks.count()) + " blocks verified";
    if (outcome.differing.any()) {
        text += "; " + blockList(outcome.differing) +
                (outcome.differing.count() == 1 ? " differs" : " differ") + " on the device";
    }
    if (outcome.stop == Stop::ReadBack) text += "; read-back stopped: " + outcome.reason;
    if (outcome.stop == Stop::Rewriting) text += "; writing again stopped: " + outcome.reason;
    if (outcome.stop == Stop::Interrupted) text += "; interrupted";
    return text;
}

std::string rewritesText(const std::vector<ImagePlace>& places) {
    if (places.empty()) return {};
    std::string text;
    for (const ImagePlace& place : places) {
        if (!text.empty()) text += ", ";
        text += blockName(place.block) + " " + hexOffset(place.offset);
    }
    return text + (places.size() == 1 ? " held 13 and was" : " held 13 and were") +
           " written as 12; the windows show what was written";
}

std::string dialerUploadText(const DialerProgress& upload) {
    if (upload.running) {
        return upload.listChanged ? "the dialer upload is still sending the earlier list" : "";
    }
    switch (upload.end) {
        case DialerProgress::End::None:
            break;
        case DialerProgress::End::Completed:
            return "dialer upload completed";
        case DialerProgress::End::Stopped: {
            const int k = upload.stoppedAt;
            const std::string held =
                k > 0 ? "the dialer holds chunks 0 to " + std::to_string(k - 1) + " of the new list"
                      : "the dialer holds none of the new list";
            return "dialer upload stopped at chunk " + std::to_string(k) + ": " + upload.failure +
                   "; " + held + ", upload again";
        }
    }
    return {};
}

std::string pairingText(const PairingOutcome& outcome) {
    switch (outcome.result) {
        case PairingOutcome::Result::Answered: {
            std::string answer;
            for (const char c : outcome.answer) {
                // The answer's line end and anything unprintable are not words.
                if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) answer += c;
            }
            return "pairing frame sent; the bridge answered: " + answer;
        }
        case PairingOutcome::Result::NoAnswer:
            return "pairing frame sent; the bridge did not answer";
        case PairingOutcome::Result::NotSent:
            break;
    }
    return "pairing frame not sent: " + outcome.reason;
}

std::string statusLineText(const LinkStatus& status, std::string_view notice,
                           std::string_view lastJob) {
    std::string line;
    if (!status.transfers.empty()) {
        line = transferText(status.transfers.front());
    } else {
        switch (status.state) {
            case LinkState::Idle:
                line = "link: idle";
                break;
            case LinkState::Connect:
                line = "link: connecting";
                break;
            default:
                line = "link: exchanging";
                break;
        }
    }
    const auto add = [&line](std::string_view part) {
        if (!part.empty()) line += "    " + std::string(part);
    };
    add(lastJob);
    if (status.lastLoad && lastJob.empty()) add(loadOutcomeText(*status.lastLoad));
    add(dialerUploadText(status.dialer));
    add(notice);
    const std::string refused = refusalText(status.refusal);
    if (refused != notice) add(refused);
    add(rewritesText(status.rewritten));
    if (status.unwrittenBlocks.any()) add("not written yet: " + blockList(status.unwrittenBlocks));
    if (!status.lastError.empty()) add("last error: " + status.lastError);
    return line;
}

std::string readDoneText(const Target& device, const LocalTime& at, std::size_t bytes) {
    return "read " + device.text() + " at " + clockText(at) + " (" + std::to_string(bytes) +
           " bytes)";
}

std::string loadDoneText(std::string_view file, const Target& device, const LocalTime& at,
                         const LoadOutcome& outcome) {
    const std::string where = std::string(file) + " to " + device.text() + " at " + clockText(at);
    if (!outcome.complete()) return "load of " + where + ": " + loadOutcomeText(outcome);
    std::string text = "loaded " + where;
    if (outcome.readBack) {
        text += ", " + std::to_string(outcome.verified.count()) + " of " +
                std::to_string(outcome.blocks.count()) + " blocks verified";
    }
    return text;
}

std::string editsDoneText(int edits, const std::bitset<kBlockCount>& written,
                          const std::bitset<kBlockCount>& notWritten, const LocalTime& at) {
    std::string text = editCount(edits);
    if (written.any()) {
        text += " written to " + blockSentence(written);
        if (notWritten.any()) text += ", " + blockSentence(notWritten) + " not written";
    } else {
        text += " not written (" + blockSentence(notWritten) + ")";
    }
    return text + " at " + clockText(at);
}

std::string editsWaitingText(int edits) { return editCount(edits) + " waiting"; }

}  // namespace veskator
