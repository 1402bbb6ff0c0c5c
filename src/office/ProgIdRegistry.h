#pragma once

#include "script/DispatchObject.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>
#include <functional>
#include <memory>

// Starts a new instance of a server.
using TServerFactory = std::function<TDispatchRef()>;

// The program identifiers of the automation servers this process can start,
// with their class identifiers, and the table of running instances that a
// client can attach to. Program identifiers compare case-insensitively.
class TProgIdRegistry {
public:
    // Registers (or replaces) the server of `progId`.
    void Register(const QString &progId, const QUuid &classId, TServerFactory factory);
    void Unregister(const QString &progId);

    // Raises "OLE error 800401F3" for an identifier that nobody registered.
    QUuid ClassIdFromProgId(const QString &progId) const;
    // A new instance of the class, entered as running; raises "OLE error
    // 80040154" for a class that has no server.
    TDispatchRef CreateInstance(const QUuid &classId);
    // The running instance of the class that still answers, or none. The
    // table keeps no instance alive: one that every client let go is gone.
    TDispatchRef ActiveObject(const QUuid &classId) const;

private:
    struct TServer {
        QUuid ClassId;
        TServerFactory Factory;
    };
    QHash<QString, TServer> m_servers;   // by upper-cased program identifier
    QHash<QUuid, std::weak_ptr<TDispatchObject>> m_running;
};

// The process-wide registry, with the built-in servers "Excel.Application"
// and "Word.Application".
TProgIdRegistry &ProgIdRegistry();

// Class identifiers of the built-in servers.
QUuid ExcelApplicationClassId();
QUuid WordApplicationClassId();

// A new instance of the server of `progId`.
TDispatchRef CreateOleObject(const QString &progId);
// The running instance of the server of `progId`; raises "OLE error
// 800401E3" when none runs.
TDispatchRef GetActiveOleObject(const QString &progId);
