#pragma once

#include "data/DataSet.h"
#include "data/Query.h"

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <functional>

class QLineEdit;
class QPlainTextEdit;

// Record links between a list window and the modal form that edits one of
// its records. TPtFormLink sits on the list window and drives the form;
// TPtDBLink sits on the form, owns the form's single-record query and
// carries out insert, edit, delete, post and cancel on it. The form thus
// saves, saves and starts another record, cancels with a question, and
// moves to the list's previous or next record with PgUp/PgDn without code
// of its own.

// What one link tells another.
enum TLinkNotification {
    lnSetInfo = 1,      // the list's data source, handed to OnSetInfo
    lnInsert,           // a new record
    lnEdit,             // the list's current record
    lnDelete,           // the list's current record, no form shown
    lnPost,
    lnCancel,
    lnFocusFirstEdit,
    lnAskModified,      // answered in TLinkInfo::Modified
    lnAskJumpMode       // answered in TLinkInfo::JumpMode
};

// What PgUp/PgDn do with a modified record.
enum TJumpMode { jmNone, jmPost, jmCancel, jmConfirm };

// Modal results of an edit form: save, save and add another, previous and
// next record; cancel and the close box give QDialog::Rejected.
constexpr int mrOk = QDialog::Accepted;
constexpr int mrRetry = 4;
constexpr int mrPrior = 65281;
constexpr int mrNext = 65280;

// The argument of a notification: the list's data source for codes 1 to 6,
// the answer for codes 8 and 9.
struct TLinkInfo {
    TDataSource *Source = nullptr;
    bool Modified = false;
    TJumpMode JumpMode = jmPost;
};

// The list's query behind a data source; nullptr when it is no query.
TQuery *ListQueryOf(TDataSource *source);

class TPtLink : public QObject {
    Q_OBJECT
public:
    explicit TPtLink(QObject *owner = nullptr);

    virtual void Notify(TLinkNotification code, TLinkInfo &info);
    // Shortcuts for the notifications.
    void Send(TLinkNotification code, TDataSource *source = nullptr);
    bool AskModified();
    TJumpMode AskJumpMode();

    std::function<void(TPtLink &sender, TDataSource *info)> OnSetInfo;
};

// The edit form's link: the first TPtLink among its components.
TPtLink *FindLink(QObject *form);

// A form edited through a record link: the list's link decides, before the
// form closes, whether it may close (OnCloseQuery).
class TPtEditForm : public QDialog {
    Q_OBJECT
public:
    using QDialog::QDialog;
    // Called with the modal result before the form closes; clearing
    // `canClose` keeps it open. An error raised here is shown and keeps the
    // form open.
    std::function<void(TPtEditForm &form, int result, bool &canClose)> OnCloseQuery;
    void done(int result) override;
};

// The list window's side.
class TPtFormLink : public TPtLink {
    Q_OBJECT
public:
    explicit TPtFormLink(QObject *owner = nullptr);

    // The form this link drives; forgotten when that form is destroyed.
    TPtEditForm *EditForm() const { return m_form; }
    void SetEditForm(TPtEditForm *form) { m_form = form; }
    // With changes, Cancel and the close box ask "Данные были изменены.
    // Сохранить ?"; without, the changes are dropped.
    bool ConfirmOnExit() const { return m_confirmOnExit; }
    void SetConfirmOnExit(bool on) { m_confirmOnExit = on; }

    // Shows the form on a new record / on the list's current record; the
    // list is read again, back to its row, when something was saved.
    void Add(TDataSource *source);
    void Edit(TDataSource *source);
    // Deletes the list's current record without showing the form and reads
    // the list again.
    void Delete(TDataSource *source);

    // The close check installed on the form while it is shown.
    void CloseQuery(TPtEditForm &form, int result, bool &canClose);

private:
    TPtLink &formLink() const;
    void showForm(TDataSource *source, TLinkNotification code);
    void save();
    void refreshList();

    QPointer<TPtEditForm> m_form;
    TDataSource *m_source = nullptr;   // the list of the operation under way
    int m_position = -1;               // the list's remembered row
    bool m_refresh = false;            // the list must be read again
    bool m_confirmOnExit = false;
};

// The edit form's side: the form's own query of one record, found by the
// list's key fields.
class TPtDBLink : public TPtLink {
    Q_OBJECT
public:
    // Sees the form's keys before its controls do (PgUp/PgDn).
    explicit TPtDBLink(QDialog *form);
    ~TPtDBLink() override;

    // The query that selects the one record by parameters.
    TQuery *Query = nullptr;
    // Focused after insert and edit.
    QPointer<QWidget> FirstEdit;
    // Comma-separated key fields of the list; each is also the name of a
    // parameter of Query.
    QString UniqueField = QStringLiteral("ROWID");
    TJumpMode JumpMode = jmPost;

    // Each replaces the default action of its name; the argument is the
    // list's query (nullptr when the list is no query).
    using TLinkEvent = std::function<void(TPtDBLink &sender, TQuery *listQuery)>;
    TLinkEvent OnInsert, OnEdit, OnDelete, OnPost, OnCancel, OnSetParam;

    void Notify(TLinkNotification code, TLinkInfo &info) override;

    // The default actions.
    void SetParams(TQuery *listQuery);
    void InsertRecord();
    void EditRecord(TQuery *listQuery);
    void DeleteRecord(TQuery *listQuery);
    void PostRecord();
    void CancelRecord();
    void FocusFirstEdit();
    bool Modified();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TQuery &query() const;
    void run(const TLinkEvent &event, TQuery *listQuery, const std::function<void()> &defaultAction);

    QDialog *m_form;
};

// A line or multi-line edit box showing a field of a data source and
// writing every change into it (the dataset goes into edit mode first).
// Memo lines are kept with CR LF between them.
class TDBEditLink : public QObject {
    Q_OBJECT
public:
    TDBEditLink(QLineEdit *edit, TDataSource &source, const QString &fieldName);
    TDBEditLink(QPlainTextEdit *edit, TDataSource &source, const QString &fieldName);
    ~TDBEditLink() override;

private:
    void setUp();
    void load();
    void write(const QString &text);
    TField *field() const;

    QLineEdit *m_line = nullptr;
    QPlainTextEdit *m_memo = nullptr;
    TDataSource &m_source;
    QString m_fieldName;
    int m_linkId = 0;
    bool m_busy = false;
};
