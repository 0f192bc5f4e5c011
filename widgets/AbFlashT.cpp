#include "AbFlashT.h"

#include "_GClass.h"
#include "framework/MessageBoxes.h"

#include <QCoreApplication>

namespace {

std::vector<TFlashRegistration>& registrations()
{
    static std::vector<TFlashRegistration> list;
    return list;
}

std::uint32_t counter = 0;
TAbFlashTimer* applicationTimer = nullptr;

bool applicationClosing()
{
    return !QCoreApplication::instance() || QCoreApplication::closingDown();
}

// Runs when the application object goes: the clock's worker must end while
// there still is an application to hand its ticks to.
void shutDownFlashService()
{
    FreeFlashTimer();
    registrations().clear();
}

} // namespace

int FlashBit(TFlashFreq frequency)
{
    return 2 + static_cast<int>(frequency);
}

std::uint16_t TAbFlashTimer::instanceCount_ = 0;

TAbFlashTimer::TAbFlashTimer(QObject* owner)
    : TAbFlash(owner)
{
    ++instanceCount_;
    if (instanceCount_ == 1) {
        setOnTick(&TAbFlashTimer::FlashTick);
        return;
    }
    fw::MessageBox(QStringLiteral("Only one TAbFlashTimer per Application!\rRemove it..."), QStringLiteral("Error Message"),
                   fw::MsgButtons::Ok, fw::MsgIcon::None);
}

TAbFlashTimer::~TAbFlashTimer()
{
    --instanceCount_;
}

void TAbFlashTimer::FlashTick(QObject*)
{
    ++counter;
    auto& list = registrations();
    // A control's answer may change the list; registrations it removed are not
    // visited, those it added wait for the next tick.
    const std::size_t count = list.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (applicationClosing() || i >= list.size()) break;
        // One control's failure must not stop the others from flashing.
        try {
            TFlashRegistration& registration = list[i];
            const bool phase = ((counter >> registration.Bit) & 1u) != 0;
            if (registration.LastPhase == phase) continue;
            registration.LastPhase = phase;
            registration.Control->DrawLEDPhase(phase);
        } catch (...) {
        }
    }
}

void RegisterFlash(TAbBinGControl* control, int bit)
{
    if (!control) return;
    auto& list = registrations();
    bool found = false;
    for (TFlashRegistration& registration : list) {
        if (registration.Control != control) continue;
        registration.Bit = bit;
        found = true;
    }
    if (!found) list.push_back({control, bit, std::nullopt});
    if (list.capacity() - list.size() < 2) list.reserve(list.size() + 10);
    if (!list.empty()) EnsureFlashTimer();
}

void UnregisterFlash(TAbBinGControl* control)
{
    auto& list = registrations();
    const auto it = std::find_if(list.begin(), list.end(), [&](const TFlashRegistration& r) { return r.Control == control; });
    if (it != list.end()) list.erase(it);
    if (applicationClosing() && list.empty()) FreeFlashTimer();
}

void EnsureFlashTimer()
{
    if (applicationTimer) return;
    applicationTimer = new TAbFlashTimer(nullptr);
    qAddPostRoutine(shutDownFlashService);
}

void FreeFlashTimer()
{
    if (!applicationTimer) return;
    qRemovePostRoutine(shutDownFlashService);
    delete std::exchange(applicationTimer, nullptr);
}

TAbFlashTimer* FlashTimer()
{
    return applicationTimer;
}

const std::vector<TFlashRegistration>& FlashList()
{
    return registrations();
}

std::uint32_t FlashCounter()
{
    return counter;
}

void SetFlashCounter(std::uint32_t value)
{
    counter = value;
}
