// The defect mask: reference frames, defect maps and the mask file.
#include <cstring>

#include "device/COrvaneUSB3Q7SimpleSdk.h"
#include "imaging/MaskFilters.h"
#include "output/MaskFile.h"
#include "session/COrvane.h"

namespace orvane::session {

bool COrvane::EnsureMaskBuffers() {
    if (!images_[kMarks16]->empty()) return true;
    // Only the references hold samples of the frame's depth. The defect maps and the marks
    // hold one flag byte per pixel at both depths ("16" names the frames they serve): the
    // map builder and the dot filter take nothing else.
    for (int role : {kDark8, kBright8, kHot8, kDead8, kMarks8, kHot16, kDead16, kMarks16})
        if (!images_[role]->Create(kArrayWidth, kArrayHeight, 8)) return false;
    for (int role : {kDark16, kBright16})
        if (!images_[role]->Create(kArrayWidth, kArrayHeight, 16)) return false;
    // New buffers are zero: only the bright references need filling.
    std::memset(images_[kBright8]->bits(), 255, images_[kBright8]->sizeBytes());
    CDibImage& bright16 = *images_[kBright16];
    for (int y = 0; y < bright16.height(); ++y) {
        auto* row = reinterpret_cast<uint16_t*>(bright16.bits() +
                                                static_cast<size_t>(y) * bright16.stride());
        for (int x = 0; x < bright16.width(); ++x) row[x] = 4095;
    }
    return true;
}

int COrvane::UpdateMaskData(int mode) {
    if (!sdk_) return fail(kErrState);
    maskUpdating_.store(true);
    bool ok = true;
    {
        // The mask lock as well as the frame lock: a save running on another thread reads
        // the references under the mask lock alone.
        platform::LockGuard frame(frameLock_);
        platform::LockGuard mask(maskLock_);
        if (!EnsureMaskBuffers()) {
            maskUpdating_.store(false);
            return fail(kErrMemory);
        }
        const CDibImage* raw = RawBuffer();
        const bool wide = raw != nullptr && raw->bitCount() == 16;
        if (raw != nullptr && !raw->empty() && raw->width() == kArrayWidth &&
            raw->height() == kArrayHeight) {
            if (mode == 0 || mode == 1) {
                CDibImage& reference =
                    *images_[mode == 0 ? (wide ? kDark16 : kDark8) : (wide ? kBright16 : kBright8)];
                std::memcpy(reference.bits(), raw->bits(),
                            std::min(reference.sizeBytes(), raw->sizeBytes()));
            } else {
                ok = false;
            }
        }
        const bool hot = mode == 0;
        const CDibImage& source =
            *images_[hot ? (wide ? kDark16 : kDark8) : (wide ? kBright16 : kBright8)];
        CDibImage& map = *images_[hot ? (wide ? kHot16 : kHot8) : (wide ? kDead16 : kDead8)];
        imaging::buildDefectMap(
            source.view(), hot ? imaging::DefectKind::Hot : imaging::DefectKind::Dead, map.view());
    }
    maskUpdating_.store(false);
    if (!ok || (mode != 0 && mode != 1)) return fail(kErrConversion);
    return 1;
}

int COrvane::LoadMaskFile(const char* path) {
    if (!sdk_) return fail(kErrState);
    platform::LockGuard mask(maskLock_);
    if (!EnsureMaskBuffers()) return fail(kErrMemory);
    const output::MaskReferences refs{images_[kDark8].get(), images_[kBright8].get(),
                                      images_[kDark16].get(), images_[kBright16].get()};
    if (path == nullptr || !output::LoadMaskFile(path, refs)) return fail(kErrMaskFile);
    imaging::buildDefectMap(images_[kDark8]->view(), imaging::DefectKind::Hot,
                            images_[kHot8]->view());
    imaging::buildDefectMap(images_[kBright8]->view(), imaging::DefectKind::Dead,
                            images_[kDead8]->view());
    imaging::buildDefectMap(images_[kDark16]->view(), imaging::DefectKind::Hot,
                            images_[kHot16]->view());
    imaging::buildDefectMap(images_[kBright16]->view(), imaging::DefectKind::Dead,
                            images_[kDead16]->view());
    return 1;
}

int COrvane::SaveMaskFile(const char* path) {
    if (!sdk_) return fail(kErrState);
    platform::LockGuard mask(maskLock_);
    if (!EnsureMaskBuffers()) return fail(kErrMemory);
    const output::ConstMaskReferences refs{images_[kDark8].get(), images_[kBright8].get(),
                                           images_[kDark16].get(), images_[kBright16].get()};
    // A file that could not be written whole is reported, not passed off as saved.
    if (path == nullptr || !output::SaveMaskFile(path, refs)) return fail(kErrMaskFile);
    return 1;
}

}  // namespace orvane::session
