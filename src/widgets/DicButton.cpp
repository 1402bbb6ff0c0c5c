#include "DicButton.h"

#include "common/Convert.h"
#include "common/Format.h"
#include "grid/SearchDBGrid.h"
#include "report/DataFunctions.h"
#include "uisupport/Guard.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QString Unknown = QStringLiteral("???");

} // namespace

// ---------------------------------------------------------------- choice window

TDicChoiceForm::TDicChoiceForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("DicChoiceForm"));
    setWindowTitle(QStringLiteral("Выбор из справочника"));
    setSizeGripEnabled(true);
    Query.SetName(QStringLiteral("DicQuery"));
    Query.AfterOpen = [this](TDataSet &ds) { ApplyFieldMap(ds, FieldMap); };
    Source.SetDataSet(&Query);
    Grid = new TSearchDBGrid(this);
    Grid->setObjectName(QStringLiteral("DicGrid"));
    Grid->SetOptions(Grid->Options() & ~dgEditing);
    Grid->SetDataSource(&Source);
    ChooseBtn = new QPushButton(QStringLiteral("Выбрать"), this);
    ChooseBtn->setObjectName(QStringLiteral("ChooseBtn"));
    ChooseBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Отмена"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    connect(ChooseBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(Grid->View(), &QAbstractItemView::doubleClicked, this, &QDialog::accept);
    resize(560, 370);
}

TDicChoiceForm::~TDicChoiceForm()
{
    Grid->SetDataSource(nullptr);
}

void TDicChoiceForm::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    // the grid fills the window above the two buttons, which stay centred
    const int buttonsTop = height() - 38;
    Grid->setGeometry(4, 4, width() - 8, buttonsTop - 8);
    const int left = (width() - 215) / 2;
    ChooseBtn->setGeometry(left, buttonsTop, 100, 28);
    CancelBtn->setGeometry(left + 115, buttonsTop, 100, 28);
}

void TDicChoiceForm::ApplyFieldMap(TDataSet &dataSet, const QStringList &fieldMap)
{
    if (fieldMap.isEmpty())
        return;
    for (int i = 0; i < dataSet.FieldCount(); ++i)
        dataSet.Fields(i)->SetVisible(false);
    for (const QString &line : fieldMap) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0)
            continue;
        TField *field = dataSet.FindField(line.left(eq).trimmed());
        if (!field)
            continue;
        QString title = line.mid(eq + 1), spec;
        if (const qsizetype comma = title.indexOf(u','); comma >= 0) {
            spec = title.mid(comma + 1).trimmed();
            title = title.left(comma);
        }
        bool money = false;
        if (spec.startsWith(u'$')) {
            field->SetAlignment(taRightJustify);
            money = true;
            spec.remove(0, 1);
        } else if (spec.startsWith(u'+')) {
            field->SetAlignment(taCenter);
            spec.remove(0, 1);
        } else if (spec.startsWith(u'-')) {
            field->SetAlignment(taRightJustify);
            spec.remove(0, 1);
        }
        bool ok = false;
        const int width = spec.trimmed().toInt(&ok);
        field->SetDisplayLabel(title);
        field->SetVisible(true);
        switch (field->DataType()) {
        case ftFloat: case ftCurrency: case ftBCD:
            if (money)
                field->SetCurrency(true);
            field->SetDisplayWidth(20);
            break;
        case ftDate: case ftDateTime:
            field->SetDisplayFormat(QStringLiteral("dd.mm.yyyy"));
            field->SetDisplayWidth(10);
            break;
        default:
            field->SetDisplayWidth(field->Size());
            break;
        }
        if (ok && width > 0)
            field->SetDisplayWidth(width);
    }
}

// ---------------------------------------------------------------- button

TDicButton::TDicButton(QWidget *parent) : QPushButton(QStringLiteral("+"), parent)
{
    setObjectName(QStringLiteral("DicButton"));
    setFlat(true);
    QFont f(QStringLiteral("Liberation Sans"), 19);
    f.setBold(true);
    setFont(f);
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QPushButton::clicked, this, [this] { Guarded(this, [this] { Lookup(); }); });
}

TDicButton::~TDicButton()
{
    if (m_edit)
        m_edit->removeEventFilter(this);
}

void TDicButton::SetTitleRows(int rows)
{
    if (rows < 0)
        throw Exception(QStringLiteral("Индекс сетки вне диапазона"));
    m_titleRows = rows;
}

