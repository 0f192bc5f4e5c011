#pragma once

#include "_AbFlash.h"

#include <QObject>
#include <cstdint>
#include <optional>
#include <vector>

class TAbBinGControl;

// The application's flash clock: one counter, advanced every tick, whose bits
// give the phases of all flashing lamps, so lamps of one frequency blink in step
// and a faster lamp changes at every change of a slower one.
namespace AbFlashT {
Q_NAMESPACE

// Fastest first; each selects a bit of the flash counter (FlashBit).
enum TFlashFreq : quint8 { ff8Hz, ff4Hz, ff2Hz, ff1Hz, ff05Hz };
Q_ENUM_NS(TFlashFreq)

} // namespace AbFlashT

using AbFlashT::TFlashFreq;

// The counter bit of a frequency: 2 for ff8Hz up to 6 for ff05Hz. With bit b the
// phase changes every 2^b ticks.
int FlashBit(TFlashFreq frequency);

// The flash clock of the application. Only the first live instance ticks; a
// further one says so in a message box and stays inert.
class TAbFlashTimer : public TAbFlash {
    Q_OBJECT
public:
    explicit TAbFlashTimer(QObject* owner = nullptr);
    ~TAbFlashTimer() override;

    static unsigned InstanceCount() { return instanceCount_; }

    // One tick: advances the counter and hands each registered control whose
    // bit of it changed its new phase.
    static void FlashTick(QObject* Sender);

private:
    static std::uint16_t instanceCount_;
};

// A flashing control, the counter bit it follows and the phase it was last given
// (none before its first).
struct TFlashRegistration {
    TAbBinGControl* Control;
    int Bit;
    std::optional<bool> LastPhase;
};

// Window thread only. Registers the control at `bit` (or moves its registration
// there) and makes sure the clock exists.
void RegisterFlash(TAbBinGControl* control, int bit);
// Removes the control's registration, if any.
void UnregisterFlash(TAbBinGControl* control);
// Creates the application's flash clock unless it exists. It is freed when the
// application object goes.
void EnsureFlashTimer();
void FreeFlashTimer();
// The application's flash clock, or nullptr before the first lamp flashed.
TAbFlashTimer* FlashTimer();

const std::vector<TFlashRegistration>& FlashList();

// The tick count, wrapping from 4294967295 to 0. Setting it lets the clock
// start from any value.
std::uint32_t FlashCounter();
void SetFlashCounter(std::uint32_t value);
