#pragma once

#include "Automation.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

// What the two office servers have in common: the life of a server
// instance, documents that become files, and applications that show them.

// Opens a finished file with the desktop's application for it.
using TFileOpener = std::function<void(const QString &path)>;
// Installs the opener (tests record the calls) and returns the previous
// one; an empty opener restores the desktop's.
TFileOpener SetFileOpener(TFileOpener opener);
// Opens the file unless the setting "OfficeOpen" is "0".
void OpenWithDesktop(const QString &path);

// A file name a script gave: relative names are taken against ProgramDir();
// a name without a suffix gets `defaultSuffix` (".xlsx", ".odt").
QString OfficeFilePath(const QString &fileName, const QString &defaultSuffix);

// Runs `release` while the application object is being destroyed, before
// the fonts and the platform go. Process-wide values that hold servers use
// it, so that no document outlives the GUI it was laid out with.
void ReleaseAtExit(std::function<void()> release);

// The life of one server instance, shared by all objects it handed out.
struct TServerState {
    bool Running = true;
};

// An object of a server instance: it refuses every call with "OLE error
// 800706BA" once the server has quit.
class TServerObject : public TAutomationObject {
public:
    bool Answers() const override { return m_server->Running; }
    const std::shared_ptr<TServerState> &Server() const { return m_server; }

protected:
    explicit TServerObject(std::shared_ptr<TServerState> server) : m_server(std::move(server)) {}
    void checkAlive() const override;

private:
    std::shared_ptr<TServerState> m_server;
};

// A workbook or a text document: a name, the file it was saved to, and
// whether it changed since. A new document is called by its stem and
// number ("Книга1"); when first saved without a name it takes the first
// name of that form that no file in ProgramDir() has yet, so a new run
// never overwrites the file of an earlier one.
class TOfficeDocument : public TServerObject {
public:
    QString Name() const;
    QString FullName() const;   // the file's path once saved, else the name
    QString Path() const;       // the file's directory once saved, else ""
    const QString &FilePath() const { return m_path; }
    bool Saved() const { return m_saved; }
    void SetSaved(bool saved) { m_saved = saved; }
    bool Closed() const { return m_closed; }
    bool Shown() const { return m_shown; }

    // Every change of the content calls it.
    void Modified() { m_saved = false; }
    // Writes the file: to the file it was saved to, or the first free name.
    void Save();
    // Writes the file under `fileName` (OfficeFilePath) and keeps that name.
    void SaveAs(const QString &fileName);
    // Writes the file when it changed or was never written, then opens it
    // with the desktop's application unless that was done before.
    void Show();
    // Ends the document; its objects refuse calls from now on. With `save`
    // true a changed document is saved first.
    void Close(bool save);

protected:
    TOfficeDocument(std::shared_ptr<TServerState> server, QString stem, int number, QString suffix);
    // Writes the content to `path`; raises the server's error when it cannot.
    virtual void writeFile(const QString &path) = 0;
    // Also "OLE error 80010108" once the document is closed.
    void checkAlive() const override;

    // Common members of the documents' member tables.
    TDispValue getName(TDispArgs &) { return TDispValue::FromString(Name()); }
    TDispValue getFullName(TDispArgs &) { return TDispValue::FromString(FullName()); }
    TDispValue getPath(TDispArgs &) { return TDispValue::FromString(Path()); }
    TDispValue getSaved(TDispArgs &) { return TDispValue::FromBoolean(m_saved); }
    void putSaved(TDispArgs &, const TDispValue &v) { m_saved = VarToBool(v); }
    TDispValue callSave(TDispArgs &);
    TDispValue callSaveAs(TDispArgs &args);

private:
    QString m_stem;
    int m_number;
    QString m_suffix;
    QString m_path;
    bool m_saved = true;   // nothing to save in a new, empty document
    bool m_shown = false;
    bool m_closed = false;
};

// An office application: its open documents, visibility and the switches a
// script turns while it works. Making it visible shows every open document
// (TOfficeDocument::Show).
class TOfficeApplication : public TServerObject {
public:
    bool Visible() const { return m_visible; }
    void SetVisible(bool visible);
    // Ends the instance: with `save`, changed documents are saved first; the
    // others are dropped. Every object of the instance refuses calls after.
    void Quit(bool save);
    int DocumentCount() const { return int(m_documents.size()); }

protected:
    explicit TOfficeApplication(QString name);

    // The number of the next new document ("Книга3" is the third).
    int nextDocumentNumber() { return ++m_documentsMade; }
    // Ends a document and drops it from the list.
    void closeDocument(const std::shared_ptr<TOfficeDocument> &document, bool save);

    TDispValue getApplication(TDispArgs &) { return self(); }
    TDispValue getName(TDispArgs &) { return TDispValue::FromString(m_name); }
    TDispValue getVisible(TDispArgs &) { return TDispValue::FromBoolean(m_visible); }
    void putVisible(TDispArgs &, const TDispValue &v) { SetVisible(VarToBool(v)); }
    TDispValue getScreenUpdating(TDispArgs &) { return TDispValue::FromBoolean(m_screenUpdating); }
    void putScreenUpdating(TDispArgs &, const TDispValue &v) { m_screenUpdating = VarToBool(v); }
    TDispValue getDisplayAlerts(TDispArgs &) { return TDispValue::FromBoolean(m_displayAlerts); }
    void putDisplayAlerts(TDispArgs &, const TDispValue &v) { m_displayAlerts = VarToBool(v); }

    std::vector<std::shared_ptr<TOfficeDocument>> m_documents;   // in the order opened
    std::shared_ptr<TOfficeDocument> m_active;

private:
    QString m_name;
    int m_documentsMade = 0;
    bool m_visible = false;
    bool m_screenUpdating = true;
    bool m_displayAlerts = true;
};

// A 1-based index into a collection of `count` items from a call argument;
// raises "OLE error 8002000B" outside 1..count.
int CollectionIndex(const TDispValue &index, int count);

// A column's letters, as spreadsheets and table styles name columns: 1 "A",
// 27 "AA".
QString ColumnLetters(int column);
