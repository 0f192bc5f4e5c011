#include "PanelFixture.h"

#include "app/PanelApplication.h"
#include "framework/QtMessageBoxes.h"
#include "framework/RadioGroup.h"

#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QStyle>
#include <QHelpEvent>
#include <QMessageBox>
#include <QTimer>
#include <QTextDocument>
#include <QToolTip>

#include <functional>

using ValueDisplay = PanelTest;

namespace {

// The value labels of the status display, each with the caption of its row.
const std::pair<const char*, const char*> valueRows[] = {
    {"funcDisplay", "Operational Status"}, {"lblCode", "Assigned Code"},     {"ReplyIndi", "Interrogation Status"},
    {"lblIdent", "SPI Status"},            {"lblAltitude", "Altitude"},       {"lblVoltage", "A/C Voltage"},
    {"lblVoltOffset", "Voltage Offset"},   {"lblVersion", "Firmware Version"}, {"lblPing", "Ping Operation"},
};

// How Qt draws `text` as plain text in `label`'s place, font and colours.
QImage plainTextAs(const QLabel& label, const QString& text)
{
    QLabel probe(label.parentWidget());
    probe.setTextFormat(Qt::PlainText);
    probe.setStyleSheet(label.styleSheet());
    probe.setAlignment(label.alignment());
    probe.setGeometry(label.geometry());
    probe.setText(text);
    return probe.grab().toImage();
}

// The label's text as it should look: plain, ending in an ellipsis where it
// does not fit.
bool shownPlain(QLabel& label)
{
    label.ensurePolished(); // a label in a hidden group takes its style sheet's font only now
    const QString fitted = label.fontMetrics().elidedText(label.text(), Qt::ElideRight, label.width());
    return label.grab().toImage() == plainTextAs(label, fitted);
}

QString accessibleName(QWidget* widget)
{
    QAccessibleInterface* readOut = QAccessible::queryAccessibleInterface(widget);
    return readOut ? readOut->text(QAccessible::Name) : QStringLiteral("(not accessible)");
}

// Runs `act` with the program's real message boxes and returns what the box it
// opens says, as a screen reader reads its text; closes the box.
QString realBoxText(const std::function<void()>& act)
{
    fw::MessageBoxes& recording = fw::messageBoxes();
    fw::QtMessageBoxes real;
    fw::setMessageBoxes(&real);
    QString said = QStringLiteral("(no box)");
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        if (auto* text = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) said = accessibleName(text);
        box->done(QMessageBox::Ok);
    });
    act();
    fw::setMessageBoxes(&recording);
    return said;
}

} // namespace

