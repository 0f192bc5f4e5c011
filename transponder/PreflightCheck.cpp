#include "transponder/PreflightCheck.h"

#include "transponder/MessageSet.h"
#include "transponder/ReplyParser.h"
#include "transponder/Volts.h"

#include <QDateTime>
#include <QJsonArray>
#include <QStringDecoder>
#include <algorithm>
#include <cctype>

namespace transponder {

namespace {

// Texts from the line are 8-bit; every byte is one character.
QString latin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

struct Word {
    std::string_view word;
    std::string_view shown;
};

// The words of an expectation and the display texts they stand for.
constexpr Word Modes[] = {{"standby", "Standby"}, {"a", "Mode A"},  {"c", "Mode C"},
                          {"c-alt", "Mode C/Alt"}, {"off", "Off"}};
constexpr Word Replies[] = {{"on", "Enabled"}, {"off", "Disabled"}};

struct Known {
    std::string_view name;
    Item item;
    char letter;
};
constexpr Known KnownItems[] = {
    {"mode", Item::Mode, MessageSet::OperationalFunction}, {"code", Item::Code, MessageSet::AssignedCode},
    {"replies", Item::Replies, MessageSet::Interrogation},  {"volts", Item::Volts, MessageSet::Voltage},
    {"version", Item::Version, MessageSet::FirmwareVersion}, {"ping", Item::Ping, MessageSet::Ping},
};

char letterOf(Item item)
{
    return std::find_if(std::begin(KnownItems), std::end(KnownItems), [item](const Known& k) { return k.item == item; })
        ->letter;
}

template <std::size_t N>
std::optional<std::string> shownFor(std::string_view value, const Word (&words)[N])
{
    for (const Word& w : words)
        if (w.word == value) return std::string(w.shown);
    return std::nullopt;
}

// The mode as the operator may write it: a word of the expectation, or what the
// panel shows ("C", "Mode C", "C/Alt"), in any case.
std::optional<std::string> modeFor(std::string value)
{
    std::transform(value.begin(), value.end(), value.begin(), [](unsigned char c) { return std::tolower(c); });
    if (value.rfind("mode ", 0) == 0) value.erase(0, 5);
    if (value == "c/alt") value = "c-alt";
    return shownFor(value, Modes);
}

bool isOctalCode(std::string_view text)
{
    return text.size() == 4 && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '7'; });
}

std::string trimmed(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return std::string(text);
}

// Reads one expectation, or says in `error` what is wrong with it, quoting the
// token at fault.
std::optional<PreflightCheck::Expectation> parseExpectation(std::string_view text, std::string& error)
{
    const std::size_t equals = text.find('=');
    const std::string name = trimmed(text.substr(0, equals));
    const std::string value = equals == std::string_view::npos ? std::string() : trimmed(text.substr(equals + 1));
    const auto known = std::find_if(std::begin(KnownItems), std::end(KnownItems),
                                    [&name](const Known& k) { return k.name == name; });
    const std::string quoted = "'" + std::string(text) + "'";
    if (known == std::end(KnownItems)) {
        error = "expectation " + quoted + ": unknown item '" + name + "' (mode, code, replies, volts, version, ping)";
        return std::nullopt;
    }
    PreflightCheck::Expectation expectation{known->item, std::string(text), {}};
    std::optional<std::string> expected;
    std::string token = value; // what is at fault, if anything is
    std::string wanted;
    switch (known->item) {
    case Item::Mode:
        expected = modeFor(value);
        wanted = "mode=standby, a, c, c-alt or off (or as the panel shows it: Mode C, C/Alt)";
        break;
    case Item::Code:
        if (isOctalCode(value)) expected = value;
        wanted = "code=NNNN, four octal digits (0-7)";
        break;
    case Item::Replies:
        expected = shownFor(value, Replies);
        wanted = "replies=on or off";
        break;
    case Item::Volts: {
        const std::size_t dots = value.find("..");
        const std::string lowText = dots == std::string::npos ? value : trimmed(value.substr(0, dots));
        const std::string highText = dots == std::string::npos ? std::string() : trimmed(value.substr(dots + 2));
        const auto low = readVolts(lowText);
        const auto high = dots == std::string::npos ? std::nullopt : readVolts(highText);
        if (low && high && *low <= *high) {
            expectation.low = *low;
            expectation.high = *high;
            expected = lowText + " .. " + highText;
        }
        if (dots != std::string::npos && low && high) token = value;
        else if (dots != std::string::npos && low) token = highText;
        else if (dots != std::string::npos) token = lowText;
        wanted = "volts=LOW..HIGH, two numbers with a point as the decimal sign, the lower first";
        break;
    }
    case Item::Version:
        if (!value.empty()) expected = value;
        wanted = "version=TEXT, the firmware version as the transponder reports it";
        break;
    default:
        if (equals == std::string_view::npos) expected = "Received";
        wanted = "ping, without a value";
        break;
    }
    if (!expected) {
        error = "expectation " + quoted + ": '" + token + "' will not do; expected " + wanted;
        return std::nullopt;
    }
    expectation.expected = *expected;
    return expectation;
}

// The text as the check keeps it: the transponder's 8-bit characters. What
// the operator writes comes as UTF-8, with or without a byte-order mark; a
// character the transponder cannot send is named.
std::optional<std::string> latin1Of(std::string_view utf8, std::string& error)
{
    constexpr std::string_view Bom = "\xEF\xBB\xBF";
    if (utf8.substr(0, Bom.size()) == Bom) utf8.remove_prefix(Bom.size());
    QStringDecoder decode(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = decode(QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())));
    if (decode.hasError()) {
        error = "not UTF-8 text";
        return std::nullopt;
    }
    for (const QChar c : text) {
        if (c.unicode() > 0xFF) {
            error = "'" + QString(c).toStdString() + "' is no character the transponder sends";
            return std::nullopt;
        }
    }
    return text.toLatin1().toStdString();
}

} // namespace

