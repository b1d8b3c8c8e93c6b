#ifndef ZEROPAGEDIMAGE_H
#define ZEROPAGEDIMAGE_H

#include "imagebuffer.h"

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

#endif // ZEROPAGEDIMAGE_H
