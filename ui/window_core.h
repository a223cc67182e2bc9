#pragma once
// What every window of the programmer is made of: the platform's services, the shared session,
// its control values and its dialog; take and show (with the status line); the check that the
// image may be changed; and the one interpreter of option-bit step lists.

#include <cstdint>
#include <span>
#include <string>

#include "model/field_rules.h"
#include "platform/control_values.h"
#include "platform/dialog_window.h"
#include "platform/services.h"
#include "ui/bit_steps.h"
#include "ui/session.h"

namespace veskator {

class WindowCore : public DialogWindow {
  public:
    const DialogTemplate& dialogTemplate() const override { return m_layout; }
    const ControlValues& values() const { return m_values; }

  protected:
    WindowCore(Services& services, Session& session, const DialogTemplate& layout,
               ControlId statusLine);

    void take();
    // Every value into its control (a control that already shows it is left alone), then the
    // status line.
    void show();
    // The status line alone: a show would wipe what is being typed into an edit whose handler
    // has not taken it yet.
    void showStatusLine();
    // Put into the values just before a show: texts the window takes from elsewhere.
    virtual void beforeShow() {}
    // What the window puts before the link's words on its status line.
    virtual std::string statusPrefix() const { return {}; }

    // True when the image holds the target device's settings and may be changed; otherwise every
    // status line says why not, the controls go back to what they showed, and false.
    bool deviceDataPresent();
    // Says on every status line, until something newer replaces it.
    void setNotice(std::string notice) { m_session.notice = std::move(notice); }

    std::uint8_t& imageByte(ImagePlace place);
    // The byte a click switches: the working copy where the byte has one, else the image byte.
    std::uint8_t& switchByte(ImagePlace place);

    // One click on the bit of `id`, row of `bits`, as its step list says. ShowBit sets every
    // button of `bits` that shows the same bit.
    void runBitSteps(BitSteps steps, std::span<const OptionBit> bits, ControlId id,
                     Change change = Change::Flip);

    Services& m_services;
    Session& m_session;
    ProgrammerState& m_state;
    LinkEngine& m_link;
    ControlValues m_values;
    Dialog* m_dialog = nullptr;

  private:
    const DialogTemplate& m_layout;
    ControlId m_statusLine;
};

}  // namespace veskator
