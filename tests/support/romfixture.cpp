#include "romfixture.h"

#include "yaz0encoder.h"
#include "yaz0matchingencoder.h"

#include <libdeflate.h>

#include <algorithm>

namespace {

constexpr int firstFileEnd = 0x1060;
constexpr int outputSize = 0x4000000;

// A small, fixed pseudo-random generator so that every run builds the same ROMs.
class Random
{
public:
    explicit Random(quint32 seed) : state(seed * 2654435761u + 1) { }
    quint32 next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    int below(int n) { return int(next() % quint32(n)); }

private:
    quint32 state;
};

quint32 crcTableEntry(quint32 n)
{
    for (int bit = 0; bit < 8; ++bit)
        n = n & 1 ? (n >> 1) ^ 0xEDB88320u : n >> 1;
    return n;
}

quint32 crcRegister(const QByteArray &data, quint32 reg)
{
    for (const char c : data)
        reg = (reg >> 8) ^ crcTableEntry((reg ^ uchar(c)) & 0xFF);
    return reg;
}

quint32 bootCrcFor(int chip)
{
    switch (chip) {
    case 6101:
        return 0x6170A4A1;
    case 6102:
        return 0x90BB6CB5;
    case 6103:
        return 0x0B050EE0;
    case 6105:
        return 0x98BC2C86;
    case 6106:
        return 0xACC8580A;
    default:
        return 0x12345678;
    }
}

quint32 seedFor(int chip)
{
    switch (chip) {
    case 6103:
        return 0xA3886759;
    case 6105:
        return 0xDF26F436;
    case 6106:
        return 0x1FEA617A;
    default:
        return 0xF8CA4DDC;
    }
}

int align16(int value)
{
    return (value + 15) & ~15;
}

} // namespace

quint32 wordAt(const QByteArray &data, int offset)
{
    if (offset < 0 || offset + 4 > data.size())
        return 0;
    const auto *p = reinterpret_cast<const uchar *>(data.constData() + offset);
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}

void putWord(QByteArray &data, int offset, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        data[offset + i] = char(value >> (24 - 8 * i));
}

quint32 referenceCrc32(const QByteArray &data)
{
    return ~crcRegister(data, 0xFFFFFFFF);
}

// CRC-32 is linear, so four chosen bytes at the end reach any value: walking the register back
// from the wanted value picks the table entries, walking forward gives the bytes.
QByteArray bootCodeFor(int chip, quint32 seed)
{
    Random random(seed);
    QByteArray code(4032 - 4, '\0');
    for (char &c : code)
        c = char(random.next());
    const quint32 wanted = ~bootCrcFor(chip);
    int topByteIndex[256];
    for (int i = 0; i < 256; ++i)
        topByteIndex[crcTableEntry(quint32(i)) >> 24] = i;
    int indices[4];
    quint32 reg = wanted;
    for (int k = 3; k >= 0; --k) {
        indices[k] = topByteIndex[reg >> 24];
        reg = (reg ^ crcTableEntry(quint32(indices[k]))) << 8;
    }
    quint32 state = crcRegister(code, 0xFFFFFFFF);
    for (const int index : indices) {
        code.append(char(quint32(index) ^ (state & 0xFF)));
        state = (state >> 8) ^ crcTableEntry(quint32(index));
    }
    return code;
}

void referenceChecksum(const QByteArray &image, int chip, quint32 *crc1, quint32 *crc2)
{
    const quint32 seed = seedFor(chip);
    quint32 t1 = seed, t2 = seed, t3 = seed, t4 = seed, t5 = seed, t6 = seed;
    for (int i = 0x1000; i < 0x101000; i += 4) {
        const quint32 d = wordAt(image, i);
        if (quint32(t6 + d) < t6)
            t4 += 1;
        t6 += d;
        t3 ^= d;
        const quint32 shift = d & 0x1F;
        const quint32 r = shift ? (d << shift) | (d >> (32 - shift)) : d;
        t5 += r;
        if (t2 >= d)
            t2 ^= r;
        else
            t2 ^= t6 ^ d;
        if (chip == 6105)
            t1 += wordAt(image, 0x750 + (i & 0xFF)) ^ d;
        else
            t1 += t5 ^ d;
    }
    if (chip == 6103) {
        *crc1 = (t6 ^ t4) + t3;
        *crc2 = (t5 ^ t2) + t1;
    } else if (chip == 6106) {
        *crc1 = t6 * t4 + t3;
        *crc2 = t5 * t2 + t1;
    } else {
        *crc1 = t6 ^ t4 ^ t3;
        *crc2 = t5 ^ t2 ^ t1;
    }
}

