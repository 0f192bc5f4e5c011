#pragma once

#include "framework/Events.h"
#include "framework/Thread.h"
#include "platform/SerialDevice.h"
#include "serial/MessageAssembler.h"
#include "serial/SerialEventPort.h"
#include "serial/SerialTap.h"

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

enum eParity : std::uint8_t { paNone, PaOdd, paEven, paMark, paSpace };
enum eDataBits : std::uint8_t { d7bit, d8bit };
enum eStopBits : std::uint8_t { st1bit, st2bit };
enum eFlowControl : std::uint8_t { fcNone, fcRTS_CTS, fcDTR_DSR, fcXON_XOF };
enum eOpModes : std::uint8_t { rxNormal, rxMessage };
enum eNotifyErr : std::uint8_t { neDialog, neEvent, neNone };

// Port number; the device opened is "COM<n>".
using sPorts = std::uint8_t;

using TRxMessageEvent = std::function<void(QObject* Sender, const std::string& RxMessage)>;
using TSignalChangeEvent = std::function<void(QObject* Sender, eModemInSignal Signal, bool SignalState)>;
using TWriteCompletedEvent = std::function<void()>;

// Waits for the events of its component's port and hands each one to the window
// thread, where the handlers run; the thread blocks until the handler returns.
// In rxMessage mode it reads the received bytes itself and hands over whole
// messages. It knows the component only as its port (SerialEventPort).
class TEventThread : public fw::TThread {
public:
    explicit TEventThread(SerialEventPort& port);
    ~TEventThread() override;

    // Window thread, for closing: lets a hand-off the window has not served yet
    // return unserved, so that the thread can leave the port.
    void withdrawPendingHandOffs() { handOff().withdrawPending(); }
    // Window thread: true while it is running one of this thread's hand-offs,
    // that is, while the thread is blocked waiting for it.
    bool servingHandOff() { return handOff().serving(); }

protected:
    void Execute() override;

private:
    using Device = SerialEventPort::Device;

    void dispatch(const Device& device, std::uint64_t session, std::uint32_t events);
    bool signalChanged(const Device& device, std::uint64_t session, eModemInSignal signal);
    void readMessages(const Device& device, std::uint64_t session);
    bool deliverDropped(std::uint64_t session, std::string& dropped);
    void failed(std::uint64_t session, int error);
    // Hands fn to the window thread; false when the pass must end because the
    // call was withdrawn or the port it belongs to has been closed meanwhile.
    bool deliver(std::uint64_t session, std::function<void()> fn);

    SerialEventPort& port_;
};

// One serial port: opened by number, line settings, writes, queue and modem
// state, events. Failures are never thrown or returned: each goes to
// ReportError, which keeps the code in ErrorCode and reports it as NotifyErrors
// says.
//
// Everything here is called on the window thread. Do not destroy the component
// from inside one of its own event handlers (use deleteLater()): the destructor
// waits for the event thread, which is waiting for that handler.
class TSerial : public QObject, private SerialEventPort {
    Q_OBJECT
public:
    using DeviceFactory = std::function<std::shared_ptr<platform::SerialDevice>()>;

    // How long a write may take to hand its bytes to the device.
    static constexpr unsigned WriteCompletionMs = 1000;
    // The event mask: received char, output empty, CTS, DSR, carrier detect,
    // break and ring.
    static constexpr std::uint32_t EventMask = 0x17D;

    explicit TSerial(QObject* Owner = nullptr);
    // `factory` makes the device for each opening (tests pass scripted ones).
    TSerial(QObject* Owner, DeviceFactory factory);
    ~TSerial() override;

