#pragma once

#include "transponder/AlarmModel.h"

#include <QDateTime>
#include <QDialog>
#include <array>

class QPushButton;
class QTableWidget;

// View → Alarms (or a right-click on the status bar's alarm section): every
// alarm that is not at normal, in the order the section picks from, with its
// name, state, value and the time it came to that state. Each one waiting for
// the operator has an Acknowledge of its own; "Acknowledge all" is apart, so
// that acknowledging what one has not read is a deliberate step.
class AlarmListWindow : public QDialog {
    Q_OBJECT
public:
    enum Column { Name, State, Value, Since, Action, Columns };
    using Times = std::array<QDateTime, transponder::AlarmKinds.size()>;

    explicit AlarmListWindow(QWidget* parent = nullptr);

    void follow(const transponder::AlarmModel& model, const Times& since);

    QTableWidget* table;
    QPushButton* acknowledgeAllButton;

signals:
    void acknowledge(transponder::AlarmKind kind);
    void acknowledgeAll();
};
