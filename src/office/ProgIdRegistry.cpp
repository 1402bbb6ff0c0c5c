#include "ProgIdRegistry.h"

#include "Automation.h"
#include "ExcelServer.h"
#include "WordServer.h"

void TProgIdRegistry::Register(const QString &progId, const QUuid &classId, TServerFactory factory)
{
    m_servers.insert(progId.toUpper(), TServer{classId, std::move(factory)});
}

void TProgIdRegistry::Unregister(const QString &progId)
{
    m_servers.remove(progId.toUpper());
}

QUuid TProgIdRegistry::ClassIdFromProgId(const QString &progId) const
{
    const auto it = m_servers.constFind(progId.toUpper());
    if (it == m_servers.cend())
        RaiseOleError(OleStatus::InvalidClassString);
    return it->ClassId;
}

TDispatchRef TProgIdRegistry::CreateInstance(const QUuid &classId)
{
    for (const TServer &server : std::as_const(m_servers)) {
        if (server.ClassId != classId)
            continue;
        TDispatchRef instance = server.Factory();
        if (!instance)
            RaiseOleError(OleStatus::ClassNotRegistered);
        m_running.insert(classId, instance);
        return instance;
    }
    RaiseOleError(OleStatus::ClassNotRegistered);
}

TDispatchRef TProgIdRegistry::ActiveObject(const QUuid &classId) const
{
    TDispatchRef instance = m_running.value(classId).lock();
    if (instance && ObjectAnswers(*instance))
        return instance;
    return nullptr;
}

QUuid ExcelApplicationClassId()
{
    return QUuid(QStringLiteral("{6d3f1c52-8a0e-4f7b-9a51-3c1e2b7d0a11}"));
}

QUuid WordApplicationClassId()
{
    return QUuid(QStringLiteral("{6d3f1c52-8a0e-4f7b-9a51-3c1e2b7d0a12}"));
}

TProgIdRegistry &ProgIdRegistry()
{
    static TProgIdRegistry registry = [] {
        TProgIdRegistry r;
        r.Register(QStringLiteral("Excel.Application"), ExcelApplicationClassId(),
                   [] { return TDispatchRef(TExcelApplication::Create()); });
        r.Register(QStringLiteral("Word.Application"), WordApplicationClassId(),
                   [] { return TDispatchRef(TWordApplication::Create()); });
        return r;
    }();
    return registry;
}

TDispatchRef CreateOleObject(const QString &progId)
{
    TProgIdRegistry &registry = ProgIdRegistry();
    return registry.CreateInstance(registry.ClassIdFromProgId(progId));
}

TDispatchRef GetActiveOleObject(const QString &progId)
{
    const TProgIdRegistry &registry = ProgIdRegistry();
    TDispatchRef instance = registry.ActiveObject(registry.ClassIdFromProgId(progId));
    if (!instance)
        RaiseOleError(OleStatus::NotRunning);
    return instance;
}
