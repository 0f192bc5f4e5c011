#pragma once

#include "ui_uavMain.h"
#include "transponder/QuerySequencer.h"
#include "transponder/StatusModel.h"

#include <QMainWindow>
#include <deque>
#include <memory>
#include <optional>
#include <string>

class AlarmControls;
namespace links {
class DeviceOpening;
}
class FleetWindow;
class ConnectingBox;
class LinkMonitor;
class PortsDialog;
class PreflightDialog;
class QAction;
class SessionControls;
class TSerial;
namespace fw {
class TTimer;
}

// The panel's main window: the status display, the operator's commands, the
// automatic query sequence with its link watchdog, and the simulated altitude.
// Every control of the stored layout (uavMain.ui) is a field of its own, named
// as the layout names it. All of it runs on the window thread.
//
// The protocol is the transponder library's: replies are read by its parser
// into its status model, which the labels and lamps show, and the automatic
// sequence is its sequencer, running on this window's timers.
class TForm1 : public QMainWindow, private Ui::TForm1, private transponder::SequencerHost {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Messages handed over by the serial component that the next idle call has
    // not decoded yet are kept in order, up to this many; beyond it the oldest go.
    static constexpr std::size_t MaxPendingMessages = 64;
    // An Operational Function the operator has chosen and not sent with Set
    // holds against the replies for this long after the latest change.
    static constexpr unsigned OperatorChoiceHoldMs = 10000;
    // How many received messages wait for the next idle call (for diagnostics and tests).
    std::size_t PendingMessageCount() const { return pendingMessages.size(); }
    // What the status display shows, as data.
    const transponder::StatusModel& Status() const { return status; }
    // The session on record: its menus, the traffic monitor, the trends.
    SessionControls& Session() const { return *sessionControls; }
    // The alarms: the status bar's section, the guard on emergency codes.
    AlarmControls& Alarms() const { return *alarmControls; }

    TSerial* SerialComm;
    fw::TTimer* autoSequencer;
    fw::TTimer* queryTimer;
    fw::TTimer* wdt;
    fw::TTimer* rxTimer;
    fw::TTimer* altTimer;

    // Setup: the serial devices and their COM numbers, and whether a lost port is
    // opened again by itself.
    QAction* mnuPorts;
    QAction* mnuReconnect;
    // Tools: the pre-flight check.
    QAction* mnuPreflight;
    // View: the fleet.
    QAction* mnuFleet;
    // The fleet window, once shown.
    FleetWindow* Fleet() const { return fleetWindow; }

private:
    // How opening a network port waits: in a box with Cancel, the window painting.
    std::shared_ptr<ConnectingBox> connecting;

    bool eventFilter(QObject* watched, QEvent* event) override;
    void bindEvents();
    void loadPictures();
    void setUpKeyboard();

    // Start-up.
    void FormCreate(QObject* Sender);

    // Operator commands.
    void btnConnectClick(QObject* Sender);
    void statusBtnClick(QObject* Sender);
    void BitBtn2Click(QObject* Sender);
    void BitBtn3Click(QObject* Sender);
    void InterrogateBtnClick(QObject* Sender);
    void voltsetBtnClick(QObject* Sender);
    void btnVoltOffsetClick(QObject* Sender);
    void btnPingClick(QObject* Sender);
    void BitBtn7Click(QObject* Sender);
    void btnSendClick(QObject* Sender);
    void CommStrKeyPress(QObject* Sender);
    void Button1Click(QObject* Sender);
    void Exit1Click(QObject* Sender);
    void mnuAutoSequenceClick(QObject* Sender);
    void mnuPortsClick(QObject* Sender);
    void mnuReconnectClick(QObject* Sender);
    void addLinkMenus();
    void addToolsMenu();
    void mnuPreflightClick(QObject* Sender);
    void addFleetMenu();
    void mnuFleetClick(QObject* Sender);
    // The fleet hands its row's port to the panel, which lets go of its own first.
    void fleetConnect(int port);
    void connectHandedOver(int port);
    void portRestored();

    // Received messages and the status display.
    void SerialCommMessage(QObject* Sender, const std::string& RxMessage);
    void AppIdle(QObject* Sender, bool& Done);
    void decodeMessage(const std::string& message);
    void showItem(transponder::Item item);
    void showLamp(transponder::Lamp lamp);
    void ClearStatus();
    void AddSentToLog(const QString& Text);
    void rxTimerTimer(QObject* Sender);

    // The automatic sequence and the link watchdog.
    void autobtnClick(QObject* Sender);
    void autoSequencerTimer(QObject* Sender);
    void queryTimerTimer(QObject* Sender);
    void wdtTimer(QObject* Sender);

    // The simulated serial altitude.
    void altitudeBtnClick(QObject* Sender);
    void altTimerTimer(QObject* Sender);
    void edMinAltChange(QObject* Sender);
    void lblAltActualDblClick(QObject* Sender);
    void rbEncSourceClick(QObject* Sender);

    // The operator's Operational Function against the replies.
    void rbStatusClick(QObject* Sender);
    void releaseStatusChoice();

    // What the sequencer asks of the window.
    int interval() override;
    std::optional<std::string> simulatedAltitude() override;
    void send(const std::string& frame) override;
    void autoSwitched(bool on) override;
    void sequenceRunning(bool running) override;
    void linkSilent() override;
    void pingExpired() override;
    void sequenceCompleted() override;

    LinkMonitor* linkMonitor;
    // The reconnect machine's attempts, opened off the window thread.
    links::DeviceOpening* retryOpening;
    // A port the fleet polls is taken from it before the panel opens it.
    void takeFromFleet(int port);
    PortsDialog* portsDialog = nullptr;
    PreflightDialog* preflightDialog = nullptr;
    FleetWindow* fleetWindow = nullptr;

    bool connected() const;
    void setCommandsEnabled(bool enabled);
    void sendFrame(const std::string& frame);

    // Panel state.
    std::deque<std::string> pendingMessages; // received, not yet decoded
    bool echoReply = false;                  // echo the next received message into the memo
    bool followingReply = false;             // a reply, not the operator, moves rbStatus
    fw::TTimer* statusHold;                  // runs while the operator's choice holds
    transponder::StatusModel status;         // what the labels and lamps show
    std::unique_ptr<transponder::QuerySequencer> sequencer;
    SessionControls* sessionControls;
    AlarmControls* alarmControls;
};
