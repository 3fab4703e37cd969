#include "output/CAviWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/Log.h"

namespace orvane::output {

namespace {

constexpr uint32_t fourcc(const char (&s)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24;
}

// avih flags: the file has an index, and it was written as a capture file.
constexpr uint32_t kAvihFlags = 0x10010;
// idx1 flag of a key frame (every uncompressed frame is one).
constexpr uint32_t kIdx1KeyFrame = 0x10;
// Time base of the stream header: rate / scale frames per second with rate = 10^7, so the
// scale is 10^9 / (hundredths of a frame per second).
constexpr uint32_t kStreamRate = 10000000;

// Fixed header layout. The plain-AVI fields sit where every AVI writer puts them; the two
// reserved chunks after "strf" and after "strl" become the OpenDML super index and
// extended header when the file grows past one RIFF, and stay "JUNK" otherwise.
constexpr uint64_t kRiffSizeAt = 4;
[[maybe_unused]] constexpr uint64_t kHdrlSizeAt = 16;  // layout only: never patched
constexpr uint64_t kAvihUsPerFrameAt = 32;
constexpr uint64_t kAvihMaxBytesPerSecAt = 36;
constexpr uint64_t kAvihTotalFramesAt = 48;
constexpr uint64_t kStrhScaleAt = 128;
constexpr uint64_t kStrhLengthAt = 140;
constexpr uint64_t kIndxAt = 220;  // right after "strf"
constexpr uint32_t kIndxBodyBytes = 24 + 16 * CAviWriter::kSuperIndexSlots;
constexpr uint64_t kOdmlAt = kIndxAt + 8 + kIndxBodyBytes;
constexpr uint32_t kOdmlBodyBytes = 4 + 8 + 248;  // "odml", then "dmlh" with its 248 bytes
constexpr uint64_t kMoviListAt = kOdmlAt + 8 + kOdmlBodyBytes;
constexpr uint64_t kHeaderBytes = kMoviListAt + 12;
constexpr uint32_t kStrlBodyBytes = 4 + (8 + 64) + (8 + 40) + (8 + kIndxBodyBytes);
constexpr uint32_t kHdrlBodyBytes = 4 + (8 + 56) + (8 + kStrlBodyBytes) + (8 + kOdmlBodyBytes);
static_assert(12 + 8 + kHdrlBodyBytes == kMoviListAt);

// Standard index ("ix00"): 24 bytes of header, then 8 bytes per frame.
constexpr uint64_t ixChunkBytes(uint64_t frames) {
    return 8 + 24 + 8 * frames;
}

class ByteBuilder {
  public:
    explicit ByteBuilder(size_t reserve) { bytes_.reserve(reserve); }
    void u16(uint16_t v) {
        bytes_.push_back(static_cast<uint8_t>(v));
        bytes_.push_back(static_cast<uint8_t>(v >> 8));
    }
    void u32(uint32_t v) {
        u16(static_cast<uint16_t>(v));
        u16(static_cast<uint16_t>(v >> 16));
    }
    void u64(uint64_t v) {
        u32(static_cast<uint32_t>(v));
        u32(static_cast<uint32_t>(v >> 32));
    }
    void tag(const char (&s)[5]) { u32(fourcc(s)); }
    void zeros(size_t n) { bytes_.insert(bytes_.end(), n, 0); }
    void raw(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        bytes_.insert(bytes_.end(), b, b + n);
    }
    const uint8_t* data() const { return bytes_.data(); }
    size_t size() const { return bytes_.size(); }

