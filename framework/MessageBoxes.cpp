#include "MessageBoxes.h"

#include "Application.h"

#include <QApplication>
#include <QMessageBox>

namespace fw {

namespace {

QtMessageBoxes& qtBoxes()
{
    static QtMessageBoxes boxes;
    return boxes;
}

MessageBoxes* current = nullptr;

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

MessageBoxes& messageBoxes()
{
    return current ? *current : qtBoxes();
}

void setMessageBoxes(MessageBoxes* boxes)
{
    current = boxes;
}

MsgResult MessageBox(const QString& text, const QString& caption, MsgButtons buttons, MsgIcon icon)
{
    return messageBoxes().show(text, caption, buttons, icon);
}

MsgResult QtMessageBoxes::show(const QString& text, const QString& caption, MsgButtons buttons, MsgIcon icon)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');

    QMessageBox box(toQt(icon), caption, shown, QMessageBox::NoButton, QApplication::activeWindow());
    box.addButton(QMessageBox::Ok);
    if (buttons == MsgButtons::OkCancel) box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Ok);

    Application::ModalScope modal;
    return box.exec() == QMessageBox::Ok ? MsgResult::Ok : MsgResult::Cancel;
}

MsgResult RecordingMessageBoxes::show(const QString& text, const QString& caption, MsgButtons buttons, MsgIcon icon)
{
    shown.push_back({text, caption, buttons, icon});
    return answer;
}

ScopedRecordingMessageBoxes::ScopedRecordingMessageBoxes()
    : previous_(current)
{
    setMessageBoxes(this);
}

ScopedRecordingMessageBoxes::~ScopedRecordingMessageBoxes()
{
    setMessageBoxes(previous_);
}

} // namespace fw
