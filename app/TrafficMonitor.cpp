#include "app/TrafficMonitor.h"

#include "app/SaveDialog.h"
#include "framework/Application.h"
#include "framework/MessageBoxes.h"
#include "session/SaveTarget.h"
#include "session/TrafficModel.h"
#include "transponder/MessageSet.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QHeaderView>
#include <QTableView>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

using session::TrafficDirection;

TrafficMonitor::TrafficMonitor(session::MonitorLines& model, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , model_(model)
    , live_(qobject_cast<session::TrafficModel*>(&model))
    , list_(new QTableView(this))
    , pause_(new QPushButton(QStringLiteral("&Pause"), this))
    , direction_(new QComboBox(this))
    , letter_(new QComboBox(this))
{
    setObjectName(QStringLiteral("TrafficMonitor"));
    setWindowTitle(QStringLiteral("Traffic Monitor"));
    resize(760, 480);

    pause_->setObjectName(QStringLiteral("monitorPause"));
    pause_->setCheckable(true);
    auto* clear = new QPushButton(QStringLiteral("C&lear"), this);
    clear->setObjectName(QStringLiteral("monitorClear"));
    auto* copy = new QPushButton(QStringLiteral("&Copy"), this);
    copy->setObjectName(QStringLiteral("monitorCopy"));
    auto* save = new QPushButton(QStringLiteral("&Save..."), this);
    save->setObjectName(QStringLiteral("monitorSave"));

    direction_->setObjectName(QStringLiteral("monitorDirection"));
    direction_->addItem(QStringLiteral("All directions"));
    direction_->addItem(QStringLiteral("Sent (out)"), static_cast<int>(TrafficDirection::Sent));
    direction_->addItem(QStringLiteral("Received (in)"), static_cast<int>(TrafficDirection::Received));
    direction_->addItem(QStringLiteral("Noise"), static_cast<int>(TrafficDirection::Noise));
    letter_->setObjectName(QStringLiteral("monitorLetter"));
    letter_->addItem(QStringLiteral("All letters"));
    std::string letters(transponder::MessageSet::SequenceLetters.begin(), transponder::MessageSet::SequenceLetters.end());
    letters += {transponder::MessageSet::Ping, transponder::MessageSet::InterrogationReport};
    std::sort(letters.begin(), letters.end());
    for (char l : letters) letter_->addItem(QString(QLatin1Char(l)), QString(QLatin1Char(l)));

    // A table whose rows all have the one height: a hundred thousand of them
    // cost it nothing when lines come and go, where a list lays them all out
    // again each time.
    list_->setObjectName(QStringLiteral("monitorLines"));
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setShowGrid(false);
    list_->setWordWrap(false);
    list_->verticalHeader()->hide();
    list_->horizontalHeader()->setStretchLastSection(true);
    list_->horizontalHeader()->setHighlightSections(false);
    // The columns line up only in a fixed-pitch face. The desktop's own fixed
    // font where there is one; otherwise any fixed-pitch face installed.
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (!QFontInfo(fixed).fixedPitch()) {
        fixed.setFamilies({QStringLiteral("monospace"), QStringLiteral("Liberation Mono"), QStringLiteral("DejaVu Sans Mono")});
        fixed.setStyleHint(QFont::TypeWriter);
        fixed.setFixedPitch(true);
    }
    list_->setFont(fixed);
    list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list_->verticalHeader()->setDefaultSectionSize(QFontMetrics(fixed).height() + 2);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto* copyAction = new QAction(QStringLiteral("Copy"), list_);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetShortcut);
    list_->addAction(copyAction);

    auto* bar = new QHBoxLayout;
    bar->addWidget(pause_);
    bar->addWidget(clear);
    bar->addSpacing(12);
    bar->addWidget(new QLabel(QStringLiteral("Show:"), this));
    bar->addWidget(direction_);
    bar->addWidget(letter_);
    bar->addStretch();
    bar->addWidget(copy);
    bar->addWidget(save);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(list_);

    if (live_) {
        connect(pause_, &QPushButton::toggled, this, [this](bool paused) {
            live_->setPaused(paused);
            pause_->setText(paused ? QStringLiteral("&Resume") : QStringLiteral("&Pause"));
        });
        connect(clear, &QPushButton::clicked, this, [this] { live_->clear(); });
    } else {
        pause_->hide();
        clear->hide();
    }
    connect(copy, &QPushButton::clicked, this, &TrafficMonitor::copySelection);
    connect(copyAction, &QAction::triggered, this, &TrafficMonitor::copySelection);
    connect(save, &QPushButton::clicked, this, &TrafficMonitor::saveAs);
    connect(direction_, &QComboBox::currentIndexChanged, this, &TrafficMonitor::applyFilter);
    connect(letter_, &QComboBox::currentIndexChanged, this, &TrafficMonitor::applyFilter);

    // New lines scroll into view only while the view is at its bottom: an
    // operator who scrolled up to read keeps the place.
}

