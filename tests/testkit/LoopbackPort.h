#pragma once

#include <QtGlobal>

// A port on 127.0.0.1 that the kernel has just handed out and taken back: a
// server the tests start listens there.
quint16 freeLoopbackPort();

// Whether a socket listens at 127.0.0.1:port, as the kernel's table shows it:
// looking there, rather than connecting, leaves the server and its device alone.
bool listeningOnLoopback(quint16 port);
