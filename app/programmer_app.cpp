#include "app/programmer_app.h"

namespace veskator {

CProgrammerApp::CProgrammerApp(Services& services)
    : m_services(services),
      m_engine(m_state, services.network, services.files, services.clock),
      m_mainWindow(services, m_state, m_engine) {}

bool CProgrammerApp::InitInstance() {
    m_services.windows.runModal(m_mainWindow);
    return false;
}

}  // namespace veskator
