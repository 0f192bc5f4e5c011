#pragma once

#include <ostream>
#include <string_view>

namespace xpdrsim {

// The traffic log: one line per frame in or out, with the wall-clock time to the
// millisecond, so an operator can lay it beside the panel's own view.
//
//   14:03:22.118 in   <STX>s=?<ETX>
//   14:03:22.119 out  <STX>s=t<ETX>
//   14:03:22.240 lost <STX>c=1200<ETX> (dropped)
//
// Without a stream nothing is written.
class FrameLog {
public:
    explicit FrameLog(std::ostream* out) : out_(out) {}

    void received(std::string_view message) { line("in  ", message, {}); }
    void sent(std::string_view bytes) { line("out ", bytes, {}); }
    void lost(std::string_view frame, std::string_view why) { line("lost", frame, why); }
    void note(std::string_view text);

private:
    void line(std::string_view direction, std::string_view bytes, std::string_view why);
    void stamp();

    std::ostream* out_;
};

} // namespace xpdrsim