RomFixture::RomFixture(qint32 tableAddress, const QByteArray &buildString, int chip)
    : m_tableAddress(tableAddress), m_buildString(buildString), m_chip(chip)
{ }

void RomFixture::addFile(const QByteArray &content, Storage storage)
{
    File file;
    file.content = content;
    file.storage = storage;
    m_added.append(file);
    m_rom.clear();
}

QByteArray RomFixture::build()
{
    if (m_rom.isEmpty())
        layOut();
    return m_rom;
}

// File 0 is the header and boot code, file 1 runs up to the table and carries the build string,
// file 2 is the table itself; the added files follow.
void RomFixture::layOut()
{
    const int entries = m_added.size() + 3;
    const int tableEnd = align16(m_tableAddress + 16 * (entries + 1));
    const int stringDistance = m_buildString.startsWith("forest") ? 0x40 : 0x30;

    QVector<File> all;
    File header;
    header.virtualEnd = firstFileEnd;
    File before;
    before.virtualStart = firstFileEnd;
    before.virtualEnd = m_tableAddress;
    File table;
    table.virtualStart = m_tableAddress;
    table.virtualEnd = tableEnd;
    for (File *f : {&header, &before, &table})
        f->physicalStart = f->virtualStart;
    all << header << before << table;

    int virtualAt = tableEnd;
    int physicalAt = tableEnd;
    QVector<QByteArray> stored;
    int compressed = 0;
    for (File file : qAsConst(m_added)) {
        file.virtualStart = virtualAt;
        file.virtualEnd = virtualAt + file.content.size();
        virtualAt = align16(file.virtualEnd);
        QByteArray bytes;
        if (file.storage == Storage::Absent) {
            file.physicalStart = -1;
            file.physicalEnd = -1;
        } else {
            const Codec codec = file.storage == Storage::Compressed && !m_codecs.isEmpty()
                ? m_codecs.at(compressed++ % m_codecs.size())
                : Codec::Yaz0;
            bytes = file.storage != Storage::Compressed ? file.content
                : m_deflate                             ? deflateStream(file.content)
                : CodecFile::isHackCodec(codec)         ? CodecFile::encodeFile(codec, file.content)
                : m_likeAnOriginal || !m_codecs.isEmpty()
                ? Yaz0MatchingEncoder::encodeFile(file.content)
                : Yaz0Encoder::encodeFile(file.content);
            if ((m_likeAnOriginal || !m_codecs.isEmpty()) && file.storage == Storage::Compressed)
                bytes.append(QByteArray(align16(bytes.size()) - bytes.size(), '\0'));
            file.physicalStart = physicalAt;
            file.physicalEnd = file.storage == Storage::Compressed ? physicalAt + bytes.size() : 0;
            physicalAt = align16(physicalAt + bytes.size());
        }
        all << file;
        stored << bytes;
    }

    const int romSize = std::max(
        {m_granule, m_minimumSize, (physicalAt + m_granule - 1) / m_granule * m_granule});
    m_rom = QByteArray(romSize, '\0');
    Random random {quint32(m_tableAddress)};
    for (int i = 0x1000; i < m_tableAddress; ++i)
        m_rom[i] = char(random.below(7) == 0 ? random.next() : 0);
    const QByteArray start = QByteArray::fromHex("803712400000000F");
    m_rom.replace(0, start.size(), start);
    m_rom.replace(0x20, 12, "TIDEPOOL FIX");
    m_rom.replace(59, 4, m_buildString.startsWith("forest") ? "NAFJ" : "CZLE");
    m_rom[63] = 1;
    m_rom.replace(0x40, 4032, bootCodeFor(m_chip));
    m_rom.replace(m_tableAddress - stringDistance, m_buildString.size(), m_buildString);
    for (int i = 0; i < all.size(); ++i) {
        const File &file = all.at(i);
        const int entry = m_tableAddress + 16 * i;
        putWord(m_rom, entry, quint32(file.virtualStart));
        putWord(m_rom, entry + 4, quint32(file.virtualEnd));
        putWord(m_rom, entry + 8, quint32(file.physicalStart));
        putWord(m_rom, entry + 12, quint32(file.physicalEnd));
    }
    for (int i = 3; i < all.size(); ++i) {
        if (!stored.at(i - 3).isEmpty())
            m_rom.replace(all.at(i).physicalStart, stored.at(i - 3).size(), stored.at(i - 3));
    }
    if (m_likeAnOriginal) {
        quint32 crc1 = 0, crc2 = 0;
        referenceChecksum(m_rom, m_chip, &crc1, &crc2);
        putWord(m_rom, 16, crc1);
        putWord(m_rom, 20, crc2);
    }
    all[0].content = m_rom.left(firstFileEnd);
    all[1].content = m_rom.mid(firstFileEnd, m_tableAddress - firstFileEnd);
    all[2].content = m_rom.mid(m_tableAddress, tableEnd - m_tableAddress);
    m_entries = all;
}

