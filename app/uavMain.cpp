#include "uavMain.h"

#include "app/AlarmControls.h"
#include "app/FleetWindow.h"
#include "links/DeviceOpening.h"
#include "platform/ConnectionWait.h"
#include "ButtonGlyph.h"
#include "ConnectingBox.h"
#include "app/PanelSettings.h"
#include "app/SessionControls.h"
#include "session/LinkQuality.h"
#include "JpegPicture.h"
#include "serial/LinkMonitor.h"
#include "PortsDialog.h"
#include "app/PreflightDialog.h"
#include "framework/Application.h"
#include "framework/Conversions.h"
#include "framework/Latin1Validator.h"
#include "framework/MessageBoxes.h"
#include "framework/Timer.h"
#include "platform/ComPortDevice.h"
#include "platform/PortNames.h"
#include "ports/DeviceSource.h"
#include "serial/Serial2.h"
#include "transponder/MessageSet.h"

#include <QEvent>
#include <QShortcut>

#include <cstdlib>
#include <vector>

using fw::invokeHandler;
namespace MessageSet = transponder::MessageSet;

namespace {

// How long a Connect waits for an opening given up elsewhere to let its
// device go: a connection's wait ends at once when cancelled, so this only
// covers a negotiation already under way.
constexpr unsigned AbandonedOpeningLimitMs = 2000;

// Binds a control's signal to a handler of the window, run through the handler
// wrapper so that nothing it throws crosses the event loop.
template <class Sender, class Signal, class Handler>
void bind(TForm1* form, Sender* sender, Signal signal, Handler handler)
{
    QObject::connect(sender, signal, form, [form, sender, handler] {
        invokeHandler([&] { (form->*handler)(sender); });
    });
}

// The logo is drawn transparent: its background, the colour of its bottom-left
// pixel, lets the panel show through. Only the background reachable from the
// border goes, so white inside the artwork stays white, and JPEG's blur at the
// artwork's edges counts as background too, or a halo would show.
QImage transparentBackground(const QImage& picture)
{
    QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    const int w = image.width();
    const int h = image.height();
    if (w == 0 || h == 0) return image;
    const QRgb key = image.pixel(0, h - 1);
    constexpr int tolerance = 24;
    auto isBackground = [&](QRgb c) {
        return qAlpha(c) != 0 && std::abs(qRed(c) - qRed(key)) <= tolerance &&
               std::abs(qGreen(c) - qGreen(key)) <= tolerance && std::abs(qBlue(c) - qBlue(key)) <= tolerance;
    };
    std::vector<QPoint> pending;
    for (int x = 0; x < w; ++x) pending.insert(pending.end(), {QPoint(x, 0), QPoint(x, h - 1)});
    for (int y = 0; y < h; ++y) pending.insert(pending.end(), {QPoint(0, y), QPoint(w - 1, y)});
    while (!pending.empty()) {
        const QPoint p = pending.back();
        pending.pop_back();
        if (p.x() < 0 || p.y() < 0 || p.x() >= w || p.y() >= h || !isBackground(image.pixel(p))) continue;
        image.setPixel(p, qRgba(0, 0, 0, 0));
        pending.insert(pending.end(), {p + QPoint(1, 0), p - QPoint(1, 0), p + QPoint(0, 1), p - QPoint(0, 1)});
    }
    return image;
}

} // namespace

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent)
{
    setupUi(this);

    // The client area is 734 x 534 below the menu; the frame is the desktop's.
    resize(734, 534 + MainMenu1->sizeHint().height());
    StatusBar1->setFixedHeight(19);
    // Nor does it shrink below that: the controls stand where the layout put
    // them, and a smaller window would hide them.
    centralWidget()->setMinimumSize(Panel1->geometry().right() + 1, Panel1->height());
    loadPictures();
    // The operator's first step is Connect. Starting there also keeps a text caret
    // from blinking in an edit box nobody is typing in, which is most of what the
    // idle window would otherwise cost.
    btnConnect->setFocus();
    for (QLineEdit* sentAsTyped : {Edit1, edVoltOffset, CommStr}) sentAsTyped->setValidator(new Latin1Validator(sentAsTyped));
    setUpKeyboard();

    connecting = std::make_shared<ConnectingBox>(this);
    // The operator's Connect waits with its box and Cancel; the reconnect
    // machine's attempts open on a thread of their own and hand the device
    // over, so that a server that never answers holds up nothing here.
    SerialComm = new TSerial(this, [this, box = connecting]() -> std::shared_ptr<platform::SerialDevice> {
        if (platform::UnattendedOpening::active()) return retryOpening->take();
        return std::make_shared<platform::ComPortDevice>(box);
    });
    retryOpening = new links::DeviceOpening(*SerialComm, this);
    SerialComm->setDataBits(d8bit);
    SerialComm->setRxEventMode(rxMessage);
    SerialComm->setOnMessage([this](QObject* sender, const std::string& message) {
        SerialCommMessage(sender, message);
    });

    linkMonitor = new LinkMonitor(*SerialComm, this);
    connect(retryOpening, &links::DeviceOpening::finished, this,
            [this](const links::DeviceOpening::Result&) { linkMonitor->reconnector().attemptNow(); });
    connect(linkMonitor, &LinkMonitor::linkChanged, StatusBar1, &PanelStatusBar::setLink);
    connect(linkMonitor, &LinkMonitor::restored, this, [this] { invokeHandler([this] { portRestored(); }); });
    addLinkMenus();

    autoSequencer = new fw::TTimer(this);
    queryTimer = new fw::TTimer(this);
    wdt = new fw::TTimer(this);
    rxTimer = new fw::TTimer(this);
    altTimer = new fw::TTimer(this);
    statusHold = new fw::TTimer(this);
    statusHold->setInterval(OperatorChoiceHoldMs);
    transponder::SequencerHost& host = *this;
    sequencer = std::make_unique<transponder::QuerySequencer>(host, *autoSequencer, *queryTimer, *wdt);
    sessionControls = new SessionControls(*this, *SerialComm, status, *MainMenu1, *File1, *Exit1);
    connect(sessionControls, &SessionControls::recordingShown, StatusBar1, &PanelStatusBar::setRecording);
    connect(sessionControls, &SessionControls::linkQualityShown, StatusBar1, &PanelStatusBar::setLinkQuality);
    addToolsMenu();
    addFleetMenu();
    alarmControls = new AlarmControls(*this, *StatusBar1, *sessionControls, *Setup1,
                                      *MainMenu1->findChild<QMenu*>(QStringLiteral("View1")));
    connect(&linkMonitor->reconnector(), &ReconnectMachine::stateChanged, alarmControls, [this](auto state) {
        if (state == ReconnectMachine::State::Lost) alarmControls->portLost();
        if (state == ReconnectMachine::State::Connected)
            alarmControls->portOpened(QStringLiteral("COM%1").arg(unsigned{SerialComm->Port()}));
    });

    bindEvents();
    invokeHandler([this] { FormCreate(this); });
}

