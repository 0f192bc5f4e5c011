#pragma once

class QLineEdit;
class QString;
class QWidget;

// A file's path, typed or chosen with its "…" button, for the dialogs that
// ask for TLS files: the field, in a row of its own (its parent widget, which
// the dialog's form takes). `name` is the field's object name, `caption` its
// accessible name and the file dialog's title.
QLineEdit* fileField(QWidget* dialog, const QString& name, const QString& caption);
