#pragma once

// A record navigator: nine buttons with drawn glyphs that move through, add,
// delete, edit, save and drop rows of its data source's query. The buttons follow
// the query: all disabled while it is closed; First and Prior while it stands at
// its beginning, Next and Last at its end; Delete on an empty query; Insert, Edit,
// Delete, Post and Cancel on a query that cannot be changed; Edit while a row is
// being added or edited, Post and Cancel otherwise. A hook may stop any action
// before it runs. Delete asks "Delete record?" first. Moving away from a row being
// added or edited, or pressing Insert, saves it when a field changed and drops it
// otherwise (the query does that).

#include "data/fontedados.h"

#include <QWidget>
#include <functional>

class QToolButton;

class DbNavigator : public QWidget
{
    Q_OBJECT
  public:
    enum class Button { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel };
    static constexpr int kButtons = 9;
    // Runs before every action, with the button pressed; false stops the action.
    using BeforeAction = std::function<bool(Button)>;

    explicit DbNavigator(QWidget *parent = nullptr);

    void setDataSource(DataSource *source);
    DataSource *dataSource() const { return m_fonte.source(); }
    void setBeforeAction(BeforeAction hook) { m_antes = std::move(hook); }

    QToolButton *button(Button b) const { return m_botoes[int(b)]; }
    // What a click on that button does, through the general error report.
    void click(Button b);

  private:
    void atualiza();
    void executa(Button b);

    FieldLink m_fonte;
    QToolButton *m_botoes[kButtons];
    BeforeAction m_antes;
};
