#pragma once

#include <QDialog>

class QLineEdit;

// Asks for a network port's entry: its address ("rfc2217+tls://HOST:PORT"), and
// for TLS the files that go with it: the CA or server certificate to trust,
// the client's certificate and key, the name the server's certificate must
// carry. What is left empty is left out of the entry.
class NetworkPortDialog : public QDialog {
    Q_OBJECT
public:
    explicit NetworkPortDialog(int number, QWidget* parent = nullptr);

    // The entry as the port directory holds it: the address line, then a
    // KEY=VALUE line for each field given.
    QString entry() const;

private:
    QLineEdit* address_;
    QLineEdit* ca_;
    QLineEdit* cert_;
    QLineEdit* key_;
    QLineEdit* serverName_;
};