bool PreflightCheck::add(std::string_view utf8, std::string& error)
{
    const auto latin1 = latin1Of(utf8, error);
    if (!latin1) {
        error = "expectation '" + std::string(utf8) + "': " + error;
        return false;
    }
    const std::string_view text = *latin1;
    auto expectation = parseExpectation(text, error);
    for (const Expectation& earlier : expectations_) {
        if (!expectation || earlier.item != expectation->item) continue;
        error = "expectation '" + std::string(text) + "': " + std::string(key(earlier.item)) + " is expected already ('"
                + earlier.text + "')";
        expectation.reset();
    }
    if (!expectation) {
        // Quoted from the check's 8-bit text; told in the operator's UTF-8.
        error = QString::fromLatin1(error.data(), static_cast<qsizetype>(error.size())).toStdString();
        return false;
    }
    expectations_.push_back(std::move(*expectation));
    return true;
}

bool PreflightCheck::addLines(std::string_view lines, std::string& error)
{
    constexpr std::string_view Bom = "\xEF\xBB\xBF";
    if (lines.substr(0, Bom.size()) == Bom) lines.remove_prefix(Bom.size());
    int number = 0;
    while (!lines.empty()) {
        const std::size_t end = std::min(lines.find('\n'), lines.size());
        std::string line = std::string(lines.substr(0, end));
        lines.remove_prefix(std::min(end + 1, lines.size()));
        ++number;
        const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
        line.erase(line.begin(), std::find_if_not(line.begin(), line.end(), blank));
        line.erase(std::find_if_not(line.rbegin(), line.rend(), blank).base(), line.end());
        if (line.empty() || line.front() == '#') continue;
        if (!add(line, error)) {
            error = "line " + std::to_string(number) + ": " + error;
            return false;
        }
    }
    return true;
}

bool PreflightCheck::wantsPing() const
{
    return std::any_of(expectations_.begin(), expectations_.end(), [](const Expectation& e) { return e.item == Item::Ping; });
}

std::vector<QueryRound::Query> PreflightCheck::queries() const
{
    std::vector<QueryRound::Query> queries;
    for (const Known& known : KnownItems) {
        const bool expected = std::any_of(expectations_.begin(), expectations_.end(),
                                          [&](const Expectation& e) { return e.item == known.item; });
        if (!expected) continue;
        queries.push_back({known.item == Item::Ping ? MessageSet::FirePing() : MessageSet::Query(known.letter), known.letter});
    }
    return queries;
}

std::vector<PreflightCheck::Result> PreflightCheck::evaluate(const std::map<char, AnswerTimes::Answer>& answers) const
{
    std::vector<Result> results;
    for (const Expectation& expectation : expectations_) {
        Result result{expectation, std::nullopt, false};
        const char letter = letterOf(expectation.item);
        if (const auto answer = answers.find(letter); answer != answers.end()) {
            // Read as the display reads it, so that the check sees what the operator would.
            const auto reply = parseReply(MessageSet::Set(letter, answer->second.value));
            result.reported = reply->shows ? reply->shows->text : answer->second.value;
            result.late = answer->second.late;
            if (expectation.item == Item::Volts) {
                const auto measured = readVolts(*result.reported);
                result.pass = measured && *measured >= expectation.low && *measured <= expectation.high;
            } else {
                result.pass = *result.reported == expectation.expected;
            }
            // Too late for the panel is a failure whatever it said.
            result.pass = result.pass && !result.late;
        }
        results.push_back(std::move(result));
    }
    return results;
}

bool PreflightCheck::passed(const std::vector<Result>& results)
{
    return std::all_of(results.begin(), results.end(), [](const Result& r) { return r.pass; });
}

std::string_view resultWord(const PreflightCheck::Result& result)
{
    return result.pass ? "PASS" : "FAIL";
}

std::string reportedWords(const PreflightCheck::Result& result)
{
    if (!result.reported) return "unanswered";
    return *result.reported + (result.late ? " (late)" : "");
}

QJsonObject checkJson(const CheckReport& report)
{
    QJsonObject object;
    object.insert(QStringLiteral("aircraft"), QString::fromStdString(report.aircraft));
    object.insert(QStringLiteral("operator"), QString::fromStdString(report.operatorName));
    object.insert(QStringLiteral("port"), QString::fromStdString(report.port));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(report.time.time_since_epoch()).count();
    object.insert(QStringLiteral("time"), QDateTime::fromMSecsSinceEpoch(ms).toUTC().toString(Qt::ISODateWithMs));
    object.insert(QStringLiteral("firmware"), latin1(report.firmware));
    object.insert(QStringLiteral("passed"), PreflightCheck::passed(report.results));
    QJsonArray items;
    for (const PreflightCheck::Result& result : report.results) {
        QJsonObject item;
        item.insert(QStringLiteral("item"), latin1(key(result.expectation.item)));
        item.insert(QStringLiteral("expectation"), latin1(result.expectation.text));
        item.insert(QStringLiteral("expected"), latin1(result.expectation.expected));
        item.insert(QStringLiteral("reported"), result.reported ? QJsonValue(latin1(*result.reported)) : QJsonValue());
        item.insert(QStringLiteral("answered"), result.reported.has_value());
        if (result.late) item.insert(QStringLiteral("late"), true);
        item.insert(QStringLiteral("result"), latin1(resultWord(result)));
        items.append(item);
    }
    object.insert(QStringLiteral("items"), items);
    return object;
}

} // namespace transponder
