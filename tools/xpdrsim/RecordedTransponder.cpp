#include "tools/xpdrsim/RecordedTransponder.h"

#include "session/RecordingReader.h"
#include "session/SequenceCsv.h"
#include "tools/xpdrsim/Frame.h"

#include <algorithm>
#include <ostream>
#include <stdexcept>

namespace xpdrsim {

namespace {

bool isQuery(const Frame& frame)
{
    return frame.value == "?";
}

} // namespace

RecordedTransponder::RecordedTransponder(const QString& path, int session, std::ostream& err)
{
    std::optional<qint64> startMs;
    Millis last{0};
    // For each letter, the outcomes whose last one still waits for its reply
    // (map nodes do not move, so the pointers hold).
    std::map<char, std::vector<Outcome>*> waiting;
    std::string noise;
    bool lost = false;
    const auto read = session::readSession(path, session, [&](const session::RecordedLine& line) {
        using Kind = session::RecordedLine::Kind;
        if (line.kind == Kind::Unparsed) return;
        if (!startMs) startMs = line.timeMs;
        // A wall clock set back meanwhile moves no line before the one above it.
        last = std::max(last, Millis(line.timeMs - *startMs));
        const QString alarm = line.object.value(QLatin1StringView("alarm")).toString();
        if (line.kind == Kind::Alarm && alarm == QLatin1StringView("link-lost")) {
            // Acknowledging the alarm leaves the link lost; its return ends the loss.
            const bool lostNow = session::SequenceCsv::linkLoss(line.object);
            if (lostNow && !lost) losses_.push_back({last, last});
            if (!lostNow && lost) losses_.back().to = last;
            lost = lostNow;
        }
        if (line.kind != Kind::Frame) return;
        const std::string bytes = line.payload.toStdString();
        switch (line.direction) {
        case session::TrafficDirection::Noise: noise += bytes; return;
        case session::TrafficDirection::Sent: {
            const auto frame = parseFrame(bytes);
            if (!frame) return;
            auto& outcomes = isQuery(*frame) ? queries_[frame->letter] : settings_[bytes];
            // A frame of the same letter still waiting stays unanswered.
            outcomes.push_back({last, std::nullopt});
            waiting[frame->letter] = &outcomes;
            return;
        }
        case session::TrafficDirection::Received: {
            const auto frame = parseFrame(bytes);
            std::string reply = std::move(noise) + bytes;
            noise.clear();
            if (frame) {
                if (auto w = waiting.find(frame->letter); w != waiting.end()) {
                    w->second->back().reply = std::move(reply);
                    w->second->back().delay = last - w->second->back().at;
                    waiting.erase(w);
                    return;
                }
            }
            unsolicited_.push_back({last, std::move(reply)});
            return;
        }
        }
    });
    err << session::readReport(path, read).toLocal8Bit().toStdString();
    if (!read.error.isEmpty())
        throw BadRecording(path.toLocal8Bit().toStdString() + ": " + read.error.toLocal8Bit().toStdString());
    length_ = last;
    if (lost) losses_.back().to = last;
    const QJsonObject& start = read.starts[static_cast<std::size_t>(session - 1)];
    const QString port = start.value(QLatin1StringView("port")).toString();
    err << "xpdrsim: replaying session " << session << " of " << read.sessions << ", recorded "
        << start.value(QLatin1StringView("time")).toString().toStdString()
        << (port.isEmpty() ? std::string() : " on " + port.toStdString()) << ", " << length_.count() / 1000.0
        << " s long\n";
}

const RecordedTransponder::Outcome* RecordedTransponder::outcome(std::string_view message, Millis at) const
{
    const auto frame = parseFrame(message);
    if (!frame) return nullptr;
    const std::vector<Outcome>* outcomes = nullptr;
    if (isQuery(*frame)) {
        if (auto found = queries_.find(frame->letter); found != queries_.end()) outcomes = &found->second;
    } else if (auto found = settings_.find(message); found != settings_.end()) {
        outcomes = &found->second;
    }
    if (!outcomes || outcomes->empty()) return nullptr;
    auto after = std::upper_bound(outcomes->begin(), outcomes->end(), at,
                                  [](Millis t, const Outcome& o) { return t < o.at; });
    return after == outcomes->begin() ? &outcomes->front() : &*(after - 1);
}

} // namespace xpdrsim
