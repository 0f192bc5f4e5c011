#pragma once

#include <QByteArrayView>
#include <QImage>
#include <QString>

// A JPEG picture decoded with libjpeg straight into a QImage, independent of
// which image plugins the Qt installation carries.
//
// Decoding never throws and never ends the process: a truncated, damaged or
// unsupported stream gives a null image and the reason in errorString(). A
// stream that libjpeg can only finish by making up data (it warns of a
// premature end or corrupt data) counts as damaged, so a half-drawn picture is
// never passed off as the real one.
class JpegPicture {
public:
    // Largest decoded picture accepted, in bytes, so that a header claiming a
    // huge size cannot make us reserve gigabytes.
    static constexpr qsizetype MaxDecodedBytes = 256 * 1024 * 1024;

    static JpegPicture fromData(QByteArrayView data);
    // Reads the whole file, resource paths such as ":/pictures/logo.jpg" included.
    static JpegPicture fromFile(const QString& path);

    bool isNull() const { return image_.isNull(); }
    // Format_Grayscale8 for a grey picture, Format_RGB888 for a colour one.
    const QImage& image() const { return image_; }
    // Colour components as stored in the stream: 1 for grey, 3 for colour.
    int components() const { return components_; }
    bool isProgressive() const { return progressive_; }
    // Empty once decoded; otherwise why decoding failed.
    const QString& errorString() const { return error_; }

private:
    QImage image_;
    int components_ = 0;
    bool progressive_ = false;
    QString error_;
};
