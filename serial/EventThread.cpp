#include "serial/Serial2.h"

TEventThread::TEventThread(SerialEventPort& port)
    : port_(port)
{
}

TEventThread::~TEventThread()
{
    Stop();
}

void TEventThread::Execute()
{
    // However Execute ends, an exception included, the thread says it has left
    // the port: otherwise every later closing would wait its full limit for it.
    struct LeaveOnExit {
        SerialEventPort& port;
        ~LeaveOnExit() { port.leaveSessions(); }
    } leave{port_};

    while (!Terminated()) {
        std::uint64_t session = 0;
        const Device device = port_.takeSession(session);
        if (!device) continue;
        std::uint32_t events = 0;
        const int error = device->wait(events);
        // A wait that ends because the port closed is not a failure; neither
        // is anything it returned worth handing over.
        if (!port_.isCurrent(session)) continue;
        if (error != 0) {
            failed(session, error);
            continue;
        }
        dispatch(device, session, events);
    }
}

void TEventThread::dispatch(const Device& device, std::uint64_t session, std::uint32_t events)
{
    SerialEventPort* const p = &port_;
    const auto line = [&](std::uint32_t event) {
        return !(events & event) || deliver(session, [p, event] { p->lineEvent(event); });
    };
    if (!line(platform::EvSentLate)) return;
    for (const auto signal : {std::pair{platform::EvCts, msCTS}, {platform::EvDsr, msDSR}, {platform::EvRlsd, msDCD}})
        if ((events & signal.first) && !signalChanged(device, session, signal.second)) return;
    if (!line(platform::EvTxEmpty) || !line(platform::EvBreak) || !line(platform::EvRing)) return;
    if (!(events & platform::EvRxChar)) return;
    if (!port_.readsMessages())
        line(platform::EvRxChar);
    else if (port_.takesMessages())
        readMessages(device, session); // without a taker nothing is read: the bytes stay queued
}

bool TEventThread::signalChanged(const Device& device, std::uint64_t session, eModemInSignal signal)
{
    const bool state = port_.readSignal(*device, signal);
    SerialEventPort* const p = &port_;
    return deliver(session, [p, signal, state] { p->signalChanged(signal, state); });
}

void TEventThread::readMessages(const Device& device, std::uint64_t session)
{
    SerialEventPort* const p = &port_;
    // Dropped bytes are collected only for taps, and handed over in runs: before
    // the message that follows them, when the queue is empty, and at most
    // MaxMessage at a time, so that endless noise cannot pile up here.
    std::string dropped;
    MessageAssembler& assembler = port_.assembler();
    while (port_.isCurrent(session)) {
        char byte = 0;
        std::size_t count = 0;
        if (const int error = device->read(&byte, 1, count)) {
            if (deliverDropped(session, dropped)) failed(session, error);
            return;
        }
        if (count == 0) {
            deliverDropped(session, dropped);
            return;
        }
        const bool complete = assembler.push(byte, port_.messageSettings(), port_.watchesDropped() ? &dropped : nullptr);
        if ((complete || dropped.size() >= MessageAssembler::MaxMessage) && !deliverDropped(session, dropped)) return;
        if (!complete) continue;
        // The handler gets its own copy: nothing it does can disturb assembly.
        if (!deliver(session, [p, message = assembler.message()] { p->messageArrived(message); })) return;
    }
}

// Hands a run of dropped bytes to the taps and empties it; false when the pass
// must end (see deliver).
bool TEventThread::deliverDropped(std::uint64_t session, std::string& dropped)
{
    if (dropped.empty()) return true;
    SerialEventPort* const p = &port_;
    std::string run;
    run.swap(dropped);
    return deliver(session, [p, run = std::move(run)] { p->bytesDropped(run); });
}

void TEventThread::failed(std::uint64_t session, int error)
{
    SerialEventPort* const p = &port_;
    deliver(session, [p, session, error] { p->sessionFailed(session, error); });
}

bool TEventThread::deliver(std::uint64_t session, std::function<void()> fn)
{
    return Synchronize(std::move(fn)) && port_.isCurrent(session);
}
