#include "ui/window_core.h"

#include <algorithm>

#include "ui/status_line.h"

namespace veskator {

WindowCore::WindowCore(Services& services, Session& session, const DialogTemplate& layout,
                       ControlId statusLine, TimerId timer, std::chrono::milliseconds tickPeriod)
    : m_services(services),
      m_session(session),
      m_state(session.state()),
      m_link(session.link()),
      m_values(layout),
      m_layout(layout),
      m_statusLine(statusLine),
      m_timer(timer),
      m_tickPeriod(tickPeriod),
      m_steps(services.clock) {}

WindowCore::~WindowCore() { m_session.removeWaker(this); }

void WindowCore::attach(Dialog& dialog) {
    m_dialog = &dialog;
    m_armed.reset();
    m_news.startFrom(m_link.status());
    m_session.removeWaker(this);
    m_session.addWaker(this, [this] { wake(); });
}

void WindowCore::detach() {
    m_steps.finish();
    if (m_dialog != nullptr) m_dialog->holdInput(false);
    m_held.clear();
    m_tickHeld = false;
    m_session.removeWaker(this);
    m_dialog = nullptr;
    m_armed.reset();
}

// The next tick comes as soon as the window is free, then at the tick period until the tick
// finds what is due next. A timer already at the tick period is not restarted: that would only
// put its ticks off.
void WindowCore::wake() {
    if (m_dialog == nullptr) return;
    if (!m_armed || *m_armed > m_tickPeriod) armTick(m_tickPeriod);
    m_dialog->triggerTimer(m_timer);
}

void WindowCore::armTick(std::chrono::milliseconds period) {
    m_dialog->armTimer(m_timer, period);
    m_armed = period;
}

void WindowCore::scheduleTick(std::optional<Clock::TimePoint> next) {
    if (m_dialog == nullptr) return;
    if (!next) {
        m_dialog->killTimer(m_timer);
        m_armed.reset();
        return;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - m_services.clock.now());
    const std::chrono::milliseconds period = std::max(wait, m_tickPeriod);
    // A timer already at that period runs on: re-arming would only restart it.
    if (m_armed != period) armTick(period);
}

// Every handler ends in a show. The handlers take what the user typed before they change the
// values, so a show here puts back nothing the user has not had taken.
bool WindowCore::onCloseRequested() {
    if (holdWhileRunning([this] {
            if (onCloseRequested() && m_dialog != nullptr) m_dialog->close(kCancelResult);
        }))
        return false;
    const bool close = handleCloseRequest();
    showAfterHandler();
    return close;
}

// What the user types and clicks waits in the platform while a program runs (Dialog::holdInput).
// What reaches the window by other ways waits here: the close box, a choice in a menu (a window of
// its own), and the actions of assistive technology, which press and toggle without an event.
void WindowCore::onEditEnter(ControlId id) {
    if (holdWhileRunning([this, id] { onEditEnter(id); })) return;
    handleEnter(id);
    showAfterHandler();
}

void WindowCore::onTextChanged(ControlId id) {
    if (holdWhileRunning([this, id] { onTextChanged(id); })) return;
    handleTextChange(id);
    showAfterHandler();
}

void WindowCore::onClicked(ControlId id) {
    if (holdWhileRunning([this, id] { onClicked(id); })) return;
    handleClick(id);
    showAfterHandler();
}

void WindowCore::onSliderMoved(ControlId id) {
    if (holdWhileRunning([this, id] { onSliderMoved(id); })) return;
    handleSlider(id);
    showAfterHandler();
}

void WindowCore::onChosen(ControlId id, int index) {
    if (holdWhileRunning([this, id, index] { onChosen(id, index); })) return;
    handleChoice(id, index);
    showAfterHandler();
}

void WindowCore::onSystemCommand(int command) {
    if (holdWhileRunning([this, command] { onSystemCommand(command); })) return;
    handleSystemCommand(command);
    showAfterHandler();
}

void WindowCore::onContextCommand(int command) {
    if (holdWhileRunning([this, command] { onContextCommand(command); })) return;
    handleContextCommand(command);
    showAfterHandler();
}

// The window's own ticks wait for its program: a tick never finds a handler half run.
void WindowCore::onTimer(TimerId id) {
    if (id == kStepTimer) {
        if (m_steps.running()) {
            continueProgram();
        } else {
            m_dialog->killTimer(kStepTimer);
            runHeld();
        }
        showAfterHandler();
        return;
    }
    if (m_steps.running()) {
        // The link's state goes on showing; the rest of the tick waits for the program.
        m_tickHeld = true;
        showStatusLine();
        return;
    }
    handleTimer(id);
}

void WindowCore::runProgram(StepProgram program) {
    m_steps.start(std::move(program));
    continueProgram();
}

void WindowCore::continueProgram() {
    if (m_steps.resuming()) return;
    m_steps.resume();
    if (m_dialog == nullptr) return;
    if (const std::optional<Clock::TimePoint> due = m_steps.due()) {
        const auto wait =
            std::chrono::ceil<std::chrono::milliseconds>(*due - m_services.clock.now());
        m_dialog->holdInput(true);
        m_dialog->armTimer(kStepTimer, std::max(wait, std::chrono::milliseconds{1}));
        return;
    }
    // What the user did meanwhile comes first, in order, as the platform sends it on; what else
    // waited (a close request, the window's tick) comes after it, from the step timer.
    m_dialog->holdInput(false);
    if (m_steps.running() || m_dialog == nullptr) return;
    if (m_held.empty() && !m_tickHeld) {
        m_dialog->killTimer(kStepTimer);
        return;
    }
    m_dialog->armTimer(kStepTimer, std::chrono::milliseconds{1});
}

bool WindowCore::holdWhileRunning(std::function<void()> notification) {
    if (!m_steps.running()) return false;
    m_held.push_back(std::move(notification));
    return true;
}

void WindowCore::runHeld() {
    if (m_runningHeld) return;
    m_runningHeld = true;
    while (m_dialog != nullptr && !m_steps.running() && !m_held.empty()) {
        const std::function<void()> next = std::move(m_held.front());
        m_held.pop_front();
        next();
    }
    m_runningHeld = false;
    if (m_tickHeld && !m_steps.running()) {
        m_tickHeld = false;
        wake();
    }
}

void WindowCore::onInputRefused(ControlId id) {
    const auto rule =
        std::find_if(m_kinds.begin(), m_kinds.end(), [id](const auto& r) { return r.first == id; });
    if (rule == m_kinds.end()) return;
    setNotice(labelOf(id) + " takes " + std::string(kindDescription(rule->second)));
    showStatusLine();
}

std::string WindowCore::labelOf(ControlId id) const {
    const ControlTemplate* c = findControl(m_layout.controls, id);
    if (c == nullptr) return std::to_string(id);
    return std::string(c->accessibleName.empty() ? c->text : c->accessibleName);
}

void WindowCore::applyInputRules(std::span<const TextField> fields) {
    for (const TextField& field : fields) {
        if (field.kind != TextKind::Text && field.slotSize > 0)
            applyInputRule(field.id, field.kind);
    }
}

void WindowCore::applyInputRule(ControlId id, TextKind kind) {
    m_kinds.emplace_back(id, kind);
    if (m_dialog != nullptr) m_dialog->setAllowedCharacters(id, typedCharacters(kind));
}

bool WindowCore::storeField(const TextField& field, std::string_view text) {
    auto image = m_state.workspace.image();
    if (const std::optional<std::string> refused = kindRefusal(field.kind, text)) {
        setNotice(labelOf(field.id) + " not written: " + *refused);
        m_values.setText(field.id, showText(image, field));
        return false;
    }
    storeText(image, field, text);
    return true;
}

// A handler may have closed the window (a modal child's run ends in onClosed). While its program
// waits, only the status line: the steps still to come take what the user typed, which a show
// would put back.
void WindowCore::showAfterHandler() {
    if (m_dialog == nullptr) return;
    if (m_steps.running()) {
        showStatusLine();
        return;
    }
    show();
}

void WindowCore::take() { m_values.take(*m_dialog); }

void WindowCore::show() {
    beforeShow();
    m_values.show(*m_dialog);
    showStatusLine();
}

void WindowCore::showStatusLine() {
    const std::string status =
        statusPrefix() + statusLineText(m_link.status(), m_session.notice(), lastJobWords());
    if (m_dialog->text(m_statusLine) != status) m_dialog->setText(m_statusLine, status);
}

bool WindowCore::deviceDataPresent() {
    const Refusal refusal = imageRefusal(m_state, m_link.target());
    if (refusal == Refusal::None) return true;
    // Refused before anything changes: the control goes back to what it showed.
    setNotice(refusalText(refusal));
    show();
    return false;
}

std::uint8_t& WindowCore::imageByte(ImagePlace place) {
    return m_state.workspace.image()[static_cast<std::size_t>(imageOffset(place))];
}

std::uint8_t& WindowCore::switchByte(ImagePlace place) {
    std::uint8_t* copy = m_state.optionCopies().find(place);
    return copy != nullptr ? *copy : imageByte(place);
}

namespace {

std::uint8_t changed(std::uint8_t byte, std::uint8_t mask, Change change) {
    switch (change) {
        case Change::Flip:
            return static_cast<std::uint8_t>(byte ^ mask);
        case Change::Set:
            return static_cast<std::uint8_t>(byte | mask);
        case Change::Clear:
            return static_cast<std::uint8_t>(byte & ~mask);
    }
    return byte;
}

}  // namespace

void WindowCore::runBitSteps(BitSteps steps, std::span<const OptionBit> bits, ControlId id,
                             Change change) {
    const OptionBit& bit = *findRow(bits, id);
    StepProgram program;
    for (const BitStep& step : steps) {
        program.then(
            [this, op = step.op, bits, &bit, change] { performBitOp(op, bits, bit, change); },
            step.wait);
    }
    runProgram(std::move(program));
}

void WindowCore::performBitOp(BitOp op, std::span<const OptionBit> bits, const OptionBit& bit,
                              Change change) {
    std::uint8_t& byte = switchByte(bit.place);
    switch (op) {
        case BitOp::Pause:
            break;
        case BitOp::Take:
            take();
            break;
        case BitOp::Change:
            byte = changed(byte, bit.mask, change);
            break;
        case BitOp::ShowBit:
            // Both buttons of a shared bit (1076/1077) follow it.
            for (const OptionBit& other : bits) {
                if (imageOffset(other.place) == imageOffset(bit.place) && other.mask == bit.mask) {
                    m_values.setChecked(other.id, optionShownOn(other, byte));
                }
            }
            break;
        case BitOp::Show:
            show();
            break;
        case BitOp::Copy:
            // The working copy is the image byte: the change is in the image already.
            break;
        case BitOp::Write:
            m_link.requestBlockWrite(bit.place.block);
            break;
        case BitOp::Reset:
            m_link.requestRemoteReset();
            break;
    }
}

}  // namespace veskator
