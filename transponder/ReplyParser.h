#pragma once

#include "transponder/StatusItem.h"

#include <optional>
#include <string>
#include <string_view>

namespace transponder {

// One received frame, read by its letter, and what the status display makes of
// it. Nothing pairs a reply with a query: a frame means the same whether it
// answers a query, confirms a setting or arrives on its own.
struct Reply {
    char letter = '\0';
    // The text between "=" and ETX (the character after the letter is taken to
    // be "="), empty when ETX comes sooner.
    std::string value;

    // The item whose text changes, and the text it shows from now on.
    struct Shown {
        Item item;
        std::string text;
    };
    std::optional<Shown> shows;
    // The lamp that is switched, and how.
    struct Switched {
        Lamp lamp;
        bool lit;
    };
    std::optional<Switched> lamp;
    // The choice that the operational function group moves to (0 Standby,
    // 1 Mode A, 2 Mode C), and the encoder source group (0 Gillham, 1 Serial).
    std::optional<int> functionChoice;
    std::optional<int> encoderChoice;
};

// Reads one message as the serial side delivers it. The letter follows the
// first STX; the frame ends at the first ETX. A message without both is not a
// reply at all: nothing. For "d", "i", "p", "r" and "s" only the first value
// character counts (the ETX itself when the value is empty); a code shows its
// first four characters and is ignored when shorter; the offset is what follows
// the first "=" of the whole message, trimmed, with " V"; the supply voltage is
// trimmed, the version and the altitude are shown as received.
std::optional<Reply> parseReply(std::string_view message);

} // namespace transponder
