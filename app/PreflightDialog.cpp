#include "app/PreflightDialog.h"

#include "app/PanelSettings.h"
#include "app/SaveDialog.h"
#include "session/SaveTarget.h"
#include "transponder/MessageSet.h"
#include "transponder/ReplyParser.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHeaderView>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPdfWriter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

namespace MessageSet = transponder::MessageSet;
using Clock = transponder::QueryRound::Clock;
using transponder::AnswerTimes;
using transponder::PreflightCheck;

// As long as xpdrctl waits for each answer by default.
constexpr std::chrono::milliseconds AnswerTimeout = AnswerTimes::AnswerLimit;

const QColor PassColour(0x9c, 0xe6, 0x9c);
const QColor FailColour(0xf0, 0x8c, 0x8c);

QString latin1(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString settingsKey(int comNumber)
{
    return QStringLiteral("preflight/COM%1/expectations").arg(comNumber);
}

// A value with its unit, where it has one.
QString withUnit(const PreflightCheck::Result& result, const std::string& value)
{
    return latin1(value) + (result.expectation.item == transponder::Item::Volts ? QStringLiteral(" V") : QString());
}

// The cells of one item, as the table and the report show them.
QStringList cells(const PreflightCheck::Result& result)
{
    QString reported = result.reported ? withUnit(result, *result.reported) : QStringLiteral("unanswered");
    if (result.late) reported += QStringLiteral(" (late)");
    return {latin1(result.expectation.text), withUnit(result, result.expectation.expected), reported,
            latin1(std::string(transponder::resultWord(result)))};
}

// An aircraft's identification as part of a file name: letters, digits, "-"
// and "_" kept, anything else (a slash, a blank) made "_".
QString safeForFileName(const QString& text)
{
    QString safe;
    for (const QChar c : text.trimmed())
        safe += c.isLetterOrNumber() || c == u'-' || c == u'_' ? c : QChar(u'_');
    return safe;
}

} // namespace

PreflightDialog::PreflightDialog(Panel panel, QWidget* parent)
    : QDialog(parent)
    , panel_(std::move(panel))
{
    setWindowTitle(QStringLiteral("Pre-flight Check"));
    setObjectName(QStringLiteral("PreflightDialog"));

    aircraft_ = new QLineEdit(this);
    aircraft_->setObjectName(QStringLiteral("aircraft"));
    operator_ = new QLineEdit(this);
    operator_->setObjectName(QStringLiteral("operator"));
    expectations_ = new QPlainTextEdit(this);
    expectations_->setObjectName(QStringLiteral("expectations"));
    expectations_->setPlaceholderText(QStringLiteral("mode=c\ncode=1200\nreplies=on\nvolts=26.0..29.5\nversion=2.14\nping"));
    expectations_->setFixedHeight(expectations_->fontMetrics().lineSpacing() * 7);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Aircraft:"), aircraft_);
    form->addRow(QStringLiteral("Operator:"), operator_);
    form->addRow(QStringLiteral("Expectations:"), expectations_);

    table_ = new QTableWidget(0, ColumnCount, this);
    table_->setObjectName(QStringLiteral("results"));
    table_->setHorizontalHeaderLabels({QStringLiteral("Expectation"), QStringLiteral("Expected"),
                                       QStringLiteral("Reported"), QStringLiteral("Result")});
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);

    stateLabel_ = new QLabel(this);
    stateLabel_->setObjectName(QStringLiteral("state"));
    stateLabel_->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    run_ = buttons->addButton(QStringLiteral("Run"), QDialogButtonBox::ActionRole);
    run_->setObjectName(QStringLiteral("run"));
    save_ = buttons->addButton(QStringLiteral("Save Report\u2026"), QDialogButtonBox::ActionRole);
    save_->setObjectName(QStringLiteral("saveReport"));
    save_->setEnabled(false);
    connect(run_, &QPushButton::clicked, this, &PreflightDialog::run);
    connect(save_, &QPushButton::clicked, this, &PreflightDialog::askWhereToSave);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(table_, 1);
    layout->addWidget(stateLabel_);
    layout->addWidget(buttons);
    resize(520, 460);

    wake_.setSingleShot(true);
    wake_.setTimerType(Qt::PreciseTimer);
    connect(&wake_, &QTimer::timeout, this, [this] {
        if (state_ == State::WaitingForPing) finish(times_.answers());
        else pump();
    });
    // On the panel's clock: it runs while a check waits for the sequence.
    sequenceLimit_ = new fw::TTimer(this);
    sequenceLimit_->setEnabled(false);
    sequenceLimit_->setInterval(SequenceLimitMs);
    sequenceLimit_->setOnTimer([this](QObject*) {
        fail(QStringLiteral("No complete sequence came within %1 s: the check failed.").arg(SequenceLimitMs / 1000));
    });
    for (QLineEdit* field : {aircraft_, operator_}) connect(field, &QLineEdit::textEdited, this, &PreflightDialog::fieldsEdited);
    connect(expectations_, &QPlainTextEdit::textChanged, this, &PreflightDialog::fieldsEdited);
}

