#include "app/AlarmControls.h"

#include "app/AlarmLimitsDialog.h"
#include "app/AlarmTexts.h"
#include "app/DesktopNotification.h"
#include "app/PanelSettings.h"
#include "app/PanelStatusBar.h"
#include "app/SessionControls.h"
#include "framework/MessageBoxes.h"
#include "framework/Timer.h"
#include "session/SessionRecorder.h"
#include "session/TrendData.h"
#include "session/TrafficModel.h"

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QShortcut>

using transponder::Alarm;
using transponder::AlarmKind;
using transponder::AlarmModel;
using transponder::AlarmState;

namespace {

const QString ConfirmKey = QStringLiteral("alarms/confirmEmergencyCodes");
const QString MinimumKey = QStringLiteral("alarms/voltageMinimum");
const QString MaximumKey = QStringLiteral("alarms/voltageMaximum");

QString text(const std::string& bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

} // namespace

AlarmControls::AlarmControls(QMainWindow& window, PanelStatusBar& bar, SessionControls& session, QMenu& setupMenu,
                             QMenu& viewMenu)
    : QObject(&window)
    , window_(window)
    , bar_(bar)
    , session_(session)
    , model_([this](const Alarm& alarm) { changed(alarm); })
{
    mnuAlarmLimits = setupMenu.addAction(QStringLiteral("Alarm &Limits\u2026"));
    mnuAlarmLimits->setObjectName(QStringLiteral("mnuAlarmLimits"));
    connect(mnuAlarmLimits, &QAction::triggered, this, &AlarmControls::editLimits);
    mnuConfirmEmergency = setupMenu.addAction(QStringLiteral("Confirm &Emergency Codes"));
    mnuConfirmEmergency->setObjectName(QStringLiteral("mnuConfirmEmergency"));
    mnuConfirmEmergency->setCheckable(true);
    mnuConfirmEmergency->setChecked(panelSettings().value(ConfirmKey, false).toBool());
    connect(mnuConfirmEmergency, &QAction::toggled, this, [](bool on) { panelSettings().setValue(ConfirmKey, on); });

    auto* shortcut = new QShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+A")), &window);
    connect(shortcut, &QShortcut::activated, this, &AlarmControls::acknowledge);
    connect(&bar_, &PanelStatusBar::alarmClicked, this, &AlarmControls::sectionClicked);
    connect(&bar_, &PanelStatusBar::alarmListRequested, this, &AlarmControls::showList);
    mnuAlarms = viewMenu.addAction(QStringLiteral("&Alarms"));
    mnuAlarms->setObjectName(QStringLiteral("mnuAlarms"));
    connect(mnuAlarms, &QAction::triggered, this, &AlarmControls::showList);

    // The alarm's own clock: it runs only while something waits for an
    // acknowledgement, so a steady alarm wakes nobody.
    blinkTimer = new fw::TTimer(this);
    blinkTimer->setInterval(BlinkMs);
    blinkTimer->setOnTimer([this](QObject*) { blink(); });
    loadLimits();
}

void AlarmControls::replyDecoded(const transponder::Reply& reply, const std::string& frame)
{
    frame_ = &frame;
    model_.replyDecoded(reply);
    frame_ = nullptr;
}

void AlarmControls::linkSilent()
{
    if (!boxOpen_ && !boxClosedUnseen_) model_.linkLost();
}

void AlarmControls::watchdogLooked()
{
    if (!boxOpen_) boxClosedUnseen_ = false;
}

void AlarmControls::portLost()
{
    model_.linkLost();
}

void AlarmControls::portOpened(const QString& port)
{
    port_ = port;
    if (model_.connectionOpened()) show();
}

void AlarmControls::acknowledge()
{
    if (const Alarm* shown = model_.shown()) model_.acknowledge(shown->kind);
}

void AlarmControls::acknowledgeAll()
{
    model_.acknowledgeAll();
}

void AlarmControls::sectionClicked()
{
    const Alarm* shown = model_.shown();
    // An acknowledged alarm needs nothing more: the click is for the others.
    if (shown && shown->state == AlarmState::ActiveAcknowledged)
        showList();
    else
        acknowledge();
}

void AlarmControls::showList()
{
    if (!list_) {
        list_ = new AlarmListWindow(&window_);
        connect(list_, &AlarmListWindow::acknowledge, this, [this](AlarmKind kind) { model_.acknowledge(kind); });
        connect(list_, &AlarmListWindow::acknowledgeAll, this, &AlarmControls::acknowledgeAll);
        list_->follow(model_, since_);
    }
    list_->show();
    list_->raise();
    list_->activateWindow();
}

bool AlarmControls::mayAssign(const std::string& code)
{
    if (!mnuConfirmEmergency->isChecked()) return true;
    const std::string first = code.substr(0, 4);
    const auto meaning = AlarmModel::emergencyMeaning(first);
    if (!meaning) return true;
    boxOpen_ = true;
    const fw::MsgResult answer = fw::MessageBox(
        QStringLiteral("Set the assigned code to %1, %2?").arg(text(first), text(*meaning)),
        QStringLiteral("Confirm Emergency Code"), fw::MsgButtons::YesNo, fw::MsgIcon::Warning);
    boxOpen_ = false;
    boxClosedUnseen_ = true;
    return answer == fw::MsgResult::Yes;
}

void AlarmControls::changed(const Alarm& alarm)
{
    since_[static_cast<std::size_t>(alarm.kind)] = QDateTime::currentDateTime();
    session_.recorder().alarm(text(AlarmModel::name(alarm.kind)), text(alarm.value),
                              text(AlarmModel::name(alarm.state)));
    if (alarm.state == AlarmState::ActiveUnacknowledged) {
        if (frame_) session_.traffic().markAlarm(*frame_, describe(alarm));
        // The live trends break their lines here, as a recording's do.
        if (alarm.kind == AlarmKind::LinkLost)
            session_.trends().linkLost(std::chrono::system_clock::now(), fw::tickCount());
        if (alarm.kind == AlarmKind::EmergencyCode) {
            QApplication::alert(&window_);
            DesktopNotification::critical(QStringLiteral("%1 squawks %2").arg(port_, text(alarm.value)),
                                          describe(alarm));
        }
    }
    show();
}

QString AlarmControls::describe(const Alarm& alarm) const
{
    return alarmtexts::describe(alarm, model_.voltageLimits());
}

void AlarmControls::show()
{
    if (list_) list_->follow(model_, since_);
    const auto ranked = model_.ranked();
    if (ranked.empty()) {
        blinkTimer->setEnabled(false);
        bar_.setAlarmLit(false);
        bar_.setAlarm({});
        return;
    }
    const Alarm& shown = *ranked.front();
    QString words = describe(shown);
    if (shown.state == AlarmState::ReturnedUnacknowledged) words += QStringLiteral(" (returned to normal)");
    QString tip = words + u'\n';
    if (shown.state == AlarmState::ActiveAcknowledged)
        tip += QStringLiteral("Acknowledged. Click here for the list of alarms.");
    else
        tip += QStringLiteral("Click here or press Ctrl+Shift+A to acknowledge this alarm; right-click for the list of "
                              "alarms.");
    if (ranked.size() > 1) tip += QStringLiteral("\n%1 more not at normal: see the list.").arg(ranked.size() - 1);
    bar_.setAlarm(words, tip);
    const bool waiting = model_.unacknowledged();
    // A new alarm starts lit, and blinks from there; an acknowledged one is steady.
    if (!waiting || !blinkTimer->Enabled()) bar_.setAlarmLit(true);
    blinkTimer->setEnabled(waiting);
}

void AlarmControls::blink()
{
    bar_.setAlarmLit(!bar_.alarmLit());
}

void AlarmControls::loadLimits()
{
    QSettings s = panelSettings();
    if (!s.contains(MinimumKey) || !s.contains(MaximumKey)) {
        model_.setVoltageLimits(std::nullopt);
        return;
    }
    model_.setVoltageLimits(transponder::VoltageLimits{s.value(MinimumKey).toDouble(), s.value(MaximumKey).toDouble()});
}

void AlarmControls::editLimits()
{
    AlarmLimitsDialog dialog(model_.voltageLimits(), &window_);
    if (dialog.exec() != QDialog::Accepted) return;
    QSettings s = panelSettings();
    if (const auto limits = dialog.limits()) {
        s.setValue(MinimumKey, limits->minimum);
        s.setValue(MaximumKey, limits->maximum);
    } else {
        s.remove(MinimumKey);
        s.remove(MaximumKey);
    }
    loadLimits();
    show();
}
