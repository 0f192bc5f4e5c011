#include "app/AlarmListWindow.h"

#include "app/AlarmTexts.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

using transponder::Alarm;
using transponder::AlarmState;

AlarmListWindow::AlarmListWindow(QWidget* parent)
    : QDialog(parent)
    , table(new QTableWidget(0, Columns, this))
    , acknowledgeAllButton(new QPushButton(QStringLiteral("Acknowledge all"), this))
{
    setWindowTitle(QStringLiteral("Alarms"));
    table->setObjectName(QStringLiteral("alarmTable"));
    table->setHorizontalHeaderLabels({QStringLiteral("Alarm"), QStringLiteral("State"), QStringLiteral("Value"),
                                      QStringLiteral("Since"), QString()});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    acknowledgeAllButton->setObjectName(QStringLiteral("acknowledgeAll"));
    connect(acknowledgeAllButton, &QPushButton::clicked, this, &AlarmListWindow::acknowledgeAll);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(acknowledgeAllButton);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table);
    layout->addLayout(buttons);
    resize(620, 200);
}

void AlarmListWindow::follow(const transponder::AlarmModel& model, const Times& since)
{
    const auto alarms = model.ranked();
    table->setRowCount(static_cast<int>(alarms.size()));
    for (int row = 0; row < table->rowCount(); ++row) {
        const Alarm& alarm = *alarms[static_cast<std::size_t>(row)];
        const QDateTime& when = since[static_cast<std::size_t>(alarm.kind)];
        const QString texts[] = {alarmtexts::name(alarm.kind), alarmtexts::state(alarm.state),
                                 alarmtexts::value(alarm, model.voltageLimits()),
                                 when.isValid() ? when.toString(QStringLiteral("HH:mm:ss")) : QString()};
        for (int column = Name; column < Action; ++column)
            table->setItem(row, column, new QTableWidgetItem(texts[column]));
        if (alarm.state == AlarmState::ActiveAcknowledged) {
            table->removeCellWidget(row, Action);
            continue;
        }
        auto* button = new QPushButton(QStringLiteral("Acknowledge"));
        button->setObjectName(QStringLiteral("acknowledge-") + alarmtexts::name(alarm.kind));
        connect(button, &QPushButton::clicked, this, [this, kind = alarm.kind] { emit acknowledge(kind); });
        table->setCellWidget(row, Action, button);
    }
    acknowledgeAllButton->setEnabled(model.unacknowledged());
}
