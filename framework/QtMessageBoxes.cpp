#include "QtMessageBoxes.h"

#include "Application.h"

#include <QApplication>
#include <QMessageBox>

namespace fw {

namespace {

QMessageBox::Icon toQt(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Error: return QMessageBox::Critical;
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Warning: return QMessageBox::Warning;
    case MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

MsgResult QtMessageBoxes::show(const QString& text, const QString& caption, MsgButtons buttons, MsgIcon icon)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');

    QMessageBox box(toQt(icon), caption, shown, QMessageBox::NoButton, QApplication::activeWindow());
    // Boxes quote what the operator typed and what a device sent: never markup.
    box.setTextFormat(Qt::PlainText);
    if (buttons == MsgButtons::YesNo) {
        box.addButton(QMessageBox::Yes);
        box.setDefaultButton(box.addButton(QMessageBox::No));
    } else {
        box.addButton(QMessageBox::Ok);
        if (buttons == MsgButtons::OkCancel) box.addButton(QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
    }

    Application::ModalScope modal;
    open_.emplace_back(&box, text);
    const int answer = box.exec();
    std::erase_if(open_, [&box](const auto& shownBox) { return shownBox.first == &box; });
    switch (answer) {
    case QMessageBox::Ok: return MsgResult::Ok;
    case QMessageBox::Yes: return MsgResult::Yes;
    case QMessageBox::No: return MsgResult::No;
    default: return buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Cancel;
    }
}

void QtMessageBoxes::close(const QString& text)
{
    for (const auto& [box, shown] : open_)
        if (shown == text) box->done(QMessageBox::Ok);
}

void useWidgetBoxes()
{
    static QtMessageBoxes boxes;
    setDefaultMessageBoxes(&boxes);
}

} // namespace fw
