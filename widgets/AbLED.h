#pragma once

#include "_GClass.h"

#include <memory>
#include <optional>

// The status lamp: a small LED shape with a caption beside it.
//
// It paints no background of its own, so its parent shows between lamp and
// caption. State changes and flash phases repaint the lamp's rectangle alone, at
// once; changes of look, placement or caption repaint the whole control.
//
// The properties are listed in the order a stored layout writes them; the LED_*
// ones reach the owned TLED, which a layout cannot address directly.
class TAbLED : public TAbBinGControl {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
    Q_PROPERTY(bool Checked READ Checked WRITE setChecked)
    Q_PROPERTY(bool Flashing READ Flashing WRITE setFlashing)
    Q_PROPERTY(AbFlashT::TFlashFreq Frequency READ Frequency WRITE setFrequency)
    Q_PROPERTY(int StatusInt READ StatusInt WRITE setStatusInt)
    Q_PROPERTY(int StatusBit READ StatusBit WRITE setStatusBit)
    Q_PROPERTY(int GroupIndex READ GroupIndex WRITE setGroupIndex)
    Q_PROPERTY(GClass::TMode Mode READ Mode WRITE setMode)
    Q_PROPERTY(AbProc::TLEDShape LED_Shape READ LED_Shape WRITE setLED_Shape)
    Q_PROPERTY(uint LED_ColorOn READ LED_ColorOn WRITE setLED_ColorOn)
    Q_PROPERTY(uint LED_ColorOff READ LED_ColorOff WRITE setLED_ColorOff)
    Q_PROPERTY(int LED_Width READ LED_Width WRITE setLED_Width)
    Q_PROPERTY(int LED_Height READ LED_Height WRITE setLED_Height)
    Q_PROPERTY(AbProc::TLEDPos LED_Position READ LED_Position WRITE setLED_Position)
    Q_PROPERTY(int Spacing READ Spacing WRITE setSpacing)
public:
    // So that a layout may name the values through this class (TAbLED::sRound).
    using enum AbProc::TLEDShape;
    using enum AbProc::TLEDPos;
    using enum AbFlashT::TFlashFreq;

    explicit TAbLED(QWidget* parent = nullptr);
    ~TAbLED() override;

    TLED& LED() { return *led_; }
    const TLED& LED() const { return *led_; }

    TLEDShape LED_Shape() const { return led_->Shape(); }
    void setLED_Shape(TLEDShape shape) { led_->setShape(shape); }
    uint LED_ColorOn() const { return led_->ColorOn(); }
    void setLED_ColorOn(uint color) { led_->setColorOn(color); }
    uint LED_ColorOff() const { return led_->ColorOff(); }
    void setLED_ColorOff(uint color) { led_->setColorOff(color); }
    int LED_Width() const { return led_->Width(); }
    void setLED_Width(int width) { led_->setWidth(width); }
    int LED_Height() const { return led_->Height(); }
    void setLED_Height(int height) { led_->setHeight(height); }

    TLEDPos LED_Position() const { return position_; }
    void setLED_Position(TLEDPos position);
    // Pixels between lamp and caption.
    int Spacing() const { return spacing_; }
    void setSpacing(int spacing);

    void RedrawControl() override;
    void DrawLED() override;
    void DrawLEDPhase(bool state) override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void repaintLamp(bool state);

    std::unique_ptr<TLED> led_;
    TLEDPos position_ = lpLeft;
    int spacing_ = 5;
    bool painting_ = false;
    // The state the lamp is being repainted in, when that is not Checked.
    std::optional<bool> phase_;
};
