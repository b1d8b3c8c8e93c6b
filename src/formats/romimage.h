#ifndef ROMIMAGE_H
#define ROMIMAGE_H

// The size every other bound of the program is reckoned from: the image a decompression makes is
// 64 MiB, as large as the games' own decompressed ROMs, so no single file, nor a compressed ROM
// made back from such an image, can be larger.
namespace RomImage {

constexpr int decompressedSize = 0x4000000;

} // namespace RomImage

#endif // ROMIMAGE_H
