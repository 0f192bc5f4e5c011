#pragma once

#include "AbFlashT.h"
#include "_AbProc.h"
#include "framework/Canvas.h"
#include "framework/Colors.h"
#include "framework/Events.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QWidget>

namespace GClass {
Q_NAMESPACE

// How a lamp answers the left mouse button.
enum TMode : quint8 { mButton, mSwitch, mIndicator, mRadioButton };
Q_ENUM_NS(TMode)

} // namespace GClass

using GClass::TMode;

// A sub-object that a control owns and that tells it when it has changed.
class TAbPersistent : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    const TNotifyEvent& OnChange() const { return onChange_; }
    void setOnChange(TNotifyEvent handler) { onChange_ = std::move(handler); }

    // Calls OnChange with this object as sender.
    virtual void Changed();

private:
    TNotifyEvent onChange_;
};

// The look of a lamp: its shape, its colours on and off, and its size.
class TLED : public TAbPersistent {
    Q_OBJECT
    Q_PROPERTY(AbProc::TLEDShape Shape READ Shape WRITE setShape)
    Q_PROPERTY(uint ColorOn READ ColorOn WRITE setColorOn)
    Q_PROPERTY(uint ColorOff READ ColorOff WRITE setColorOff)
    Q_PROPERTY(int Width READ Width WRITE setWidth)
    Q_PROPERTY(int Height READ Height WRITE setHeight)
public:
    static constexpr int MinSize = 4;
    static constexpr int MaxSize = 80;

    using TAbPersistent::TAbPersistent;

    TLEDShape Shape() const { return shape_; }
    void setShape(TLEDShape shape);
    TColor ColorOn() const { return colorOn_; }
    void setColorOn(TColor color);
    TColor ColorOff() const { return colorOff_; }
    void setColorOff(TColor color);
    // Sizes outside MinSize..MaxSize are ignored.
    int Width() const { return width_; }
    void setWidth(int width);
    int Height() const { return height_; }
    void setHeight(int height);

    // Where the last paint put the lamp, in its control's coordinates.
    const fw::TRect& Bounds() const { return bounds_; }
    void setBounds(const fw::TRect& bounds) { bounds_ = bounds; }

    // Draws the lamp in Bounds, on (ColorOn) or off (ColorOff).
    void Draw(fw::TCanvas& canvas, bool state) const;

private:
    TLEDShape shape_ = AbProc::sRound;
    TColor colorOn_ = clLime;
    TColor colorOff_ = clBtnFace;
    int width_ = 13;
    int height_ = 13;
    fw::TRect bounds_;
};

// A two-state control: Checked, optionally flashing while on, reacting to the
// left mouse button according to its Mode, and sharing one status word with the
// other controls of its group.
//
// Groups: the scope of a group is the control's owner, the top-level window it
// belongs to. The owner's components are all TAbBinGControls in that window (its
// descendants whose window() it is, dialogs of their own excluded), in the order
// in which they were created. A control without a parent widget has no owner and
// so no group peers.
class TAbBinGControl : public QWidget {
    Q_OBJECT
public:
    using enum GClass::TMode;

    explicit TAbBinGControl(QWidget* parent = nullptr);
    ~TAbBinGControl() override;

    QString Caption() const { return caption_; }
    void setCaption(const QString& caption);

    bool Checked() const { return checked_; }
    void setChecked(bool checked);
    bool Flashing() const { return flashing_; }
    void setFlashing(bool flashing);
    TFlashFreq Frequency() const { return frequency_; }
    void setFrequency(TFlashFreq frequency);
    // The status word; the control shows bit StatusBit of it.
    int StatusInt() const { return statusInt_; }
    void setStatusInt(int value);
    // 0..31; other values are ignored.
    int StatusBit() const { return statusBit_; }
    void setStatusBit(int bit);
    // 0 for none; negative values are ignored.
    int GroupIndex() const { return groupIndex_; }
    void setGroupIndex(int index);
    TMode Mode() const { return mode_; }
    void setMode(TMode mode);

