// Colour processing and filters on the raw frame (mean level, hot-pixel suppression, gray
// modes) and on the finished image (hue and saturation, gamma, contrast, sharpness,
// brightness).
//
// Threads: every routine runs on the thread that processes the frame, with the session's
// frame lock held; the table caches belong to one session and are used under the same lock.
// The routines take no locks and keep no global state apart from constant tables. With a
// worker pool they split rows over its threads and return when all are done.
//
// Pixel formats: 1 byte per pixel (one 8-bit channel), 2 (one 16-bit channel), 3 or 4 (three
// 8-bit channels, a fourth byte left alone), 6 or 8 (three 16-bit channels, a fourth sample
// left alone unless a routine says otherwise).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "imaging/CDibImage.h"
#include "imaging/SimdSupport.h"

namespace orvane::platform {
class WorkerPool;
}

namespace orvane::imaging {

// ---- Raw-frame routines -----------------------------------------------------------------

// Integer mean of the samples in rect (clipped to the frame), 0 for an empty rectangle.
// 8-bit samples count as they are, a 16-bit sample v as (v >> 2) & 0xFF.
int meanLevel(const ImageView& raw, const PixelRect& rect);

// Thresholds used by the pipeline.
constexpr int kHotPixelThreshold8 = 30;
constexpr int kHotPixelThreshold16 = 480;

// Hot-pixel suppression in place over rows and columns 2 to size - 3, in scan order (a
// replaced sample is what later positions see). m is the mean of the four same-colour
// neighbours two samples away.
// 8-bit: where v - m >= threshold and at least two of |R - G|, |R - B|, |G - B| of the
// demosaic colour at that position (red and blue kept to 8 bits) exceed the threshold.
// 16-bit: where |v - m| >= threshold and all eight neighbours differ from v by at least it.
// Returns the number of samples replaced. Allocates nothing.
// With a pool, bands of rows run at once and the rows where they meet are done again in
// order when a replacement near a band's edge could have changed a result.
int suppressHotPixels(const ImageView& raw, int bayerMode, int gainRed, int gainBlue, int threshold,
                      platform::WorkerPool* pool = nullptr);
// The same on a frame copied from `source` (same size and pixel size, any stride): the result
// equals copying the frame into `raw` and suppressing there, but each row is copied just
// before it is first read. -1 (and nothing copied) when the two do not match.
int suppressHotPixelsFrom(const ImageView& source, const ImageView& raw, int bayerMode, int gainRed,
                          int gainBlue, int threshold, platform::WorkerPool* pool = nullptr);

// Gray mode 1. Sites in the order R, G1, G2, B.
enum GraySite : int { kGrayR = 0, kGrayG1 = 1, kGrayG2 = 2, kGrayB = 3 };
// Site of raw sample (x, y) for Bayer mode 0 to 3.
GraySite graySiteAt(int bayerMode, int x, int y);

struct GrayGains {
    int32_t gain[4] = {128, 128, 128, 128};    // 128 = 1.0
    int32_t offset[4] = {128, 128, 128, 128};  // added as they are
    bool isDefault() const;
};

// One-shot balance: means of the 8-bit samples (the low byte of 16-bit ones) of each site,
// counting values 1 to 254 only; gain = trunc(mean G1 / mean site x 128) in single
// precision, G1 = 128. A site without counted samples (or G1 without any) keeps the gain it
// had in `current`. Offsets are copied from `current`.
GrayGains measureGrayBalance(const ImageView& raw, int bayerMode, const GrayGains& current);

// v = offset + trunc(gain x v / 128), limited to 0 ... 255 (dataBits 8) or 0 ... 4095
// (dataBits 12). Does nothing and returns false when every gain and offset is 128.
bool applyGrayGains(const ImageView& raw, int bayerMode, const GrayGains& gains, int dataBits,
                    platform::WorkerPool* pool = nullptr);

// Gray mode 2, second half: raw8 = (30 R + 59 G + 11 B) / 100 from a 24- or 32-bit image of
// the same size (the caller demosaics first).
bool grayFromColour(const ImageView& colour, const ImageView& raw8,
                    platform::WorkerPool* pool = nullptr);

// ---- Output-image routines ----------------------------------------------------------------

// Hue and saturation in fixed point. Keeps the saturation table and the hue shift of the
// last settings; set() rebuilds only what changed. One per session.
// A transform of single rows in place, for passes that walk the rows themselves. run() may
// be called from several threads at once on different rows.
class RowStep {
  public:
    virtual void run(uint8_t* row, int width, int bytesPerPixel) const = 0;

  protected:
    ~RowStep() = default;
};

class HueSaturation {
  public:
    HueSaturation();
    void set(int hue, int saturation);
    int hue() const { return hue_; }
    int saturation() const { return saturation_; }
    // Nothing to do when hue and saturation are both 0.
    bool active() const { return hue_ != 0 || saturation_ != 0; }
    // Transforms 3- or 4-byte pixels, or 6- or 8-byte pixels through their high bytes (low
    // bytes become 0; the fourth sample of 8-byte pixels becomes 0). Returns false for other
    // formats; does nothing when not active.
    bool apply(const ImageView& image, platform::WorkerPool* pool = nullptr,
               VectorPath path = VectorPath::Best) const;
    // Calls body(step, context) with apply()'s transform of one row of `bytesPerPixel` pixels
    // and returns its result; false without calling it when not active or for another format.
    bool withRowStep(int bytesPerPixel, VectorPath path, bool (*body)(const RowStep&, void*),
                     void* context) const;

