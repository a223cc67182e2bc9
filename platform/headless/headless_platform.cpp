#include "platform/headless/headless_platform.h"

#include <algorithm>
#include <stdexcept>

namespace veskator {

using std::chrono::milliseconds;

HeadlessDialog::HeadlessDialog(HeadlessWindowSystem& system, DialogWindow& window)
    : m_system(system), m_window(window) {
    for (const ControlTemplate& c : window.dialogTemplate().controls) {
        if (c.id == kStaticId) continue;
        Control control;
        control.kind = c.kind;
        control.text = std::string(c.text);
        control.charLimit = c.charLimit;
        control.password = c.masked;
        m_controls[c.id] = control;
    }
    const auto entries = window.contextMenuEntries();
    m_contextMenu.assign(entries.begin(), entries.end());
}

HeadlessDialog::Control& HeadlessDialog::control(ControlId id) {
    auto it = m_controls.find(id);
    if (it == m_controls.end()) throw std::out_of_range("no control " + std::to_string(id));
    return it->second;
}

const HeadlessDialog::Control& HeadlessDialog::control(ControlId id) const {
    return const_cast<HeadlessDialog*>(this)->control(id);
}

std::string HeadlessDialog::text(ControlId id) const {
    const Control& c = control(id);
    return c.kind == ControlKind::Table ? tableText(c.table.rows) : c.text;
}

void HeadlessDialog::setTable(ControlId id, const TableContent& content) {
    Control& c = control(id);
    c.table = content;
    ++c.writes;
}

void HeadlessDialog::setChoices(ControlId id, std::span<const std::string> choices) {
    control(id).choices.assign(choices.begin(), choices.end());
}

bool HeadlessDialog::heldBack(std::function<void()> action) {
    if (!m_inputHeld) return false;
    m_heldInput.push_back(std::move(action));
    return true;
}

void HeadlessDialog::holdInput(bool held) {
    m_inputHeld = held;
    // An action let go may hold the input again: the rest waits on.
    while (!m_inputHeld && !m_heldInput.empty()) {
        const std::function<void()> action = std::move(m_heldInput.front());
        m_heldInput.pop_front();
        action();
    }
}

bool HeadlessDialog::choose(ControlId id, int index) {
    if (heldBack([this, id, index] { choose(id, index); })) return true;
    Control& c = control(id);
    if (!c.enabled || index < 0 || static_cast<std::size_t>(index) >= c.choices.size()) {
        return false;
    }
    if (notifying()) m_window.onChosen(id, index);
    return true;
}

void HeadlessDialog::pickFile(std::string_view title, std::string_view folder,
                              std::span<const std::string> filters, FilePick mode,
                              std::function<void(std::string)> picked) {
    m_picks.push_back({std::string(title), std::string(folder),
                       std::vector<std::string>(filters.begin(), filters.end()), mode});
    const std::optional<std::string> name = m_picker ? m_picker(m_picks.back()) : std::nullopt;
    if (name && !m_closed) picked(*name);
}

void HeadlessDialog::setText(ControlId id, std::string_view text) {
    // A control holds its text up to the first zero byte, as a text control does. The limit
    // bounds what the user types; a text set from code is shown whole.
    Control& c = control(id);
    c.text = std::string(text.substr(0, text.find('\0')));
    ++c.writes;
}

bool HeadlessDialog::isChecked(ControlId id) const { return control(id).checked; }

void HeadlessDialog::setChecked(ControlId id, bool on) {
    Control& c = control(id);
    c.checked = on;
    ++c.writes;
}

void HeadlessDialog::setSliderRange(ControlId id, int low, int high) {
    Control& c = control(id);
    c.low = low;
    c.high = high;
    c.position = std::clamp(c.position, low, std::max(low, high));
}

int HeadlessDialog::sliderPosition(ControlId id) const { return control(id).position; }

void HeadlessDialog::setSliderPosition(ControlId id, int position) {
    Control& c = control(id);
    c.position = std::clamp(position, c.low, std::max(c.low, c.high));
    ++c.writes;
}

void HeadlessDialog::setCharLimit(ControlId id, int limit) {
    control(id).charLimit = std::max(limit, 0);
}
int HeadlessDialog::charLimit(ControlId id) const { return control(id).charLimit; }
void HeadlessDialog::setPasswordMode(ControlId id, bool masked) { control(id).password = masked; }
void HeadlessDialog::setAllowedCharacters(ControlId id, std::string_view characters) {
    control(id).allowed = std::string(characters);
}
void HeadlessDialog::setEnabled(ControlId id, bool enabled) { control(id).enabled = enabled; }
bool HeadlessDialog::isEnabled(ControlId id) const { return control(id).enabled; }

void HeadlessDialog::suppressNotifications(bool on) { m_suppressed += on ? 1 : -1; }

void HeadlessDialog::armTimer(TimerId id, milliseconds period) {
    period = std::max(period, milliseconds{1});
    m_timers[id] = Timer{period, m_system.m_clock.now() + period};
}

void HeadlessDialog::killTimer(TimerId id) { m_timers.erase(id); }

void HeadlessDialog::triggerTimer(TimerId id) {
    auto it = m_timers.find(id);
    if (it != m_timers.end()) it->second.due = std::min(it->second.due, m_system.m_clock.now());
}

void HeadlessDialog::openChild(std::unique_ptr<DialogWindow> child,
                               std::function<void(int)> closed) {
    if (m_closed) return;
    const int result = m_system.run(*child);
    if (closed && !m_closed) closed(result);
}

void HeadlessDialog::ask(std::string_view question, std::function<void(bool)> answered) {
    m_questions.emplace_back(question);
    const bool yes = m_answerer ? m_answerer(m_questions.back()) : false;
    if (!m_closed) answered(yes);
}

void HeadlessDialog::pressEnter(ControlId id) {
    if (heldBack([this, id] { pressEnter(id); })) return;
    if (!notifying() || !control(id).enabled) return;
    if (control(id).kind == ControlKind::Edit) {
        m_window.onEditEnter(id);
        return;
    }
    requestClose();
}

void HeadlessDialog::requestClose() {
    if (notifying() && m_window.onCloseRequested()) close(kCancelResult);
}

void HeadlessDialog::close(int result) {
    if (m_closed) return;
    m_closed = true;
    m_result = result;
    m_timers.clear();
}

namespace {

bool takes(const std::string& allowed, std::string_view text) {
    return allowed.empty() || text.find_first_not_of(allowed) == std::string_view::npos;
}

}  // namespace

void HeadlessDialog::typeText(ControlId id, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (heldBack([this, id, rest = std::string(text.substr(i))] { typeText(id, rest); }))
            return;
        const char ch = text[i];
        Control& c = control(id);
        if (!c.enabled) return;
        if (c.charLimit > 0 && c.text.size() >= static_cast<std::size_t>(c.charLimit)) return;
        if (!takes(c.allowed, std::string_view(&ch, 1))) {
            if (notifying()) m_window.onInputRefused(id);
            continue;
        }
        c.text.push_back(ch);
        if (notifying()) m_window.onTextChanged(id);
    }
}