void PreflightDialog::fieldsEdited()
{
    // A check under way goes on with what it was run with; it is cleared on finishing.
    if (report_.results.empty() && !running()) return;
    if (running()) {
        signable_ = false;
        return;
    }
    report_.results.clear();
    signable_ = false;
    table_->setRowCount(0);
    save_->setEnabled(false);
    stateLabel_->setText(QStringLiteral("The fields changed since the check: run it again."));
}

void PreflightDialog::loadExpectations()
{
    if (running()) return;
    // Other expectations are an edit, and clear the results of the ones before.
    const QString kept = panelSettings().value(settingsKey(panel_.comNumber())).toString();
    if (kept != expectations_->toPlainText()) expectations_->setPlainText(kept);
}

void PreflightDialog::run()
{
    if (running()) return;
    PreflightCheck check;
    std::string error;
    if (!check.addLines(expectations_->toPlainText().toStdString(), error)) {
        stateLabel_->setText(latin1(error));
        return;
    }
    if (check.expectations().empty()) {
        stateLabel_->setText(QStringLiteral("Write one expectation a line first."));
        return;
    }
    if (!panel_.connected()) {
        stateLabel_->setText(QStringLiteral("Connect to the transponder first."));
        return;
    }
    {
        // Storing the expectations is no edit of them.
        const QSignalBlocker quiet(expectations_);
        panelSettings().setValue(settingsKey(panel_.comNumber()), expectations_->toPlainText());
    }
    check_ = std::move(check);
    report_ = {};
    report_.aircraft = aircraft_->text().trimmed().toStdString();
    report_.operatorName = operator_->text().trimmed().toStdString();
    report_.port = "COM" + std::to_string(panel_.comNumber());
    report_.time = std::chrono::system_clock::now();
    signable_ = !report_.aircraft.empty() && !report_.operatorName.empty();
    times_.clear();
    table_->setRowCount(0);
    save_->setEnabled(false);
    run_->setEnabled(false);
    if (panel_.autoOn()) {
        state_ = State::WaitingForSequence;
        sequenceLimit_->setEnabled(true);
        stateLabel_->setText(QStringLiteral("Waiting for the next complete sequence\u2026"));
        return;
    }
    state_ = State::OwnRound;
    stateLabel_->setText(QStringLiteral("Asking the transponder\u2026"));
    round_.emplace(check_.queries(), transponder::QueryRound::Timing{AnswerTimeout, {}}, Clock::now());
    pump();
}

// Sends what the round has due and sleeps until it has more to do.
void PreflightDialog::pump()
{
    if (state_ != State::OwnRound) return;
    // Nothing more is sent once the operator disconnects: what came is judged.
    if (!panel_.connected()) {
        finish(AnswerTimes::of(*round_, check_.queries()).answers());
        return;
    }
    if (const auto frame = round_->due(Clock::now())) panel_.send(*frame);
    if (round_->finished()) {
        finish(AnswerTimes::of(*round_, check_.queries()).answers());
        return;
    }
    if (const auto wake = round_->wakeAt()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*wake - Clock::now());
        wake_.start(static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count())));
    }
}

void PreflightDialog::hideEvent(QHideEvent* event)
{
    if (running()) {
        wake_.stop();
        sequenceLimit_->setEnabled(false);
        round_.reset();
        state_ = State::Idle;
        run_->setEnabled(true);
        stateLabel_->setText(QStringLiteral("The check was given up."));
    }
    QDialog::hideEvent(event);
}

void PreflightDialog::messageDecoded(const std::string& message)
{
    switch (state_) {
    case State::OwnRound:
        round_->received(message, Clock::now());
        pump();
        break;
    case State::ReadingSequence:
    case State::WaitingForPing:
        times_.received(message, Clock::now());
        if (state_ == State::WaitingForPing && times_.answers().count(MessageSet::Ping)) finish(times_.answers());
        break;
    default:
        break;
    }
}

