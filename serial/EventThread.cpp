#include "serial/Serial2.h"

TEventThread::TEventThread(TSerial& owner)
    : serial_(owner)
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
        TSerial& serial;
        ~LeaveOnExit() { serial.leaveSessions(); }
    } leave{serial_};

    while (!Terminated()) {
        std::uint64_t session = 0;
        const Device device = serial_.takeSession(session);
        if (!device) continue;
        std::uint32_t events = 0;
        const int error = device->wait(events);
        // A wait that ends because the port closed is not a failure; neither
        // is anything it returned worth handing over.
        if (!serial_.isCurrent(session)) continue;
        if (error != 0) {
            failed(session, error);
            continue;
        }
        dispatch(device, session, events);
    }
}

void TEventThread::dispatch(const Device& device, std::uint64_t session, std::uint32_t events)
{
    TSerial* const s = &serial_;
    if ((events & platform::EvSentLate) && !deliver(session, [s] { s->tellSent(); })) return;
    if ((events & platform::EvCts) && !signalChanged(device, session, msCTS)) return;
    if ((events & platform::EvDsr) && !signalChanged(device, session, msDSR)) return;
    if ((events & platform::EvRlsd) && !signalChanged(device, session, msDCD)) return;
    if ((events & platform::EvTxEmpty) && !deliver(session, [s] {
            if (s->onTxEmpty_) s->onTxEmpty_(s);
        }))
        return;
    if ((events & platform::EvBreak) && !deliver(session, [s] {
            if (s->onBreak_) s->onBreak_(s);
        }))
        return;
    if ((events & platform::EvRing) && !deliver(session, [s] {
            if (s->onRing_) s->onRing_(s);
        }))
        return;
    if (!(events & platform::EvRxChar)) return;
    if (serial_.rxEventMode_.load() == rxNormal) {
        deliver(session, [s] {
            if (s->onRxData_) s->onRxData_(s);
        });
    } else if (serial_.hasOnMessage_.load()) {
        // Without a message handler nothing is read: the bytes stay queued.
        readMessages(device, session);
    }
}

bool TEventThread::signalChanged(const Device& device, std::uint64_t session, eModemInSignal signal)
{
    struct Line {
        std::atomic<bool> TSerial::*state;
        std::uint32_t bit;
    };
    static constexpr Line lines[] = {
        {&TSerial::ctsState_, platform::MsCtsOn},
        {&TSerial::dsrState_, platform::MsDsrOn},
        {&TSerial::dcdState_, platform::MsRlsdOn},
    };
    const Line& line = lines[signal];
    // A status that cannot be read leaves the last known state as it was.
    std::uint32_t status = 0;
    if (device->modemStatus(status) == 0) (serial_.*line.state) = (status & line.bit) != 0;
    const bool state = (serial_.*line.state).load();
    TSerial* const s = &serial_;
    return deliver(session, [s, signal, state] {
        if (s->onSignalChange_) s->onSignalChange_(s, signal, state);
    });
}

void TEventThread::readMessages(const Device& device, std::uint64_t session)
{
    TSerial* const s = &serial_;
    // Dropped bytes are collected only for taps, and handed over in runs: before
    // the message that follows them, when the queue is empty, and at most
    // MaxMessage at a time, so that endless noise cannot pile up here.
    std::string dropped;
    while (serial_.isCurrent(session)) {
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
        const bool complete =
            serial_.assembler_.push(byte, serial_.messageSettings(), serial_.hasTaps_.load() ? &dropped : nullptr);
        if ((complete || dropped.size() >= MessageAssembler::MaxMessage) && !deliverDropped(session, dropped)) return;
        if (!complete) continue;
        // The handler gets its own copy: nothing it does can disturb assembly.
        std::string message = serial_.assembler_.message();
        if (!deliver(session, [s, message = std::move(message)] {
                s->tellTaps([&](SerialTap& tap) { tap.received(message); });
                if (s->onMessage_) s->onMessage_(s, message);
            }))
            return;
    }
}

// Hands a run of dropped bytes to the taps and empties it; false when the pass
// must end (see deliver).
bool TEventThread::deliverDropped(std::uint64_t session, std::string& dropped)
{
    if (dropped.empty()) return true;
    TSerial* const s = &serial_;
    std::string run;
    run.swap(dropped);
    return deliver(session, [s, run = std::move(run)] { s->tellTaps([&](SerialTap& tap) { tap.dropped(run); }); });
}

void TEventThread::failed(std::uint64_t session, int error)
{
    TSerial* const s = &serial_;
    deliver(session, [s, session, error] { s->sessionFailed(session, error); });
}

bool TEventThread::deliver(std::uint64_t session, std::function<void()> fn)
{
    return Synchronize(std::move(fn)) && serial_.isCurrent(session);
}