// A value that looks like markup is shown as it came, tags and entities included.
TEST_F(ValueDisplay, ReceivedValuesAreShownAsSentNotAsMarkup)
{
    connectPort();
    // The encoder source "Serial" makes the simulated-altitude label show altitudes too.
    find<TRadioGroup>("rbEncSource")->setItemIndex(1);
    const struct {
        const char* frame;
        const char* label;
        const char* shown;
    } cases[] = {
        {"a=&lt;5&gt;", "lblAltitude", "&lt;5&gt;"},
        {"a=<u>7</u>", "lblAltitudeSource", "<u>7</u>"},
        {"c=<br>", "lblCode", "<br>"},
        {"f=<i>1</i>", "lblVoltOffset", "<i>1</i> V"},
        {"v=<b>28</b>", "lblVoltage", "<b>28</b>"},
        {"z=<b>2.14</b>", "lblVersion", "<b>2.14</b>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frame);
        reply(c.frame);
        idle();
        auto* label = find<QLabel>(c.label);
        EXPECT_EQ(label->text().toStdString(), c.shown);
        EXPECT_TRUE(shownPlain(*label));
        EXPECT_EQ(accessibleName(label).toStdString(), c.shown);
    }
}

TEST_F(ValueDisplay, TypedTextShownInALabelIsNotMarkup)
{
    find<QLineEdit>("edMinAlt")->setText(QStringLiteral("<b>5</b>"));
    auto* actual = find<QLabel>("lblAltActual");
    EXPECT_EQ(actual->text().toStdString(), "<b>5</b>");
    EXPECT_TRUE(shownPlain(*actual));
}

TEST_F(ValueDisplay, BoxesQuoteTypedTextAsTypedNotAsMarkup)
{
    const struct {
        const char* edit;
        const char* typed;
        const char* button;
        bool connectedFirst;
        const char* said;
    } cases[] = {
        {"edCommPort", "<b>1</b>", "btnConnect", false, "'<b>1</b>' is not a valid integer value"},
        {"edVoltOffset", "<i>2</i>", "btnVoltOffset", true, "'<i>2</i>' is not a valid floating point value"},
        {"seqEdit", "&lt;3&gt;", "autobtn", true, "'&lt;3&gt;' is not a valid integer value"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.edit);
        if (c.connectedFirst && find<QPushButton>("btnConnect")->property("Tag").toInt() == 0) connectPort();
        find<QLineEdit>(c.edit)->setText(QString::fromLatin1(c.typed));
        EXPECT_EQ(realBoxText([&] { click(c.button); }).toStdString(), c.said);
    }
}

// A screen reader reads a blank value as blank; its description is the row's caption.
TEST_F(ValueDisplay, ABlankValueReadsAsEmptyAtStartAndAfterTheWatchdogBlanksIt)
{
    for (const auto& [label, caption] : valueRows) {
        EXPECT_EQ(accessibleName(find(label)).toStdString(), "") << label << " at start";
        EXPECT_EQ(QAccessible::queryAccessibleInterface(find(label))->text(QAccessible::Description).toStdString(),
                  caption);
    }

    connectPort();
    reply(std::vector<std::string>{"s=t", "c=1200", "r=Y", "i=1", "a=1025", "v=27.9", "f=1.2", "z=2.14", "p=Y"});
    idle();
    EXPECT_EQ(accessibleName(find("lblVersion")).toStdString(), "2.14");
    // No reply to the sequence: the first watchdog finds the replies above and
    // only clears its flag, the second blanks the display.
    click("autobtn");
    for (int ms = 0; ms < 13000; ms += 20) {
        clock.advance(20);
        idle();
    }
    for (const auto& [label, caption] : valueRows) {
        EXPECT_TRUE(textOf(label).isEmpty()) << label;
        EXPECT_EQ(accessibleName(find(label)).toStdString(), "") << label << " after the watchdog";
    }
}

// Where a row has no lamp its value may use the width up to the group's inner
// edge; what still does not fit ends in an ellipsis, and the tooltip and the
// accessible name give all of it. text() keeps the whole value.
TEST_F(ValueDisplay, ALongValueIsElidedWithTheWholeOfItInTheTooltipAndTheAccessibleName)
{
    // The group's frame is as wide as the program's style draws it.
    struct ProgramStyle {
        const QString before = QApplication::style()->name();
        ProgramStyle() { setUpPanelApplication(*qApp); }
        ~ProgramStyle() { QApplication::setStyle(before); }
    } programStyle;
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    connectPort();
    const QRect inside = find<QGroupBox>("GroupBox1")->contentsRect();
    // Those that fit come first: a tooltip, once shown, takes a while to go.
    const struct {
        const char* frame;
        const char* label;
        const char* value;
        bool fits;
    } cases[] = {
        {"z=2.14", "lblVersion", "2.14", true},
        {"z=v2.14.0-build-20261207", "lblVersion", "v2.14.0-build-20261207", true},
        {"v=27.9 V (generator)", "lblVoltage", "27.9 V (generator)", true},
        {"a=-1250 ft (pressure altitude)", "lblAltitude", "-1250 ft (pressure altitude)", false},
        {"z=v2.14.0-build-20261207 (bench unit 4)", "lblVersion", "v2.14.0-build-20261207 (bench unit 4)", false},
        {"z=<b>v2.14.0</b>-build-20261207 (bench 4)", "lblVersion", "<b>v2.14.0</b>-build-20261207 (bench 4)", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frame);
        reply(c.frame);
        idle();
        auto* label = find<QLabel>(c.label);
        const QString value = QString::fromLatin1(c.value);
        EXPECT_EQ(label->geometry().right(), inside.right());
        EXPECT_EQ(label->text().toStdString(), c.value);
        EXPECT_EQ(accessibleName(label).toStdString(), c.value);
        const QString elided = label->fontMetrics().elidedText(value, Qt::ElideRight, label->width());
        EXPECT_EQ(elided == value, c.fits);
        EXPECT_TRUE(shownPlain(*label)) << "not drawn as " << elided.toStdString();

        QHelpEvent pause(QEvent::ToolTip, label->rect().center(), label->mapToGlobal(label->rect().center()));
        QApplication::sendEvent(label, &pause);
        // What the tooltip shows, markup or not.
        QTextDocument shown;
        shown.setHtml(QToolTip::text());
        const QString tip = Qt::mightBeRichText(QToolTip::text()) ? shown.toPlainText() : QToolTip::text();
        EXPECT_EQ(QToolTip::isVisible() ? tip.toStdString() : "", c.fits ? "" : c.value);
    }
    QToolTip::hideText();
    // Rows with a lamp keep their width: the lamp stands 106 px to the right.
    for (const char* withLamp : {"ReplyIndi", "lblIdent", "lblPing"}) EXPECT_EQ(find(withLamp)->width(), 100) << withLamp;
}
