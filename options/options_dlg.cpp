#include "options/options_dlg.h"

#include <algorithm>

#include "dialer/dialer_receiver_dlg.h"

namespace veskator {

namespace ids = options_ids;

namespace {

// What a technician typed into a box that shows the placeholder stars: whatever the edit put
// before, between or after them, or over a selection of them.
std::string typedOverStars(std::string_view stars, std::string_view now) {
    std::size_t head = 0;
    while (head < stars.size() && head < now.size() && stars[head] == now[head]) ++head;
    std::size_t tail = 0;
    while (tail < stars.size() - head && tail < now.size() - head &&
           stars[stars.size() - 1 - tail] == now[now.size() - 1 - tail])
        ++tail;
    return std::string(now.substr(head, now.size() - head - tail));
}

constexpr bool masksAreTextFields() {
    for (ControlId id : kMaskedBoxes) {
        const bool password = std::any_of(
            kOptionsDialogTemplate.controls.begin(), kOptionsDialogTemplate.controls.end(),
            [id](const ControlTemplate& c) { return c.id == id && c.masked; });
        if (!password || !hasRow(kOptionsTextFields, id)) return false;
    }
    return true;
}
static_assert(masksAreTextFields());

// The options each opening step shows; together they are every option of the window, once.
constexpr std::array<ControlId, 3> kPanelOptions{{ids::kAtPanel, ids::kAtReceiver, ids::kRedial}};
constexpr std::array<ControlId, 5> kTelephoneOptions{{ids::kMicInput, ids::kListenIn,
                                                      ids::kEnableDialer, ids::kNormallyClosed1,
                                                      ids::kNormallyClosed2}};
constexpr std::array<ControlId, 2> kSharedOptions{{ids::kDdnsEnable, ids::kAlarmMonitor}};
constexpr std::array<ControlId, 10> kOtherOptions{
    {ids::kContactIdFormat, ids::kAlarmLatched1, ids::kAlarmLatched2, ids::kTestEveryTwoHours,
     ids::kArm1, ids::kArm2, ids::kAddIpMessage, ids::kTestReports, ids::kRepeatEmail,
     ids::kReceiverOrVoice}};

template <std::size_t N>
constexpr bool allOptions(const std::array<ControlId, N>& ids) {
    return std::all_of(ids.begin(), ids.end(),
                       [](ControlId id) { return hasRow(kOptionsOptionBits, id); });
}
static_assert(allOptions(kPanelOptions) && allOptions(kTelephoneOptions) &&
              allOptions(kSharedOptions) && allOptions(kOtherOptions));
static_assert(kPanelOptions.size() + kTelephoneOptions.size() + kSharedOptions.size() +
                  kOtherOptions.size() ==
              kOptionsOptionBits.size());

template <std::size_t N>
constexpr bool contains(const std::array<ControlId, N>& ids, ControlId id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

}  // namespace

COptionsDlg::COptionsDlg(Services& services, Session& session)
    : WindowCore(services, session, kOptionsDialogTemplate, ids::kStatusLine, kOptionsTimer,
                 kOptionsTickPeriod),
      m_deferred(services.clock, kDeferredRows.size()),
      m_discovery(services.commands, services.files) {}

bool COptionsDlg::editPending(ControlId id) const {
    const int row = deferredRowOf(id);
    return row >= 0 && m_deferred.pending(static_cast<std::size_t>(row));
}

void COptionsDlg::onInit(Dialog& dialog) {
    attach(dialog);
    applyInputRules(kOptionsTextFields);
    using enum OpeningOp;
    static constexpr std::array<OpeningOp, 12> kOpening{
        {ShowEmpty, ModulationBox, PanelOrReceiver, TelephoneOptions, Texts, SharedOptions, Sliders,
         TestRate, SoundLevel, OtherOptions, Show, StartTimer}};
    for (OpeningOp op : kOpening) perform(op);
}

void COptionsDlg::perform(OpeningOp op) {
    const auto image = state().workspace.image();
    switch (op) {
        case OpeningOp::ShowEmpty:
            show();
            break;
        case OpeningOp::ModulationBox:
            controls().setText(ids::kModulationBox, std::to_string(imageByte(kModulationPlace)));
            break;
        case OpeningOp::PanelOrReceiver:
            for (ControlId id : kPanelOptions) showOption(id);
            break;
        case OpeningOp::TelephoneOptions:
            for (ControlId id : kTelephoneOptions) showOption(id);
            break;
        case OpeningOp::Texts:
            for (const TextField& field : kOptionsTextFields) {
                const std::string stored = showText(image, field);
                const int mask = maskIndex(field.id);
                if (mask < 0) {
                    controls().setText(field.id, stored);
                    continue;
                }
                // One star for every byte read, the zero byte included; never the characters.
                // Until the first key the box takes any length, so that a full box takes it.
                const int limit = charLimitOf(field.id);
                const auto stars = std::min<std::size_t>(stored.size() + 1, limit);
                m_placeholders[static_cast<std::size_t>(mask)] = std::string(stars, '*');
                controls().setText(field.id, m_placeholders[static_cast<std::size_t>(mask)]);
                controls().setCharLimit(field.id, 0);
            }
            break;
        case OpeningOp::SharedOptions:
            for (ControlId id : kSharedOptions) showOption(id);
            break;
        case OpeningOp::Sliders:
            for (ControlId id : {ids::kSirenSlider, ids::kRestoreSlider, ids::kPrealarmSlider,
                                 ids::kSetupSlider}) {
                const SliderRow& row = *findRow(kSliders, id);
                dialog()->setSliderRange(row.id, 0, row.high);
                showSlider(row);
            }
            break;
        case OpeningOp::TestRate:
            controls().setText(ids::kTestRate,
                               std::to_string(testRateSeconds(imageByte(kTestRatePlace))));
            break;
        case OpeningOp::SoundLevel: {
            const SliderRow& row = *findRow(kSliders, ids::kSoundSlider);
            dialog()->setSliderRange(row.id, 0, row.high);
            showSlider(row);
            break;
        }
        case OpeningOp::OtherOptions:
            for (ControlId id : kOtherOptions) showOption(id);
            break;
        case OpeningOp::Show:
            // Polling outlives the window: a new window shows it and asks at once.
            controls().setChecked(ids::kReadLoopStatus, session().loopPolling);
            if (session().loopPolling) m_nextPoll = services().clock.now();
            show();
            break;
        case OpeningOp::StartTimer:
            armTick(kOptionsTickPeriod);
            break;
    }
}

void COptionsDlg::showOption(ControlId id) {
    const OptionBit& bit = *findRow(kOptionsOptionBits, id);
    controls().setChecked(id, optionShownOn(bit, switchByte(bit.place)));
}

// A stored value above the range leaves the slider at its end; the box shows what its row says.
void COptionsDlg::showSlider(const SliderRow& row) {
    const std::uint8_t stored = imageByte(row.place);
    controls().setPosition(row.id, std::min<int>(stored, row.high));
    controls().setText(row.box, std::to_string(sliderBoxValue(row, stored)));
}

// Nothing typed is lost by closing: edits still waiting for their second are written now.
// A clear's second write still to come goes too: the device must not keep half a clear.
// A search still running is dropped with its programs: nothing it finds is shown any more.
bool COptionsDlg::handleCloseRequest() {
    m_discovery.cancel();
    take();
    writeEdits(DeferredFields::Which::All);
    sendFollowUps(DeferredFields::Which::All);
    return true;
}

void COptionsDlg::onClosed() {
    m_discovery.cancel();
    writeEdits(DeferredFields::Which::All);
    sendFollowUps(DeferredFields::Which::All);
    detach();
}

void COptionsDlg::handleEnter(ControlId id) {
    const int row = deferredRowOf(id);
    if (row < 0 || !m_deferred.pending(static_cast<std::size_t>(row))) return;
    take();
    m_deferred.markNow(static_cast<std::size_t>(row));
    wake();
}

void COptionsDlg::handleTextChange(ControlId id) {
    if (contains(kShowOnlyBoxes, id)) {
        // What was typed goes back to what the box shows.
        show();
        return;
    }
    if (id == ids::kSoundBox) return onSoundBox();
    if (id == ids::kModulationBox) return onModulationBox();
    if (deferredRowOf(id) >= 0) onDeferredEdit(id);
}

// Written one second after the box's last keystroke, by the timer, which keeps its pace: polls,
// follow-ups and other boxes' writes are not held up by someone typing.
void COptionsDlg::onDeferredEdit(ControlId id) {
    if (!deviceDataPresent()) return;
    const int mask = maskIndex(id);
    if (mask >= 0 && !m_placeholders[static_cast<std::size_t>(mask)].empty()) {
        // The first edit of a masked box starts a new password of what was typed, wherever it
        // went: its stars were never the password.
        std::string& stars = m_placeholders[static_cast<std::size_t>(mask)];
        std::string typed = typedOverStars(stars, dialog()->text(id));
        stars.clear();
        const int limit = charLimitOf(id);
        if (typed.size() > static_cast<std::size_t>(limit)) typed.resize(limit);
        controls().setCharLimit(id, limit);
        NotificationBlocker blocker(*dialog());
        dialog()->setText(id, typed);
        dialog()->setCharLimit(id, limit);
    }
    m_deferred.mark(static_cast<std::size_t>(deferredRowOf(id)));
    take();
    wake();
}

// The box shows the level stored, as the slider does.
void COptionsDlg::onSoundBox() {
    if (!deviceDataPresent()) return;
    runProgram(StepProgram().pause(kSoundBoxPause).then([this] {
        take();
        const std::uint8_t level =
            clampedByte(parseDecimal(controls().text(ids::kSoundBox)), kSoundLevelMax);
        controls().setPosition(ids::kSoundSlider, level);
        controls().setText(ids::kSoundBox, std::to_string(level));
        imageByte(findRow(kSliders, ids::kSoundSlider)->place) = level;
        link().requestBlockWrite(kTestRatePlace.block);
        show();
    }));
}

void COptionsDlg::onModulationBox() {
    if (!deviceDataPresent()) return;
    runProgram(StepProgram().then(
        [this] {
            take();
            const std::uint8_t value =
                clampedByte(parseDecimal(controls().text(ids::kModulationBox)));
            imageByte(kModulationPlace) = value;
            controls().setText(ids::kModulationBox, std::to_string(value));
            link().requestBlockWrite(kModulationPlace.block);
            show();
        },
        kModulationPause));
}

// Whichever slider moved, all five bytes are written from the five positions taken at the move.
void COptionsDlg::handleSlider(ControlId id) {
    if (!hasRow(kSliders, id)) return;
    if (!deviceDataPresent()) return;
    take();
    runProgram(StepProgram()
                   .pause(kSliderPauseBefore)
                   .then(
                       [this] {
                           for (const SliderRow& row : kSliders) {
                               const std::uint8_t value =
                                   clampedByte(controls().position(row.id), row.high);
                               imageByte(row.place) = value;
                               controls().setText(row.box, std::to_string(value));
                           }
                           link().requestBlockWrite(kSliders.front().place.block);
                           show();
                       },
                       kSliderPauseAfter));
}

void COptionsDlg::handleClick(ControlId id) {
    if (id == ids::kReadLoopStatus) return onPollingSwitch();
    if (hasRow(kSwitchRows, id)) return onSwitch(id);
    switch (id) {
        case ids::kDisplayIp:
            return onDisplayAddresses();
        case ids::kSendTest:
            return onSendTests();
        case ids::kClearDdns:
        case ids::kClearEmail:
            return onClear(id);
        case ids::kForceDdns:
            return onForceUpdate();
        case ids::kHistoryFile:
            return onHistoryFile();
        case ids::kDialerWindow:
            return onDialerWindow();
        default:
            // An option no handler owns shows its state again after a click.
            show();
            return;
    }
}

void COptionsDlg::onPollingSwitch() {
    runProgram(StepProgram().pause(kPollSwitchPause).then([this] {
        session().loopPolling = !session().loopPolling;
        controls().setChecked(ids::kReadLoopStatus, session().loopPolling);
        if (session().loopPolling) {
            m_nextPoll = services().clock.now() + kPollInterval;
            link().requestExchange(kCodeStatus);
        } else {
            m_nextPoll.reset();
        }
        show();
        wake();
    }));
}

// The search runs in the background; the button waits for its listing, which replaces the text.
void COptionsDlg::onDisplayAddresses() {
    if (!m_discovery.start([this](std::string listing) { showListing(std::move(listing)); }))
        return;
    dialog()->setEnabled(ids::kDisplayIp, false);
    controls().setText(ids::kMessageBox, kSearchingText);
    show();
}

void COptionsDlg::showListing(std::string listing) {
    controls().setText(ids::kMessageBox, listing);
    dialog()->setEnabled(ids::kDisplayIp, true);
    show();
}

// A new dialer window every time. It switches bits this window shows too: afterwards the options
// show what the image holds.
void COptionsDlg::onDialerWindow() {
    dialog()->openChild(std::make_unique<CDialerReceiverDlg>(services(), session()), [this](int) {
        for (const OptionBit& bit : kOptionsOptionBits) showOption(bit.id);
        show();
    });
}

void COptionsDlg::handleTimer(TimerId id) {
    if (id == kOptionsTimer) onTick();
}

void COptionsDlg::onTick() {
    pollWhenDue();
    writeEdits(DeferredFields::Which::Due);
    sendFollowUps(DeferredFields::Which::Due);
    if (linkNews().rewrite) followImageRewrites();
    showLoopStatus();
    show();
    scheduleTick(nextDue());
}

// What the window's timer waits for: the next poll, an edit's second, a clear's second write.
// What the link does wakes it too.
std::optional<Clock::TimePoint> COptionsDlg::nextDue() const {
    std::optional<Clock::TimePoint> next;
    if (session().loopPolling) next = m_nextPoll.value_or(services().clock.now());
    next = earliest(next, m_deferred.nextDue());
    for (const auto& due : m_followUps) next = earliest(next, due);
    return next;
}

void COptionsDlg::pollWhenDue() {
    if (!session().loopPolling) return;
    const Clock::TimePoint now = services().clock.now();
    if (m_nextPoll && now < *m_nextPoll) return;
    link().requestExchange(kCodeStatus);
    m_nextPoll = now + kPollInterval;
}

void COptionsDlg::writeEdits(DeferredFields::Which which) {
    m_deferred.take(which, [this](std::size_t row) { writeRow(kDeferredRows[row]); });
}

void COptionsDlg::writeRow(const DeferredRow& row) {
    auto image = state().workspace.image();
    switch (row.kind) {
        case DeferredKind::Text:
            if (!storeField(*findRow(kOptionsTextFields, row.id), controls().text(row.id))) return;
            break;
        case DeferredKind::TestRate:
            imageByte(kTestRatePlace) = testRateByte(controls().text(ids::kTestRate));
            // The box shows the seconds the device counts.
            controls().setText(ids::kTestRate,
                               std::to_string(testRateSeconds(imageByte(kTestRatePlace))));
            break;
        case DeferredKind::ForceUpdate:
            std::fill_n(image.begin() + imageOffset(kForceUpdatePlace), kForceUpdateBytes,
                        std::uint8_t{0});
            break;
    }
    link().requestBlockWrite(blockOfRow(row));
}

// Sending turned a byte of 13 into 12: the numbers, the options and the working copies show what
// the device now holds, so the next click starts from it.
void COptionsDlg::followImageRewrites() {
    for (const OptionBit& bit : kOptionsOptionBits) showOption(bit.id);
    for (const SliderRow& row : kSliders) showSlider(row);
    controls().setText(ids::kModulationBox, std::to_string(imageByte(kModulationPlace)));
    if (!editPending(ids::kTestRate)) {
        controls().setText(ids::kTestRate,
                           std::to_string(testRateSeconds(imageByte(kTestRatePlace))));
    }
}

// 1089 and 1090 follow the device's loops, never a click.
void COptionsDlg::showLoopStatus() {
    const LoopStatus& loops = link().status().loops;
    if (!loops.ready) return;
    controls().setChecked(ids::kLoopStatus1, (loops.loop1 & 0x10) != 0);
    controls().setChecked(ids::kLoopStatus2, (loops.loop2 & 0x10) != 0);
}

}  // namespace veskator