QByteArray RomFixture::expectedOutput()
{
    build();
    QByteArray out(outputSize, '\0');
    for (int i = 0; i < m_entries.size(); ++i) {
        const File &file = m_entries.at(i);
        if (file.storage == Storage::Absent)
            continue;
        out.replace(file.virtualStart, file.content.size(), file.content);
        putWord(out, m_tableAddress + 16 * i + 8, quint32(file.virtualStart));
        putWord(out, m_tableAddress + 16 * i + 12, 0);
    }
    return out;
}

RomFixture RomFixture::ocarinaLike()
{
    RomFixture rom(0x7430, "zelda@", 6105);
    rom.addFile(codeLike(40000, 1), Storage::Compressed);
    rom.addFile(textureLike(16384, 2), Storage::Compressed);
    rom.addFile(textLike(9000, 3), Storage::Plain);
    rom.addFile(sparse(30000, 4), Storage::Compressed);
    rom.addFile(noise(3000, 5), Storage::Compressed);
    rom.addFile(QByteArray(), Storage::Absent);
    rom.addFile(codeLike(5000, 6), Storage::Plain);
    return rom;
}

RomFixture RomFixture::majoraLike()
{
    RomFixture rom(0x1A500, "zelda@", 6105);
    rom.addFile(textLike(20000, 7), Storage::Compressed);
    rom.addFile(codeLike(12000, 8), Storage::Plain);
    rom.addFile(textureLike(8192, 9), Storage::Compressed);
    rom.addFile(QByteArray(), Storage::Absent);
    return rom;
}

RomFixture RomFixture::doubutsuLike()
{
    RomFixture rom(0x19D40, "forest@", 6102);
    rom.addFile(sparse(50000, 10), Storage::Compressed);
    rom.addFile(codeLike(7000, 11), Storage::Compressed);
    rom.addFile(noise(2000, 12), Storage::Plain);
    return rom;
}

RomFixture RomFixture::ofFamily(int family)
{
    return family == 0 ? ocarinaLike() : family == 1 ? majoraLike() : doubutsuLike();
}

QByteArray RomFixture::toV64(QByteArray image)
{
    char *data = image.data();
    for (int i = 0; i + 1 < image.size(); i += 2)
        std::swap(data[i], data[i + 1]);
    return image;
}

