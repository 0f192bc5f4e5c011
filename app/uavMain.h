#pragma once

#include "ui_uavMain.h"

#include <QMainWindow>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

class TSerial;
namespace fw {
class TTimer;
}

// The panel's main window: the status display, the operator's commands, the
// automatic query sequence with its link watchdog, and the simulated altitude.
// Every control of the stored layout (uavMain.ui) is a field of its own, named
// as the layout names it. All of it runs on the window thread.
class TForm1 : public QMainWindow, private Ui::TForm1 {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Messages handed over by the serial component that the next idle call has
    // not decoded yet are kept in order, up to this many; beyond it the oldest go.
    static constexpr std::size_t MaxPendingMessages = 64;
    // How many received messages wait for the next idle call (for diagnostics and tests).
    std::size_t PendingMessageCount() const { return pendingMessages.size(); }

    TSerial* SerialComm;
    fw::TTimer* autoSequencer;
    fw::TTimer* queryTimer;
    fw::TTimer* wdt;
    fw::TTimer* rxTimer;
    fw::TTimer* altTimer;

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void bindEvents();
    void loadPictures();

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

    // Received messages and the status display.
    void SerialCommMessage(QObject* Sender, const std::string& RxMessage);
    void AppIdle(QObject* Sender, bool& Done);
    void decodeMessage(const std::string& message);
    void sendDueQuery();
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

    bool connected() const;
    void setCommandsEnabled(bool enabled);
    void sendFrame(const std::string& frame);

    // Panel state.
    std::deque<std::string> pendingMessages; // received, not yet decoded
    int queryStep = 0;                       // queries sent in this sequence, 0..13
    int seqCountdown = 0;                    // seconds to the next sequence; 0 while one runs
    bool queryDue = false;                   // the query timer fired; the next idle call sends
    bool echoReply = false;                  // echo the next received message into the memo
    std::optional<std::uint64_t> pingTick;   // when the ping reply was shown
    bool replySeen = false;                  // a message was decoded since the watchdog looked
};
