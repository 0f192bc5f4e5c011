// A recording read back, whatever its bytes.
//
// Input: the file's content. It is read with RecordingReader from an unnamed
// file in memory, and split again here on its own, line end by line end; each
// line the reader hands on must be the one found here (its number, its kind,
// its reason when it does not read, as parseRecordedLine decodes that line
// alone), a line past MaxRecordedLineBytes must be "line too long", and the
// counts must agree: the lines, the unreadable ones (of which at most
// MaxListedUnreadable are listed), the sessions and the lines before the first.
#include "session/RecordingReader.h"

#include <QCoreApplication>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>

namespace {

[[noreturn]] void fail(const char* what, std::uint64_t line)
{
    std::fprintf(stderr, "recording reader: %s at line %llu\n", what, static_cast<unsigned long long>(line));
    std::abort();
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const int fd = ::memfd_create("recording", MFD_CLOEXEC);
    if (fd < 0 || !writeAll(fd, data, size)) std::abort();
    session::RecordingReader reader(QStringLiteral("/proc/self/fd/%1").arg(fd));
    if (!reader.open()) fail("not opened", 0);

    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::size_t at = 0;
    std::uint64_t number = 0;
    std::uint64_t unreadable = 0;
    std::uint64_t beforeFirstStart = 0;
    int sessions = 0;
    session::RecordingReader::Line line;
    while (reader.next(line)) {
        if (at >= text.size()) fail("a line past the end", line.number);
        const std::size_t end = text.find('\n', at);
        const bool whole = end != std::string_view::npos;
        const std::string_view own = text.substr(at, whole ? end - at : std::string_view::npos);
        at = whole ? end + 1 : text.size();
        if (line.number != ++number) fail("numbered out of turn", line.number);

        const session::RecordedLine expected =
            session::parseRecordedLine(QByteArrayView(own.data(), static_cast<qsizetype>(own.size())), !whole);
        if (line.line.kind != expected.kind || line.line.reason != expected.reason)
            fail("decoded otherwise than alone", line.number);
        const auto cap = static_cast<std::size_t>(session::MaxRecordedLineBytes);
        const bool tooLong = own.size() > cap + 1 || (own.size() == cap + 1 && own.back() != '\r');
        if (tooLong && line.line.reason != QLatin1StringView("line too long")) fail("a long line read", line.number);
        if ((line.line.kind == session::RecordedLine::Kind::Unparsed) == line.line.reason.isEmpty())
            fail("a reason where none belongs, or none where one does", line.number);

        if (line.line.kind == session::RecordedLine::Kind::Start) ++sessions;
        if (line.session != sessions) fail("in the wrong session", line.number);
        if (sessions == 0) ++beforeFirstStart;
        if (line.line.kind == session::RecordedLine::Kind::Unparsed) ++unreadable;
    }
    if (at != text.size() || reader.readFailed()) fail("lines left unread", number);
    if (reader.unreadableCount() != unreadable ||
        reader.unreadable().size() != std::min<std::uint64_t>(unreadable, session::RecordingReader::MaxListedUnreadable))
        fail("unreadable lines miscounted", number);
    if (reader.sessions() != sessions || reader.linesBeforeFirstStart() != beforeFirstStart)
        fail("sessions miscounted", number);
    ::close(fd);
    return 0;
}
