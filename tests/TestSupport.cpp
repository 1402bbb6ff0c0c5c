#include "TestSupport.h"

TTestEnvironment::TTestEnvironment()
{
    qputenv("QUARN_HOME", m_home.path().toLocal8Bit());
    qputenv("QUARN_CONFIG", m_config.path().toLocal8Bit());
    // Qt asks for it when it starts a GUI application, even offscreen
    qputenv("XDG_RUNTIME_DIR", m_home.path().toLocal8Bit());
}