void PreflightDialog::querySent(const std::string& frame)
{
    if (state_ == State::ReadingSequence && frame.size() > 1) times_.sent(frame[1], Clock::now());
}

void PreflightDialog::sequenceStarted()
{
    // A sequence that the watchdog cut short, replies and all, is read again
    // from the next start: the watchdog cuts healthy sequences too.
    if (state_ != State::WaitingForSequence && state_ != State::ReadingSequence) return;
    times_.clear();
    state_ = State::ReadingSequence;
}

void PreflightDialog::linkSilent()
{
    if (state_ == State::WaitingForSequence || state_ == State::ReadingSequence || state_ == State::WaitingForPing)
        fail(QStringLiteral("The transponder did not answer since the watchdog last looked: the check failed."));
}

void PreflightDialog::sequenceCompleted()
{
    if (state_ != State::ReadingSequence) return;
    sequenceLimit_->setEnabled(false);
    if (!check_.wantsPing()) {
        finish(times_.answers());
        return;
    }
    state_ = State::WaitingForPing;
    // The sequence's last query goes out when this returns; the ping follows it.
    QTimer::singleShot(0, this, [this] {
        if (state_ != State::WaitingForPing) return;
        times_.sent(MessageSet::Ping, Clock::now());
        panel_.firePing();
        wake_.start(static_cast<int>(AnswerTimeout.count()));
    });
}

void PreflightDialog::fail(const QString& why)
{
    // A sequence that did not come whole is no reading of the transponder:
    // every item fails unanswered, and the reason is shown.
    finish({}, why);
}

void PreflightDialog::finish(const std::map<char, AnswerTimes::Answer>& answers, const QString& why)
{
    wake_.stop();
    sequenceLimit_->setEnabled(false);
    state_ = State::Idle;
    round_.reset();
    report_.results = check_.evaluate(answers);
    const auto firmware = answers.find(MessageSet::FirmwareVersion);
    report_.firmware = firmware == answers.end() ? std::string() : firmware->second.value;
    showResults(why);
    run_->setEnabled(true);
    save_->setEnabled(signable_);
}

void PreflightDialog::showResults(const QString& why)
{
    table_->setRowCount(static_cast<int>(report_.results.size()));
    for (int row = 0; row < table_->rowCount(); ++row) {
        const auto& result = report_.results[static_cast<std::size_t>(row)];
        const QStringList texts = cells(result);
        for (int column = 0; column < ColumnCount; ++column) {
            auto* cell = new QTableWidgetItem(texts[column]);
            cell->setBackground(result.pass ? PassColour : FailColour);
            cell->setForeground(Qt::black);
            table_->setItem(row, column, cell);
        }
    }
    table_->resizeColumnsToContents();
    QString words = !why.isEmpty()                             ? why
                    : PreflightCheck::passed(report_.results) ? QStringLiteral("Every item passed.")
                                                               : QStringLiteral("The check failed.");
    if (!signable_)
        words += QStringLiteral(" A report needs the aircraft and the operator: give both and run the check again.");
    stateLabel_->setText(words);
}

QString PreflightDialog::defaultReportName() const
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(report_.time.time_since_epoch()).count();
    const QString time = QDateTime::fromMSecsSinceEpoch(ms).toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmm'Z'"));
    return QStringLiteral("preflight-%1-%2.pdf").arg(safeForFileName(QString::fromStdString(report_.aircraft)), time);
}

void PreflightDialog::askWhereToSave()
{
    // Opened, not run: the panel goes on polling while the operator chooses.
    auto* chooser = new SaveDialog(this, QStringLiteral("report"), QStringLiteral("Save Report"), defaultReportName(),
                                   QStringLiteral("PDF files (*.pdf)"), QStringLiteral("pdf"));
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    connect(chooser, &QFileDialog::fileSelected, this, &PreflightDialog::saveReport);
    chooser->open();
}