// A closed monitor follows nothing: the lines are kept by the model, and the
// view takes them up again when the window opens.
void TrafficMonitor::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (list_->model() == &model_) return;
    setModelOfView(&model_);
    if (live_) {
        // New lines scroll into view only while the view is at its bottom: an
        // operator who scrolled up to read keeps the place.
        connect(&model_, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
            const QScrollBar* bar = list_->verticalScrollBar();
            atBottom_ = bar->value() == bar->maximum();
        });
        connect(&model_, &QAbstractItemModel::rowsInserted, this, &TrafficMonitor::followNewLines);
        connect(&model_, &QAbstractItemModel::modelReset, list_, &QTableView::scrollToBottom);
        list_->scrollToBottom();
    }
    if (sized_) return;
    sized_ = true;
    // Time, direction and frame as wide as they need; the meaning takes the rest.
    const QFontMetrics metrics(list_->font());
    list_->setColumnWidth(session::MonitorLines::Time, metrics.horizontalAdvance(QStringLiteral("00:00:00.000  ")));
    list_->setColumnWidth(session::MonitorLines::Direction, metrics.horizontalAdvance(QStringLiteral("noise  ")));
    list_->setColumnWidth(session::MonitorLines::Frame,
                          metrics.horizontalAdvance(QStringLiteral("<STX>c=123456<ETX>  ")));
}

void TrafficMonitor::addBar(QWidget* bar)
{
    static_cast<QVBoxLayout*>(layout())->insertWidget(1, bar);
}

void TrafficMonitor::showRow(int row)
{
    if (list_->model() != &model_ || row < 0 || row >= model_.rowCount()) return;
    const QModelIndex index = model_.index(row, 0);
    list_->scrollTo(index, QAbstractItemView::PositionAtTop);
    list_->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    list_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
}

void TrafficMonitor::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    disconnect(&model_, nullptr, this, nullptr);
    disconnect(&model_, nullptr, list_, nullptr);
    setModelOfView(nullptr);
}

// A view keeps its old selection model when it gets a new model: it goes here.
void TrafficMonitor::setModelOfView(QAbstractItemModel* model)
{
    QItemSelectionModel* old = list_->selectionModel();
    list_->setModel(model);
    delete old;
}

void TrafficMonitor::applyFilter()
{
    std::optional<TrafficDirection> direction;
    if (const QVariant d = direction_->currentData(); d.isValid()) direction = static_cast<TrafficDirection>(d.toInt());
    std::optional<char> letter;
    if (const QVariant l = letter_->currentData(); l.isValid()) letter = l.toString().at(0).toLatin1();
    model_.setFilter(direction, letter);
}

void TrafficMonitor::followNewLines()
{
    if (atBottom_) list_->scrollToBottom();
}

QString TrafficMonitor::selectedText() const
{
    if (list_->model() != &model_) return {};
    QModelIndexList rows = list_->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList lines;
    for (const QModelIndex& row : rows) lines << model_.rowText(row.row());
    return lines.join(QLatin1Char('\n'));
}

void TrafficMonitor::copySelection()
{
    const QString text = selectedText();
    if (!text.isEmpty()) QApplication::clipboard()->setText(text + QLatin1Char('\n'));
}

bool TrafficMonitor::saveShownLines(const QString& path)
{
    const QString failure = session::SaveTarget::save(path, [this](QIODevice& file) {
        for (int row = 0; row < model_.rowCount(); ++row) file.write((model_.rowText(row) + QLatin1Char('\n')).toUtf8());
        return true;
    });
    if (failure.isEmpty()) return true;
    fw::MessageBox(QStringLiteral("Cannot save the lines to \"%1\": %2.").arg(path, failure),
                   fw::Application::instance().title(), fw::MsgButtons::Ok, fw::MsgIcon::Error);
    return false;
}

void TrafficMonitor::saveAs()
{
    SaveDialog dialog(this, QStringLiteral("traffic"), QStringLiteral("Save Shown Lines"), QStringLiteral("traffic.txt"),
                      QStringLiteral("Text files (*.txt);;All files (*)"));
    if (const QString path = dialog.choose(); !path.isEmpty()) saveShownLines(path);
}
