// The panel's reply decoder on any received message text.
//
// Input: lines separated by "\n". Each line is one message, handed to the main
// window through the serial component's OnMessage handler as the event thread
// hands it over; a line that is just "!" runs the idle handler instead, which
// decodes what has been stored. The idle handler runs once more at the end.
//
// One window serves every input, so each input starts from what the last one
// left. A model of the status display, started from what the window shows,
// follows the same messages by the message table; at the end the window must
// show what the model says, nothing may wait undecoded, and no message box may
// have come up.
#include "app/uavMain.h"
#include "framework/Application.h"
#include "framework/Conversions.h"
#include "framework/MessageBoxes.h"
#include "framework/RadioGroup.h"
#include "framework/VirtualClock.h"
#include "serial/Serial2.h"
#include "widgets/AbLED.h"

#include <QApplication>
#include <QLabel>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <iterator>
#include <string>
#include <string_view>

namespace {

constexpr char STX = '\x02';
constexpr char ETX = '\x03';

[[noreturn]] void fail(const char* what, const QString& detail = {})
{
    std::fprintf(stderr, "reply decoder: %s %s\n", what, detail.toUtf8().constData());
    std::abort();
}

// The input as it can be read in a log: control characters as <hex>.
QString printable(std::string_view bytes)
{
    QString out;
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 32 || u == 127)
            out += QStringLiteral("<%1>").arg(u, 2, 16, QLatin1Char('0'));
        else
            out += QChar(u);
    }
    return out;
}

struct Panel {
    fw::ScopedVirtualClock clock; // no timer fires on its own: each input sees the same window
    fw::ScopedRecordingMessageBoxes boxes;
    TForm1 form;

    template <class T>
    T* find(const char* name)
    {
        T* widget = form.findChild<T*>(QString::fromLatin1(name));
        if (!widget) fail("the window has no control named", QString::fromLatin1(name));
        return widget;
    }
};

// Made on the first input and kept to the end of the process: the application
// object on the offscreen platform, then the window.
Panel& panel()
{
    static int argc = 1;
    static char name[] = "fuzz_reply_decoder";
    static char* argv[] = {name, nullptr};
    static Panel* instance = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        new QApplication(argc, argv);
        return new Panel;
    }();
    return *instance;
}

// What the status display should show.
struct StatusModel {
    static constexpr const char* Labels[] = {"funcDisplay", "lblCode",    "ReplyIndi",     "lblIdent",
                                             "lblAltitude", "lblVoltage", "lblVoltOffset", "lblVersion",
                                             "lblPing",     "lblAltitudeSource"};
    static constexpr const char* Lamps[] = {"Intled", "Ident", "ledPing"};
    enum { funcDisplay, lblCode, ReplyIndi, lblIdent, lblAltitude, lblVoltage, lblVoltOffset, lblVersion, lblPing,
           lblAltitudeSource };
    enum { Intled, Ident, ledPing };

    QString text[std::size(Labels)];
    bool lit[std::size(Lamps)] = {};
    int status = -1;
    int encoderSource = -1;
    bool altitudeSourceShown = false;

    static StatusModel read(Panel& p)
    {
        StatusModel d;
        for (std::size_t i = 0; i < std::size(Labels); ++i) d.text[i] = p.find<QLabel>(Labels[i])->text();
        for (std::size_t i = 0; i < std::size(Lamps); ++i) d.lit[i] = p.find<TAbLED>(Lamps[i])->Checked();
        d.status = p.find<TRadioGroup>("rbStatus")->ItemIndex();
        d.encoderSource = p.find<TRadioGroup>("rbEncSource")->ItemIndex();
        d.altitudeSourceShown = !p.find<QLabel>("lblAltitudeSource")->isHidden();
        return d;
    }

    void expectShownBy(Panel& p, std::string_view lastInput) const
    {
        const StatusModel actual = read(p);
        const QString input = printable(lastInput);
        for (std::size_t i = 0; i < std::size(Labels); ++i)
            if (actual.text[i] != text[i])
                fail("label shows another text:", QString::fromLatin1(Labels[i]) + " '" + actual.text[i] +
                                                      "' instead of '" + text[i] + "' after " + input);
        for (std::size_t i = 0; i < std::size(Lamps); ++i)
            if (actual.lit[i] != lit[i]) fail("lamp in another state:", QString::fromLatin1(Lamps[i]) + " after " + input);
        if (actual.status != status) fail("operational function choice differs after", input);
        if (actual.encoderSource != encoderSource) fail("encoder source choice differs after", input);
        if (actual.altitudeSourceShown != altitudeSourceShown) fail("altitude source shown differs after", input);
    }

