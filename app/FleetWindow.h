#pragma once

#include "app/OperationsRoom.h"
#include "links/FleetModel.h"

#include <QWidget>
#include <functional>

class QLabel;
class QMenu;
class QSpinBox;
class QTableView;
class QTimer;

// View → "Fleet": the transponders the operator added by COM number, each
// row polled on its own (links::FleetModel), kept with the panel's settings.
// A double-click hands a row to the panel; the emergency code of any row
// raises the desktop notification. Closing the window does not end the
// watch: the rows go on polling and alarming until "Stop polling".
//
// "Publish to…" puts the local rows on a broker of the operations room, "Add
// remote fleet…" shows another machine's rows after them, read only; each
// says how it goes in a line under the table.
class FleetWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int DefaultIntervalS = 5;

    explicit FleetWindow(QWidget* parent = nullptr);
    ~FleetWindow() override;

    links::FleetModel& model() { return model_; }
    OperationsRoom& room() { return room_; }
    QTableView& table() { return *table_; }

    // What the panel shows of the port it holds, asked for each second while it holds one.
    void setPanelValues(std::function<links::FleetModel::PanelValues()> values) { panelValues_ = std::move(values); }
    // The panel has let go of `port`: it returns to the fleet.
    void panelReleased(sPorts port);

    // Adds the port (and keeps the list); false when it is listed already.
    bool addPort(sPorts port);
    // The panel's own Connect wants `port`: a row polling it lets it go, as
    // a double-click would have handed it over.
    void takeForPanel(sPorts port);
    // Whether the rows poll; off, every port is let go.
    void setPolling(bool on);
    bool polling() const { return polling_; }

signals:
    // The operator wants the panel on this port; the fleet has closed it.
    void connectPanel(sPorts port);

private:
    void handToPanel(int row);
    void removeSelected();
    void save() const;
    void showPanelValues();
    void acknowledgeSelected();
    void publishTo();
    void addRemoteFleet();
    void showRemoteFleets();
    void remoteEmergency(const QString& publisher, const QString& port, const QString& code, const QString& meaning);

    links::FleetModel model_;
    OperationsRoom room_;
    QTableView* table_;
    QSpinBox* port_;
    QSpinBox* interval_;
    QTimer* panelTimer_;
    class QPushButton* stop_;
    class QPushButton* publish_;
    QMenu* remoteMenu_;
    QLabel* roomStatus_;
    bool polling_ = true;
    std::function<links::FleetModel::PanelValues()> panelValues_;
};
