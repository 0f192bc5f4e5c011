#pragma once

#include <QString>

// Two network namespaces of the test's own, "near" and "far", joined by a veth
// pair, with addresses in them only: the machine's own network is left alone.
// A test connects from the near one to a listener in the far one, then takes
// the far end of the pair down: what the near end sends goes nowhere and
// nothing comes back, as with a peer switched off. Needs CAP_NET_ADMIN and
// `ip` (iproute2); without them unavailable() says why.
class SeveredLink {
public:
    SeveredLink();
    ~SeveredLink();
    SeveredLink(const SeveredLink&) = delete;
    SeveredLink& operator=(const SeveredLink&) = delete;

    // Empty when the namespaces are up; otherwise why there are none.
    const QString& unavailable() const { return unavailable_; }

    // A TCP connection made from the near namespace to the far one: the near
    // end's socket, and the far end's in `far`; -1 on failure.
    int connect(int& far);
    // Takes the far end of the pair down; false when `ip` refused.
    bool sever();

private:
    bool ip(const QStringList& arguments);
    // Runs `make` on a thread that has entered `space`'s network namespace; a
    // socket made there belongs to that namespace for good.
    template <class Make>
    int inNamespace(const QString& space, Make make);

    QString near_;
    QString far_;
    QString unavailable_;
};
