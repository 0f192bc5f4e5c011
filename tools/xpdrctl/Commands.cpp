#include "tools/xpdrctl/Commands.h"

#include "framework/ExitCodes.h"
#include "tools/xpdrctl/StatusOutput.h"
#include "tools/xpdrctl/TransponderLink.h"
#include "transponder/MessageSet.h"
#include "transponder/QueryRound.h"
#include "transponder/ReplyParser.h"

#include <cstdio>

namespace xpdrctl {

namespace {

namespace MessageSet = transponder::MessageSet;
using transponder::QueryRound;

class Runner {
public:
    Runner(const Invocation& invocation, TransponderLink& link, std::ostream& out, std::ostream& err)
        : invocation_(invocation), link_(link), out_(out), err_(err)
    {
    }

    int run()
    {
        switch (invocation_.verb) {
        case Verb::Status: return status();
        case Verb::Watch: return watch();
        case Verb::Set: return set(*invocation_.setting);
        case Verb::Spi: return set(spi());
        case Verb::Ping: return ping();
        case Verb::Send: return send();
        case Verb::Check: return check();
        case Verb::Export: // reads a file, not the link (exportRecording)
        case Verb::Verify: break;
        }
        return fw::exitcode::Usage;
    }

private:
    QueryRound round(std::vector<QueryRound::Query> queries) const
    {
        return QueryRound(std::move(queries), {invocation_.timeout, invocation_.spacing}, QueryRound::Clock::now());
    }

    // The round could not finish: the port failed (reported already) or a stop
    // signal came, which ends watch as it is meant to end.
    int interrupted() const { return link_.stopped() ? fw::exitcode::Ok : fw::exitcode::PortUnavailable; }

    int unanswered(const std::string& letters)
    {
        std::string listed;
        for (char letter : letters) listed += std::string(listed.empty() ? "" : " ") + letter;
        err_ << "xpdrctl: unanswered: " << forTerminal(listed, invocation_.raw) << std::endl;
        return fw::exitcode::Unanswered;
    }

    // One sequence of the fourteen queries.
    std::optional<transponder::SequenceRecord> sequence()
    {
        std::vector<QueryRound::Query> queries;
        for (char letter : MessageSet::SequenceLetters) queries.push_back({MessageSet::Query(letter), letter});
        QueryRound status = round(std::move(queries));
        const auto started = std::chrono::system_clock::now();
        if (!link_.run(status)) return std::nullopt;
        return status.record(started);
    }

    int status()
    {
        const auto record = sequence();
        if (!record) return interrupted();
        out_ << (invocation_.json ? statusJsonLine(*record) : statusLines(*record, invocation_.raw)) << std::flush;
        return record->unanswered.empty() ? fw::exitcode::Ok : unanswered(record->unanswered);
    }

    // Only the port failing, or a stop signal, ends it.
    int watch()
    {
        for (;;) {
            const auto record = sequence();
            if (!record) return interrupted();
            out_ << (invocation_.json ? jsonLine(*record) : watchLine(*record, invocation_.raw)) << std::flush;
            if (!link_.pause(invocation_.interval)) return interrupted();
        }
    }

    static Setting spi()
    {
        return Setting{"spi", MessageSet::TriggerIdent(), MessageSet::Ident,
                       [](const std::string& value) { return value.empty() || value.front() != '0'; }, "active"};
    }

