#include "transponder/PreflightCheck.h"

#include "framework/CommandLineOption.h"
#include "transponder/MessageSet.h"
#include "transponder/ReplyParser.h"

#include <QDateTime>
#include <QJsonArray>
#include <algorithm>

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

// A number of volts with a point as the decimal sign: digits, and a fraction if any.
std::optional<double> volts(const std::string& text)
{
    const bool digitsAndPoint = !text.empty() && text != "." && std::count(text.begin(), text.end(), '.') <= 1
                                && std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
    return digitsAndPoint ? fw::parseNumber<double>(text) : std::nullopt;
}

bool isOctalCode(std::string_view text)
{
    return text.size() == 4 && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '7'; });
}

// Reads one expectation, or says in `error` what is wrong with it.
std::optional<PreflightCheck::Expectation> parseExpectation(std::string_view text, std::string& error)
{
    const std::size_t equals = text.find('=');
    const std::string_view name = text.substr(0, equals);
    const std::string value = equals == std::string_view::npos ? std::string() : std::string(text.substr(equals + 1));
    const auto known = std::find_if(std::begin(KnownItems), std::end(KnownItems),
                                    [name](const Known& k) { return k.name == name; });
    const std::string quoted = "'" + std::string(text) + "'";
    if (known == std::end(KnownItems)) {
        error = "expectation " + quoted + ": unknown item (mode, code, replies, volts, version, ping)";
        return std::nullopt;
    }
    PreflightCheck::Expectation expectation{known->item, std::string(text), {}};
    std::optional<std::string> expected;
    std::string wanted;
    switch (known->item) {
    case Item::Mode:
        expected = shownFor(value, Modes);
        wanted = "mode=standby, a, c, c-alt or off";
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
        const auto low = dots == std::string::npos ? std::nullopt : volts(value.substr(0, dots));
        const auto high = dots == std::string::npos ? std::nullopt : volts(value.substr(dots + 2));
        if (low && high && *low <= *high) {
            expectation.low = *low;
            expectation.high = *high;
            expected = value.substr(0, dots) + " .. " + value.substr(dots + 2);
        }
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
        error = "expectation " + quoted + ": expected " + wanted;
        return std::nullopt;
    }
    expectation.expected = *expected;
    return expectation;
}

} // namespace

bool PreflightCheck::add(std::string_view text, std::string& error)
{
    auto expectation = parseExpectation(text, error);
    if (!expectation) return false;
    for (const Expectation& earlier : expectations_) {
        if (earlier.item != expectation->item) continue;
        error = "expectation '" + std::string(text) + "': " + std::string(key(earlier.item)) + " is expected already ('"
                + earlier.text + "')";
        return false;
    }
    expectations_.push_back(std::move(*expectation));
    return true;
}

bool PreflightCheck::addLines(std::string_view lines, std::string& error)
{
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

std::vector<PreflightCheck::Result> PreflightCheck::evaluate(const std::map<char, std::string>& reported) const
{
    std::vector<Result> results;
    for (const Expectation& expectation : expectations_) {
        Result result{expectation, std::nullopt, false};
        const char letter = letterOf(expectation.item);
        if (const auto value = reported.find(letter); value != reported.end()) {
            // Read as the display reads it, so that the check sees what the operator would.
            const auto reply = parseReply(MessageSet::Set(letter, value->second));
            result.reported = reply->shows ? reply->shows->text : value->second;
            if (expectation.item == Item::Volts) {
                const auto measured = volts(*result.reported);
                result.pass = measured && *measured >= expectation.low && *measured <= expectation.high;
            } else {
                result.pass = *result.reported == expectation.expected;
            }
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
        item.insert(QStringLiteral("result"), latin1(resultWord(result)));
        items.append(item);
    }
    object.insert(QStringLiteral("items"), items);
    return object;
}

} // namespace transponder