    // Hue shift in units of 1/1530 turn for a hue in degrees.
    static int hueShift(int hue);

  private:
    int hue_ = 0;
    int saturation_ = 0;
    int shift_ = 0;
    uint16_t sat_[256];
};

// Tables of the point operations. Each is a plain function of one sample, so adjacent
// stages compose exactly into one table.
void buildGammaTable8(int gamma, uint8_t* table);    // 256 entries
void buildGammaTable16(int gamma, uint16_t* table);  // 65536 entries
void buildContrastTable8(int contrast, uint8_t* table);
void buildContrastTable16(int contrast, uint16_t* table);
void buildBrightnessTable8(int brightness, uint8_t* table);
void buildBrightnessTable16(int brightness, uint16_t* table);

// Stage selection for a composed table.
enum ToneStage : unsigned { kToneGamma = 1, kToneContrast = 2, kToneBrightness = 4 };

// Cache of composed tone tables, rebuilt only when a setting or the stage set changes. One
// per session; the 16-bit table and its build scratch (256 KiB) are allocated on first use
// and kept.
class ToneTableCache {
  public:
    ToneTableCache();
    ~ToneTableCache();
    // Composition gamma -> contrast -> brightness of the stages in `stages` whose setting is
    // not neutral (gamma 100, contrast 0, brightness 0); null when none is left.
    const uint8_t* table8(unsigned stages, int gamma, int contrast, int brightness);
    const uint16_t* table16(unsigned stages, int gamma, int contrast, int brightness);
    // Number of table builds so far (for tests of the caching).
    int builds() const { return builds_; }

  private:
    struct Key {
        unsigned stages = 0;
        int gamma = 0, contrast = 0, brightness = 0;
        bool valid = false;
        bool operator==(const Key&) const = default;
    };
    Key key8_, key16_;
    uint8_t t8_[256];
    std::unique_ptr<uint16_t[]> t16_;
    int builds_ = 0;
};

// Runs every channel (not the fourth) of the image through a table: 8-bit tables for 1-,
// 3- and 4-byte pixels, 16-bit tables for 2-, 6- and 8-byte pixels.
bool applyTable8(const ImageView& image, const uint8_t* table, platform::WorkerPool* pool = nullptr,
                 VectorPath path = VectorPath::Best);
bool applyTable16(const ImageView& image, const uint16_t* table,
                  platform::WorkerPool* pool = nullptr);
// One row of `width` pixels of 1, 3 or 4 bytes (the fourth byte is left alone).
void applyTableRow8(uint8_t* row, int width, int bpp, const uint8_t* table,
                    VectorPath path = VectorPath::Best);

// Single stages (each skipped when neutral), built through the cache.
bool applyGamma(const ImageView& image, int gamma, ToneTableCache& cache,
                platform::WorkerPool* pool = nullptr);
bool applyContrast(const ImageView& image, int contrast, ToneTableCache& cache,
                   platform::WorkerPool* pool = nullptr);
bool applyBrightness(const ImageView& image, int brightness, ToneTableCache& cache,
                     platform::WorkerPool* pool = nullptr);

// Working memory of the sharpening stage: a few rows per band (the saved rows at band
// boundaries, a ring of originals and the running vertical sums). Grows to the largest
// frame seen and is kept, so that frames of one size allocate nothing. One per session.
class SharpenWorkspace {
  public:
    // At least `bytes` of storage, or nullptr when it cannot be had.
    uint8_t* reserve(size_t bytes);

  private:
    std::unique_ptr<uint8_t[]> data_;
    size_t size_ = 0;
};

// Unsharp masking with strength 1 ... 30, in place: over rows and columns 2 to size - 3
// writes orig + trunc(k (orig - blur) / 10) limited to the sample range, blur being the
// 4 x 4 box of the original rows y - 2 ... y + 1 and columns x - 2 ... x + 1, shifted right
// by 4. The two-pixel frame keeps its values. Does nothing for k = 0. Returns false for an
// unsupported format or when the workspace cannot be had (the image is then unchanged).
bool sharpen(const ImageView& image, SharpenWorkspace& workspace, int strength,
             platform::WorkerPool* pool = nullptr, VectorPath path = VectorPath::Best);

// `first` on every row (when not null), applyTable8(before), sharpen, applyTable8(after) on
// 8-bit channels in one banded pass with the same result as running them one after the
// other over the whole image; a null table is skipped. Returns false for other formats or
// when the workspace cannot be had (the image is then unchanged).
bool sharpenBetween(const ImageView& image, SharpenWorkspace& workspace, int strength,
                    const uint8_t* before, const uint8_t* after,
                    platform::WorkerPool* pool = nullptr, VectorPath path = VectorPath::Best,
                    const RowStep* first = nullptr);

// The tone steps of the pipeline in their order: gamma, contrast, sharpness, brightness.
// Adjacent point stages are run as one composed table. With `hueFirst` (active or not) its
// hue and saturation go before them, in the banded pass where there is one.
bool applyToneSteps(const ImageView& image, int gamma, int contrast, int sharpness, int brightness,
                    ToneTableCache& cache, SharpenWorkspace& sharpenSpace,
                    platform::WorkerPool* pool = nullptr, const HueSaturation* hueFirst = nullptr);

}  // namespace orvane::imaging
