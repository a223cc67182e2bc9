#pragma once
// The application object: it owns the session (the device model, the link engine and what the
// windows share), runs the main window modally, and ends the program when that window closes.

#include "mainwin/main_prog_dlg.h"
#include "platform/services.h"
#include "ui/session.h"

namespace veskator {

class CProgrammerApp {
  public:
    explicit CProgrammerApp(Services& services);
    // Runs the main window until it closes. Returns false: the program then ends.
    bool InitInstance();

    Session& session() { return m_session; }
    ProgrammerState& state() { return m_session.state(); }
    LinkEngine& link() { return m_session.link(); }
    CMainProgDlg& mainWindow() { return m_mainWindow; }

  private:
    Services& m_services;
    Session m_session;
    CMainProgDlg m_mainWindow;
};

}  // namespace veskator
