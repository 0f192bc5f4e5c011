// The pre-flight check with Auto on, against a transponder the test plays on
// the panel's line and the panel's virtual clock: it reads a whole sequence,
// and ends failed rather than wait for ever when the line goes silent or no
// sequence comes whole.
#include "PanelFixture.h"

#include "app/PreflightDialog.h"

#include <QAction>
#include <QPlainTextEdit>

namespace {

class PreflightWithAuto : public PanelTest {
protected:
    // Plays the transponder for `ms` of the panel's clock: each query answered
    // at once, unless its letter is one of `silent` ("*": none is answered).
    void play(int ms, const std::string& silent)
    {
        for (int t = 0; t < ms; t += 20) {
            clock.advance(20);
            idle();
            for (char letter : queriesOnTheWire()) {
                if (silent == "*" || silent.find(letter) != std::string::npos) continue;
                reply(std::string(1, letter) + '=' + (letter == 'c' ? "1200" : letter == 's' ? "t" : "1"));
            }
            idle();
        }
    }

    std::string queriesOnTheWire()
    {
        const std::string bytes = wire(0);
        std::string letters;
        for (std::size_t at = bytes.find('\x02'); at != std::string::npos && at + 1 < bytes.size();
             at = bytes.find('\x02', at + 1))
            letters += bytes[at + 1];
        return letters;
    }
};

} // namespace

// One row a transponder: the letters it leaves unanswered, then how the check
// ends, by the panel's clock.
TEST_F(PreflightWithAuto, ACheckReadsAWholeSequenceAndEndsFailedWhenNoneComes)
{
    const struct {
        const char* silent;
        int withinMs;
        const char* state; // the start of the dialog's last word
        bool passed;
    } cases[] = {
        {"", 3000, "Every item passed.", true},
        {"*", 12000, "The transponder did not answer since the watchdog last looked", false},
        {"z", 32000, "No complete sequence came within 30 s", false}, // the watchdog cuts each one short
    };
    connectPort();
    find<QLineEdit>("seqEdit")->setText(QStringLiteral("1"));
    click("autobtn");
    form->findChild<QAction*>(QStringLiteral("mnuPreflight"))->trigger();
    auto* dialog = form->findChild<PreflightDialog*>();
    ASSERT_TRUE(dialog);
    dialog->findChild<QPlainTextEdit*>(QStringLiteral("expectations"))->setPlainText(QStringLiteral("code=1200\nmode=standby"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.silent);
        play(1500, ""); // a healthy line between rows
        dialog->run();
        ASSERT_TRUE(dialog->running());
        int waited = 0;
        for (; dialog->running() && waited < c.withinMs; waited += 100) play(100, c.silent);
        EXPECT_FALSE(dialog->running()) << "still waiting after " << waited << " ms";
        EXPECT_TRUE(dialog->findChild<QLabel*>(QStringLiteral("state"))->text().startsWith(QLatin1String(c.state)))
            << dialog->findChild<QLabel*>(QStringLiteral("state"))->text().toStdString();
        EXPECT_EQ(transponder::PreflightCheck::passed(dialog->results()), c.passed);
        EXPECT_EQ(dialog->results().size(), 2u);
    }
    dialog->hide();
}
