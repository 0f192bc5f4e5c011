#pragma once

#include <QString>

// Two network namespaces of the test's own, "near" and "far", joined by a veth
// pair, with addresses in them only: the machine's own network is left alone.
// connect() links a socket made in the near one to a listener in the far one;
// sever() takes the far end of the pair down, so that what the near end sends
// goes nowhere and nothing comes back, as from a peer switched off. Needs
// CAP_NET_ADMIN and `ip` (iproute2); without them unavailable() says why.
class SeveredLink {
public:
    SeveredLink();
    ~SeveredLink();
    SeveredLink(const SeveredLink&) = delete;
    SeveredLink& operator=(const SeveredLink&) = delete;

    const QString& unavailable() const { return unavailable_; }
    // The near end's socket, the far end's in `far`; -1 on failure.
    int connect(int& far);
    bool sever();

private:
    bool run(const char* script);

    QString tag_;
    QString unavailable_;
};
