#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

// A button glyph as the layout stores it: one bitmap holding two square images
// side by side, on the left the one a button normally shows, on the right the
// one it shows while disabled. The colour of the bitmap's bottom-left pixel is
// the background of both and is made transparent here, so the glyph sits on
// whatever colour the button face has.
class ButtonGlyph {
public:
    static ButtonGlyph fromImage(const QImage& bitmap);
    // Any format Qt reads without plugins (BMP, PNG), resource paths included.
    static ButtonGlyph fromFile(const QString& path);

    // A null glyph has no images and says why in errorString().
    bool isNull() const { return normal_.isNull(); }
    const QImage& normal() const { return normal_; }
    const QImage& disabled() const { return disabled_; }
    const QString& errorString() const { return error_; }

    // The two images as the Normal and Disabled modes of one icon, so a button
    // switches between them by itself when it is enabled or disabled.
    QIcon icon() const;

private:
    QImage normal_;
    QImage disabled_;
    QString error_;
};