QByteArray RomFixture::toN64(QByteArray image)
{
    char *data = image.data();
    for (int i = 0; i + 3 < image.size(); i += 4) {
        std::swap(data[i], data[i + 3]);
        std::swap(data[i + 1], data[i + 2]);
    }
    return image;
}

// MIPS-like instruction words: a few opcodes, a few registers, small or arbitrary immediates, and
// now and then a run of words seen shortly before.
QByteArray RomFixture::codeLike(int length, quint32 seed)
{
    Random random(seed);
    QByteArray data;
    data.reserve(length + 32);
    static const quint32 opcodes[] = {0x27BD0000, 0xAFBF0000, 0x8FBF0000, 0x3C010000, 0x24020000,
        0x0C000000, 0x8C820000, 0x03E00008};
    static const quint32 registers[] = {0x00000000, 0x00840000, 0x00A50000, 0x03A00000, 0x02000000,
        0x00400000, 0x01100000, 0x03E00000};
    while (data.size() < length) {
        if (data.size() >= 64 && random.below(6) == 0) {
            const int back = 4 * (1 + random.below(std::min(1000, int(data.size()) / 4 - 8)));
            data.append(data.mid(data.size() - back, 4 * (2 + random.below(5))));
            continue;
        }
        const quint32 immediate = random.below(2) ? random.next() & 0xFFFF : random.below(64) * 4;
        const quint32 word = opcodes[random.below(8)] | registers[random.below(8)] | immediate;
        for (int i = 0; i < 4; ++i)
            data.append(char(word >> (24 - 8 * i)));
    }
    data.truncate(length);
    return data;
}

// 16-bit pixels: noisy gradients with short runs.
QByteArray RomFixture::textureLike(int length, quint32 seed)
{
    Random random(seed);
    QByteArray data;
    data.reserve(length + 8);
    int value = random.below(0x10000);
    while (data.size() < length) {
        const int run = 1 + random.below(3);
        value = (value + random.below(65) - 32) & 0xFFFF;
        for (int i = 0; i < run && data.size() < length; ++i) {
            data.append(char(value >> 8));
            data.append(char(value));
        }
    }
    data.truncate(length);
    return data;
}

// Words made of syllables, with names and control codes.
QByteArray RomFixture::textLike(int length, quint32 seed)
{
    Random random(seed);
    static const char *const syllables[] = {"ta", "ri", "po", "ol", "ne", "ka", "lu", "mo", "se",
        "di", "fa", "ru", "gi", "zo", "he", "wa", "in", "el", "th", "an", "yo", "ku", "be", "or"};
    QByteArray data;
    data.reserve(length + 16);
    while (data.size() < length) {
        const int parts = 1 + random.below(4);
        for (int i = 0; i < parts; ++i)
            data.append(syllables[random.below(24)]);
        const int end = random.below(12);
        data.append(end == 0 ? "!\n" : end == 1 ? "\x05\x41" : end == 2 ? ". " : " ");
    }
    data.truncate(length);
    return data;
}

// Mostly zeros with scattered values, like collision and padding-heavy data.
QByteArray deflateStream(const QByteArray &data)
{
    libdeflate_compressor *compressor = libdeflate_alloc_compressor(9);
    QByteArray out(int(libdeflate_deflate_compress_bound(compressor, size_t(data.size()))), '\0');
    const size_t length = libdeflate_deflate_compress(
        compressor, data.constData(), size_t(data.size()), out.data(), size_t(out.size()));
    libdeflate_free_compressor(compressor);
    out.truncate(int(length));
    return out;
}

QByteArray RomFixture::sparse(int length, quint32 seed)
{
    Random random(seed);
    QByteArray data(length, '\0');
    for (int i = 0; i < length; i += 1 + random.below(40))
        data[i] = char(random.next());
    return data;
}

QByteArray RomFixture::noise(int length, quint32 seed)
{
    Random random(seed);
    QByteArray data(length, '\0');
    for (char &c : data)
        c = char(random.next());
    return data;
}
