// Ten lamps flashing at 8 Hz for five seconds on the real flash clock: the CPU it
// takes, and how much of each lamp a phase change repaints.
#include "widgets/AbFlashT.h"
#include "widgets/AbLED.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPaintEvent>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <vector>

#include <sys/resource.h>

using namespace AbFlashT;
using namespace AbProc;
using namespace GClass;

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Counts phase changes and what each repaint of the lamp covers.
class MeasuredLamp : public TAbLED {
public:
    using TAbLED::TAbLED;

    long phases = 0;
    long paints = 0;
    long long paintedArea = 0;
    long paintsBeyondLamp = 0;

    void DrawLEDPhase(bool state) override
    {
        ++phases;
        TAbLED::DrawLEDPhase(state);
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        ++paints;
        for (const QRect& r : event->region()) paintedArea += static_cast<long long>(r.width()) * r.height();
        if (!(event->region() - LED().Bounds().toQRect()).isEmpty()) ++paintsBeyondLamp;
        TAbLED::paintEvent(event);
    }
};

// Runs the event loop for `ms` and returns the CPU seconds it used.
double run(int ms)
{
    const double before = cpuSeconds();
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    return cpuSeconds() - before;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    constexpr int lampCount = 10;
    constexpr int seconds = 5;
    QWidget window;
    window.resize(200, 40 * lampCount);
    std::vector<MeasuredLamp*> lamps;
    for (int i = 0; i < lampCount; ++i) {
        auto* lamp = new MeasuredLamp(&window);
        lamp->move(4, 40 * i);
        lamp->setCaption(QStringLiteral("Lamp %1|flashing").arg(i + 1));
        lamps.push_back(lamp);
    }
    window.show();
    run(300); // first paint
    const double idleCpu = run(2000) / 2.0;

    for (MeasuredLamp* lamp : lamps) {
        lamp->setFrequency(ff8Hz);
        lamp->setFlashing(true);
        lamp->setChecked(true);
    }
    run(50); // the clock starts and the lamps settle
    for (MeasuredLamp* lamp : lamps) lamp->paints = lamp->phases = lamp->paintedArea = lamp->paintsBeyondLamp = 0;

    const std::uint32_t counterBefore = FlashCounter();
    QElapsedTimer wall;
    wall.start();
    const double cpu = run(seconds * 1000);
    const double elapsed = static_cast<double>(wall.elapsed()) / 1000.0;
    const std::uint32_t ticks = FlashCounter() - counterBefore;

    long phases = 0, paints = 0, beyond = 0;
    long long area = 0;
    for (const MeasuredLamp* lamp : lamps) {
        phases += lamp->phases;
        paints += lamp->paints;
        beyond += lamp->paintsBeyondLamp;
        area += lamp->paintedArea;
    }
    const fw::TRect bounds = lamps[0]->LED().Bounds();

    std::printf("lamps flashing at ff8Hz        %d\n", lampCount);
    std::printf("measured                       %.2f s\n", elapsed);
    std::printf("ticks                          %u (%.2f ms each, nominal 16)\n", ticks, 1000.0 * elapsed / ticks);
    std::printf("phase changes                  %ld (%.2f on-off cycles per lamp per second, nominal 7.8)\n", phases,
                static_cast<double>(phases) / 2 / lampCount / elapsed);
    std::printf("CPU, lamps flashing            %.3f s = %.2f %% of one core\n", cpu, 100.0 * cpu / elapsed);
    std::printf("CPU, same window not flashing  %.2f %% of one core\n", 100.0 * idleCpu);
    std::printf("CPU per phase change           %.1f us\n", 1e6 * cpu / static_cast<double>(phases));
    std::printf("lamp paints                    %ld\n", paints);
    std::printf("area repainted per change      %.1f px (lamp %d x %d = %d px, control %d x %d = %d px)\n",
                static_cast<double>(area) / static_cast<double>(phases), bounds.width(), bounds.height(),
                bounds.width() * bounds.height(), lamps[0]->width(), lamps[0]->height(),
                lamps[0]->width() * lamps[0]->height());
    std::printf("repaints reaching the caption  %ld\n", beyond);

    for (MeasuredLamp* lamp : lamps) lamp->setChecked(false);
    return 0;
}
