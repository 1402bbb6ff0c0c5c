#include "OleObjectList.h"

#include "Automation.h"
#include "OfficeFiles.h"
#include "ProgIdRegistry.h"

TOleObject *TOleObjectList::Find(const QUuid &classId) const
{
    return FirstThat([&](const TOleObject &o) { return o.ClassId == classId; });
}

TOleObjectList &OleObjectList()
{
    static TOleObjectList list;
    static const bool released = [] {
        // Servers hold documents with fonts: they go while the application
        // object still exists, not among the last static destructors.
        ReleaseAtExit([] { list.Clear(); });
        return true;
    }();
    (void)released;
    return list;
}

namespace {

// Attaches to the running instance of the class, or starts one.
TDispatchRef acquire(const QUuid &classId)
{
    TProgIdRegistry &registry = ProgIdRegistry();
    if (TDispatchRef running = registry.ActiveObject(classId))
        return running;
    return registry.CreateInstance(classId);
}

} // namespace

TDispatchRef CreateOLEObject(const QString &progId)
{
    const QUuid classId = ProgIdRegistry().ClassIdFromProgId(progId);
    TOleObjectList &list = OleObjectList();
    TOleObject *entry = list.Find(classId);
    if (!entry) {
        auto added = std::make_unique<TOleObject>();
        added->ClassId = classId;
        added->Dispatch = acquire(classId);
        entry = list.Add(std::move(added));
    }
    if (!entry->Dispatch || !ObjectAnswers(*entry->Dispatch))
        entry->Dispatch = acquire(classId);
    return entry->Dispatch;
}
