// The panel logic of the main window: decoding received messages into the status
// display, the automatic query sequence with its link watchdog, and the
// simulated serial altitude.
#include "uavMain.h"

#include "MessageSet.h"
#include "framework/Colors.h"
#include "framework/Conversions.h"
#include "framework/Timer.h"
#include "serial/Serial2.h"

namespace {

constexpr TColor SequenceRunning = clRed;
constexpr TColor SequenceWaiting = clGreen;
constexpr std::uint64_t PingShownMs = 500;

QString text(const std::string& bytes)
{
    return fw::toQString(bytes);
}

} // namespace

// ---- Receiving ----------------------------------------------------------------

void TForm1::SerialCommMessage(QObject*, const std::string& RxMessage)
{
    QString display;
    for (char c : RxMessage) {
        if (c == MessageSet::STX)
            display += QStringLiteral("<STX>");
        else if (c == MessageSet::ETX)
            display += QStringLiteral("<ETX>");
        else
            display += QChar(static_cast<unsigned char>(c));
    }
    if (display.isEmpty()) return;
    if (echoReply) RxData->appendPlainText(display);

    // Decoding waits for the next idle call. Messages that arrive together (a
    // reply and an interrogation report, say) are all kept, in order: keeping only
    // the last would drop the reply and stall the sequence until the watchdog.
    if (pendingMessages.size() == MaxPendingMessages) pendingMessages.pop_front();
    pendingMessages.push_back(RxMessage);
    echoReply = false;
}

void TForm1::AddSentToLog(const QString& Text)
{
    RxData->appendPlainText(QStringLiteral("<02>") + Text + QStringLiteral("<03>"));
}

void TForm1::AppIdle(QObject*, bool& Done)
{
    while (!pendingMessages.empty()) {
        const std::string message = std::move(pendingMessages.front());
        pendingMessages.pop_front();
        decodeMessage(message);
    }
    sendDueQuery();
    Done = false;
}

void TForm1::decodeMessage(const std::string& message)
{
    const std::size_t s = message.find(MessageSet::STX);
    const std::size_t e = message.find(MessageSet::ETX);
    // Without both delimiters a message is not a reply: it changes nothing and
    // does not count for the watchdog.
    if (s == std::string::npos || e == std::string::npos) return;

    auto at = [&](std::size_t i) { return i < message.size() ? message[i] : '\0'; };
    const char letter = at(s + 1);
    const std::size_t valueStart = s + 3;
    const std::string value = e > valueStart ? message.substr(valueStart, e - valueStart) : std::string();
    const char first = at(valueStart); // the ETX itself when the value is empty

    switch (letter) {
    case MessageSet::InterrogationReport:
        // A report inside the lamp's 500 ms does not lengthen it: enabling an
        // enabled timer keeps its count.
        Intled->setChecked(true);
        rxTimer->setInterval(500);
        rxTimer->setEnabled(true);
        break;
    case MessageSet::Altitude:
        lblAltitude->setText(text(value));
        if (!lblAltitudeSource->isHidden()) lblAltitudeSource->setText(text(value));
        break;
    case MessageSet::AssignedCode:
        if (value.size() >= 4) lblCode->setText(text(value.substr(0, 4)));
        break;
    case MessageSet::EncoderSource:
        if (first == 'g')
            rbEncSource->setItemIndex(0);
        else if (first == 's')
            rbEncSource->setItemIndex(1);
        break;
    case MessageSet::VoltageOffset: {
        // The offset is what follows the first "=" of the whole message.
        const std::size_t equals = message.find('=');
        const std::size_t from = equals == std::string::npos ? 0 : equals + 1;
        const std::string offset = e > from ? message.substr(from, e - from) : std::string();
        lblVoltOffset->setText(text(fw::Trim(offset)) + QStringLiteral(" V"));
        break;
    }
    case MessageSet::Ident:
        if (first == '0') {
            lblIdent->clear();
            Ident->setChecked(false);
        } else {
            lblIdent->setText(QStringLiteral("Active"));
            Ident->setChecked(true);
        }
        break;
    case MessageSet::Ping:
        if (first == 'Y') {
            ledPing->setChecked(true);
            lblPing->setText(QStringLiteral("Received"));
            pingTick = fw::tickCount();
        }
        break;
    case MessageSet::Interrogation:
        if (first == 'Y')
            ReplyIndi->setText(QStringLiteral("Enabled"));
        else if (first == 'N')
            ReplyIndi->setText(QStringLiteral("Disabled"));
        break;
    case MessageSet::OperationalFunction: {
        struct Mode {
            char code;
            const char* shown;
            int item; // -1: the operational function choice stays as it was
        };
        static constexpr Mode modes[] = {
            {'a', "Mode A", 1}, {'c', "Mode C", 2}, {'l', "Mode C/Alt", 2}, {'t', "Standby", 0}, {'f', "Off", -1},
        };
        for (const Mode& mode : modes) {
            if (mode.code != first) continue;
            funcDisplay->setText(QString::fromLatin1(mode.shown));
            if (mode.item >= 0) rbStatus->setItemIndex(mode.item);
            break;
        }
        break;
    }
    case MessageSet::Voltage:
        lblVoltage->setText(text(fw::Trim(value)));
        break;
    case MessageSet::FirmwareVersion:
        lblVersion->setText(text(value));
        break;
    default:
        break;
    }

    // Any message counts as a reply: during a sequence it schedules the next query.
    if (seqCountdown == 0 && autoIndi->Checked()) queryTimer->setEnabled(true);
    replySeen = true;
}