TForm1::~TForm1()
{
    // The idle handler is bound to this window; it must not outlive it.
    fw::Application::instance().setOnIdle(nullptr, nullptr);
    // Close the port and stop its event thread while the window's own state still
    // exists: its message handler writes into that state.
    delete SerialComm;
}

void TForm1::setUpKeyboard()
{
    // Tab reads the panel as the layout does: the left panel top to bottom, in
    // each group the value before the Set that sends it, then the port, Connect
    // and Auto. A radio group takes its place with all its items: Tab stops on
    // the group once, and the arrows choose within it.
    std::vector<QWidget*> order;
    auto add = [&order](std::initializer_list<QWidget*> controls) {
        for (QWidget* control : controls) {
            auto* group = qobject_cast<TRadioGroup*>(control);
            if (!group) {
                order.push_back(control);
                continue;
            }
            for (int item = 0; item < group->Items().size(); ++item) order.push_back(group->button(item));
        }
    };
    add({rbStatus, statusBtn, Edit1, BitBtn2, rbInterrogate, InterrogateBtn, BitBtn3, seqEdit, Button1, rbVoltage,
         voltsetBtn, edVoltOffset, btnVoltOffset, rbEncSource, BitBtn7, edMaxAlt, edMinAlt, altitudeBtn, btnPing, RxData,
         CommStr, btnSend, edCommPort, btnConnect, autobtn});
    for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
    // The memo stays editable, but Tab moves on rather than typing a tab.
    RxData->setTabChangesFocus(true);

    // F10 opens the menus, as on the common desktops, and Escape leaves them for
    // the control that had the focus; the menus' own captions keep their
    // layout's words, with no letter marked.
    auto* menus = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(menus, &QShortcut::activated, this, [this] { MainMenu1->setActiveAction(MainMenu1->actions().value(0)); });
}

