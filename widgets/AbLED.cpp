#include "AbLED.h"

#include "AbLEDAccessible.h"

#include "framework/Application.h"

#include <QPainter>

TAbLED::TAbLED(QWidget* parent)
    : TAbBinGControl(parent)
    , led_(std::make_unique<TLED>())
{
    led_->setOnChange([this](QObject*) { RedrawControl(); });
    TAbLEDAccessible::install();
    connect(this, &TAbBinGControl::statusChanged, this, [this] { TAbLEDAccessible::notifyChecked(this); });
    resize(73, 33);
    setCaption(objectName());
}

TAbLED::~TAbLED()
{
    led_.reset();
    StopFlash();
}

void TAbLED::setLED_Position(TLEDPos position)
{
    if (position == position_) return;
    position_ = position;
    RedrawControl();
}

void TAbLED::setSpacing(int spacing)
{
    if (spacing == spacing_) return;
    spacing_ = spacing;
    RedrawControl();
}

void TAbLED::RedrawControl()
{
    update();
}

void TAbLED::DrawLED()
{
    if (isVisible()) repaintLamp(Checked());
}

void TAbLED::DrawLEDPhase(bool state)
{
    if (!painting_ && isVisible()) repaintLamp(state);
}

// Drawing at once means repainting now, not at the next paint cycle: the parent
// fills the lamp's rectangle first (this control has no background of its own),
// then Paint draws the lamp in `state`. Only that rectangle is touched, so the
// caption is left as it is.
void TAbLED::repaintLamp(bool state)
{
    phase_ = state;
    repaint(led_->Bounds().toQRect());
    phase_.reset();
}

void TAbLED::paintEvent(QPaintEvent*)
{
    if (painting_) return;
    painting_ = true;
    fw::invokeHandler([this] {
        QPainter painter(this);
        fw::TCanvas canvas(painter);
        canvas.setFont(font());
        canvas.setFontColor(palette().color(QPalette::WindowText));
        const QString caption = Caption();

        int w = led_->Width();
        int h = led_->Height();
        if (led_->Shape() == sRound) w = h = std::max(w, h);
        canvas.setBrushStyle(fw::TBrushStyle::bsClear);

        const int cx = width() / 2;
        const int cy = height() / 2;
        fw::TRect lamp;
        int x = 0;
        int y = 0;
        int alignment = AbProc::alignLeftMiddle;
        switch (position_) {
        case lpLeft:
            lamp = {0, cy - h / 2, w, cy - h / 2 + h};
            x = w + spacing_;
            y = cy;
            break;
        case lpRight:
            lamp = {width() - w, cy - h / 2, width(), cy - h / 2 + h};
            x = width() - w - spacing_;
            y = cy;
            alignment = AbProc::alignRightMiddle;
            break;
        case lpTop:
            lamp = {cx - w / 2, 0, cx - w / 2 + w, h};
            x = cx;
            y = h + spacing_;
            alignment = AbProc::alignCentreTop;
            break;
        case lpBottom:
            lamp = {cx - w / 2, height() - h, cx - w / 2 + w, height()};
            x = cx;
            y = height() - h - spacing_;
            alignment = AbProc::alignCentreBottom;
            break;
        }
        led_->setBounds(lamp);

        AbProc::DrawCaptionLines(canvas, x, y, caption, alignment, 0);
        canvas.setBrushStyle(fw::TBrushStyle::bsSolid);
        led_->Draw(canvas, phase_.value_or(Checked()));
    });
    painting_ = false;
}