void TDicButton::SetLinkEdit(QLineEdit *edit, TDataSource *source, const QString &fieldName)
{
    if (m_edit) {
        m_edit->removeEventFilter(this);
        disconnect(m_edit, nullptr, this, nullptr);
    }
    m_edit = edit;
    m_source = source;
    m_fieldName = fieldName;
    if (!edit)
        return;
    // the edit box keeps its own handlers: ours come on top of them
    edit->installEventFilter(this);
    connect(edit, &QLineEdit::textChanged, this, [this] {
        if (m_skipChange) {
            m_skipChange = false;
            return;
        }
        Guarded(this, [this] { RefreshLabel(); });
    });
    if (source) {
        // a data-aware edit box shows its field and gives typed codes back to it
        source->AddLink([this](TDataEvent event, TField *) {
            if (event == deFieldChange || !m_edit || !m_source || !m_source->DataSet())
                return;
            if (const TField *f = m_source->DataSet()->FindField(m_fieldName); f && m_edit->text() != f->AsString())
                m_edit->setText(f->AsString());
        });
        connect(edit, &QLineEdit::editingFinished, this, [this] {
            Guarded(this, [this] {
                TDataSet *ds = m_source ? m_source->DataSet() : nullptr;
                TField *f = ds && ds->Active() ? ds->FindField(m_fieldName) : nullptr;
                if (f && f->AsString() != m_edit->text() && f->CanModify()) {
                    if (ds->State() == dsBrowse)
                        ds->Edit();
                    f->SetAsString(m_edit->text());
                }
            });
        });
    }
}

QString TDicButton::Code() const
{
    if (!m_edit)
        return QString();
    if (m_source && m_source->DataSet() && m_source->DataSet()->Active())
        if (const TField *f = m_source->DataSet()->FindField(m_fieldName); f && f->AsString() == m_edit->text())
            return f->AsString();
    return m_edit->text();
}

void TDicButton::setCode(const QString &code)
{
    if (!m_edit)
        return;
    TDataSet *ds = m_source ? m_source->DataSet() : nullptr;
    if (TField *f = ds && ds->Active() ? ds->FindField(m_fieldName) : nullptr) {
        if (ds->State() == dsBrowse)
            ds->Edit();
        f->SetAsString(code);
    }
    m_edit->setText(code);
}

bool TDicButton::labelShown() const
{
    return m_label && m_label->isVisibleTo(m_label->window()) && !m_label->window()->isHidden();
}

void TDicButton::Assign(const TDicButton *other)
{
    if (!other) {
        SetLinkEdit(nullptr);
        m_label = nullptr;
        OnLinkEditChanged = {};
        OnLinkLabelChanged = {};
        OnGetParams = OnSetParams = {};
        RefField.clear();
        TextField.clear();
        FieldMap.clear();
        GridSQL.clear();
        LabelSQL.clear();
        DatabaseName.clear();
        FormTitle.clear();
        Required = SearchInUse = false;
        m_titleRows = 2;
        m_formWidth = m_formHeight = 240;
        ParamType = ftString;
        return;
    }
    m_label = other->m_label;
    SetLinkEdit(other->m_edit, other->m_source, other->m_fieldName);
    RefField = other->RefField;
    TextField = other->TextField;
    FieldMap = other->FieldMap;
    GridSQL = other->GridSQL;
    LabelSQL = other->LabelSQL;
    DatabaseName = other->DatabaseName;
    Required = other->Required;
    SearchInUse = other->SearchInUse;
    FormTitle = other->FormTitle;
    ParamType = other->ParamType;
    m_titleRows = other->m_titleRows;
    m_formWidth = other->m_formWidth;
    m_formHeight = other->m_formHeight;
    OnLinkEditChanged = other->OnLinkEditChanged;
    OnLinkLabelChanged = other->OnLinkLabelChanged;
    OnGetParams = other->OnGetParams;
    OnSetParams = other->OnSetParams;
}

void TDicButton::Lookup()
{
    if (GridSQL.isEmpty() || DatabaseName.isEmpty())
        return;
    TDicChoiceForm form(window());
    m_form = &form;
    form.Grid->SetSearchInUse(SearchInUse);
    form.Grid->SetTitleRows(std::max(1, m_titleRows));
    if (!FormTitle.isEmpty())
        form.setWindowTitle(FormTitle);
    form.resize(m_formWidth, m_formHeight);
    form.FieldMap = FieldMap;
    form.Query.SetDatabaseName(DatabaseName);
    form.Query.SetSQL(GridSQL);
    form.Query.Prepare();
    if (OnSetParams)
        OnSetParams(*this, form.Query);
    form.Query.Open();
    if (form.exec() != QDialog::Accepted || form.Query.IsEmpty())
        return;
    if (OnGetParams)
        OnGetParams(*this, form.Query);
    if (!RefField.isEmpty() && m_edit) {
        QString code = form.Query.FieldByName(RefField)->AsString();
        if (OnLinkEditChanged)
            OnLinkEditChanged(*this, code);
        m_skipChange = true;
        setCode(code);
        m_skipChange = false;
        m_lookedUp = code;
        m_edit->setCursorPosition(int(m_edit->text().size()));
    }
    if (!TextField.isEmpty() && m_label) {
        QString text = form.Query.FieldByName(TextField)->AsString();
        if (OnLinkLabelChanged)
            OnLinkLabelChanged(*this, form.Query, text);
        m_label->setText(text);
    }
}

