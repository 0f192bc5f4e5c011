#pragma once

#include "app/AlarmListWindow.h"
#include "transponder/AlarmModel.h"

#include <QObject>
#include <QPointer>
#include <string>

class PanelStatusBar;
class QAction;
class QMainWindow;
class QMenu;
class SessionControls;
namespace fw {
class TTimer;
}

// The alarms as the window shows them: the status bar's alarm section, which
// shows the alarm that most needs the operator and blinks while it waits for
// its acknowledgement (a click on it, or Ctrl+Shift+A, acknowledges that one
// alarm) and then stays lit; the alarm list (View → Alarms, a right-click on
// the section, or a click on it once acknowledged) with every alarm not at
// normal; the desktop's attention hint and a notification for an emergency
// code; the monitor's mark on the frame that raised an alarm; a line in the
// record for every change observed. Setup gains "Alarm Limits…" (the supply
// voltage's) and "Confirm Emergency Codes", the guard that asks before the
// Assigned Code's Set sends one.
//
// The link alarm comes from the watchdog, and a modal box holds back the idle
// handler that decodes replies: the watchdog that looks across our own
// question's box, or the first after it, finds a silence the box made, and that
// raises nothing.
class AlarmControls : public QObject {
    Q_OBJECT
public:
    static constexpr unsigned BlinkMs = 500;

    AlarmControls(QMainWindow& window, PanelStatusBar& bar, SessionControls& session, QMenu& setupMenu,
                  QMenu& viewMenu);

    const transponder::AlarmModel& model() const { return model_; }
    // `frame` is the message as it came off the line.
    void replyDecoded(const transponder::Reply& reply, const std::string& frame);
    // The watchdog found nothing decoded since it last looked.
    void linkSilent();
    // The watchdog has looked, silent or not.
    void watchdogLooked();
    void portLost();
    // A port was opened, under this name ("COM3"): the transponder on it is
    // news, and the notification names it.
    void portOpened(const QString& port);
    // Acknowledges the alarm the section shows, and only that one.
    void acknowledge();
    void acknowledgeAll();
    // The alarm list, shown and raised.
    void showList();
    AlarmListWindow* list() const { return list_; }

    // Whether the code may go out: asks first when the guard is on and the code
    // is an emergency code.
    bool mayAssign(const std::string& code);

    QAction* mnuAlarmLimits;
    QAction* mnuConfirmEmergency;
    QAction* mnuAlarms;
    fw::TTimer* blinkTimer;

private:
    void changed(const transponder::Alarm& alarm);
    void show();
    void blink();
    void editLimits();
    void loadLimits();
    void sectionClicked();
    QString describe(const transponder::Alarm& alarm) const;

    QMainWindow& window_;
    PanelStatusBar& bar_;
    SessionControls& session_;
    transponder::AlarmModel model_;
    AlarmListWindow::Times since_;
    QPointer<AlarmListWindow> list_;
    QString port_;
    const std::string* frame_ = nullptr; // while a reply is decoded, its frame
    bool boxOpen_ = false;
    bool boxClosedUnseen_ = false; // the watchdog has not looked since the box closed
};
