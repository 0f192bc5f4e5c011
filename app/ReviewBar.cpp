#include "app/ReviewBar.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

ReviewBar::ReviewBar(QWidget* parent)
    : QWidget(parent)
    , sessions_(new QComboBox(this))
    , slider_(new QSlider(Qt::Horizontal, this))
    , time_(new QDateTimeEdit(this))
    , indexing_(new QWidget(this))
    , progress_(new QProgressBar(indexing_))
    , cancel_(new QPushButton(QStringLiteral("Cancel"), indexing_))
    , note_(new QLabel(this))
{
    setObjectName(QStringLiteral("reviewBar"));
    sessions_->setObjectName(QStringLiteral("reviewSession"));
    sessions_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    slider_->setObjectName(QStringLiteral("reviewSlider"));
    slider_->setRange(0, 0);
    time_->setObjectName(QStringLiteral("reviewTime"));
    time_->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    auto* go = new QPushButton(QStringLiteral("&Go"), this);
    go->setObjectName(QStringLiteral("reviewGo"));
    progress_->setObjectName(QStringLiteral("reviewProgress"));
    progress_->setRange(0, 1000);
    cancel_->setObjectName(QStringLiteral("reviewCancel"));
    note_->setObjectName(QStringLiteral("reviewNote"));
    note_->setWordWrap(true);
    note_->hide();

    auto* moment = new QHBoxLayout;
    moment->setContentsMargins(0, 0, 0, 0);
    moment->addWidget(new QLabel(QStringLiteral("Session:"), this));
    moment->addWidget(sessions_);
    moment->addSpacing(12);
    moment->addWidget(new QLabel(QStringLiteral("Go to time:"), this));
    moment->addWidget(time_);
    moment->addWidget(go);
    moment->addStretch();
    auto* trends = new QPushButton(QStringLiteral("&Trends"), this);
    trends->setObjectName(QStringLiteral("reviewTrends"));
    moment->addWidget(trends);
    auto* sliding = new QHBoxLayout;
    sliding->setContentsMargins(0, 0, 0, 0);
    sliding->addWidget(new QLabel(QStringLiteral("Time:"), this));
    sliding->addWidget(slider_, 1);
    auto* indexing = new QHBoxLayout(indexing_);
    indexing->setContentsMargins(0, 0, 0, 0);
    indexing->addWidget(new QLabel(QStringLiteral("Reading the recording:"), indexing_));
    indexing->addWidget(progress_, 1);
    indexing->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(moment);
    layout->addLayout(sliding);
    layout->addWidget(indexing_);
    layout->addWidget(note_);

    connect(sessions_, &QComboBox::currentIndexChanged, this,
            [this](int row) { emit sessionChosen(row < 0 ? -1 : sessions_->itemData(row).toInt()); });
    connect(slider_, &QSlider::valueChanged, this,
            [this](int seconds) { emit momentChosen(firstMs_ + static_cast<qint64>(seconds) * 1000); });
    // The field shows whole seconds: what it holds below them is not the
    // operator's.
    const auto typed = [this] { emit momentChosen(time_->dateTime().toMSecsSinceEpoch() / 1000 * 1000); };
    connect(go, &QPushButton::clicked, this, typed);
    connect(time_, &QDateTimeEdit::editingFinished, this, typed);
    connect(cancel_, &QPushButton::clicked, this, &ReviewBar::cancelRequested);
    connect(trends, &QPushButton::clicked, this, &ReviewBar::trendsRequested);
}

void ReviewBar::addSession(int number, const QString& text)
{
    sessions_->addItem(text, number);
}

void ReviewBar::showSession(int number)
{
    sessions_->setCurrentIndex(sessions_->findData(number));
}

void ReviewBar::setSpan(qint64 firstMs, qint64 lastMs)
{
    const QSignalBlocker blockSlider(slider_);
    const QSignalBlocker blockTime(time_);
    firstMs_ = firstMs;
    const int seconds = static_cast<int>(std::max<qint64>(0, (lastMs - firstMs) / 1000));
    slider_->setRange(0, seconds);
    // A page is a twentieth of the session, a step a tenth of that.
    slider_->setPageStep(std::max(1, seconds / 20));
    slider_->setSingleStep(std::max(1, seconds / 200));
    time_->setDateTimeRange(QDateTime::fromMSecsSinceEpoch(firstMs), QDateTime::fromMSecsSinceEpoch(lastMs));
}

void ReviewBar::showMoment(qint64 ms)
{
    const QSignalBlocker blockSlider(slider_);
    const QSignalBlocker blockTime(time_);
    slider_->setValue(static_cast<int>((ms - firstMs_) / 1000));
    time_->setDateTime(QDateTime::fromMSecsSinceEpoch(ms));
}

void ReviewBar::setProgress(qint64 done, qint64 total)
{
    progress_->setValue(total > 0 ? static_cast<int>(done * 1000 / total) : 1000);
}

void ReviewBar::indexed()
{
    indexing_->hide();
}

void ReviewBar::setNote(const QString& text)
{
    note_->setText(text);
    note_->setVisible(!text.isEmpty());
}

QString ReviewBar::note() const
{
    return note_->text();
}
