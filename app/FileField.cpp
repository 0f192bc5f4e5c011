#include "app/FileField.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

QLineEdit* fileField(QWidget* dialog, const QString& name, const QString& caption)
{
    auto* row = new QWidget(dialog);
    auto* field = new QLineEdit(row);
    field->setObjectName(name);
    field->setAccessibleName(caption);
    auto* browse = new QPushButton(QStringLiteral("\u2026"), row);
    browse->setToolTip(QStringLiteral("Choose the file"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(field);
    layout->addWidget(browse);
    QObject::connect(browse, &QPushButton::clicked, dialog, [dialog, field, caption] {
        const QString file = QFileDialog::getOpenFileName(dialog, caption, field->text());
        if (!file.isEmpty()) field->setText(file);
    });
    return field;
}