void TForm1::loadPictures()
{
    setWindowIcon(QIcon(QStringLiteral(":/pictures/icon.png")));
    btnConnect->setIcon(ButtonGlyph::fromFile(QStringLiteral(":/pictures/glyph-connect.bmp")).icon());
    autobtn->setIcon(ButtonGlyph::fromFile(QStringLiteral(":/pictures/glyph-auto.bmp")).icon());
    altitudeBtn->setIcon(ButtonGlyph::fromFile(QStringLiteral(":/pictures/glyph-altitude.bmp")).icon());

    // The logo is decoded when the window is built; a damaged one leaves the box
    // empty rather than stopping the panel.
    const JpegPicture logo = JpegPicture::fromFile(QStringLiteral(":/pictures/logo.jpg"));
    if (logo.isNull()) return;
    const QPixmap picture = QPixmap::fromImage(transparentBackground(logo.image()));
    Image1->setPixmap(picture);
}

void TForm1::bindEvents()
{
    auto timer = [this](fw::TTimer* t, void (TForm1::*handler)(QObject*)) {
        t->setOnTimer([this, handler](QObject* sender) { (this->*handler)(sender); });
    };
    timer(autoSequencer, &TForm1::autoSequencerTimer);
    timer(queryTimer, &TForm1::queryTimerTimer);
    timer(wdt, &TForm1::wdtTimer);
    timer(rxTimer, &TForm1::rxTimerTimer);
    timer(altTimer, &TForm1::altTimerTimer);
    statusHold->setOnTimer([this](QObject*) { releaseStatusChoice(); });

    bind(this, btnConnect, &QPushButton::clicked, &TForm1::btnConnectClick);
    bind(this, statusBtn, &QPushButton::clicked, &TForm1::statusBtnClick);
    bind(this, BitBtn2, &QPushButton::clicked, &TForm1::BitBtn2Click);
    bind(this, BitBtn3, &QPushButton::clicked, &TForm1::BitBtn3Click);
    bind(this, InterrogateBtn, &QPushButton::clicked, &TForm1::InterrogateBtnClick);
    bind(this, voltsetBtn, &QPushButton::clicked, &TForm1::voltsetBtnClick);
    bind(this, btnVoltOffset, &QPushButton::clicked, &TForm1::btnVoltOffsetClick);
    bind(this, btnPing, &QPushButton::clicked, &TForm1::btnPingClick);
    bind(this, BitBtn7, &QPushButton::clicked, &TForm1::BitBtn7Click);
    bind(this, btnSend, &QPushButton::clicked, &TForm1::btnSendClick);
    bind(this, CommStr, &QLineEdit::returnPressed, &TForm1::CommStrKeyPress);
    bind(this, Button1, &QPushButton::clicked, &TForm1::Button1Click);
    bind(this, Exit1, &QAction::triggered, &TForm1::Exit1Click);
    bind(this, mnuAutoSequence, &QAction::triggered, &TForm1::mnuAutoSequenceClick);
    bind(this, mnuPorts, &QAction::triggered, &TForm1::mnuPortsClick);
    bind(this, mnuReconnect, &QAction::triggered, &TForm1::mnuReconnectClick);
    bind(this, autobtn, &QPushButton::clicked, &TForm1::autobtnClick);
    bind(this, altitudeBtn, &QToolButton::clicked, &TForm1::altitudeBtnClick);
    bind(this, edMinAlt, &QLineEdit::textChanged, &TForm1::edMinAltChange);
    rbEncSource->setOnClick([this](QObject* sender) { rbEncSourceClick(sender); });
    rbStatus->setOnClick([this](QObject* sender) { rbStatusClick(sender); });
    lblAltActual->installEventFilter(this);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lblAltActual && event->type() == QEvent::MouseButtonDblClick) {
        invokeHandler([this] { lblAltActualDblClick(lblAltActual); });
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::FormCreate(QObject*)
{
    fw::Application::instance().setOnIdle(this, [this](QObject* sender, bool& done) { AppIdle(sender, done); });
    sequencer->reloadCountdown();
    lblAltActual->setText(edMinAlt->text());
    altTimer->setInterval(3500);
}

// ---- Connection -------------------------------------------------------------

bool TForm1::connected() const
{
    return btnConnect->property("Tag").toInt() == 1;
}

void TForm1::setCommandsEnabled(bool enabled)
{
    for (QWidget* command : std::initializer_list<QWidget*>{statusBtn, BitBtn2, BitBtn3, voltsetBtn, autobtn, btnSend,
                                                            BitBtn7, btnPing, InterrogateBtn, btnVoltOffset})
        command->setEnabled(enabled);
}

void TForm1::btnConnectClick(QObject*)
{
    if (!connected()) {
        if (fw::Trim(edCommPort->text()).isEmpty()) return;
        // The untrimmed text is converted: a blank after the digits is an error,
        // and the one-byte port number keeps only the low eight bits.
        SerialComm->setPort(static_cast<sPorts>(fw::StrToInt(edCommPort->text()) & 0xFF));
        takeFromFleet(SerialComm->Port());
        linkMonitor->connecting();
        // Whether the port opened is not examined: the component reports a failure
        // itself, and the operator can still Disconnect.
        SerialComm->setActive(true);
        linkMonitor->connected();
        sessionControls->linkQuality().opened();
        btnConnect->setProperty("Tag", 1);
        btnConnect->setText(QStringLiteral("Disconnect"));
        setCommandsEnabled(true);
        CommStr->setEnabled(true);
        RxData->setEnabled(true);
    } else {
        sequencer->stop();
        releaseStatusChoice();
        linkMonitor->disconnected();
        retryOpening->abandon();
        sessionControls->linkQuality().closed();
        if (SerialComm->Active()) SerialComm->setActive(false);
        if (fleetWindow) fleetWindow->panelReleased(SerialComm->Port());
        btnConnect->setProperty("Tag", 0);
        btnConnect->setText(QStringLiteral("Connect"));
        setCommandsEnabled(false);
    }
}

// ---- Set commands ---------------------------------------------------------------

void TForm1::sendFrame(const std::string& frame)
{
    // An empty frame stands for "nothing chosen": nothing is sent.
    if (!frame.empty()) SerialComm->SendString(frame);
}

void TForm1::statusBtnClick(QObject*)
{
    sendFrame(MessageSet::SetOperationalFunction(rbStatus->ItemIndex()));
    releaseStatusChoice();
}

void TForm1::BitBtn2Click(QObject*)
{
    if (!SerialComm->Active()) return;
    const std::string code = fw::toAnsi(Edit1->text());
    if (!alarmControls->mayAssign(code)) return;
    sendFrame(MessageSet::Set(MessageSet::AssignedCode, code));
}

void TForm1::BitBtn3Click(QObject*)
{
    sendFrame(MessageSet::TriggerIdent());
}

void TForm1::InterrogateBtnClick(QObject*)
{
    if (!SerialComm->Active()) return;
    sendFrame(MessageSet::SetInterrogation(rbInterrogate->ItemIndex()));
}

void TForm1::voltsetBtnClick(QObject*)
{
    if (!SerialComm->Active()) return;
    sendFrame(MessageSet::SetVoltage(rbVoltage->ItemIndex()));
}

void TForm1::btnVoltOffsetClick(QObject*)
{
    const double offset = fw::StrToFloat(edVoltOffset->text());
    if (offset >= 0) {
        // The text goes out as typed, not the converted number.
        sendFrame(MessageSet::Set(MessageSet::VoltageOffset, fw::toAnsi(edVoltOffset->text())));
    } else {
        fw::MessageBox(QStringLiteral("ERROR: Only Positive Values Permitted"), QStringLiteral("ERROR"),
                       fw::MsgButtons::Ok, fw::MsgIcon::None);
    }
}

void TForm1::btnPingClick(QObject*)
{
    status.show(transponder::Item::Ping, "Requested");
    showItem(transponder::Item::Ping);
    sendFrame(MessageSet::FirePing());
}

void TForm1::BitBtn7Click(QObject*)
{
    if (!SerialComm->Active()) return;
    sendFrame(MessageSet::SetEncoderSource(rbEncSource->ItemIndex()));
}

// ---- Manual command ---------------------------------------------------------

void TForm1::btnSendClick(QObject*)
{
    if (!SerialComm->Active()) {
        fw::MessageBox(QStringLiteral("Comm Port not Initialised"), QStringLiteral("Information"),
                       fw::MsgButtons::OkCancel, fw::MsgIcon::None);
        return;
    }
    SerialComm->SendString(MessageSet::Frame(fw::toAnsi(CommStr->text())));
    AddSentToLog(CommStr->text());
    CommStr->clear();
    CommStr->setFocus();
    echoReply = true;
}

void TForm1::CommStrKeyPress(QObject* Sender)
{
    // Enter sends even while the Send button is disabled: before Connect it
    // brings up the "not initialised" box.
    btnSendClick(Sender);
}

// ---- Menu and the sequence-timer group --------------------------------------

void TForm1::Button1Click(QObject*)
{
    gbSequence->hide();
}

void TForm1::mnuAutoSequenceClick(QObject*)
{
    gbSequence->show();
    seqEdit->setFocus();
}

void TForm1::Exit1Click(QObject*)
{
    close();
}

// ---- Ports and reconnecting ---------------------------------------------------

namespace {

const QString ReconnectKey = QStringLiteral("link/reconnectAutomatically");

} // namespace

void TForm1::addFleetMenu()
{
    QMenu* view = MainMenu1->findChild<QMenu*>(QStringLiteral("View1"));
    mnuFleet = view->addAction(QStringLiteral("&Fleet"));
    mnuFleet->setObjectName(QStringLiteral("mnuFleet"));
    bind(this, mnuFleet, &QAction::triggered, &TForm1::mnuFleetClick);
}

void TForm1::mnuFleetClick(QObject*)
{
    if (!fleetWindow) {
        fleetWindow = new FleetWindow(this);
        connect(fleetWindow, &FleetWindow::connectPanel, this,
                [this](sPorts port) { invokeHandler([this, port] { fleetConnect(port); }); });
        fleetWindow->setPanelValues([this] {
            links::FleetModel::PanelValues values;
            values.status = status;
            values.quality = sessionControls->linkQuality().text();
            if (const transponder::Alarm* shown = alarmControls->model().shown()) values.alarm = *shown;
            return values;
        });
    }
    fleetWindow->show();
    fleetWindow->raise();
    fleetWindow->activateWindow();
}

void TForm1::fleetConnect(int port)
{
    // The port the panel holds already: nothing to hand over.
    if (connected() && SerialComm->Active() && SerialComm->Port() == port) return;
    if (connected()) btnConnectClick(this);
    connectHandedOver(port);
}

void TForm1::connectHandedOver(int port)
{
    // Another transponder from here on: what the display shows of the last
    // one must not pass for this one's, nor raise its alarms.
    ClearStatus();
    edCommPort->setText(QString::number(port));
    btnConnectClick(this);
    if (connected()) sequencer->lineRestored(); // a fresh sequence, when Auto is on
}

void TForm1::takeFromFleet(int port)
{
    if (fleetWindow) fleetWindow->takeForPanel(static_cast<sPorts>(port));
    // An opening given up (the fleet's, or our own last attempt's) may still
    // hold the device for a moment.
    links::DeviceOpening::waitForAbandoned(AbandonedOpeningLimitMs);
}

void TForm1::addLinkMenus()
{
    mnuPorts = Setup1->addAction(QStringLiteral("&Ports\u2026"));
    mnuPorts->setObjectName(QStringLiteral("mnuPorts"));
    mnuReconnect = Setup1->addAction(QStringLiteral("&Reconnect automatically"));
    mnuReconnect->setObjectName(QStringLiteral("mnuReconnect"));
    mnuReconnect->setCheckable(true);
    mnuReconnect->setChecked(panelSettings().value(ReconnectKey, true).toBool());
    linkMonitor->reconnector().setEnabled(mnuReconnect->isChecked());
}

void TForm1::mnuPortsClick(QObject*)
{
    if (!portsDialog)
        portsDialog = new PortsDialog(DeviceSource::fromEnvironment(), QString::fromStdString(platform::portDirectory()),
                                      this);
    portsDialog->show();
    portsDialog->raise();
    portsDialog->activateWindow();
}

void TForm1::mnuReconnectClick(QObject*)
{
    panelSettings().setValue(ReconnectKey, mnuReconnect->isChecked());
    linkMonitor->reconnector().setEnabled(mnuReconnect->isChecked());
}

// ---- Tools --------------------------------------------------------------------

void TForm1::addToolsMenu()
{
    mnuPreflight = MainMenu1->addMenu(QStringLiteral("&Tools"))->addAction(QStringLiteral("&Pre-flight Check\u2026"));
    mnuPreflight->setObjectName(QStringLiteral("mnuPreflight"));
    bind(this, mnuPreflight, &QAction::triggered, &TForm1::mnuPreflightClick);
}

// Shown, not executed: a dialog of its own loop would halt the idle handler, and
// with it the sequence that the check may be reading.
void TForm1::mnuPreflightClick(QObject*)
{
    if (!preflightDialog)
        preflightDialog = new PreflightDialog(
            {[this] { return connected(); }, [this] { return sequencer->autoOn(); },
             [this] { return static_cast<int>(SerialComm->Port()); }, [this](const std::string& frame) { sendFrame(frame); },
             [this] { btnPingClick(btnPing); }},
            this);
    preflightDialog->loadExpectations();
    preflightDialog->show();
    preflightDialog->raise();
    preflightDialog->activateWindow();
}