void TDicButton::RefreshLabel()
{
    if (DatabaseName.isEmpty() || LabelSQL.isEmpty() || !labelShown())
        return;
    QString text = Unknown;
    try {
        TQuery q;
        q.SetDatabaseName(DatabaseName);
        q.SetSQL(LabelSQL);
        q.Prepare();
        const QString code = Code();
        m_lookedUp = code;
        if (q.ParamCount() == 0)
            throw Exception(Format(QStringLiteral("Необходимо наличие параметра в запросе: %s"),
                                   {LabelSQL.join(QStringLiteral("\r\n"))}));
        TParam &p = q.Params()[0];
        p.SetDataType(ParamType);
        if (code.isEmpty()) {
            p.Clear();
        } else {
            switch (ParamType) {
            case ftSmallint: case ftInteger: case ftWord: case ftAutoInc:
                p.SetValue(StrToInt(code));
                break;
            case ftFloat: case ftCurrency: case ftBCD:
                p.SetValue(StrToFloat(code));
                break;
            case ftDate: case ftTime: case ftDateTime:
                p.SetValue(DateTimeToQDateTime(StrToDateTime(code)));
                break;
            default:
                p.SetValue(code);
                break;
            }
        }
        if (OnSetParams)
            OnSetParams(*this, q);
        q.Open();
        if (OnGetParams)
            OnGetParams(*this, q);
        text = q.IsEmpty() ? Unknown : q.Fields(0)->AsString();
        if (OnLinkLabelChanged)
            OnLinkLabelChanged(*this, q, text);
    } catch (const Exception &e) {
        text = Unknown;
        m_label->setText(text);
        HandleException(this, e);
    }
    m_label->setText(text);
    if (OnLinkEditChanged) {
        const QString before = Code();
        QString code = before;
        OnLinkEditChanged(*this, code);
        if (code != before)
            setCode(code);
    }
}

bool TDicButton::eventFilter(QObject *watched, QEvent *event)
{
    // An edit being destroyed still sends its last events (a focus lost in
    // ~QWidget) while it is a plain QWidget already: those are not the
    // edit's any more.
    if (!qobject_cast<QLineEdit *>(watched) || watched != m_edit)
        return QPushButton::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress: {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Plus && (key->modifiers() & Qt::KeypadModifier)) {
            Guarded(this, [this] { Lookup(); });
            return true;   // the "+" is not typed
        }
        m_skipChange = true;
        break;
    }
    case QEvent::FocusIn:
        if (Code() != m_lookedUp)
            Guarded(this, [this] { RefreshLabel(); });
        break;
    case QEvent::FocusOut:
        if (Code() == m_lookedUp)
            break;
        Guarded(this, [this] {
            RefreshLabel();
            if (Required && m_label && m_label->text() == Unknown) {
                // the focus comes back once the one leaving has settled
                QTimer::singleShot(0, m_edit, [edit = m_edit] {
                    if (edit)
                        edit->setFocus();
                });
                throw Exception(QStringLiteral("Неверное значение"));
            }
        });
        break;
    default:
        break;
    }
    return false;
}

// ---------------------------------------------------------------- scripts

QVariant DictionaryChoice(const TDictionaryRequest &r)
{
    {
        TDicChoiceForm form(QApplication::activeWindow());
        form.Grid->SetSearchInUse(r.Search);
        form.Grid->SetTitleRows(std::max(1, r.TitleRows));
        form.FieldMap = r.Columns.split(QRegularExpression(QStringLiteral("[\r\n;]+")), Qt::SkipEmptyParts);
        form.Query.SetDatabaseName(r.DatabaseName);
        form.Query.SetSQLText(r.Sql);
        if (r.Bind)
            r.Bind(form.Query);
        form.Query.Open();
        if (form.exec() != QDialog::Accepted || r.FieldName.isEmpty() || form.Query.IsEmpty())
            return QVariant();
        const TField *f = form.Query.FindField(r.FieldName);
        if (!f || f->IsNull())
            return QVariant();
        switch (f->DataType()) {
        case ftString: case ftMemo:
            return f->AsString();
        case ftSmallint: case ftInteger: case ftWord: case ftFloat: case ftCurrency: case ftBCD: case ftAutoInc:
            return f->AsFloat();
        case ftBoolean:
            return f->AsBoolean();
        case ftDate: case ftTime: case ftDateTime:
            return QVariant(DateTimeToQDateTime(f->AsDateTime()));
        default:
            return f->AsString();
        }
    }
}

void InstallDictionaryLookup()
{
    SetDictionaryLookup(DictionaryChoice);
}
