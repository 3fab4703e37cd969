// The defect-mask file: a 40-byte header and the four reference frames (dark and bright,
// 8-bit and 16-bit, each 3072 x 2048), as pure functions over files, memory and images.
//
// Threads: no shared state; the caller holds whatever lock guards the reference images
// (the session's mask lock).
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/CDibImage.h"

namespace orvane::output {

inline constexpr char kMaskSignature[16] = "KELMOR MASK1000";
inline constexpr int kMaskWidth = 3072;
inline constexpr int kMaskHeight = 2048;
inline constexpr size_t kMaskHeaderBytes = 40;
inline constexpr uint32_t kMaskBlockBytes8 = 6291456;    // 3072 x 2048 x 1
inline constexpr uint32_t kMaskBlockBytes16 = 12582912;  // 3072 x 2048 x 2
inline constexpr size_t kMaskFileBytes =
    kMaskHeaderBytes + 2 * size_t{kMaskBlockBytes8} + 2 * size_t{kMaskBlockBytes16};

#pragma pack(push, 1)
struct MaskFileHeader {
    char signature[16];
    uint32_t width;
    uint32_t height;
    uint32_t blockBytes[4];
};
#pragma pack(pop)
static_assert(sizeof(MaskFileHeader) == kMaskHeaderBytes);

// The four reference frames in file order. Borrowed, never owned.
struct MaskReferences {
    imaging::CDibImage* dark8 = nullptr;
    imaging::CDibImage* bright8 = nullptr;
    imaging::CDibImage* dark16 = nullptr;
    imaging::CDibImage* bright16 = nullptr;
};
struct ConstMaskReferences {
    const imaging::CDibImage* dark8 = nullptr;
    const imaging::CDibImage* bright8 = nullptr;
    const imaging::CDibImage* dark16 = nullptr;
    const imaging::CDibImage* bright16 = nullptr;
};

// Header for the given references: the signature, the dark 8-bit frame's width and height
// and each frame's stride x height. 0 when a reference is missing or empty.
int MakeMaskHeader(const ConstMaskReferences& refs, MaskFileHeader& out);

// 1 when `header` is one this library reads into `refs`: the signature, 3072 x 2048, the
// four block sizes of full-size frames, and destination images of exactly that geometry
// (8, 8, 16 and 16 bits).
int MaskHeaderAccepted(const MaskFileHeader& header, const MaskReferences& refs);

// Writes the header and the four frames to `path`, replacing an existing file. 1, or 0 when
// a reference is empty, the file cannot be created or a write fails (the partly written
// file is then removed).
int SaveMaskFile(const char* path, const ConstMaskReferences& refs);

// Reads a mask file into `refs`. The references change only when the whole file was
// accepted: a missing file, something other than a regular file, a wrong header, or a file
// too short for its four blocks gives 0 and leaves them untouched. The file's length is
// checked before anything beyond the header is allocated or read. Bytes after the fourth
// block are ignored.
int LoadMaskFile(const char* path, const MaskReferences& refs);

// The same for a file image held in memory.
int DecodeMaskData(const uint8_t* data, size_t size, const MaskReferences& refs);

}  // namespace orvane::output