bool PreflightDialog::saveReport(const QString& path)
{
    if (report_.results.empty() || !signable_ || running()) {
        stateLabel_->setText(QStringLiteral("There is no report to save: give the aircraft and the operator and run the "
                                            "check."));
        return false;
    }
    // The pair shares one name and never one path.
    const QFileInfo chosen(path);
    const bool namesJson = chosen.suffix().compare(QStringLiteral("json"), Qt::CaseInsensitive) == 0;
    const QString base = chosen.dir().filePath(chosen.completeBaseName());
    const QString pdfPath = namesJson ? base + QStringLiteral(".pdf") : path;
    const QString jsonPath = base + QStringLiteral(".json");
    const QByteArray json = QJsonDocument(transponder::checkJson(report_)).toJson();

    // Neither is written when either may not be.
    for (const QString& path : {pdfPath, jsonPath}) {
        if (const QString refused = session::SaveTarget::refusal(path); !refused.isEmpty()) {
            stateLabel_->setText(QStringLiteral("Cannot save the report to \"%1\": %2.").arg(path, refused));
            return false;
        }
    }
    for (const QString& path : {pdfPath, jsonPath}) {
        const QString failed = session::SaveTarget::save(path, [&](QIODevice& file) {
            if (path == jsonPath) return file.write(json) == json.size();
            writePdf(file);
            return true;
        });
        if (!failed.isEmpty()) {
            stateLabel_->setText(QStringLiteral("Cannot save the report to \"%1\": %2.").arg(path, failed));
            return false;
        }
    }
    stateLabel_->setText(QStringLiteral("Report saved to %1 and %2.").arg(pdfPath, jsonPath));
    return true;
}

void PreflightDialog::writePdf(QIODevice& device) const
{
    QPdfWriter writer(&device);
    writer.setTitle(QStringLiteral("Pre-flight Check"));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
    // Points: the page is laid out in the units its fonts are given in.
    writer.setResolution(72);
    QPainter painter(&writer);
    const int width = painter.viewport().width();
    QFont font(QStringLiteral("Sans Serif"));
    // No ligatures: the page's text is searched and copied letter for letter.
    font.setStyleStrategy(QFont::PreferNoShaping);
    const auto line = [&](int size, bool bold) {
        font.setPointSize(size);
        font.setBold(bold);
        painter.setFont(font);
        return QFontMetrics(font, &writer).lineSpacing();
    };

    int y = line(18, true);
    painter.drawText(0, y, QStringLiteral("Pre-flight Check"));
    y += line(11, false) / 2;
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(
        std::chrono::duration_cast<std::chrono::milliseconds>(report_.time.time_since_epoch()).count());
    const std::pair<QString, QString> fields[] = {
        {QStringLiteral("Aircraft"), QString::fromStdString(report_.aircraft)},
        {QStringLiteral("Operator"), QString::fromStdString(report_.operatorName)},
        {QStringLiteral("Port"), QString::fromStdString(report_.port)},
        {QStringLiteral("Time"), time.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'"))},
        {QStringLiteral("Firmware"), latin1(report_.firmware)},
        {QStringLiteral("Result"), PreflightCheck::passed(report_.results) ? QStringLiteral("PASS") : QStringLiteral("FAIL")},
    };
    for (const auto& [name, value] : fields) {
        y += line(11, true);
        painter.drawText(0, y, name + QLatin1Char(':'));
        line(11, false);
        painter.drawText(90, y, value);
    }

    const int columns[] = {0, width * 3 / 10, width * 6 / 10, width * 17 / 20};
    y += line(11, true) * 2;
    const QStringList headings = {QStringLiteral("Expectation"), QStringLiteral("Expected"), QStringLiteral("Reported"),
                                  QStringLiteral("Result")};
    for (int column = 0; column < ColumnCount; ++column) painter.drawText(columns[column], y, headings[column]);
    const int spacing = line(11, false);
    painter.drawLine(0, y + spacing / 3, width, y + spacing / 3);
    for (const auto& result : report_.results) {
        y += spacing + spacing / 3;
        painter.fillRect(QRect(0, y - spacing + spacing / 4, width, spacing), result.pass ? PassColour : FailColour);
        const QStringList texts = cells(result);
        for (int column = 0; column < ColumnCount; ++column) painter.drawText(columns[column], y, texts[column]);
    }

    // Signed on paper: whoever signs vouches for this aircraft's check.
    y += spacing * 4;
    painter.drawLine(0, y, width * 9 / 20, y);
    painter.drawLine(width * 11 / 20, y, width, y);
    y += spacing;
    painter.drawText(0, y, QStringLiteral("Signature (%1)").arg(QString::fromStdString(report_.operatorName)));
    painter.drawText(width * 11 / 20, y, QStringLiteral("Date"));
}