    // The message table, positions counted from 0 here.
    void decode(const std::string& m)
    {
        const std::size_t s = m.find(STX);
        const std::size_t e = m.find(ETX);
        if (s == std::string::npos || e == std::string::npos) return;
        const char letter = s + 1 < m.size() ? m[s + 1] : '\0';
        const std::string value = e > s + 3 ? m.substr(s + 3, e - s - 3) : std::string();
        const char first = s + 3 < m.size() ? m[s + 3] : '\0';
        const QString v = fw::toQString(value);
        switch (letter) {
        case '*': lit[Intled] = true; break;
        case 'a':
            text[lblAltitude] = v;
            if (altitudeSourceShown) text[lblAltitudeSource] = v;
            break;
        case 'c':
            if (value.size() >= 4) text[lblCode] = v.left(4);
            break;
        case 'd':
            if (first == 'g' || first == 's') selectEncoderSource(first == 'g' ? 0 : 1);
            break;
        case 'f': {
            const std::size_t q = m.find('=');
            const std::size_t from = q == std::string::npos ? 0 : q + 1;
            const std::string offset = e > from ? m.substr(from, e - from) : std::string();
            text[lblVoltOffset] = fw::toQString(fw::Trim(offset)) + QStringLiteral(" V");
            break;
        }
        case 'i':
            text[lblIdent] = first == '0' ? QString() : QStringLiteral("Active");
            lit[Ident] = first != '0';
            break;
        case 'p':
            if (first == 'Y') {
                lit[ledPing] = true;
                text[lblPing] = QStringLiteral("Received");
            }
            break;
        case 'r':
            if (first == 'Y') text[ReplyIndi] = QStringLiteral("Enabled");
            if (first == 'N') text[ReplyIndi] = QStringLiteral("Disabled");
            break;
        case 's':
            if (first == 'a') show("Mode A", 1);
            if (first == 'c') show("Mode C", 2);
            if (first == 'l') show("Mode C/Alt", 2);
            if (first == 't') show("Standby", 0);
            if (first == 'f') text[funcDisplay] = QStringLiteral("Off");
            break;
        case 'v': text[lblVoltage] = fw::toQString(fw::Trim(value)); break;
        case 'z': text[lblVersion] = v; break;
        default: break;
        }
    }

    void show(const char* mode, int item)
    {
        text[funcDisplay] = QString::fromLatin1(mode);
        status = item;
    }

    // A change of selection runs the group's click handler, which shows the
    // serial altitude controls for "Serial" only.
    void selectEncoderSource(int item)
    {
        if (item == encoderSource) return;
        encoderSource = item;
        altitudeSourceShown = item != 0;
    }
};

} // namespace

// Fontconfig keeps its configuration to the end of the process, where the leak
// check would count it against the window.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Panel& p = panel();
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    StatusModel model = StatusModel::read(p);
    std::deque<std::string> pending;

    auto idle = [&] {
        fw::Application::instance().idle();
        for (const std::string& m : pending) model.decode(m);
        pending.clear();
        if (p.form.PendingMessageCount() != 0) fail("messages left undecoded after an idle call");
    };

    std::size_t from = 0;
    for (;;) {
        const std::size_t nl = std::min(input.find('\n', from), input.size());
        const std::string line(input.substr(from, nl - from));
        if (line == "!") {
            idle();
        } else {
            p.form.SerialComm->OnMessage()(p.form.SerialComm, line);
            // Empty messages are not kept; beyond the limit the oldest goes.
            if (!line.empty()) pending.push_back(line);
            if (pending.size() > TForm1::MaxPendingMessages) pending.pop_front();
            if (p.form.PendingMessageCount() != pending.size()) fail("wrong number of messages waiting");
        }
        if (nl == input.size()) break;
        from = nl + 1;
    }
    idle();

    model.expectShownBy(p, input);
    if (!p.boxes.shown.empty()) fail("a message box came up:", p.boxes.shown.front().text);
    return 0;
}
