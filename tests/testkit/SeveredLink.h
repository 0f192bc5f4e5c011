#pragma once

#include <QString>

#include <functional>

// Two network namespaces of the test's own, "near" and "far", joined by a veth
// pair, with addresses in them only: the machine's own network is left alone.
// A listener in the far one (FarAddress) takes connections made by code run in
// the near one; sever() takes the far end of the pair down, so that what the
// near end sends goes nowhere and nothing comes back, as from a peer switched
// off. Needs CAP_NET_ADMIN and `ip` (iproute2); without them unavailable() says why.
class SeveredLink {
public:
    static constexpr const char* FarAddress = "10.231.0.2:7000";

    SeveredLink();
    ~SeveredLink();
    SeveredLink(const SeveredLink&) = delete;
    SeveredLink& operator=(const SeveredLink&) = delete;

    const QString& unavailable() const { return unavailable_; }
    // A socket listening at FarAddress in the far namespace; -1 on failure.
    int listenFar();
    // Runs `work` on a thread in the near namespace: the sockets it makes are
    // the near namespace's for good.
    void inNear(const std::function<void()>& work);
    bool sever();

private:
    bool run(const char* script);

    QString tag_;
    QString unavailable_;
};
