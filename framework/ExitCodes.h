#pragma once

// Exit codes shared by every program of the project (the panel's own options,
// the command-line tool and the simulated transponder), so that a script can
// tell the causes apart whichever program it ran.
namespace fw::exitcode {

inline constexpr int Ok = 0;
// Bad usage or bad input: one line on stderr says what was wrong.
inline constexpr int Usage = 2;
// The port could not be opened; the message carries the system's reason.
inline constexpr int PortUnavailable = 3;
// A query went unanswered within its time-out.
inline constexpr int Unanswered = 4;
// A setting read back from the transponder differs from the one sent.
inline constexpr int ReadBackDiffers = 5;
// A pre-flight check ran and an item failed or went unanswered.
inline constexpr int CheckFailed = 6;
// A recording's hash chain breaks, or the recording carries none.
inline constexpr int ChainBroken = 7;

} // namespace fw::exitcode