void TForm1::rxTimerTimer(QObject*)
{
    rxTimer->setEnabled(false);
    Intled->setChecked(false);
}

void TForm1::ClearStatus()
{
    for (QLabel* label : {funcDisplay, lblCode, ReplyIndi, lblIdent, lblAltitude, lblVoltage, lblVoltOffset,
                          lblVersion, lblPing})
        label->clear();
    ledPing->setChecked(false);
    Ident->setChecked(false);
    Intled->setChecked(false);
}

// ---- The automatic sequence ---------------------------------------------------

void TForm1::autobtnClick(QObject*)
{
    queryStep = 0;
    if (autoIndi->Checked()) {
        autoIndi->setChecked(false);
        autoSequencer->setEnabled(false);
        wdt->setEnabled(false);
    } else {
        autoIndi->setChecked(true);
        autoSequencer->setEnabled(true);
        seqCountdown = fw::StrToInt(seqEdit->text());
    }
    autoSequencer->setEnabled(autoIndi->Checked());
}

void TForm1::autoSequencerTimer(QObject*)
{
    // A countdown typed as the most negative integer wraps instead of overflowing;
    // like any interval of 0 or less it then never reaches 0.
    seqCountdown = static_cast<int>(static_cast<unsigned>(seqCountdown) - 1u);
    if (seqCountdown != 0) return;
    autoIndi->LED().setColorOn(SequenceRunning);
    queryTimer->setInterval(60);
    queryTimer->setEnabled(true);
    autoSequencer->setEnabled(false);
    wdt->setInterval(5000);
    wdt->setEnabled(true);
}

void TForm1::queryTimerTimer(QObject*)
{
    queryDue = true;
    queryTimer->setEnabled(false);
}

void TForm1::sendDueQuery()
{
    if (!queryDue) return;
    queryDue = false;
    ++queryStep;

    const char letter = MessageSet::SequenceLetters[static_cast<std::size_t>(queryStep - 1)];
    std::string frame = MessageSet::Query(letter);
    if (queryStep == 1 && indiAlt->Checked()) {
        frame = MessageSet::Set(MessageSet::Altitude, fw::toAnsi(lblAltActual->text()));
    } else if (queryStep == static_cast<int>(MessageSet::SequenceLetters.size())) {
        queryTimer->setEnabled(false);
        autoIndi->LED().setColorOn(SequenceWaiting);
        queryStep = 0;
        seqCountdown = fw::StrToInt(seqEdit->text());
        autoSequencer->setEnabled(true);
    }
    // A closed port gets no automatic queries: after the device has gone away (the
    // component has reported that once and closed the port) each write would raise
    // a box of its own, one every watchdog period for as long as Auto stays on. The
    // watchdog blanking the display then tells the operator the link is down.
    if (SerialComm->Active()) SerialComm->SendString(frame);

    // The ping lamp goes out with the first query sent more than 500 ms after the
    // reply. The clock is monotonic and 64 bits wide, so it cannot wrap in a run.
    if (pingTick && fw::tickCount() - *pingTick > PingShownMs) {
        pingTick.reset();
        ledPing->setChecked(false);
        lblPing->clear();
    }
}

void TForm1::wdtTimer(QObject*)
{
    autoIndi->LED().setColorOn(SequenceWaiting);
    seqCountdown = 1;
    queryStep = 0;
    autoSequencer->setEnabled(true);
    wdt->setEnabled(false);
    if (replySeen)
        replySeen = false;
    else
        ClearStatus();
}

// ---- The simulated serial altitude ----------------------------------------------

void TForm1::altitudeBtnClick(QObject*)
{
    indiAlt->setChecked(!indiAlt->Checked());
    altTimer->setEnabled(indiAlt->Checked());
}

void TForm1::altTimerTimer(QObject*)
{
    const long long actual = fw::StrToInt(lblAltActual->text());
    const long long maximum = fw::StrToInt(edMaxAlt->text());
    const long long next = actual < maximum + 25 ? actual + 25 : fw::StrToInt(edMinAlt->text());
    // The altitude travels as a 16-bit unsigned number.
    lblAltActual->setText(fw::IntToStr(static_cast<std::uint16_t>(next & 0xFFFF)));
}

void TForm1::edMinAltChange(QObject*)
{
    lblAltActual->setText(edMinAlt->text());
}

void TForm1::lblAltActualDblClick(QObject*)
{
    lblAltActual->setText(QStringLiteral("0"));
}

void TForm1::rbEncSourceClick(QObject*)
{
    const bool serial = rbEncSource->ItemIndex() != 0;
    for (QWidget* control : std::initializer_list<QWidget*>{edMaxAlt, edMinAlt, Label13, Label14, lblAltActual,
                                                            lblAltitudeSource, altitudeBtn, indiAlt})
        control->setVisible(serial);
}
