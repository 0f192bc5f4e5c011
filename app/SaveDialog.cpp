#include "app/SaveDialog.h"

#include "app/PanelSettings.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString folderKey(const QString& kind)
{
    return QStringLiteral("folders/") + kind;
}

} // namespace

SaveDialog::SaveDialog(QWidget* parent, const QString& kind, const QString& title, const QString& name,
                       const QString& filter, const QString& suffix)
    : QFileDialog(parent, title, folder(kind), filter)
{
    setObjectName(QStringLiteral("saveDialog"));
    setAcceptMode(AcceptSave);
    setFileMode(AnyFile);
    setDefaultSuffix(suffix);
    selectFile(QDir(folder(kind)).filePath(name));
    connect(this, &QFileDialog::fileSelected, this, [kind](const QString& path) { remember(kind, path); });
}

QString SaveDialog::choose()
{
    if (exec() != Accepted) return {};
    return selectedFiles().value(0);
}

void SaveDialog::remember(const QString& kind, const QString& path)
{
    panelSettings().setValue(folderKey(kind), QFileInfo(path).absolutePath());
}

QString SaveDialog::folder(const QString& kind)
{
    // A remembered folder that has gone since is no place to start.
    const QString remembered = panelSettings().value(folderKey(kind)).toString();
    return !remembered.isEmpty() && QFileInfo(remembered).isDir() ? remembered : QDir::homePath();
}
