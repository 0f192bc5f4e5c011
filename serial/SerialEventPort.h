#pragma once

#include "platform/SerialDevice.h"
#include "serial/MessageAssembler.h"

#include <cstdint>
#include <memory>
#include <string>

enum eModemInSignal : std::uint8_t { msCTS, msDSR, msDCD };

// What the event thread needs of its port, and no more: the session
// handshake, what it reads as it goes, and the deliveries it hands to the
// window thread. The serial component implements it; the thread sees nothing
// else of the component.
class SerialEventPort {
public:
    using Device = std::shared_ptr<platform::SerialDevice>;

    // ---- The session handshake (event thread) ----
    // Blocks until the port is open with its events armed, and returns its
    // device and session number; null when the thread is to end.
    virtual Device takeSession(std::uint64_t& session) = 0;
    // The thread has left every session (it ends).
    virtual void leaveSessions() = 0;
    // Whether `session` is still the open port's.
    virtual bool isCurrent(std::uint64_t session) const = 0;

    // ---- Read by the event thread as it goes ----
    // Whole messages are read and handed over (rather than "bytes arrived").
    virtual bool readsMessages() const = 0;
    // Someone takes the messages; without a taker the bytes stay queued.
    virtual bool takesMessages() const = 0;
    // Someone watches the dropped bytes.
    virtual bool watchesDropped() const = 0;
    // Assembly of the port's messages: the thread's alone while a session runs.
    virtual MessageAssembler& assembler() = 0;
    virtual MessageAssembler::Settings messageSettings() const = 0;
    // Reads one modem input from `device` into the port's state and returns it;
    // a status that cannot be read leaves the last known state.
    virtual bool readSignal(platform::SerialDevice& device, eModemInSignal signal) = 0;

    // ---- Deliveries, run on the window thread ----
    // A line event of the device (EvTxEmpty, EvBreak, EvRing, EvRxChar) or news
    // of our own output (EvSentLate).
    virtual void lineEvent(std::uint32_t event) = 0;
    virtual void signalChanged(eModemInSignal signal, bool state) = 0;
    virtual void messageArrived(const std::string& message) = 0;
    virtual void bytesDropped(const std::string& bytes) = 0;
    // The session's wait or read failed: the device has gone.
    virtual void sessionFailed(std::uint64_t session, int error) = 0;

protected:
    ~SerialEventPort() = default;
};
