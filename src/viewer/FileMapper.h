#pragma once

#include <QFile>
#include <QString>

// Read-only (or read-write) access to a file's bytes through a memory
// mapping: the viewer's pages point into it instead of copying the file.
class TFileMapper {
public:
    enum TFileAccess { faRead, faReadWrite };
    enum TFileMap { fmRead, fmWrite, fmAllAccess, fmCopy };
    enum TFileProtect { fpReadOnly, fpReadWrite, fpWriteCopy };
    // Kept for callers that set it; files on this system are shared freely.
    enum TFileShare { fsNone, fsRead, fsWrite, fsReadWrite };
    enum TFileCreation { fcCreateNew, fcCreateAlways, fcOpenExisting, fcOpenAlways,
                         fcTruncateExisting };

    TFileMapper() = default;
    ~TFileMapper();
    TFileMapper(const TFileMapper &) = delete;
    TFileMapper &operator=(const TFileMapper &) = delete;

    const QString &FileName() const { return m_fileName; }
    // A different name closes the open file, and opens the new one when it
    // is not empty; a failure clears the name and propagates.
    void SetFileName(const QString &name);

    TFileAccess FileAccess = faRead;
    TFileMap FileMap = fmRead;
    TFileProtect FileProtect = fpReadOnly;
    TFileShare FileShare = fsReadWrite;
    TFileCreation FileCreation = fcOpenExisting;

    // Raises "Не могу открыть файл", "Не могу сделать отображение" or
    // "Файл имеет нулевой размер" (an empty file cannot be mapped).
    void Open();
    // Maps, read-only, the very file `other` has open: the same contents
    // even when its name has since been given to a new file.
    void OpenSame(const TFileMapper &other);
    void Close();
    bool IsOpen() const { return m_open; }
    // The open file's descriptor, -1 when closed.
    int Handle() const { return m_file.isOpen() ? m_file.handle() : -1; }
    // The size mapped, and the open file's size as it is now (-1 when
    // closed): a file cut in place takes away the mapped pages past its new
    // end, and touching one of them kills the process (SIGBUS).
    qint64 Size() const { return m_size; }
    qint64 CurrentSize() const;

    // The address of offset i, 0 <= i <= Size() (the end address included).
    const char *Address(qint64 i) const;
    // The byte at offset i, 0 <= i < Size().
    char Byte(qint64 i) const;
    // The whole view (valid while open).
    const char *Data() const { return reinterpret_cast<const char *>(m_base); }

private:
    void check(qint64 i, qint64 limit) const;
    void mapOpenFile(QIODevice::OpenMode mode);

    QString m_fileName;
    QFile m_file;
    uchar *m_base = nullptr;
    qint64 m_size = 0;
    bool m_open = false;
};