    sPorts Port() const { return port_; }
    void setPort(sPorts value);
    int Baudrate() const { return baudrate_; }
    void setBaudrate(int value);
    eParity Parity() const { return parity_; }
    void setParity(eParity value);
    eDataBits DataBits() const { return dataBits_; }
    void setDataBits(eDataBits value);
    eStopBits StopBits() const { return stopBits_; }
    void setStopBits(eStopBits value);
    std::uint16_t RxQueueSize() const { return rxQueueSize_; }
    void setRxQueueSize(std::uint16_t value);
    std::uint16_t TxQueueSize() const { return txQueueSize_; }
    void setTxQueueSize(std::uint16_t value);
    eFlowControl FlowMode() const { return flowMode_; }
    void setFlowMode(eFlowControl value);
    bool CheckParity() const { return checkParity_; }
    void setCheckParity(bool value);
    int RxWaiting();
    int TxWaiting();
    eOpModes RxEventMode() const { return rxEventMode_.load(); }
    void setRxEventMode(eOpModes value) { rxEventMode_ = value; }
    char MessageStartChar() const { return messageStartChar_.load(); }
    void setMessageStartChar(char value) { messageStartChar_ = value; }
    char MessageEndChar() const { return messageEndChar_.load(); }
    void setMessageEndChar(char value) { messageEndChar_ = value; }
    std::uint16_t MessageAppendCount() const { return messageAppendCount_.load(); }
    void setMessageAppendCount(std::uint16_t value) { messageAppendCount_ = value; }
    eNotifyErr NotifyErrors() const { return notifyErrors_; }
    void setNotifyErrors(eNotifyErr value) { notifyErrors_ = value; }
    int ErrorCode() const { return errorCode_; }
    bool DCDState() const { return dcdState_.load(); }

    bool Active() const { return open_.load(); }
    // The open port is a network link in plain TCP to another machine (judged
    // on the address it connected to).
    bool PlainToAnotherHost() const { return Active() && device_ && device_->plainToAnotherHost(); }
    void setActive(bool value);
    // Events the event thread has handed to the window thread that have not been
    // served yet (for diagnostics and tests).
    int PendingHandOffs() const;

    void setOnRxData(TNotifyEvent handler) { onRxData_ = std::move(handler); }
    void setOnTxEmpty(TNotifyEvent handler) { onTxEmpty_ = std::move(handler); }
    const TRxMessageEvent& OnMessage() const { return onMessage_; }
    void setOnMessage(TRxMessageEvent handler);
    void setOnError(TNotifyEvent handler) { onError_ = std::move(handler); }
    void setOnBreak(TNotifyEvent handler) { onBreak_ = std::move(handler); }
    void setOnRing(TNotifyEvent handler) { onRing_ = std::move(handler); }
    void setOnSignalChange(TSignalChangeEvent handler) { onSignalChange_ = std::move(handler); }
    // Kept like the other events; nothing raises it.
    void setOnWriteCompleted(TWriteCompletedEvent handler) { onWriteCompleted_ = std::move(handler); }

    // Writes every byte of Text (zero bytes included), waiting at most
    // WriteLimitMs() for the device to take them.
    void SendString(const std::string& Text);
    // How long SendString may wait: WriteCompletionMs unless set. A caller that
    // shares its thread with other links sets 0: a device that takes nothing
    // then fails the write at once with ETIMEDOUT instead of holding them up.
    unsigned WriteLimitMs() const { return writeLimitMs_; }
    void setWriteLimitMs(unsigned ms) { writeLimitMs_ = ms; }
    // Takes one received byte without waiting; returns 1 and sets Value, or 0.
    int ReadByte(std::uint8_t& Value);
    // Line 0 is RTS, 1 is DTR. The result is not looked at.
    void SetControlLine(int Line, bool On);
    void UpdateStatus();
    void ApplySettings();
    void StartEvents();
    void ReportError(int code);
    void ShowError(int code);

    // The device-control record ApplySettings built last.
    const platform::DeviceControl& PortSettings() const { return portSettings_; }

    // Taps see the traffic (SerialTap.h); not owned. A tap may be removed at any
    // time, also while it is being told of something.
    void addTap(SerialTap* tap);
    void removeTap(SerialTap* tap);

    // An automatic attempt to bring a lost port back: opens a closed port as
    // writing true to Active does, except that nothing is reported (the errno
    // value is returned and ErrorCode stays as it was), that a device whose
    // queues or line settings are refused counts as not opened (it is closed
    // again, its control lines never raised), and that assembly starts afresh:
    // half a frame from before the loss came over another connection, perhaps
    // from another device, and must not join the bytes of this one. Returns 0
    // once the port is open.
    int tryOpen();

