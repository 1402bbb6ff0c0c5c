#include "RecordLinks.h"

#include "common/Exceptions.h"
#include "common/UserInterface.h"
#include "uisupport/Guard.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

TQuery *ListQueryOf(TDataSource *source)
{
    return source ? dynamic_cast<TQuery *>(source->DataSet()) : nullptr;
}

// ---------------------------------------------------------------- TPtLink

TPtLink::TPtLink(QObject *owner) : QObject(owner) {}

void TPtLink::Notify(TLinkNotification code, TLinkInfo &info)
{
    if (code == lnSetInfo && OnSetInfo)
        OnSetInfo(*this, info.Source);
}

void TPtLink::Send(TLinkNotification code, TDataSource *source)
{
    TLinkInfo info;
    info.Source = source;
    Notify(code, info);
}

bool TPtLink::AskModified()
{
    TLinkInfo info;
    Notify(lnAskModified, info);
    return info.Modified;
}

TJumpMode TPtLink::AskJumpMode()
{
    TLinkInfo info;
    Notify(lnAskJumpMode, info);
    return info.JumpMode;
}

TPtLink *FindLink(QObject *form)
{
    if (!form)
        return nullptr;
    if (auto *link = form->findChild<TPtLink *>(QString(), Qt::FindDirectChildrenOnly))
        return link;
    return form->findChild<TPtLink *>();
}

// ---------------------------------------------------------------- TPtEditForm

void TPtEditForm::done(int result)
{
    bool canClose = true;
    if (OnCloseQuery) {
        try {
            OnCloseQuery(*this, result, canClose);
        } catch (...) {
            canClose = false;
            HandleCurrentException(this);
        }
    }
    if (canClose)
        QDialog::done(result);
}

// ---------------------------------------------------------------- TPtFormLink

TPtFormLink::TPtFormLink(QObject *owner) : TPtLink(owner) {}

TPtLink &TPtFormLink::formLink() const
{
    TPtLink *link = FindLink(m_form);
    if (!link)
        throw Exception(QStringLiteral("Форма редактирования записи не задана"));
    return *link;
}

void TPtFormLink::Add(TDataSource *source)
{
    showForm(source, lnInsert);
}

void TPtFormLink::Edit(TDataSource *source)
{
    showForm(source, lnEdit);
}

void TPtFormLink::showForm(TDataSource *source, TLinkNotification code)
{
    TPtLink &link = formLink();
    TQuery *list = ListQueryOf(source);
    m_source = source;
    m_position = list && list->Active() ? list->CurrentIndex() : -1;
    m_refresh = false;
    QPointer<TPtEditForm> form = m_form;
    struct TRelease {
        TPtFormLink *link;
        QPointer<TPtEditForm> form;
        ~TRelease()
        {
            link->m_position = -1;
            link->m_source = nullptr;
            if (form)
                form->OnCloseQuery = nullptr;
        }
    } release{this, form};
    link.Send(code, source);
    link.Send(lnSetInfo, source);
    form->OnCloseQuery = [this](TPtEditForm &f, int result, bool &canClose) { CloseQuery(f, result, canClose); };
    form->exec();
    if (m_refresh)
        refreshList();
}

void TPtFormLink::Delete(TDataSource *source)
{
    TQuery *list = ListQueryOf(source);
    if (!list)
        return;
    TPtLink &link = formLink();
    m_source = source;
    m_position = list->Active() ? list->CurrentIndex() : -1;
    struct TRelease {
        TPtFormLink *link;
        ~TRelease() { link->m_position = -1; link->m_source = nullptr; }
    } release{this};
    link.Send(lnDelete, source);
    refreshList();
}

void TPtFormLink::refreshList()
{
    TQuery *list = ListQueryOf(m_source);
    if (!list)
        return;
    list->DisableControls();
    struct TEnable {
        TQuery *q;
        ~TEnable() { q->EnableControls(); }
    } enable{list};
    list->Close();
    list->Open();
    // a row that is gone leaves the list on its last row
    if (m_position >= 0 && list->FetchUpTo(m_position + 1) > m_position)
        list->MoveTo(m_position);
    else if (m_position >= 0)
        list->Last();
}