void HeadlessDialog::replaceText(ControlId id, std::string_view text) {
    if (heldBack([this, id, t = std::string(text)] { replaceText(id, t); })) return;
    Control& c = control(id);
    if (!c.enabled) return;
    if (!takes(c.allowed, text)) {
        if (notifying()) m_window.onInputRefused(id);
        return;
    }
    std::string s(text);
    if (c.charLimit > 0 && s.size() > static_cast<std::size_t>(c.charLimit)) s.resize(c.charLimit);
    if (s == c.text) return;
    c.text = s;
    if (notifying()) m_window.onTextChanged(id);
}

void HeadlessDialog::click(ControlId id) {
    if (heldBack([this, id] { click(id); })) return;
    Control& c = control(id);
    if (!c.enabled) return;
    // An option is a radio-style button: a click checks it; the handler decides what it shows.
    if (c.kind == ControlKind::Option) c.checked = true;
    if (notifying()) m_window.onClicked(id);
}

void HeadlessDialog::moveSlider(ControlId id, int position) {
    if (heldBack([this, id, position] { moveSlider(id, position); })) return;
    Control& c = control(id);
    if (!c.enabled) return;
    c.position = std::clamp(position, c.low, std::max(c.low, c.high));
    if (notifying()) m_window.onSliderMoved(id);
}

void HeadlessDialog::systemCommand(int command) {
    if (!m_closed) m_window.onSystemCommand(command);
}

std::vector<HeadlessDialog::MenuEntryShown> HeadlessDialog::contextMenu() const {
    std::vector<MenuEntryShown> shown;
    for (const ContextMenuEntry& e : m_contextMenu) {
        shown.push_back({std::string(e.text), e.checkable,
                         e.checkable && m_window.contextEntryChecked(e.command)});
    }
    return shown;
}

bool HeadlessDialog::chooseContextEntry(std::string_view text) {
    if (heldBack([this, t = std::string(text)] { chooseContextEntry(t); })) return true;
    const auto entry = std::find_if(m_contextMenu.begin(), m_contextMenu.end(),
                                    [&](const ContextMenuEntry& e) { return e.text == text; });
    if (entry == m_contextMenu.end()) return false;
    if (notifying()) m_window.onContextCommand(entry->command);
    return true;
}

