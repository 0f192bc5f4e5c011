// The panel logic of the main window: decoding received messages into the status
// display, the automatic query sequence with its link watchdog, and the
// simulated serial altitude. The protocol itself is the transponder library's;
// here it meets the window's labels, lamps and timers.
#include "uavMain.h"

#include "app/AlarmControls.h"
#include "serial/LinkMonitor.h"
#include "app/PreflightDialog.h"
#include "app/SessionControls.h"
#include "framework/Colors.h"
#include "framework/Conversions.h"
#include "framework/Timer.h"
#include "serial/Serial2.h"
#include "transponder/MessageSet.h"
#include "transponder/ReplyParser.h"

#include <QScopedValueRollback>

namespace MessageSet = transponder::MessageSet;
using transponder::Item;
using transponder::Lamp;

namespace {

constexpr TColor SequenceRunning = clRed;
constexpr TColor SequenceWaiting = clGreen;
constexpr unsigned InterrogationLampMs = 500;

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
    sequencer->sendDue();
    Done = false;
}

void TForm1::decodeMessage(const std::string& message)
{
    // Without both delimiters a message is not a reply: it changes nothing and
    // does not count for the watchdog.
    const auto reply = transponder::parseReply(message);
    if (!reply) return;

    status.apply(*reply);
    sessionControls->replyDecoded(*reply);
    alarmControls->replyDecoded(*reply, message);
    if (reply->shows) showItem(reply->shows->item);
    if (reply->lamp) showLamp(reply->lamp->lamp);
    // Selecting an item runs the group's click handler as an operator's click
    // does. The Operational Function the operator has chosen and not yet sent
    // stays as chosen, or Set would send what the transponder reported instead;
    // the value label still shows the report.
    if (reply->functionChoice && !statusHold->Enabled()) {
        const QScopedValueRollback fromReply(followingReply, true);
        rbStatus->setItemIndex(*reply->functionChoice);
    }
    if (reply->encoderChoice) rbEncSource->setItemIndex(*reply->encoderChoice);

    switch (reply->letter) {
    case MessageSet::InterrogationReport:
        // A report inside the lamp's 500 ms does not lengthen it: enabling an
        // enabled timer keeps its count.
        rxTimer->setInterval(InterrogationLampMs);
        rxTimer->setEnabled(true);
        break;
    case MessageSet::Altitude:
        if (!lblAltitudeSource->isHidden()) lblAltitudeSource->setText(text(reply->value));
        break;
    case MessageSet::Ping:
        if (reply->lamp) sequencer->pingShown();
        break;
    default:
        break;
    }

    linkMonitor->reconnector().replyDecoded();
    if (preflightDialog) preflightDialog->messageDecoded(message);
    // Any message counts as a reply: during a sequence it schedules the next query.
    sequencer->replyDecoded();
}

// The labels and lamps in the order of transponder::Items and transponder::Lamps.
void TForm1::showItem(Item item)
{
    QLabel* const labels[] = {funcDisplay, lblCode, ReplyIndi, lblIdent, lblAltitude,
                              lblVoltage,  lblVoltOffset, lblVersion, lblPing};
    labels[static_cast<std::size_t>(item)]->setText(text(status.text(item)));
}

void TForm1::showLamp(Lamp lamp)
{
    TAbLED* const lamps[] = {Intled, Ident, ledPing};
    lamps[static_cast<std::size_t>(lamp)]->setChecked(status.lit(lamp));
}

void TForm1::rxTimerTimer(QObject*)
{
    rxTimer->setEnabled(false);
    status.setLit(Lamp::Interrogation, false);
    showLamp(Lamp::Interrogation);
}

void TForm1::ClearStatus()
{
    status.clear();
    for (Item item : transponder::Items) showItem(item);
    for (Lamp lamp : {Lamp::Ping, Lamp::Spi, Lamp::Interrogation}) showLamp(lamp);
}

// ---- The automatic sequence ---------------------------------------------------

void TForm1::autobtnClick(QObject*)
{
    sequencer->toggleAuto();
}

void TForm1::autoSequencerTimer(QObject*)
{
    sequencer->countdownTick();
}

void TForm1::queryTimerTimer(QObject*)
{
    sequencer->spacingTick();
}

void TForm1::wdtTimer(QObject*)
{
    // The record takes a sequence that the watchdog cuts short with the display
    // as it stood, before the watchdog may blank it.
    sessionControls->sequenceStopped();
    sequencer->watchdogTick();
    alarmControls->watchdogLooked();
}

int TForm1::interval()
{
    return fw::StrToInt(seqEdit->text());
}

std::optional<std::string> TForm1::simulatedAltitude()
{
    if (!indiAlt->Checked()) return std::nullopt;
    return fw::toAnsi(lblAltActual->text());
}

void TForm1::send(const std::string& frame)
{
    // A closed port gets no automatic queries: after the device has gone away (the
    // component has reported that once and closed the port) each write would raise
    // a box of its own, one every watchdog period for as long as Auto stays on. The
    // watchdog blanking the display then tells the operator the link is down.
    if (!SerialComm->Active()) return;
    SerialComm->SendString(frame);
    sessionControls->querySent(frame[1]);
    if (preflightDialog) preflightDialog->querySent(frame);
}

void TForm1::autoSwitched(bool on)
{
    autoIndi->setChecked(on);
    if (!on) sessionControls->sequenceStopped();
}

void TForm1::sequenceRunning(bool running)
{
    autoIndi->LED().setColorOn(running ? SequenceRunning : SequenceWaiting);
    if (running) sessionControls->sequenceStarted();
    if (running && preflightDialog) preflightDialog->sequenceStarted();
}

void TForm1::sequenceCompleted()
{
    linkMonitor->reconnector().linkHeld();
    if (preflightDialog) preflightDialog->sequenceCompleted();
}

void TForm1::linkSilent()
{
    ClearStatus();
    alarmControls->linkSilent();
    if (preflightDialog) preflightDialog->linkSilent();
}

void TForm1::pingExpired()
{
    status.setLit(Lamp::Ping, false);
    status.show(Item::Ping, {});
    showLamp(Lamp::Ping);
    showItem(Item::Ping);
}

void TForm1::portRestored()
{
    sequencer->lineRestored();
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

void TForm1::rbStatusClick(QObject*)
{
    if (followingReply) return;
    // Each change of the operator's starts the hold afresh.
    statusHold->setEnabled(false);
    statusHold->setEnabled(true);
}

void TForm1::releaseStatusChoice()
{
    statusHold->setEnabled(false);
}

void TForm1::rbEncSourceClick(QObject*)
{
    const bool serial = rbEncSource->ItemIndex() != 0;
    for (QWidget* control : std::initializer_list<QWidget*>{edMaxAlt, edMinAlt, Label13, Label14, lblAltActual,
                                                            lblAltitudeSource, altitudeBtn, indiAlt})
        control->setVisible(serial);
}
