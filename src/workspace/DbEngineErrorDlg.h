#pragma once

#include "data/DBError.h"

#include "Application.h"

#include <QDialog>
#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;

// "Database Engine Error": the application-wide presenter of engine errors.
// Installed as the application's exception handler, it shows every engine
// error with its error stack, one entry at a time; other errors, and engine
// errors raised while it already shows one or while the program ends, go to
// the handler it replaced (or the standard message box).
class TDbEngineErrorDlg : public QDialog {
    Q_OBJECT
public:
    // `terminating` tells whether the program is ending.
    explicit TDbEngineErrorDlg(QWidget *parent = nullptr,
                               std::function<bool()> terminating = nullptr);
    // Puts back the handler that Install replaced.
    ~TDbEngineErrorDlg() override;

    // Remembers the application's exception handler and puts its own in
    // its place.
    void Install();
    // The handler.
    void HandleException(QObject *sender, const Exception &e);
    // Shows `e` modally; the error is held only while the dialog is open.
    void ShowError(const EDBEngineError &e);
    bool Showing() const { return m_error.has_value(); }

    // "&Details": opens or closes the lower part.
    void DetailsBtnClick();
    bool DetailsOpen() const;
    // Displays entry `i` of the error's entries.
    void ShowEntry(int i);
    int EntryIndex() const { return m_entry; }
    void BackClick() { ShowEntry(m_entry - 1); }
    void NextClick() { ShowEntry(m_entry + 1); }

    // The category field's text for an entry: "[$%2x] [$%2x]".
    static QString CategoryText(const TDBError &entry);

    QLabel *ErrorText = nullptr;
    QPushButton *DetailsBtn = nullptr;
    QPushButton *OKBtn = nullptr;
    QWidget *DetailsPanel = nullptr;
    QLabel *BDELabel = nullptr;
    QLineEdit *DbResult = nullptr;     // error code in decimal
    QLineEdit *DbCatSub = nullptr;     // category and subcode
    QPlainTextEdit *DbMessage = nullptr;
    QLabel *NativeLabel = nullptr;     // "Server Error:"
    QLineEdit *NativeResult = nullptr;
    QPushButton *BackBtn = nullptr;
    QPushButton *NextBtn = nullptr;

protected:
    void reject() override;

private:
    void setDetails(bool open);

    std::function<bool()> m_terminating;
    std::optional<EDBEngineError> m_error;
    int m_entry = 0;
    QString m_detailsCaption;
    bool m_installed = false;
    TExceptionHandler m_previous;
};