bool HeadlessDialog::isPassword(ControlId id) const { return control(id).password; }
std::pair<int, int> HeadlessDialog::sliderRange(ControlId id) const {
    return {control(id).low, control(id).high};
}
int HeadlessDialog::writeCount(ControlId id) const { return control(id).writes; }

std::optional<milliseconds> HeadlessDialog::timerPeriod(TimerId id) const {
    auto it = m_timers.find(id);
    if (it == m_timers.end()) return std::nullopt;
    return it->second.period;
}

HeadlessDialog& HeadlessWindowSystem::open(DialogWindow& window) {
    m_open.push_back(std::make_unique<HeadlessDialog>(*this, window));
    HeadlessDialog& dialog = *m_open.back();
    window.onInit(dialog);
    return dialog;
}

void HeadlessWindowSystem::onModal(int resourceId, ModalScript script) {
    m_scripts[resourceId] = std::move(script);
}

int HeadlessWindowSystem::run(DialogWindow& window) { return runOpened(open(window)); }

int HeadlessWindowSystem::runOpened(HeadlessDialog& dialog) {
    auto it = m_scripts.find(dialog.window().dialogTemplate().resourceId);
    if (it != m_scripts.end() && !dialog.isClosed()) {
        ModalScript script = it->second;  // a copy: the script may register others
        script(dialog);
    }
    dialog.close(dialog.result());
    const int result = dialog.result();
    closeDialog(dialog);
    return result;
}

void HeadlessWindowSystem::closeDialog(HeadlessDialog& dialog) {
    dialog.window().onClosed();
    auto it = std::find_if(m_open.begin(), m_open.end(),
                           [&](const auto& d) { return d.get() == &dialog; });
    if (it != m_open.end()) m_open.erase(it);
}

HeadlessDialog* HeadlessWindowSystem::nextDue(Clock::TimePoint limit, TimerId& id) {
    HeadlessDialog* best = nullptr;
    Clock::TimePoint bestDue = limit;
    for (const auto& d : m_open) {
        if (d->m_closed) continue;
        for (const auto& [timerId, timer] : d->m_timers) {
            if (timer.due <= bestDue && (best == nullptr || timer.due < bestDue)) {
                best = d.get();
                bestDue = timer.due;
                id = timerId;
            }
        }
    }
    return best;
}

namespace {

class HeadlessAlarm final : public Alarm {
  public:
    HeadlessAlarm(HeadlessWindowSystem& system, std::function<void()> action)
        : m_system(system), m_action(std::move(action)) {}
    ~HeadlessAlarm() override { stop(); }
    HeadlessAlarm(const HeadlessAlarm&) = delete;
    HeadlessAlarm& operator=(const HeadlessAlarm&) = delete;
    void start(milliseconds after) override {
        stop();
        m_key = m_system.callAt(m_system.clock().now() + std::max(after, milliseconds{0}), [this] {
            m_key.reset();
            m_action();
        });
    }
    void stop() override {
        if (m_key) m_system.cancelCall(*m_key);
        m_key.reset();
    }

  private:
    HeadlessWindowSystem& m_system;
    std::function<void()> m_action;
    std::optional<int> m_key;
};

}  // namespace

std::unique_ptr<Alarm> HeadlessWindowSystem::makeAlarm(std::function<void()> action) {
    return std::make_unique<HeadlessAlarm>(*this, std::move(action));
}

int HeadlessWindowSystem::callAt(Clock::TimePoint due, std::function<void()> action) {
    const int key = m_nextCallKey++;
    m_calls.emplace(key, Call{due, std::move(action)});
    return key;
}

void HeadlessWindowSystem::advance(milliseconds duration) {
    const Clock::TimePoint target = m_clock.now() + duration;
    for (;;) {
        TimerId id = 0;
        HeadlessDialog* dialog = nextDue(target, id);
        const auto call = std::min_element(m_calls.begin(), m_calls.end(), [](auto& a, auto& b) {
            return a.second.due < b.second.due;
        });
        if (call != m_calls.end() && call->second.due <= target &&
            (dialog == nullptr || call->second.due <= dialog->m_timers[id].due)) {
            if (call->second.due > m_clock.now()) m_clock.set(call->second.due);
            const std::function<void()> action = std::move(call->second.action);
            m_calls.erase(call);
            action();
            continue;
        }
        if (dialog == nullptr) break;
        HeadlessDialog::Timer& timer = dialog->m_timers[id];
        if (timer.due > m_clock.now()) m_clock.set(timer.due);
        // Rescheduled before the tick runs, so that a re-arm inside the tick wins.
        timer.due = m_clock.now() + timer.period;
        ++m_ticks;
        dialog->m_window.onTimer(id);
    }
    if (m_clock.now() < target) m_clock.set(target);
}

}  // namespace veskator
