#pragma once

#include "transponder/AnswerTimes.h"
#include "transponder/QueryRound.h"
#include "transponder/StatusItem.h"

#include <QJsonObject>
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace transponder {

// The pre-flight check: what the operator expects of the transponder before a
// flight ("mode=c", "code=1200", "replies=on", "volts=26.0..29.5",
// "version=2.14", "ping"), judged against what it reports. The command-line
// tool and the panel's dialog both judge with this class, so that a check
// passes or fails the same wherever it was run.
class PreflightCheck {
public:
    struct Expectation {
        Item item;
        std::string text;     // as written: "volts=26.0..29.5"
        std::string expected; // in the display's words: "Mode C", "26.0 .. 29.5"
        double low = 0;       // the supply voltage's range, inclusive
        double high = 0;
    };
    struct Result {
        Expectation expectation;
        std::optional<std::string> reported; // as the display shows it; nothing: unanswered
        bool pass = false;
        bool late = false; // answered, but after AnswerTimes::AnswerLimit: a failure
    };

    // Adds one expectation, written in UTF-8 with blanks allowed around "=".
    // False, with one line in `error` that names what is wrong and quotes the
    // token at fault, for an item it does not know, a value that will not do,
    // a character the transponder cannot send, or an item given twice.
    bool add(std::string_view utf8, std::string& error);
    // Adds one expectation a line (UTF-8, a byte-order mark allowed); blank
    // lines and lines that begin with "#" are skipped. The error names the
    // line's number.
    bool addLines(std::string_view lines, std::string& error);

    const std::vector<Expectation>& expectations() const { return expectations_; }
    bool wantsPing() const;
    // The queries of a round of its own: one per item, the ping last.
    std::vector<QueryRound::Query> queries() const;

    // Judges the answer to each item's query: one that came late fails, and a
    // letter without one leaves its item unanswered.
    std::vector<Result> evaluate(const std::map<char, AnswerTimes::Answer>& answers) const;
    static bool passed(const std::vector<Result>& results);

private:
    std::vector<Expectation> expectations_;
};

// What a check found, with who ran it and where: the report that is kept.
struct CheckReport {
    std::string aircraft;     // the aircraft's identification
    std::string operatorName;
    std::string port;
    std::chrono::system_clock::time_point time;
    std::string firmware; // as reported; empty when not asked or unanswered
    std::vector<PreflightCheck::Result> results;
};

// "PASS" or "FAIL".
std::string_view resultWord(const PreflightCheck::Result& result);
// The reported value as the operator reads it: "Mode C", "Mode C (late)", "unanswered".
std::string reportedWords(const PreflightCheck::Result& result);

// The report as JSON with stable keys: "aircraft", "operator", "port", "time"
// (ISO 8601, UTC, milliseconds), "firmware", "passed" (true when every item
// passed), and "items", each with "item", "expectation" (as written),
// "expected", "reported" (null when unanswered), "answered" and "result"; an
// item answered too late for the panel, and failed for it, adds "late": true.
QJsonObject checkJson(const CheckReport& report);

} // namespace transponder