void TPtFormLink::save()
{
    formLink().Send(lnPost, m_source);
    m_refresh = true;
}

void TPtFormLink::CloseQuery(TPtEditForm &, int result, bool &canClose)
{
    TPtLink &link = formLink();
    // first what becomes of the record shown
    const auto saveOrCancel = [&] {
        if (link.AskModified())
            save();
        else
            link.Send(lnCancel, m_source);
    };
    // false: the person wants to stay on the record
    const auto askOrCancel = [&](bool confirm) {
        if (!confirm || !link.AskModified()) {
            link.Send(lnCancel, m_source);
            return true;
        }
        switch (UserInterface().MessageDlg(QStringLiteral("Данные были изменены. Сохранить ?"), QString(),
                                           TUserInterface::mtWarning,
                                           {TUserInterface::mbYes, TUserInterface::mbNo, TUserInterface::mbCancel})) {
        case TUserInterface::mbYes:
            save();
            return true;
        case TUserInterface::mbNo:
            link.Send(lnCancel, m_source);
            return true;
        default:
            return false;
        }
    };
    const bool jump = result == mrPrior || result == mrNext;
    if (result == mrOk || result == mrRetry) {
        saveOrCancel();
    } else if (jump) {
        switch (link.AskJumpMode()) {
        case jmPost: saveOrCancel(); break;
        case jmCancel: link.Send(lnCancel, m_source); break;
        case jmConfirm:
            if (!askOrCancel(true)) {
                canClose = false;
                return;
            }
            break;
        case jmNone:
            if (!askOrCancel(m_confirmOnExit)) {
                canClose = false;
                return;
            }
            break;
        }
    } else if (!askOrCancel(m_confirmOnExit)) {
        canClose = false;
        return;
    }

    // then, for save-and-add and for PgUp/PgDn, the next record in the
    // same form
    if (result != mrRetry && !jump)
        return;
    try {
        if (result == mrRetry) {
            link.Send(lnInsert, m_source);
        } else {
            TQuery *list = ListQueryOf(m_source);
            if (!list)
                return;
            // what was saved is read first, so that a changed key is found
            if (m_refresh) {
                m_position = list->CurrentIndex();
                refreshList();
                m_refresh = false;
            }
            if (result == mrNext)
                list->Next();
            else
                list->Prior();
            m_position = list->CurrentIndex();
            link.Send(lnEdit, m_source);
        }
        link.Send(lnFocusFirstEdit);
        canClose = false;
    } catch (...) {
        Guarded(this, [&] { link.Send(lnCancel, m_source); });
        HandleCurrentException(this);
        canClose = true;
    }
}

// ---------------------------------------------------------------- TPtDBLink

TPtDBLink::TPtDBLink(QDialog *form) : TPtLink(form), m_form(form)
{
    // the form's keys come here before its controls see them
    qApp->installEventFilter(this);
}

TPtDBLink::~TPtDBLink()
{
    qApp->removeEventFilter(this);
}

TQuery &TPtDBLink::query() const
{
    if (!Query)
        throw Exception(QStringLiteral("Запрос формы редактирования не задан"));
    return *Query;
}

void TPtDBLink::run(const TLinkEvent &event, TQuery *listQuery, const std::function<void()> &defaultAction)
{
    if (event)
        event(*this, listQuery);
    else
        defaultAction();
}

