#pragma once

#include <QWidget>
#include <array>

class QToolButton;
class TDataSource;

// A record navigator: a row of buttons that move through and edit the
// dataset of a data source. Without a data source every button is
// disabled.
class TDBNavigator : public QWidget {
    Q_OBJECT
public:
    enum TNavigateBtn { nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit, nbPost,
                        nbCancel, nbRefresh };
    static constexpr int ButtonCount = nbRefresh + 1;

    // Shows the given buttons, in that order.
    TDBNavigator(std::initializer_list<TNavigateBtn> buttons, QWidget *parent = nullptr);
    ~TDBNavigator() override;

    TDataSource *DataSource() const { return m_source; }
    // Binds the navigator to `source` (nullptr unbinds it).
    void SetDataSource(TDataSource *source);

    QToolButton *Button(TNavigateBtn b) const { return m_buttons[size_t(b)]; }
    // Runs what the button does.
    void BtnClick(TNavigateBtn b);

private:
    void updateButtons();

    std::array<QToolButton *, ButtonCount> m_buttons{};
    TDataSource *m_source = nullptr;
    int m_link = 0;
};
