#pragma once

// Some C libraries read the line back after tcsetattr() and fail with EINVAL
// when the character size or the parity enable did not stick, although the
// kernel has applied the call. On a pty that is every request for seven bits or
// parity. While an object of this class lives, tcsetattr() in this executable
// behaves that way, so tests see what such a library does.
class VerifyingTcsetattr {
public:
    VerifyingTcsetattr();
    ~VerifyingTcsetattr();
    VerifyingTcsetattr(const VerifyingTcsetattr&) = delete;
    VerifyingTcsetattr& operator=(const VerifyingTcsetattr&) = delete;
};
