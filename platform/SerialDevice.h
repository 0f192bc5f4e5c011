#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Events a wait can return, as the port's event mask selects them.
enum EventFlag : std::uint32_t {
    EvRxChar = 0x0001,   // bytes have arrived
    EvTxEmpty = 0x0004,  // the last byte of the output queue has left
    EvCts = 0x0008,      // clear-to-send changed
    EvDsr = 0x0010,      // data-set-ready changed
    EvRlsd = 0x0020,     // carrier detect changed
    EvBreak = 0x0040,    // a break condition on the input
    EvRing = 0x0100,     // ring indicator
    // Bytes that an earlier write left with the device have gone out since;
    // takeSent() has them. Returned whatever the mask selects: it is not a
    // line event but news of our own output.
    EvSentLate = 0x10000,
};

// Modem input states as modemStatus() reports them.
enum ModemStatusFlag : std::uint32_t {
    MsCtsOn = 0x10,
    MsDsrOn = 0x20,
    MsRingOn = 0x40,
    MsRlsdOn = 0x80,
};

enum class ControlLine : std::uint8_t { Rts, Dtr };

// Handshake modes of the RTS and DTR lines in the device-control record.
enum LineControl : std::uint8_t { LineDisable = 0, LineEnable = 1, LineHandshake = 2 };

// Parity codes and stop-bit codes of the device-control record.
enum ParityCode : std::uint8_t { NoParity = 0, OddParity = 1, EvenParity = 2, MarkParity = 3, SpaceParity = 4 };
enum StopBitsCode : std::uint8_t { OneStopBit = 0, One5StopBits = 1, TwoStopBits = 2 };

// The device-control record: everything that describes the line. Built from
// scratch by the component and handed over whole; the device never merges it
// with what was set before.
struct DeviceControl {
    std::uint32_t DCBlength = 28;
    std::uint32_t BaudRate = 0;
    bool fBinary = false;
    bool fParity = false;          // check the parity of received bytes
    bool fOutxCtsFlow = false;     // hold output while CTS is low
    bool fOutxDsrFlow = false;     // hold output while DSR is low
    std::uint8_t fDtrControl = LineDisable;
    bool fDsrSensitivity = false;
    bool fTXContinueOnXoff = false;
    bool fOutX = false;            // obey XOFF/XON from the other side
    bool fInX = false;             // send XOFF/XON when our input fills/drains
    bool fErrorChar = false;
    bool fNull = false;
    std::uint8_t fRtsControl = LineDisable;
    bool fAbortOnError = false;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 8;
    std::uint8_t Parity = NoParity;
    std::uint8_t StopBits = OneStopBit;
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;

    // The flag members packed as one word, bit 0 being fBinary.
    std::uint32_t flags() const;
};

// Read and write time-outs in milliseconds. ReadIntervalTimeout MAXDWORD with
// both read totals 0 means "a read returns at once with what is queued".
struct CommTimeouts {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;
};

struct CommStatus {
    std::uint32_t cbInQue = 0;
    std::uint32_t cbOutQue = 0;
};

// One serial port, opened by its COM name. Every operation returns 0 or the
// errno value of its failure.
//
// Threads: one thread may block in wait() while another writes, reads, changes
// the lines or calls release(). close() must not race with the other calls; the
// caller first releases the wait and lets its waiter leave.
class SerialDevice {
public:
    virtual ~SerialDevice() = default;

    // Opens the device for exclusive use. A device in use elsewhere gives EBUSY, a
    // name without a device ENOENT.
    virtual int open(const std::string& comName) = 0;
    // The input and output queue sizes the component asks for.
    virtual int setupQueues(std::uint32_t inQueue, std::uint32_t outQueue) = 0;
    virtual int applySettings(const DeviceControl& settings) = 0;
    virtual int setTimeouts(const CommTimeouts& timeouts) = 0;
    // Selects the events that wait() returns.
    virtual int setEventMask(std::uint32_t mask) = 0;
    // Blocks until a selected event occurs and returns the set of them, or returns
    // with `events` 0 once release() has been called (also when it was called
    // before the wait began). A device that has gone away fails once with its
    // error; later waits block until release().
    virtual int wait(std::uint32_t& events) = 0;
    // Ends the current wait and every later one at once.
    virtual int release() = 0;
    virtual int modemStatus(std::uint32_t& status) = 0;
    virtual int queueCounts(CommStatus& status) = 0;
    // Takes up to `size` received bytes without waiting; `count` is 0 when none is
    // queued.
    virtual int read(char* data, std::size_t size, std::size_t& count) = 0;
    // Writes all `size` bytes, waiting at most `timeoutMs` for the device to take
    // them (ETIMEDOUT when it has not). `taken` says how many it took: all of
    // them on success; after a time-out, those it sent and those it keeps to
    // send later, in order, before any later write's. The rest is dropped. A
    // device that keeps only so much (a network port) fails the first write
    // whose rest it drops with ENOBUFS instead, once per opening.
    virtual int write(const char* data, std::size_t size, unsigned timeoutMs, std::size_t& taken) = 0;
    // For a caller that looks at the error alone.
    int write(const char* data, std::size_t size, unsigned timeoutMs)
    {
        std::size_t taken = 0;
        return write(data, size, timeoutMs, taken);
    }
    // The written bytes that have gone out since the last call, appended to
    // `bytes` in the order they went: those a write sent at once, and those a
    // write that timed out left behind, when they go (EvSentLate says so). A
    // watcher of the traffic that takes them after each write and on each
    // EvSentLate sees exactly what went out, when it went.
    virtual void takeSent(std::string& bytes) = 0;
    virtual int setControlLine(ControlLine line, bool on) = 0;
    // Aborts reads and writes in progress.
    virtual int abort() = 0;
    virtual int close() = 0;
    virtual bool isOpen() const = 0;
    // Whether the open link carries its bytes unencrypted to another machine,
    // judged by the address actually connected to (a name that resolves to
    // the loopback stays on the machine). Only a network port ever does.
    virtual bool plainToAnotherHost() const { return false; }
};

// Whether a failure means that the device has gone (unplugged, hung up, its
// connection ended) rather than that one operation failed.
inline bool isGoneError(int error)
{
    return error == EIO || error == ENXIO || error == ENODEV || error == ECONNRESET;
}

} // namespace platform
