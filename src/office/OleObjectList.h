#pragma once

#include "script/DispatchObject.h"
#include "common/ListPool.h"

#include <QString>
#include <QUuid>

// One server instance that scripts share: its class identifier and the
// object itself.
struct TOleObject {
    QUuid ClassId;
    TDispatchRef Dispatch;
};

// The process-wide list of the instances CreateOLEObject handed out, one per
// class. It lives until the process ends.
class TOleObjectList : public TListPool<TOleObject> {
public:
    // The entry of that class, or none.
    TOleObject *Find(const QUuid &classId) const;
};

TOleObjectList &OleObjectList();

// The instance of the server registered under `progId` that every report of
// the process shares: the list's entry for its class while that instance
// still answers; otherwise a running instance is attached to, or a new one
// started, and kept in the entry. Raises the automation errors of the
// registry ("OLE error 800401F3" for an unknown identifier).
TDispatchRef CreateOLEObject(const QString &progId);
