#include "_GClass.h"

#include "framework/Application.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <algorithm>
#include <optional>

namespace {

// Set while a status word is being handed to a group, for all groups at once:
// the writes it makes must not hand it on again.
bool groupPropagation = false;

class PropagationScope {
public:
    PropagationScope() { groupPropagation = true; }
    ~PropagationScope() { groupPropagation = false; }
    PropagationScope(const PropagationScope&) = delete;
    PropagationScope& operator=(const PropagationScope&) = delete;
};

quint64 nextSerial = 0;

int bitMask(int bit)
{
    return static_cast<int>(1u << bit);
}

// Marks a drag that BeginDrag started; the source is the dragged control.
const QString DraggedControlFormat = QStringLiteral("application/x-uavcontrol-dragged-control");

std::optional<TMouseButton> mouseButton(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton: return mbLeft;
    case Qt::RightButton: return mbRight;
    case Qt::MiddleButton: return mbMiddle;
    default: return std::nullopt;
    }
}

// A drag of a control that BeginDrag started, not something else dragged over.
bool carriesControl(const QDropEvent* event)
{
    return event->mimeData() && event->mimeData()->hasFormat(DraggedControlFormat);
}

TShiftState shiftState(const QMouseEvent* event)
{
    const Qt::KeyboardModifiers keys = event->modifiers();
    const Qt::MouseButtons buttons = event->buttons();
    TShiftState shift = 0;
    if (keys & Qt::ShiftModifier) shift |= ssShift;
    if (keys & Qt::AltModifier) shift |= ssAlt;
    if (keys & Qt::ControlModifier) shift |= ssCtrl;
    if (buttons & Qt::LeftButton) shift |= ssLeft;
    if (buttons & Qt::RightButton) shift |= ssRight;
    if (buttons & Qt::MiddleButton) shift |= ssMiddle;
    return shift;
}

QPoint pointOf(const QMouseEvent* event)
{
    return event->position().toPoint();
}

} // namespace

void TAbPersistent::Changed()
{
    if (onChange_) onChange_(this);
}

void TLED::setShape(TLEDShape shape)
{
    if (shape == shape_) return;
    shape_ = shape;
    Changed();
}

void TLED::setColorOn(TColor color)
{
    if (color == colorOn_) return;
    colorOn_ = color;
    Changed();
}

void TLED::setColorOff(TColor color)
{
    if (color == colorOff_) return;
    colorOff_ = color;
    Changed();
}

void TLED::setWidth(int width)
{
    if (width == width_ || width < MinSize || width > MaxSize) return;
    width_ = width;
    Changed();
}

void TLED::setHeight(int height)
{
    if (height == height_ || height < MinSize || height > MaxSize) return;
    height_ = height;
    Changed();
}

void TLED::Draw(fw::TCanvas& canvas, bool state) const
{
    AbProc::DrawLEDShape(canvas, bounds_, shape_, state ? colorOn_ : colorOff_, clBtnShadow);
}

TAbBinGControl::TAbBinGControl(QWidget* parent)
    : QWidget(parent)
    , serial_(nextSerial++)
{
}

TAbBinGControl::~TAbBinGControl()
{
    StopFlash();
}

void TAbBinGControl::setCaption(const QString& caption)
{
    if (caption == caption_) return;
    caption_ = caption;
    RedrawControl();
}

void TAbBinGControl::setChecked(bool checked)
{
    if (checked == checked_) return;
    checked_ = checked;
    if (checked_ && flashing_)
        StartFlash();
    else
        StopFlash();
    const int mask = bitMask(statusBit_);
    if (checked_)
        setStatusInt(mode_ == mRadioButton ? mask : (statusInt_ | mask));
    else if (mode_ != mRadioButton)
        setStatusInt(statusInt_ & ~mask);
    DrawLED();
    emit statusChanged();
    if (onStatusChanged_) onStatusChanged_(this);
}

