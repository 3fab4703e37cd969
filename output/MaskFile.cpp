#include "output/MaskFile.h"

#include <cstring>

#include "output/FileIo.h"
#include "platform/File.h"

namespace orvane::output {

using imaging::CDibImage;

namespace {

bool hasGeometry(const CDibImage* image, int bitCount) {
    return image != nullptr && !image->empty() && image->width() == kMaskWidth &&
           image->height() == kMaskHeight && image->bitCount() == bitCount;
}

// The length of a regular file; -1 for anything else (a pipe or device has no length to
// check the header against, and could keep a reader waiting).
int64_t regularFileBytes(const platform::File& file) {
    return file.isRegular() ? file.size() : -1;
}

// The bytes the header's four blocks claim after it, summed without overflow.
uint64_t claimedBytes(const MaskFileHeader& header) {
    uint64_t total = kMaskHeaderBytes;
    for (uint32_t block : header.blockBytes) total += block;
    return total;
}

// Copies staged blocks into the references; only called once all four are complete.
void commit(const MaskReferences& refs, const uint8_t* const blocks[4]) {
    CDibImage* targets[4] = {refs.dark8, refs.bright8, refs.dark16, refs.bright16};
    for (int i = 0; i < 4; ++i) std::memcpy(targets[i]->bits(), blocks[i], targets[i]->sizeBytes());
}

}  // namespace

int MakeMaskHeader(const ConstMaskReferences& refs, MaskFileHeader& out) {
    const CDibImage* images[4] = {refs.dark8, refs.bright8, refs.dark16, refs.bright16};
    for (const CDibImage* image : images) {
        if (image == nullptr || image->empty()) return 0;
    }
    std::memset(&out, 0, sizeof out);
    std::memcpy(out.signature, kMaskSignature, sizeof out.signature);
    out.width = static_cast<uint32_t>(refs.dark8->width());
    out.height = static_cast<uint32_t>(refs.dark8->height());
    for (int i = 0; i < 4; ++i) out.blockBytes[i] = static_cast<uint32_t>(images[i]->sizeBytes());
    return 1;
}

int MaskHeaderAccepted(const MaskFileHeader& header, const MaskReferences& refs) {
    if (std::memcmp(header.signature, kMaskSignature, sizeof header.signature) != 0) return 0;
    if (header.width != kMaskWidth || header.height != kMaskHeight) return 0;
    const uint32_t expected[4] = {kMaskBlockBytes8, kMaskBlockBytes8, kMaskBlockBytes16,
                                  kMaskBlockBytes16};
    for (int i = 0; i < 4; ++i) {
        if (header.blockBytes[i] != expected[i]) return 0;
    }
    return hasGeometry(refs.dark8, 8) && hasGeometry(refs.bright8, 8) &&
                   hasGeometry(refs.dark16, 16) && hasGeometry(refs.bright16, 16)
               ? 1
               : 0;
}

int SaveMaskFile(const char* path, const ConstMaskReferences& refs) {
    MaskFileHeader header{};
    if (!MakeMaskHeader(refs, header)) return 0;
    OutputFile file;
    if (!file.open(path)) return 0;
    file.append(&header, sizeof header);
    const CDibImage* images[4] = {refs.dark8, refs.bright8, refs.dark16, refs.bright16};
    for (const CDibImage* image : images) file.append(image->bits(), image->sizeBytes());
    return file.commit() ? 1 : 0;
}

int DecodeMaskData(const uint8_t* data, size_t size, const MaskReferences& refs) {
    if (data == nullptr || size < kMaskHeaderBytes) return 0;
    MaskFileHeader header{};
    std::memcpy(&header, data, sizeof header);
    if (!MaskHeaderAccepted(header, refs) || size < claimedBytes(header)) return 0;
    const uint8_t* blocks[4];
    size_t offset = kMaskHeaderBytes;
    for (int i = 0; i < 4; ++i) {
        blocks[i] = data + offset;
        offset += header.blockBytes[i];
    }
    commit(refs, blocks);
    return 1;
}

int LoadMaskFile(const char* path, const MaskReferences& refs) {
    if (path == nullptr || *path == '\0') return 0;
    platform::File in;
    if (!in.open(path, platform::FileMode::Read)) return 0;
    // A hostile or truncated file must cost nothing: its length is checked against what the
    // header claims before anything is allocated or read beyond the header.
    const int64_t fileBytes = regularFileBytes(in);
    if (fileBytes < static_cast<int64_t>(kMaskFileBytes)) return 0;
    MaskFileHeader header{};
    if (!in.readAll(&header, sizeof header) || !MaskHeaderAccepted(header, refs) ||
        static_cast<uint64_t>(fileBytes) < claimedBytes(header))
        return 0;
    // Stage the blocks first: a file that shrinks while it is read must not leave the
    // references half replaced.
    imaging::AlignedBytes staging = imaging::alignedAlloc(kMaskFileBytes - kMaskHeaderBytes);
    if (!staging) return 0;
    if (!in.readAll(staging.get(), kMaskFileBytes - kMaskHeaderBytes)) return 0;
    const uint8_t* blocks[4];
    size_t offset = 0;
    for (int i = 0; i < 4; ++i) {
        blocks[i] = staging.get() + offset;
        offset += header.blockBytes[i];
    }
    commit(refs, blocks);
    return 1;
}

}  // namespace orvane::output
