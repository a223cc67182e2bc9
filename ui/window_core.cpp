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
      m_tickPeriod(tickPeriod) {}

WindowCore::~WindowCore() { m_session.removeWaker(this); }

void WindowCore::attach(Dialog& dialog) {
    m_dialog = &dialog;
    m_armed.reset();
    m_news.startFrom(m_link.status());
    m_session.removeWaker(this);
    m_session.addWaker(this, [this] { wake(); });
}

void WindowCore::detach() {
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
    const bool close = handleCloseRequest();
    showAfterHandler();
    return close;
}

void WindowCore::onEditEnter(ControlId id) {
    handleEnter(id);
    showAfterHandler();
}

void WindowCore::onTextChanged(ControlId id) {
    handleTextChange(id);
    showAfterHandler();
}

void WindowCore::onClicked(ControlId id) {
    handleClick(id);
    showAfterHandler();
}

void WindowCore::onSliderMoved(ControlId id) {
    handleSlider(id);
    showAfterHandler();
}

void WindowCore::onChosen(ControlId id, int index) {
    handleChoice(id, index);
    showAfterHandler();
}

void WindowCore::onSystemCommand(int command) {
    handleSystemCommand(command);
    showAfterHandler();
}

void WindowCore::onContextCommand(int command) {
    handleContextCommand(command);
    showAfterHandler();
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

// A handler may have closed the window (a modal child's run ends in onClosed).
void WindowCore::showAfterHandler() {
    if (m_dialog != nullptr) show();
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
    std::uint8_t& byte = switchByte(bit.place);
    runSteps(steps, *m_dialog, [&](BitOp op) {
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
                    if (imageOffset(other.place) == imageOffset(bit.place) &&
                        other.mask == bit.mask) {
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
    });
}

}  // namespace veskator
