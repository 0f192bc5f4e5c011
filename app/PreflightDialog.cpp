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
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

namespace MessageSet = transponder::MessageSet;
using Clock = transponder::QueryRound::Clock;
using transponder::PreflightCheck;

// As long as xpdrctl waits for each answer by default.
constexpr std::chrono::milliseconds AnswerTimeout{300};

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

// The cells of one item, as the table and the report show them.
QStringList cells(const PreflightCheck::Result& result)
{
    return {latin1(result.expectation.text), latin1(result.expectation.expected),
            result.reported ? latin1(*result.reported) : QStringLiteral("unanswered"),
            latin1(std::string(transponder::resultWord(result)))};
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
        if (state_ == State::WaitingForPing) finish(reported_);
        else pump();
    });
}

void PreflightDialog::loadExpectations()
{
    if (running()) return;
    expectations_->setPlainText(panelSettings().value(settingsKey(panel_.comNumber())).toString());
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
    panelSettings().setValue(settingsKey(panel_.comNumber()), expectations_->toPlainText());
    check_ = std::move(check);
    report_ = {};
    report_.port = "COM" + std::to_string(panel_.comNumber());
    report_.time = std::chrono::system_clock::now();
    reported_.clear();
    table_->setRowCount(0);
    save_->setEnabled(false);
    run_->setEnabled(false);
    if (panel_.autoOn()) {
        state_ = State::WaitingForSequence;
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
        finish(round_->record(report_.time).raw);
        return;
    }
    if (const auto frame = round_->due(Clock::now())) panel_.send(*frame);
    if (round_->finished()) {
        finish(round_->record(report_.time).raw);
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
        if (const auto reply = transponder::parseReply(message)) {
            reported_[reply->letter] = reply->value;
            if (state_ == State::WaitingForPing && reply->letter == MessageSet::Ping) finish(reported_);
        }
        break;
    default:
        break;
    }
}

void PreflightDialog::sequenceStarted()
{
    // A sequence that the watchdog cut short is read again from the next start.
    if (state_ != State::WaitingForSequence && state_ != State::ReadingSequence) return;
    reported_.clear();
    state_ = State::ReadingSequence;
}

void PreflightDialog::sequenceCompleted()
{
    if (state_ != State::ReadingSequence) return;
    if (!check_.wantsPing()) {
        finish(reported_);
        return;
    }
    reported_.erase(MessageSet::Ping);
    state_ = State::WaitingForPing;
    // The sequence's last query goes out when this returns; the ping follows it.
    QTimer::singleShot(0, this, [this] {
        if (state_ != State::WaitingForPing) return;
        panel_.firePing();
        wake_.start(static_cast<int>(AnswerTimeout.count()));
    });
}

void PreflightDialog::finish(const std::map<char, std::string>& reported)
{
    wake_.stop();
    state_ = State::Idle;
    round_.reset();
    report_.results = check_.evaluate(reported);
    const auto firmware = reported.find(MessageSet::FirmwareVersion);
    report_.firmware = firmware == reported.end() ? std::string() : firmware->second;
    showResults();
    run_->setEnabled(true);
    save_->setEnabled(true);
}

void PreflightDialog::showResults()
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
    stateLabel_->setText(PreflightCheck::passed(report_.results) ? QStringLiteral("Every item passed.")
                                                                 : QStringLiteral("The check failed."));
}

void PreflightDialog::askWhereToSave()
{
    // Opened, not run: the panel goes on polling while the operator chooses.
    auto* chooser = new SaveDialog(this, QStringLiteral("report"), QStringLiteral("Save Report"),
                                   QStringLiteral("preflight.pdf"), QStringLiteral("PDF files (*.pdf)"),
                                   QStringLiteral("pdf"));
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    connect(chooser, &QFileDialog::fileSelected, this, &PreflightDialog::saveReport);
    chooser->open();
}

bool PreflightDialog::saveReport(const QString& pdfPath)
{
    report_.aircraft = aircraft_->text().toStdString();
    report_.operatorName = operator_->text().toStdString();
    const QFileInfo pdf(pdfPath);
    const QString jsonPath = pdf.dir().filePath(pdf.completeBaseName() + QStringLiteral(".json"));
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
}
