#pragma once

#include <QFileDialog>

// The dialog of every save of ours. It opens in the folder last used for its
// kind of file (the home folder the first time) with a name suggested there,
// adds the suffix to a name typed without one, and remembers the folder chosen.
// Whether the file chosen may be written is the save's own matter (SaveTarget).
class SaveDialog : public QFileDialog {
    Q_OBJECT
public:
    // `kind` names the kind of file whose folder is remembered ("traffic",
    // "plot", "record", "csv"); `suffix` is added to a name without one (none: nothing).
    SaveDialog(QWidget* parent, const QString& kind, const QString& title, const QString& name, const QString& filter,
               const QString& suffix = {});

    // Runs the dialog; the file chosen, or empty when the operator cancelled.
    QString choose();

    // The folder a dialog for `kind` opens in.
    static QString folder(const QString& kind);
    // Keeps the folder of `path` as the one for `kind`.
    static void remember(const QString& kind, const QString& path);
};
