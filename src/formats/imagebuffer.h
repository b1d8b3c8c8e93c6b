#ifndef IMAGEBUFFER_H
#define IMAGEBUFFER_H

#include <QByteArray>
#include <QtGlobal>

// The image a decompression pass writes into: bytes that can be read, written and resized. The
// window keeps its image in a QByteArray (ByteArrayImage); the command line's job uses a
// ZeroPagedImage (in the job layer, beside its other system code), whose pages cost nothing
// until something is written to them.
class ImageBuffer
{
public:
    virtual ~ImageBuffer();
    virtual char *data() = 0;
    virtual const char *constData() const = 0;
    virtual qint64 size() const = 0;
    // Makes the image size bytes long; the bytes it gains hold fill.
    virtual void resize(qint64 size, char fill) = 0;
};

class ByteArrayImage final : public ImageBuffer
{
public:
    explicit ByteArrayImage(QByteArray &image) : bytes(image) { }
    char *data() override { return bytes.data(); }
    const char *constData() const override { return bytes.constData(); }
    qint64 size() const override { return bytes.size(); }
    void resize(qint64 size, char fill) override;

private:
    QByteArray &bytes;
};

#endif // IMAGEBUFFER_H