    // The first error with which the last opening's queues or line settings
    // were refused, 0 when all were taken. The operator's opening leaves such a
    // port open (and reports the refusal); a display should not call it well.
    int SettingsError() const { return settingsError_; }
    // Whether the loss of an open port is reported (true, the default) or only
    // signalled. A reconnecting caller turns it off for links that have not
    // held since they were restored: their losses are failed attempts, which
    // the operator has been told of once already.
    void setReportLosses(bool report) { reportLosses_ = report; }
    // Takes the box reporting the loss of the port away, as OK would, while it
    // is still up: the link is back and its news is out of date.
    void withdrawLossReport();
    // The system's words for an errno value, as the boxes show them.
    static QString errorText(int code);

signals:
    // The device has gone away while the port was open (the event thread's wait
    // or read failed, or a write found it gone): the port has been closed and the
    // failure reported, once.
    void portLost(int error);
    // The same failure as it happens, before its report: the port has just been
    // closed. For a display of the link's state, which should not say
    // "connected" behind the report's box.
    void portFailed(int error);

private:
    // The event thread's port (SerialEventPort).
    Device takeSession(std::uint64_t& session) override;
    void leaveSessions() override;
    bool isCurrent(std::uint64_t session) const override { return open_.load() && session_.load() == session; }
    bool readsMessages() const override { return rxEventMode_.load() == rxMessage; }
    bool takesMessages() const override { return hasOnMessage_.load(); }
    bool watchesDropped() const override { return hasTaps_.load(); }
    MessageAssembler& assembler() override { return assembler_; }
    MessageAssembler::Settings messageSettings() const override;
    bool readSignal(platform::SerialDevice& device, eModemInSignal signal) override;
    void lineEvent(std::uint32_t event) override;
    void signalChanged(eModemInSignal signal, bool state) override;
    void messageArrived(const std::string& message) override;
    void bytesDropped(const std::string& bytes) override;
    void sessionFailed(std::uint64_t session, int error) override;

    void reopenIfOpen() { setActive(Active()); }
    void openPort();
    int openDevice(bool automatic);
    // The device-control record from the properties, into portSettings_.
    void buildSettings();
    // Hands the line settings and time-outs to the open device; returns the
    // first error, each reported when `report` is set.
    int applyToDevice(bool report);
    void closePort(bool reportFailures);
    void waitForEventThreadToLeave();
    void tellTaps(const std::function<void(SerialTap&)>& tell);
    // Tells the taps what the device has sent since they were last told.
    void tellSent();

    sPorts port_ = 1;
    int baudrate_ = 9600;
    eParity parity_ = paNone;
    eDataBits dataBits_ = d7bit;
    eStopBits stopBits_ = st1bit;
    std::uint16_t rxQueueSize_ = 1024;
    std::uint16_t txQueueSize_ = 1024;
    eFlowControl flowMode_ = fcNone;
    bool checkParity_ = true;
    eNotifyErr notifyErrors_ = neDialog;
    int errorCode_ = 0;
    int settingsError_ = 0;
    bool reportLosses_ = true;
    unsigned writeLimitMs_ = WriteCompletionMs;
    QString lossReport_; // the text of the loss's box while it is up

    // Read by the event thread as it goes.
    std::atomic<eOpModes> rxEventMode_{rxNormal};
    std::atomic<char> messageStartChar_{'\x02'};
    std::atomic<char> messageEndChar_{'\x03'};
    std::atomic<std::uint16_t> messageAppendCount_{0};
    std::atomic<bool> hasOnMessage_{false};
    std::atomic<bool> hasTaps_{false};

    // Written by the event thread.
    std::atomic<bool> ctsState_{false};
    std::atomic<bool> dsrState_{false};
    std::atomic<bool> dcdState_{false};
    MessageAssembler assembler_;

    TNotifyEvent onRxData_;
    TNotifyEvent onTxEmpty_;
    TRxMessageEvent onMessage_;
    TNotifyEvent onError_;
    TNotifyEvent onBreak_;
    TNotifyEvent onRing_;
    TSignalChangeEvent onSignalChange_;
    TWriteCompletedEvent onWriteCompleted_;

    // Window thread only. A tap removed while the taps are being told is left as
    // a null entry until the telling is over.
    std::vector<SerialTap*> taps_;
    int tellingTaps_ = 0;

    platform::DeviceControl portSettings_;
    platform::CommTimeouts portTimeouts_;
    platform::CommStatus portStatus_;

    DeviceFactory factory_;
    // The open device. Each opening makes a new one, numbered by session_, so
    // that an event thread still holding the previous one can tell it is stale.
    std::shared_ptr<platform::SerialDevice> device_;
    std::atomic<bool> open_{false};
    std::atomic<std::uint64_t> session_{0};

    // The closing handshake: the event thread takes a session only once its
    // events are armed, and says when it has left the port.
    std::mutex sessionMutex_;
    std::condition_variable sessionChanged_;
    bool armed_ = false;
    bool threadWaiting_ = false;
    bool stopping_ = false;

    std::unique_ptr<TEventThread> eventThread_;
};
