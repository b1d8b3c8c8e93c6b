#ifndef IMAGEBUFFER_H
#define IMAGEBUFFER_H

#include <QByteArray>
#include <QtGlobal>

// The image a decompression pass writes into: bytes that can be read, written and resized. The
// window keeps its image in a QByteArray (ByteArrayImage); the command line's job uses a
// ZeroPagedImage, whose pages cost nothing until something is written to them.
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

// Anonymous memory, zero until written: a fresh 64 MiB image in which the pass writes 35 MB
// touches 35 MB, and the rest is neither cleared nor even given memory. Throws std::bad_alloc,
// as Qt's containers do, when the memory cannot be had.
class ZeroPagedImage final : public ImageBuffer
{
public:
    explicit ZeroPagedImage(qint64 size);
    ~ZeroPagedImage() override;
    ZeroPagedImage(const ZeroPagedImage &) = delete;
    ZeroPagedImage &operator=(const ZeroPagedImage &) = delete;

    char *data() override { return base; }
    const char *constData() const override { return base; }
    qint64 size() const override { return length; }
    void resize(qint64 size, char fill) override;

    // A program about to end can leave the memory to the system instead of handing each page back
    // first.
    void leaveToProcessExit() { kept = true; }

private:
    char *base = nullptr;
    qint64 length = 0;
    qint64 mapped = 0;
    qint64 highWater = 0; // bytes at and past it were never inside the image: still zero
    bool kept = false;
};

#endif // IMAGEBUFFER_H
