#pragma once

#include "tools/xpdrsim/Transponder.h"

#include <QString>
#include <map>
#include <ostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace xpdrsim {

// A recording that cannot be replayed as asked: bad input, exit 2.
struct BadRecording : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The transponder of one session on record, as it answered: for each letter,
// every query the panel sent and the reply it got (with the noise that came
// before the reply), or that it got none; for each setting, the same; and the
// frames the transponder sent on its own (interrogation reports), at their
// times; and the losses of the link. Times are ms from the session's start
// object.
//
// A reply belongs to the latest frame of its letter that went out before it and
// has no reply yet; a received frame with no such frame is one the transponder
// sent on its own.
class RecordedTransponder {
public:
    struct Outcome {
        Millis at;
        std::optional<std::string> reply; // noise, if any, then the frame; none: unanswered
        Millis delay{0};                  // from the question to its reply, as recorded
    };
    struct Unsolicited {
        Millis at;
        std::string bytes;
    };
    // A loss of the link on record, from the alarm's start to the link's return
    // (or the session's end).
    struct Loss {
        Millis from;
        Millis to;
    };

    // Reads session `session` (from 1) of the recording at `path`; the lines
    // that did not read are written to `err`. Throws BadRecording when the
    // file cannot be read or holds no such session.
    RecordedTransponder(const QString& path, int session, std::ostream& err);

    // What the recording says to `message` (a whole frame from the panel) at
    // `at` into the session: the outcome of the latest same query, or same
    // setting, at or before `at` (before the first one, the first). None when
    // the recording never saw the question.
    const Outcome* outcome(std::string_view message, Millis at) const;
    const std::vector<Unsolicited>& unsolicited() const { return unsolicited_; }
    const std::vector<Loss>& losses() const { return losses_; }
    // The time of the session's last line.
    Millis length() const { return length_; }

private:
    // Queries by letter; settings by their whole frame.
    std::map<char, std::vector<Outcome>> queries_;
    std::map<std::string, std::vector<Outcome>, std::less<>> settings_;
    std::vector<Unsolicited> unsolicited_;
    std::vector<Loss> losses_;
    Millis length_{0};
};

} // namespace xpdrsim
