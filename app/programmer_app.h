#pragma once
// The application object: it owns the process-wide state and the link engine, runs the main
// window modally, and ends the program when that window closes.

#include "link/link_engine.h"
#include "model/programmer_state.h"
#include "mainwin/main_prog_dlg.h"
#include "platform/services.h"

namespace veskator {

class CProgrammerApp {
  public:
    explicit CProgrammerApp(Services& services);
    // Runs the main window until it closes. Returns false: the program then ends.
    bool InitInstance();

    ProgrammerState& state() { return m_state; }
    LinkEngine& link() { return m_engine; }
    CMainProgDlg& mainWindow() { return m_mainWindow; }

  private:
    Services& m_services;
    ProgrammerState m_state;
    LinkEngine m_engine;
    CMainProgDlg m_mainWindow;
};

}  // namespace veskator
