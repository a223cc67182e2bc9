#include "app/programmer_app.h"

namespace veskator {

CProgrammerApp::CProgrammerApp(Services& services)
    : m_services(services), m_session(services), m_mainWindow(services, m_session) {}

bool CProgrammerApp::InitInstance() {
    m_services.windows.run(m_mainWindow);
    return false;
}

}  // namespace veskator
