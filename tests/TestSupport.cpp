#include "TestSupport.h"

TTestEnvironment::TTestEnvironment()
{
    qputenv("QUARN_HOME", m_home.path().toLocal8Bit());
    qputenv("QUARN_CONFIG", m_config.path().toLocal8Bit());
}