    // After Checked or Flashing changed.
    void setOnStatusChanged(TNotifyEvent handler) { onStatusChanged_ = std::move(handler); }
    // After StatusInt changed.
    void setOnStatusIntChanged(TNotifyEvent handler) { onStatusIntChanged_ = std::move(handler); }

    // The mouse, as the framework reports it for any control. A press runs the
    // mode's action first, then OnMouseDown. A release fires OnMouseUp, runs the
    // mode's action, then fires OnClick if it was the left button and the
    // release is inside the control. A double click arrives as press, release,
    // OnDblClick, press, release; its second press starts no click of its own.
    void setOnClick(TNotifyEvent handler) { onClick_ = std::move(handler); }
    void setOnDblClick(TNotifyEvent handler) { onDblClick_ = std::move(handler); }
    void setOnMouseDown(TMouseEvent handler) { onMouseDown_ = std::move(handler); }
    void setOnMouseUp(TMouseEvent handler) { onMouseUp_ = std::move(handler); }
    // Moves are reported, with or without a button held, while a handler is set.
    void setOnMouseMove(TMouseMoveEvent handler);

    // Dragging. The drag mode is manual: only BeginDrag starts a drag of the
    // control. Other controls see it pass over them through OnDragOver, which
    // decides whether it may be dropped there, and receive it through OnDragDrop.
    void setOnStartDrag(TNotifyEvent handler) { onStartDrag_ = std::move(handler); }
    // A control takes drops while it has a handler here.
    void setOnDragOver(TDragOverEvent handler);
    void setOnDragDrop(TDragDropEvent handler) { onDragDrop_ = std::move(handler); }
    void setOnEndDrag(TEndDragEvent handler) { onEndDrag_ = std::move(handler); }
    // Fires OnStartDrag, drags the control until the button is released, then
    // fires OnEndDrag with the control that took the drop, or none. Returns when
    // the drag has ended.
    void BeginDrag();

    // The owner's components, in creation order (see the class comment).
    QList<TAbBinGControl*> OwnerComponents() const;

    // Repaints the whole control.
    virtual void RedrawControl() {}
    // Draws the lamp alone in its Checked state, at once.
    virtual void DrawLED() {}
    // Draws the lamp alone on (state true) or off, at once: the flash clock's
    // phase delivery.
    virtual void DrawLEDPhase(bool state) { Q_UNUSED(state); }

signals:
    void statusChanged();
    void statusIntChanged();

protected:
    virtual void GroupIndexChanged() {}
    virtual void StatusIntChanged() {}

    void StartFlash();
    void StopFlash();
    void AdoptGroupStatus();

    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void propagateToGroup();
    void press(QMouseEvent* event, bool secondOfDouble);
    void dragOver(QDragMoveEvent* event, TDragState state);

    QString caption_;
    bool checked_ = false;
    TFlashFreq frequency_ = AbFlashT::ff1Hz;
    bool flashing_ = false;
    int statusInt_ = 0;
    int statusBit_ = 0;
    int groupIndex_ = 0;
    TMode mode_ = mIndicator;
    TNotifyEvent onStatusChanged_;
    TNotifyEvent onStatusIntChanged_;
    TNotifyEvent onClick_;
    TNotifyEvent onDblClick_;
    TMouseEvent onMouseDown_;
    TMouseEvent onMouseUp_;
    TMouseMoveEvent onMouseMove_;
    TNotifyEvent onStartDrag_;
    TDragOverEvent onDragOver_;
    TDragDropEvent onDragDrop_;
    TEndDragEvent onEndDrag_;
    // A left press that a release inside the control makes a click.
    bool clickPending_ = false;
    // Where a drag was last seen over this control and what it carried, for its leaving.
    QPoint dragAt_;
    QPointer<QObject> dragSource_;
    // Set by the control that takes this control's drop, during BeginDrag.
    QPointer<QObject> dropTarget_;
    QPoint droppedAt_;
    // Creation order among all controls of the process.
    quint64 serial_;
};
