#include "framework/PlainToolTip.h"

#include <QTextDocument>

namespace fw {

QString plainToolTip(const QString& text)
{
    return Qt::mightBeRichText(text) ? Qt::convertFromPlainText(text, Qt::WhiteSpacePre) : text;
}

} // namespace fw
