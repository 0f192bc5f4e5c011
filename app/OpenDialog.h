#pragma once

#include <QFileDialog>

// The dialog that opens a file of ours, the counterpart of SaveDialog: it
// opens in the folder last used for its kind of file (the home folder the first
// time) and remembers the folder chosen. Only an existing file can be chosen.
class OpenDialog : public QFileDialog {
    Q_OBJECT
public:
    // `kind` names the kind of file whose folder is remembered, as SaveDialog's.
    OpenDialog(QWidget* parent, const QString& kind, const QString& title, const QString& filter);

    // Runs the dialog; the file chosen, or empty when the operator cancelled.
    QString choose();
};
