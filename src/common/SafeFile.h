#pragma once

#include "Exceptions.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>

// A file could not be written; the message names the file and the reason,
// Reason() is the reason alone (for callers that word their own message).
class EFileWriteError : public Exception {
public:
    EFileWriteError(QString message, QString reason) : Exception(std::move(message)), m_reason(std::move(reason)) {}
    const QString &Reason() const noexcept { return m_reason; }

private:
    QString m_reason;
};

// Every file the program writes goes through TSafeFile: the bytes go to a
// temporary file beside the target (".NAME.PID-XXXXXX~", in the same folder
// so that the final rename stays on one file system), and only after every
// write, the flush to disk and the close succeeded does the temporary file
// replace the target by rename. Until then the target keeps its old
// contents; a failure removes the temporary file and raises Exception with
// the target's name and the reason in Russian. Dropping a file that was not
// committed (an error elsewhere) removes the temporary file as well.
//
// The target is the file a name finally leads to (WriteTarget): a symbolic
// link stays a link and its target is replaced, and anything but a regular
// file is refused before a byte is written. The temporary file carries the
// writer's process id and is locked while the writer holds it; a file of
// that pattern left by a writer that is gone (killed during a run) is
// removed when the same target is written next.
//
// It is a QIODevice so that writers that want one (the PDF writer) can use
// it; errors of writes through the device are remembered and raised by
// Commit.
class TSafeFile : public QIODevice {
public:
    // Creates the temporary file; raises "Не могу создать файл %1: %2".
    explicit TSafeFile(const QString &path);
    ~TSafeFile() override;
    TSafeFile(const TSafeFile &) = delete;
    TSafeFile &operator=(const TSafeFile &) = delete;

    // Starts the new contents from a copy of the target's (appending to a
    // file); nothing when the target does not exist.
    void CopyTarget();
    // Raises "Ошибка записи в файл %1: %2".
    void Write(const char *data, qint64 size);
    void Write(const QByteArray &bytes) { Write(bytes.constData(), bytes.size()); }
    // Flushes, syncs and closes the temporary file and renames it over the
    // target; raises on any failure, the target then being untouched.
    void Commit();
    // Removes the temporary file; the target stays as it was.
    void Discard();

    // The name as given, and the file it leads to (the one replaced).
    QString FileName() const { return m_path; }
    QString Target() const { return m_target; }
    QString TemporaryName() const { return m_temporary; }
    // Bytes written so far (a copied target included).
    qint64 Size() const { return m_size; }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    bool flushBuffer();
    bool writeAll(const char *data, qint64 size);
    void closeTemporary();
    [[noreturn]] void fail(int error);

    QString m_path;        // as given, for messages
    QString m_target;      // where the name leads: the file replaced
    QString m_temporary;
    int m_fd = -1;
    int m_lock = -1;       // holds the temporary file's lock up to the rename
    int m_error = 0;       // the first failure's errno, 0 while all is well
    qint64 m_size = 0;
    QByteArray m_buffer;
};

// The whole file at once through TSafeFile.
void WriteFileSafely(const QString &path, const QByteArray &bytes);

// The file that writing `path` replaces: symbolic links followed to the end
// (a relative link against its own folder; a dangling one names the file to
// create). Raises EFileWriteError "Не могу создать файл %1: %2" when that
// is a folder, a named pipe, a device or a socket, or the links go round in
// a loop. Writers that replace a file by rename go through it, so that they
// never put a file in the place of a link or of a special file.
QString WriteTarget(const QString &path);

// Removes the temporary files ".NAME.PID-XXXXXX~" beside `target` (a final
// target, see WriteTarget) that writers left behind: their process is gone
// and nothing holds their lock. TSafeFile does this before it writes; the
// number removed is returned.
int RemoveStaleTemporaryFiles(const QString &target);

// The reason of a failed file operation (an errno value), in Russian.
QString FileErrorText(int error);