void TPtDBLink::Notify(TLinkNotification code, TLinkInfo &info)
{
    TQuery *list = ListQueryOf(info.Source);
    switch (code) {
    case lnSetInfo:
        TPtLink::Notify(code, info);
        break;
    case lnInsert:
        run(OnInsert, list, [this] { InsertRecord(); });
        FocusFirstEdit();
        break;
    case lnEdit:
        run(OnEdit, list, [this, list] { EditRecord(list); });
        FocusFirstEdit();
        break;
    case lnDelete:
        run(OnDelete, list, [this, list] { DeleteRecord(list); });
        break;
    case lnPost:
        run(OnPost, list, [this] { PostRecord(); });
        break;
    case lnCancel:
        run(OnCancel, list, [this] { CancelRecord(); });
        break;
    case lnFocusFirstEdit:
        FocusFirstEdit();
        break;
    case lnAskModified:
        info.Modified = Modified();
        break;
    case lnAskJumpMode:
        info.JumpMode = JumpMode;
        break;
    }
}

void TPtDBLink::SetParams(TQuery *listQuery)
{
    if (OnSetParam) {
        OnSetParam(*this, listQuery);
        return;
    }
    TQuery &q = query();
    if (listQuery)
        for (const QString &part : UniqueField.split(u',', Qt::SkipEmptyParts)) {
            const QString name = part.trimmed();
            const TField *f = listQuery->FieldByName(name);
            switch (f->DataType()) {
            case ftString:
                q.ParamByName(name).SetAsString(f->AsString());
                break;
            case ftSmallint: case ftInteger: case ftWord: case ftAutoInc:
                q.ParamByName(name).SetAsInteger(f->AsInteger());
                break;
            case ftFloat: case ftCurrency: case ftBCD:
                q.ParamByName(name).SetAsFloat(f->AsFloat());
                break;
            case ftDate: case ftTime: case ftDateTime:
                q.ParamByName(name).SetAsDateTime(f->AsDateTime());
                break;
            default:   // Boolean, blobs: not a key to copy
                continue;
            }
            if (f->IsNull() && f->DataType() != ftString)
                q.ParamByName(name).Clear();
        }
    q.Close();
    q.Open();
}

void TPtDBLink::InsertRecord()
{
    TQuery &q = query();
    for (const QString &part : UniqueField.split(u',', Qt::SkipEmptyParts))
        if (TParam *p = q.Params().FindParam(part.trimmed()))
            p->Clear();
    q.Close();
    q.Open();
    q.Append();
}

void TPtDBLink::EditRecord(TQuery *listQuery)
{
    SetParams(listQuery);
    query().Edit();   // inserts when nothing was found
}

void TPtDBLink::DeleteRecord(TQuery *listQuery)
{
    SetParams(listQuery);
    TQuery &q = query();
    if (q.IsEmpty())
        return;
    q.Delete();
    if (q.CachedUpdates()) {
        TDatabase *db = q.Database();
        const bool own = !db->InTransaction();
        if (own)
            db->StartTransaction();
        try {
            q.ApplyUpdates();
            if (own)
                db->Commit();
        } catch (...) {
            if (own)
                db->Rollback();
            q.CancelUpdates();
            throw;
        }
        q.CommitUpdates();
    }
}

void TPtDBLink::PostRecord()
{
    TQuery &q = query();
    if (!q.CachedUpdates()) {
        q.Post();
        return;
    }
    // the record as typed, to be put back when the database refuses it
    const bool inserting = q.State() == dsInsert;
    QVariantList typed;
    for (int i = 0; i < q.FieldCount(); ++i)
        typed << q.Fields(i)->Value();
    TDatabase *db = q.Database();
    const bool own = !db->InTransaction();
    if (own)
        db->StartTransaction();
    try {
        q.Post();
    } catch (...) {
        // refused before anything was kept: the record is still edited
        if (own)
            Guarded(this, [db] { db->Rollback(); });
        throw;
    }
    try {
        q.ApplyUpdates();
        if (own)
            db->Commit();
    } catch (...) {
        if (own)
            Guarded(this, [db] { db->Rollback(); });
        // nothing was written: forget the kept edit and edit it again
        Guarded(this, [&] {
            q.CancelUpdates();
            if (inserting)
                q.Append();
            else
                q.Edit();
            for (int i = 0; i < q.FieldCount() && i < typed.size(); ++i) {
                TField *f = q.Fields(i);
                if (f->FieldKind() == fkData && !f->ReadOnly() && f->Value() != typed[i])
                    f->SetValue(typed[i]);
            }
        });
        throw;
    }
    q.CommitUpdates();
}

