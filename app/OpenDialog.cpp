#include "app/OpenDialog.h"

#include "app/SaveDialog.h"

OpenDialog::OpenDialog(QWidget* parent, const QString& kind, const QString& title, const QString& filter)
    : QFileDialog(parent, title, SaveDialog::folder(kind), filter)
{
    setObjectName(QStringLiteral("openDialog"));
    setAcceptMode(AcceptOpen);
    setFileMode(ExistingFile);
    connect(this, &QFileDialog::fileSelected, this, [kind](const QString& path) { SaveDialog::remember(kind, path); });
}

QString OpenDialog::choose()
{
    if (exec() != Accepted) return {};
    return selectedFiles().value(0);
}
