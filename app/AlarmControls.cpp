#include "app/AlarmControls.h"

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
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QMainWindow>
#include <QMenu>
#include <QShortcut>

#include <algorithm>

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

AlarmControls::AlarmControls(QMainWindow& window, PanelStatusBar& bar, SessionControls& session, QMenu& setupMenu)
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
    connect(&bar_, &PanelStatusBar::alarmClicked, this, &AlarmControls::acknowledge);

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

void AlarmControls::acknowledge()
{
    model_.acknowledge();
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
    session_.recorder().alarm(text(AlarmModel::name(alarm.kind)), text(alarm.value),
                              text(AlarmModel::name(alarm.state)));
    if (alarm.state == AlarmState::ActiveUnacknowledged) {
        if (frame_) session_.traffic().markAlarm(*frame_, describe(alarm));
        // The live trends break their lines here, as a recording's do.
        if (alarm.kind == AlarmKind::LinkLost)
            session_.trends().linkLost(std::chrono::system_clock::now(), fw::tickCount());
        if (alarm.kind == AlarmKind::EmergencyCode) {
            QApplication::alert(&window_);
            DesktopNotification::critical(QStringLiteral("Transponder squawks %1").arg(text(alarm.value)),
                                          describe(alarm));
        }
    }
    show();
}

QString AlarmControls::describe(const Alarm& alarm) const
{
    switch (alarm.kind) {
    case AlarmKind::EmergencyCode:
        return QStringLiteral("Emergency code %1: %2")
            .arg(text(alarm.value), text(AlarmModel::emergencyMeaning(alarm.value).value_or("")));
    case AlarmKind::LinkLost: return QStringLiteral("Link lost");
    case AlarmKind::SupplyVoltage: return QStringLiteral("Supply voltage %1 V out of limits").arg(text(alarm.value));
    }
    return {};
}

void AlarmControls::show()
{
    const Alarm* shown = model_.shown();
    if (!shown) {
        blinkTimer->setEnabled(false);
        bar_.setAlarmLit(false);
        bar_.setAlarm({});
        return;
    }
    QString words = describe(*shown);
    if (shown->state == AlarmState::ReturnedUnacknowledged) words += QStringLiteral(" (returned to normal)");
    bar_.setAlarm(words, words + QStringLiteral("\nClick here or press Ctrl+Shift+A to acknowledge."));
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
    QDialog dialog(&window_);
    dialog.setWindowTitle(QStringLiteral("Alarm Limits"));
    auto* form = new QFormLayout(&dialog);
    auto* watch = new QCheckBox(QStringLiteral("Watch the supply voltage"), &dialog);
    auto volts = [&dialog](double value) {
        auto* box = new QDoubleSpinBox(&dialog);
        box->setRange(0, 99.9);
        box->setDecimals(1);
        box->setSuffix(QStringLiteral(" V"));
        box->setValue(value);
        return box;
    };
    QSettings s = panelSettings();
    watch->setChecked(s.contains(MinimumKey));
    auto* minimum = volts(s.value(MinimumKey, 26.0).toDouble());
    auto* maximum = volts(s.value(MaximumKey, 29.5).toDouble());
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(watch);
    form->addRow(QStringLiteral("Minimum:"), minimum);
    form->addRow(QStringLiteral("Maximum:"), maximum);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) return;
    if (watch->isChecked()) {
        s.setValue(MinimumKey, std::min(minimum->value(), maximum->value()));
        s.setValue(MaximumKey, std::max(minimum->value(), maximum->value()));
    } else {
        s.remove(MinimumKey);
        s.remove(MaximumKey);
    }
    loadLimits();
}