void TPtDBLink::CancelRecord()
{
    query().Cancel();
}

void TPtDBLink::FocusFirstEdit()
{
    if (!FirstEdit)
        return;
    FirstEdit->setFocus();
    if (auto *edit = qobject_cast<QLineEdit *>(FirstEdit.data()))
        edit->selectAll();
}

bool TPtDBLink::Modified()
{
    const auto answer = [this] {
        TQuery &q = query();
        return q.Modified() || q.State() == dsInsert;
    };
    if (answer())
        return true;
    // the active control writes what it holds when it is left
    if (QWidget *w = m_form->focusWidget()) {
        QFocusEvent out(QEvent::FocusOut, Qt::OtherFocusReason);
        QCoreApplication::sendEvent(w, &out);
        QFocusEvent in(QEvent::FocusIn, Qt::OtherFocusReason);
        QCoreApplication::sendEvent(w, &in);
    }
    return answer();
}

bool TPtDBLink::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || JumpMode == jmNone || !m_form->isVisible())
        return false;
    auto *w = qobject_cast<QWidget *>(watched);
    if (!w || w->window() != m_form)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if ((key->key() != Qt::Key_PageUp && key->key() != Qt::Key_PageDown)
        || (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        return false;
    // a multi-line editor keeps its own paging
    QWidget *focus = m_form->focusWidget();
    if (qobject_cast<QPlainTextEdit *>(focus) || qobject_cast<QTextEdit *>(focus))
        return false;
    m_form->done(key->key() == Qt::Key_PageUp ? mrPrior : mrNext);
    return true;
}

// ---------------------------------------------------------------- TDBEditLink

TDBEditLink::TDBEditLink(QLineEdit *edit, TDataSource &source, const QString &fieldName)
    : QObject(edit), m_line(edit), m_source(source), m_fieldName(fieldName)
{
    connect(edit, &QLineEdit::textEdited, this, [this](const QString &text) { write(text); });
    setUp();
}

TDBEditLink::TDBEditLink(QPlainTextEdit *edit, TDataSource &source, const QString &fieldName)
    : QObject(edit), m_memo(edit), m_source(source), m_fieldName(fieldName)
{
    connect(edit, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_busy)
            write(m_memo->toPlainText().replace(u'\n', QStringLiteral("\r\n")));
    });
    setUp();
}

TDBEditLink::~TDBEditLink()
{
    m_source.RemoveLink(m_linkId);
}

void TDBEditLink::setUp()
{
    m_linkId = m_source.AddLink([this](TDataEvent event, TField *changed) {
        if (event == deLayoutChange || (event == deFieldChange && changed != field()))
            return;
        if (!m_busy)
            load();
    });
    load();
}

TField *TDBEditLink::field() const
{
    TDataSet *ds = m_source.DataSet();
    return ds && ds->Active() ? ds->FindField(m_fieldName) : nullptr;
}

void TDBEditLink::load()
{
    const TField *f = field();
    QString text = f ? f->AsString() : QString();
    m_busy = true;
    if (m_line) {
        if (m_line->text() != text)
            m_line->setText(text);
    } else {
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        if (m_memo->toPlainText() != text)
            m_memo->setPlainText(text);
    }
    m_busy = false;
}

void TDBEditLink::write(const QString &text)
{
    Guarded(this, [&] {
        TField *f = field();
        if (!f)
            return;
        m_busy = true;
        struct TDone {
            bool &busy;
            ~TDone() { busy = false; }
        } done{m_busy};
        TDataSet *ds = f->DataSet();
        if (ds->State() == dsBrowse)
            ds->Edit();
        f->SetAsString(text);
    });
}
