#include "tools/xpdrsim/FrameLog.h"

#include "tools/xpdrsim/Frame.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace xpdrsim {

void FrameLog::note(std::string_view text)
{
    if (!out_) return;
    stamp();
    *out_ << "---- " << text << '\n' << std::flush;
}

void FrameLog::line(std::string_view direction, std::string_view bytes, std::string_view why)
{
    if (!out_) return;
    stamp();
    *out_ << direction << ' ' << readable(bytes);
    if (!why.empty()) *out_ << " (" << why << ')';
    *out_ << '\n' << std::flush;
}

void FrameLog::stamp()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d ", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(ms));
    *out_ << text;
}

} // namespace xpdrsim
