#pragma once

#include <string>

// Watches the traffic of a serial component (TSerial::addTap) without taking
// part in it: it sees each text written, each message received and each run of
// bytes that message assembly dropped, on the window thread, in the order they
// happened on the line. A tap changes nothing that the component's handlers see.
class SerialTap {
public:
    virtual ~SerialTap() = default;

    // Bytes that went out, when they went: a write's at once, and the rest of
    // one that timed out when the device sends it later. Nothing else goes out.
    virtual void sent(const std::string& bytes) = 0;
    // A complete message, just before the component's OnMessage handler gets it.
    virtual void received(const std::string& message) = 0;
    // Bytes that arrived outside a message (noise, or a message cut short by a
    // new start character or by the size cap), in the order they came and before
    // any message that followed them.
    virtual void dropped(const std::string& bytes) = 0;
};