    // Sends the setting, lets the transponder confirm it if it does, then asks
    // for the item and compares.
    int set(const Setting& setting)
    {
        QueryRound exchange = round({{setting.frame, setting.letter, false}, {MessageSet::Query(setting.letter), setting.letter}});
        if (!link_.run(exchange)) return interrupted();
        const auto& readBack = exchange.outcomes().back();
        if (!readBack.answeredAt) return unanswered(std::string(1, setting.letter));
        const auto reply = transponder::parseReply(readBack.answer);
        // An item the display has no text for (the encoder source) reads as the setting's words.
        const std::string shown = reply->shows ? reply->shows->text : setting.wanted;
        if (setting.matches && !setting.matches(reply->value)) {
            err_ << "xpdrctl: " << (setting.item == "spi" ? "spi" : "set " + setting.item)
                 << ": the transponder answered '" << forTerminal(reply->value, invocation_.raw) << "', not "
                 << setting.wanted << std::endl;
            return fw::exitcode::ReadBackDiffers;
        }
        out_ << setting.item << ": " << forTerminal(shown, invocation_.raw) << std::endl;
        return fw::exitcode::Ok;
    }

    int ping()
    {
        QueryRound exchange = round({{MessageSet::FirePing(), MessageSet::Ping}});
        if (!link_.run(exchange)) return interrupted();
        const auto& outcome = exchange.outcomes().front();
        if (!outcome.answeredAt) return unanswered(std::string(1, MessageSet::Ping));
        const auto reply = transponder::parseReply(outcome.answer);
        if (!reply->lamp) {
            err_ << "xpdrctl: ping: the transponder answered '" << forTerminal(reply->value, invocation_.raw)
                 << "', not Y" << std::endl;
            return fw::exitcode::ReadBackDiffers;
        }
        const double ms = std::chrono::duration<double, std::milli>(*outcome.answeredAt - *outcome.sentAt).count();
        char text[32];
        std::snprintf(text, sizeof text, "%.1f", ms);
        out_ << "ping: " << text << " ms" << std::endl;
        return fw::exitcode::Ok;
    }

    // A command written as letter "=" value is answered by its letter; anything
    // else by whatever comes first.
    int send()
    {
        const std::string& command = invocation_.command;
        const char letter = command.size() >= 2 && command[1] == '=' ? command.front() : '\0';
        QueryRound exchange = round({{MessageSet::Frame(command), letter}});
        if (!link_.run(exchange)) return interrupted();
        const auto& outcome = exchange.outcomes().front();
        if (!outcome.answeredAt) {
            if (letter != '\0') return unanswered(std::string(1, letter));
            err_ << "xpdrctl: no answer" << std::endl;
            return fw::exitcode::Unanswered;
        }
        const std::string& frame = outcome.answer;
        const std::size_t start = frame.find(MessageSet::STX) + 1;
        out_ << forTerminal(frame.substr(start, frame.find(MessageSet::ETX) - start), invocation_.raw)
             << std::endl;
        return fw::exitcode::Ok;
    }

    // Asks for the expected items only, then judges every one by its answer
    // and the time it took; an unanswered or late item is a failure of the
    // check, not of the program.
    int check()
    {
        const transponder::PreflightCheck& check = invocation_.check;
        QueryRound exchange = round(check.queries());
        const auto started = std::chrono::system_clock::now();
        if (!link_.run(exchange)) return interrupted();
        const auto answers = transponder::AnswerTimes::of(exchange, check.queries()).answers();
        const auto results = check.evaluate(answers);
        if (invocation_.json) {
            const auto firmware = answers.find(MessageSet::FirmwareVersion);
            out_ << jsonLine(transponder::checkJson({invocation_.aircraft, invocation_.operatorName, invocation_.port,
                                                    started,
                                                    firmware == answers.end() ? std::string() : firmware->second.value,
                                                    results}));
        } else {
            out_ << checkLines(results, invocation_.raw);
        }
        out_ << std::flush;
        return transponder::PreflightCheck::passed(results) ? fw::exitcode::Ok : fw::exitcode::CheckFailed;
    }

    const Invocation& invocation_;
    TransponderLink& link_;
    std::ostream& out_;
    std::ostream& err_;
};

} // namespace

int runCommand(const Invocation& invocation, TransponderLink& link, std::ostream& out, std::ostream& err)
{
    return Runner(invocation, link, out, err).run();
}

} // namespace xpdrctl
