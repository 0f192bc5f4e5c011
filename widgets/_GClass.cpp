#include "_GClass.h"

#include "framework/Application.h"

#include <QMouseEvent>
#include <algorithm>

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
    const bool left = event->button() == Qt::LeftButton;
    if (left) {
        fw::invokeHandler([&] {
            switch (mode_) {
            case mButton: setChecked(true); break;
            case mSwitch: setChecked(!checked_); break;
            case mRadioButton: setStatusInt(bitMask(statusBit_)); break;
            case mIndicator: break;
            }
        });
    }
    QWidget::mousePressEvent(event);
    // Keep the release for ourselves; an indicator lets the press go on to its parent.
    if (left && mode_ != mIndicator) event->accept();
}

void TAbBinGControl::mouseReleaseEvent(QMouseEvent* event)
{
    QWidget::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || mode_ == mIndicator) return;
    fw::invokeHandler([&] {
        if (mode_ == mButton) setChecked(false);
        DrawLED();
    });
    event->accept();
}