  private:
    std::vector<uint8_t> bytes_;
};

uint32_t clampU32(uint64_t v) {
    return static_cast<uint32_t>(std::min<uint64_t>(v, UINT32_MAX));
}

}  // namespace

CAviWriter::~CAviWriter() {
    if (file_.isOpen()) finish();
}

uint32_t CAviWriter::measuredRate(uint32_t frames, uint32_t elapsedMs) {
    if (elapsedMs == 0) return kDefaultRate;
    const uint64_t rate = uint64_t{frames} * 100000 / elapsedMs;
    return rate == 0 ? 1 : clampU32(rate);
}

void CAviWriter::setRate(uint32_t rate) {
    // A rate of 0 would divide by zero below; the slowest expressible rate is the nearest to
    // what such a measurement means.
    rate_ = rate == 0 ? 1 : rate;
}

int CAviWriter::open(const char* path, int width, int height, uint16_t sourceBitCount,
                     uint32_t rate) {
    if (file_.isOpen()) finish();
    frames_.clear();
    parts_.clear();
    packed_.reset();
    failed_ = false;
    error_ = 0;
    pendingError_ = 0;
    partOpen_ = false;
    if (path == nullptr || *path == '\0' || width <= 0 || height <= 0) return 0;
    const uint64_t rowBytes = static_cast<uint64_t>(imaging::dibStride(width, 24));
    const uint64_t frameBytes = rowBytes * static_cast<uint64_t>(height);
    // One part must hold the header, one frame and its index entries.
    if (frameBytes + 8 + kHeaderBytes + ixChunkBytes(1) + 8 + 16 > riffLimit_) return 0;
    width_ = width;
    height_ = height;
    sourceBitCount_ = sourceBitCount;
    rowBytes_ = static_cast<uint32_t>(rowBytes);
    frameBytes_ = static_cast<uint32_t>(frameBytes);
    setRate(rate);

    ByteBuilder h(kHeaderBytes);
    h.tag("RIFF");
    h.u32(0);  // patched by finish()
    h.tag("AVI ");
    h.tag("LIST");
    h.u32(kHdrlBodyBytes);
    h.tag("hdrl");
    h.tag("avih");
    h.u32(56);
    h.u32(100000000 / rate_);                              // microseconds per frame
    h.u32(clampU32(uint64_t{frameBytes_} * rate_ / 100));  // maximum bytes per second
    h.u32(0);                                              // padding granularity
    h.u32(kAvihFlags);
    h.u32(0);                // total frames, patched
    h.u32(0);                // initial frames
    h.u32(1);                // streams
    h.u32(frameBytes_ + 8);  // suggested buffer size
    h.u32(static_cast<uint32_t>(width));
    h.u32(static_cast<uint32_t>(height));
    h.zeros(16);
    h.tag("LIST");
    h.u32(kStrlBodyBytes);
    h.tag("strl");
    h.tag("strh");
    h.u32(64);
    h.tag("vids");
    h.tag("DIB ");
    h.u32(0);                   // flags
    h.u16(0);                   // priority
    h.u16(0);                   // language
    h.u32(0);                   // initial frames
    h.u32(1000000000 / rate_);  // scale
    h.u32(kStreamRate);
    h.u32(0);  // start
    h.u32(0);  // length, patched
    h.u32(frameBytes_ + 8);
    h.u32(0);  // quality
    h.u32(0);  // sample size
    h.zeros(16);
    h.tag("strf");
    h.u32(40);
    imaging::BITMAPINFOHEADER bih;
    bih.biWidth = width;
    bih.biHeight = height;  // positive: bottom-up rows
    bih.biPlanes = 1;
    bih.biBitCount = 24;
    h.raw(&bih, sizeof bih);
    h.tag("JUNK");  // becomes "indx"
    h.u32(kIndxBodyBytes);
    h.zeros(kIndxBodyBytes);
    h.tag("JUNK");  // becomes LIST "odml"
    h.u32(kOdmlBodyBytes);
    h.tag("odml");
    h.tag("dmlh");
    h.u32(248);
    h.zeros(248);
    h.tag("LIST");
    h.u32(0);  // movi size, patched
    h.tag("movi");

    if (!file_.open(path)) {
        error_ = file_.error();
        return 0;
    }
    if (h.size() != kHeaderBytes || !file_.append(h.data(), h.size())) {
        error_ = file_.error();
        file_.discard();
        return 0;
    }
    parts_.push_back(Part{0, kMoviListAt + 8, 0, 0, 0, 0});
    partOpen_ = true;
    return 1;
}

int CAviWriter::appendFrame(const imaging::CDibImage& frame24) {
    if (frame24.empty() || frame24.bitCount() != 24 || frame24.width() != width_ ||
        frame24.height() != height_) {
        return 0;
    }
    return appendFrame(frame24.bits(), static_cast<size_t>(frame24.stride()));
}

int CAviWriter::appendFrame(const uint8_t* bottomUpRows, size_t srcStride) {
    if (!file_.isOpen() || failed_ || !partOpen_ || bottomUpRows == nullptr ||
        srcStride < static_cast<size_t>(width_) * 3) {
        return 0;
    }
    const uint8_t* pixels = bottomUpRows;
    if (srcStride != rowBytes_) {
        // Chunks hold rows at the stride a DIB of this width has; copy the real rows there.
        if (!packed_) {
            packed_ = imaging::alignedAlloc(frameBytes_);
            if (!packed_) return 0;
        }
        const size_t rowPixels = static_cast<size_t>(width_) * 3;
        for (int y = 0; y < height_; ++y) {
            std::memcpy(packed_.get() + static_cast<size_t>(y) * rowBytes_,
                        bottomUpRows + static_cast<size_t>(y) * srcStride, rowPixels);
        }
        pixels = packed_.get();
    }

    // Start a new part when this frame and the indexes would carry the part past its limit.
    const Part& part = parts_.back();
    const uint64_t next = part.frameCount + uint64_t{1};
    const uint64_t projected = file_.position() - part.riffStart + 8 + frameBytes_ +
                               ixChunkBytes(next) + (parts_.size() == 1 ? 8 + 16 * next : 0);
    if (part.frameCount > 0 && projected > riffLimit_) {
        if (parts_.size() >= kSuperIndexSlots) {
            fail(EFBIG);
            return 0;
        }
        if (!closePart(false) || !startPart()) {
            fail(file_.error());
            return 0;
        }
    }
    if (!writeFrame(pixels)) {
        fail(file_.error());
        return 0;
    }
    return 1;
}

bool CAviWriter::writeFrame(const uint8_t* pixels) {
    const uint64_t at = file_.position();
    const uint32_t chunkHeader[2] = {fourcc("00db"), frameBytes_};
    if (!file_.append2(chunkHeader, sizeof chunkHeader, pixels, frameBytes_)) return false;
    frames_.push_back(at);
    ++parts_.back().frameCount;
    return true;
}

bool CAviWriter::startPart() {
    const uint64_t at = file_.position();
    ByteBuilder h(24);
    h.tag("RIFF");
    h.u32(0);
    h.tag("AVIX");
    h.tag("LIST");
    h.u32(0);
    h.tag("movi");
    // On failure the end position stays at `at`: finalize() cuts the partial header off.
    if (!file_.append(h.data(), h.size())) return false;
    parts_.push_back(Part{at, at + 20, static_cast<uint32_t>(frames_.size()), 0, 0, 0});
    partOpen_ = true;
    return true;
}

bool CAviWriter::writeU32At(uint64_t offset, uint32_t value) {
    const uint8_t b[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return file_.writeAt(offset, b, sizeof b);
}

bool CAviWriter::writeIx00(Part& part) {
    const uint64_t at = file_.position();
    ByteBuilder ix(ixChunkBytes(part.frameCount));
    ix.tag("ix00");
    ix.u32(static_cast<uint32_t>(ixChunkBytes(part.frameCount) - 8));
    ix.u16(2);       // longs per entry
    ix.u16(0x0100);  // sub-type 0, type 1: an index of chunks
    ix.u32(part.frameCount);
    ix.tag("00db");
    ix.u64(part.moviStart);  // base offset
    ix.u32(0);
    for (uint32_t i = 0; i < part.frameCount; ++i) {
        // Offsets point at the chunk's data, past its 8-byte header; sizes without bit 31
        // mark key frames.
        ix.u32(static_cast<uint32_t>(frames_[part.firstFrame + i] + 8 - part.moviStart));
        ix.u32(frameBytes_);
    }
    if (!file_.append(ix.data(), ix.size())) return false;
    part.ixOffset = at;
    part.ixBytes = static_cast<uint32_t>(ix.size());
    return true;
}

bool CAviWriter::writeIdx1(const Part& part) {
    ByteBuilder idx(8 + 16 * size_t{part.frameCount});
    idx.tag("idx1");
    idx.u32(16 * part.frameCount);
    for (uint32_t i = 0; i < part.frameCount; ++i) {
        idx.tag("00db");
        idx.u32(kIdx1KeyFrame);
        idx.u32(static_cast<uint32_t>(frames_[part.firstFrame + i] - part.moviStart));
        idx.u32(frameBytes_);
    }
    return file_.append(idx.data(), idx.size());
}

// Ends the current part: its standard index when the file is (or becomes) an OpenDML file,
// the "movi" size, the "idx1" index of the first part, and the RIFF size. A write that
// fails is cut off again, so the sizes always describe what the file holds.
bool CAviWriter::closePart(bool last) {
    Part& part = parts_.back();
    partOpen_ = false;
    bool ok = true;
    if (!last || parts_.size() > 1) {
        if (!writeIx00(part)) {
            ok = false;
            keepError();
            file_.truncate(file_.position());
        }
    }
    const uint64_t moviEnd = file_.position();
    ok = writeU32At(part.moviStart - 4, static_cast<uint32_t>(moviEnd - part.moviStart)) && ok;
    if (parts_.size() == 1 && file_.ok() && !writeIdx1(part)) {
        ok = false;
        keepError();
        file_.truncate(moviEnd);
    }
    const uint64_t riffBytes = file_.position() - part.riffStart - 8;
    ok = writeU32At(part.riffStart + kRiffSizeAt, static_cast<uint32_t>(riffBytes)) && ok;
    return ok;
}

void CAviWriter::patchHeaders() {
    // Frames a reader can find through the indexes: every frame of a plain file; the parts
    // whose standard index got written in an OpenDML file.
    const bool odml = parts_.size() > 1;
    uint32_t total = 0;
    uint32_t indexedParts = 0;
    for (const Part& p : parts_) {
        if (!odml || p.ixBytes != 0) {
            total += p.frameCount;
            ++indexedParts;
        }
    }
    const uint32_t firstPartFrames = parts_.empty() ? 0 : parts_.front().frameCount;
    writeU32At(kAvihUsPerFrameAt, 100000000 / rate_);
    writeU32At(kAvihMaxBytesPerSecAt, clampU32(uint64_t{frameBytes_} * rate_ / 100));
    // In an OpenDML file the main header counts the first part only; the extended header
    // and the stream header count them all.
    writeU32At(kAvihTotalFramesAt, firstPartFrames);
    writeU32At(kStrhScaleAt, 1000000000 / rate_);
    writeU32At(kStrhLengthAt, total);
    if (!odml) return;

    ByteBuilder indx(8 + kIndxBodyBytes);
    indx.tag("indx");
    indx.u32(kIndxBodyBytes);
    indx.u16(4);  // longs per entry
    indx.u16(0);  // sub-type 0, type 0: an index of indexes
    indx.u32(indexedParts);
    indx.tag("00db");
    indx.zeros(12);
    for (const Part& p : parts_) {
        if (p.ixBytes == 0) continue;
        indx.u64(p.ixOffset);
        indx.u32(p.ixBytes);
        indx.u32(p.frameCount);
    }
    file_.writeAt(kIndxAt, indx.data(), indx.size());

    ByteBuilder odmlList(24);
    odmlList.tag("LIST");
    odmlList.u32(kOdmlBodyBytes);
    odmlList.tag("odml");
    odmlList.tag("dmlh");
    odmlList.u32(248);
    odmlList.u32(total);
    file_.writeAt(kOdmlAt, odmlList.data(), odmlList.size());
}

void CAviWriter::keepError() {
    if (pendingError_ == 0) pendingError_ = file_.error();
    file_.clearError();
}

void CAviWriter::fail(int err) {
    if (!failed_) {
        failed_ = true;
        error_ = err != 0 ? err : (pendingError_ != 0 ? pendingError_ : EIO);
        ORVANE_LOG(platform::LogLevel::Warn, "avi: write failed (errno %d); finishing the file",
                   error_);
    }
    finalize();
}

int CAviWriter::finish() {
    return finalize();
}

int CAviWriter::finalize() {
    if (!file_.isOpen()) return 0;
    // Whatever failed before, the repairs below may still succeed in the space freed by
    // cutting off a partly written chunk.
    file_.clearError();
    file_.truncate(file_.position());
    bool ok = !failed_;
    if (partOpen_) ok = closePart(true) && ok;
    patchHeaders();
    ok = file_.ok() && ok;
    if (!file_.close()) ok = false;
    if (!ok && !failed_) {
        failed_ = true;
        error_ = file_.error() != 0 ? file_.error() : (pendingError_ != 0 ? pendingError_ : EIO);
    }
    return ok ? 1 : 0;
}

}  // namespace orvane::output