void TAbBinGControl::setFlashing(bool flashing)
{
    if (flashing == flashing_) return;
    flashing_ = flashing;
    if (checked_ && flashing_)
        StartFlash();
    else
        StopFlash();
    DrawLED();
    emit statusChanged();
    if (onStatusChanged_) onStatusChanged_(this);
}

void TAbBinGControl::setFrequency(TFlashFreq frequency)
{
    frequency_ = frequency;
    if (checked_ && flashing_) StartFlash();
}

void TAbBinGControl::setStatusInt(int value)
{
    if (value == statusInt_) return;
    statusInt_ = value;
    setChecked((value & bitMask(statusBit_)) != 0);
    StatusIntChanged();
    emit statusIntChanged();
    if (onStatusIntChanged_) onStatusIntChanged_(this);
    if (groupIndex_ == 0 || groupPropagation) return;
    propagateToGroup();
}

void TAbBinGControl::propagateToGroup()
{
    PropagationScope propagating;
    for (TAbBinGControl* control : OwnerComponents()) {
        if (control->groupIndex_ == groupIndex_) control->setStatusInt(statusInt_);
    }
}

void TAbBinGControl::setStatusBit(int bit)
{
    if (bit == statusBit_ || bit < 0 || bit > 31) return;
    statusBit_ = bit;
    setChecked((statusInt_ & bitMask(statusBit_)) != 0);
}

void TAbBinGControl::setGroupIndex(int index)
{
    if (index == groupIndex_ || index < 0) return;
    groupIndex_ = index;
    AdoptGroupStatus();
    GroupIndexChanged();
}

void TAbBinGControl::setMode(TMode mode)
{
    mode_ = mode;
    if (mode_ == mButton)
        setStatusInt(0);
    else if (mode_ == mRadioButton)
        setStatusInt(1);
}

QList<TAbBinGControl*> TAbBinGControl::OwnerComponents() const
{
    if (!parentWidget()) return {};
    QWidget* owner = window();
    QList<TAbBinGControl*> components = owner->findChildren<TAbBinGControl*>();
    components.removeIf([owner](TAbBinGControl* control) { return control->window() != owner; });
    std::sort(components.begin(), components.end(),
              [](const TAbBinGControl* a, const TAbBinGControl* b) { return a->serial_ < b->serial_; });
    return components;
}

void TAbBinGControl::AdoptGroupStatus()
{
    if (groupIndex_ == 0) return;
    for (TAbBinGControl* control : OwnerComponents()) {
        if (control->groupIndex_ != groupIndex_) continue;
        setStatusInt(control->statusInt_);
        return;
    }
}

void TAbBinGControl::StartFlash()
{
    RegisterFlash(this, FlashBit(frequency_));
}

void TAbBinGControl::StopFlash()
{
    UnregisterFlash(this);
}

void TAbBinGControl::mousePressEvent(QMouseEvent* event)
{
    press(event, false);
}

void TAbBinGControl::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && onDblClick_) fw::invokeHandler([this] { onDblClick_(this); });
    press(event, true);
}

void TAbBinGControl::press(QMouseEvent* event, bool secondOfDouble)
{
    const bool left = event->button() == Qt::LeftButton;
    fw::invokeHandler([&] {
        if (left) {
            switch (mode_) {
            case mButton: setChecked(true); break;
            case mSwitch: setChecked(!checked_); break;
            case mRadioButton: setStatusInt(bitMask(statusBit_)); break;
            case mIndicator: break;
            }
        }
        const std::optional<TMouseButton> button = mouseButton(event->button());
        const QPoint at = pointOf(event);
        if (button && onMouseDown_)
            onMouseDown_(this, *button, shiftState(event) | (secondOfDouble ? ssDouble : 0u), at.x(), at.y());
    });
    if (left) clickPending_ = !secondOfDouble;
    QWidget::mousePressEvent(event);
    // Keep the release for ourselves; an indicator lets the press go on to its parent.
    if (left && mode_ != mIndicator) event->accept();
}

void TAbBinGControl::mouseReleaseEvent(QMouseEvent* event)
{
    QWidget::mouseReleaseEvent(event);
    const bool left = event->button() == Qt::LeftButton;
    const QPoint at = pointOf(event);
    const bool click = left && clickPending_ && rect().contains(at);
    if (left) clickPending_ = false;
    fw::invokeHandler([&] {
        const std::optional<TMouseButton> button = mouseButton(event->button());
        if (button && onMouseUp_) onMouseUp_(this, *button, shiftState(event), at.x(), at.y());
        if (left && mode_ != mIndicator) {
            if (mode_ == mButton) setChecked(false);
            DrawLED();
        }
        if (click && onClick_) onClick_(this);
    });
    if (left && mode_ != mIndicator) event->accept();
}

void TAbBinGControl::setOnMouseMove(TMouseMoveEvent handler)
{
    onMouseMove_ = std::move(handler);
    // Without tracking, Qt reports moves only while a button is held.
    setMouseTracking(static_cast<bool>(onMouseMove_));
}

void TAbBinGControl::mouseMoveEvent(QMouseEvent* event)
{
    QWidget::mouseMoveEvent(event);
    const QPoint at = pointOf(event);
    if (onMouseMove_) fw::invokeHandler([&] { onMouseMove_(this, shiftState(event), at.x(), at.y()); });
}

void TAbBinGControl::BeginDrag()
{
    if (onStartDrag_) fw::invokeHandler([this] { onStartDrag_(this); });
    dropTarget_ = nullptr;
    droppedAt_ = {};
    auto* drag = new QDrag(this);
    auto* data = new QMimeData;
    data->setData(DraggedControlFormat, {});
    drag->setMimeData(data);
    const Qt::DropAction action = drag->exec(Qt::MoveAction);
    QObject* target = action == Qt::IgnoreAction ? nullptr : dropTarget_.data();
    const QPoint at = target ? droppedAt_ : QPoint();
    dropTarget_ = nullptr;
    if (onEndDrag_) fw::invokeHandler([&] { onEndDrag_(this, target, at.x(), at.y()); });
}

void TAbBinGControl::setOnDragOver(TDragOverEvent handler)
{
    onDragOver_ = std::move(handler);
    setAcceptDrops(static_cast<bool>(onDragOver_));
}

void TAbBinGControl::dragEnterEvent(QDragEnterEvent* event)
{
    dragOver(event, dsDragEnter);
    // Qt shows no more of the drag to a control that refuses its entry, but
    // OnDragOver is asked again at every move: a drop may be welcome in some
    // places only. Whether it may be dropped is the answer to the move that Qt
    // sends right after the entry.
    if (carriesControl(event) && onDragOver_) event->accept();
}

void TAbBinGControl::dragMoveEvent(QDragMoveEvent* event)
{
    dragOver(event, dsDragMove);
}

void TAbBinGControl::dragOver(QDragMoveEvent* event, TDragState state)
{
    bool accept = false;
    if (carriesControl(event) && onDragOver_) {
        dragAt_ = event->position().toPoint();
        dragSource_ = event->source();
        fw::invokeHandler([&] { onDragOver_(this, event->source(), dragAt_.x(), dragAt_.y(), state, accept); });
    }
    if (accept)
        event->acceptProposedAction();
    else
        event->ignore();
}

void TAbBinGControl::dragLeaveEvent(QDragLeaveEvent* event)
{
    QWidget::dragLeaveEvent(event);
    if (!onDragOver_) return;
    bool accept = false;
    fw::invokeHandler([&] { onDragOver_(this, dragSource_.data(), dragAt_.x(), dragAt_.y(), dsDragLeave, accept); });
    dragSource_ = nullptr;
}

void TAbBinGControl::dropEvent(QDropEvent* event)
{
    if (!carriesControl(event)) {
        event->ignore();
        return;
    }
    const QPoint at = event->position().toPoint();
    if (auto* source = qobject_cast<TAbBinGControl*>(event->source())) {
        source->dropTarget_ = this;
        source->droppedAt_ = at;
    }
    if (onDragDrop_) fw::invokeHandler([&] { onDragDrop_(this, event->source(), at.x(), at.y()); });
    event->acceptProposedAction();
}
