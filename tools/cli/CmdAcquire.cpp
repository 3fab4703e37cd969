// snapshot, stream, record and mask: the commands that take frames.
#include <chrono>
#include <cstdio>
#include <thread>

#include "AviProgress.h"
#include "CliSession.h"
#include "Commands.h"
#include "OrvaneSdk.h"
#include "Report.h"
#include "Settings.h"
#include "StatusLine.h"

namespace cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFormatBuffer = -2;  // the application buffer itself, written by the tool
// A finished recording's file is complete at the first frame after its time; beyond this the
// tool stops waiting and ends the recording itself.
constexpr auto kRecordGrace = std::chrono::seconds(5);

struct AcquisitionOptions {
    int bits = 24;
    int rowOrder = 1;
    std::vector<std::pair<int, int>> filters;  // identifier, value
    std::string output;
    int format = ORVANE_FORMAT_RAW;
    double seconds = 2.0;
    long milliseconds = 1000;
};

int formatNumber(const std::string& name) {
    static const std::pair<const char*, int> formats[] = {
        {"bmp", ORVANE_FORMAT_BMP},         {"raw", ORVANE_FORMAT_RAW},
        {"jpeg100", ORVANE_FORMAT_JPEG100}, {"jpeg70", ORVANE_FORMAT_JPEG70},
        {"jpeg20", ORVANE_FORMAT_JPEG20},   {"png", ORVANE_FORMAT_PNG},
        {"tiff", ORVANE_FORMAT_TIFF},       {"buffer", kFormatBuffer}};
    for (const auto& [n, f] : formats)
        if (name == n) return f;
    return -1;
}

// Parses the options after the command; `missingOutput`, for a command that writes a file,
// is the usage message when no -o was given. Returns 0, or the usage status after a message.
int parseAcquisition(const Args& args, AcquisitionOptions* o, const char* missingOutput = nullptr) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (i + 1 >= args.size())
            return usageError(a.rfind("--", 0) == 0 || a == "-o"
                                  ? a + " needs a value"
                                  : "unexpected argument '" + a + "'");
        const std::string& v = args[++i];
        long n = 0;
        if (a == "-o" || a == "--output" || a == "--save") {
            o->output = v;
        } else if (a == "--format") {
            o->format = formatNumber(v);
            if (o->format == -1)
                return usageError("unknown format '" + v +
                                  "'; formats: raw, bmp, jpeg100, jpeg70, jpeg20, png, tiff, "
                                  "buffer");
        } else if (a == "--rows") {
            if (v != "top" && v != "bottom") return usageError("--rows takes top or bottom");
            o->rowOrder = v == "bottom" ? 0 : 1;
        } else if (a == "--ms") {
            if (!parseInt(v, &n) || n <= 0) return usageError("--ms needs a positive number");
            o->milliseconds = n;
        } else if (a == "--seconds") {
            if (!parseSeconds(v, &o->seconds) || o->seconds <= 0)
                return usageError("--seconds needs a positive number");
        } else if (a == "--mode") {
            if (!parseInt(v, &n)) return usageError("--mode needs a number of bits per pixel");
            o->bits = static_cast<int>(n);
        } else if (a.rfind("--", 0) == 0 && settingId(a.substr(2)) > 0) {
            if (!parseInt(v, &n)) return usageError(a + " needs a number, not '" + v + "'");
            o->filters.emplace_back(settingId(a.substr(2)), static_cast<int>(n));
        } else {
            return usageError("unknown option '" + a + "'");
        }
    }
    if (missingOutput != nullptr && o->output.empty()) return usageError(missingOutput);
    return 0;
}

bool applyAcquisition(const CliSession& s, const AcquisitionOptions& o) {
    if (!Orvane_SetColorMode(s.handle(), o.bits)) {
        s.report("set colour mode " + std::to_string(o.bits));
        return false;
    }
    for (const auto& [id, value] : o.filters) {
        if (!Orvane_SetFilterValue(s.handle(), id, value)) {
            s.report("set filter " + std::to_string(id) + " to " + std::to_string(value));
            return false;
        }
    }
    return true;
}

// Opens camera `device` in the session and applies the options; false after a message.
bool openForAcquisition(CliSession& s, int device, const AcquisitionOptions& o) {
    return s.ok() && s.openCamera(device) && applyAcquisition(s, o);
}

size_t frameBytes(const CliSession& s, int bits) {
    const size_t stride =
        (static_cast<size_t>(Orvane_Width(s.handle())) * static_cast<size_t>(bits) / 8 + 3) &
        ~size_t{3};
    return stride * static_cast<size_t>(Orvane_Height(s.handle()));
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool writeBuffer(const std::string& path, const std::vector<unsigned char>& data) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool written = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && written;
}

}  // namespace

int cmdSnapshot(int device, const Args& args) {
    AcquisitionOptions o;
    if (const int status = parseAcquisition(args, &o, "snapshot needs -o FILE")) return status;
    CliSession s;
    if (!openForAcquisition(s, device, o)) return kExitFailure;
    std::vector<unsigned char> frame(frameBytes(s, o.bits));
    if (!Orvane_SnapShot(s.handle(), frame.data(), static_cast<int>(frame.size()), o.rowOrder))
        return s.report("snapshot");
    if (o.format == kFormatBuffer) {
        if (!writeBuffer(o.output, frame)) {
            const std::string reason = whyCannotWrite(o.output);
            return fail("write the frame", reason.empty() ? "cannot write " + o.output : reason);
        }
    } else if (!Orvane_SaveImage(s.handle(), o.output.c_str(), o.format)) {
        return s.report("save image", whyCannotWrite(o.output));
    }
    std::printf("%s: %d x %d, %d bits\n", o.output.c_str(), Orvane_Width(s.handle()),
                Orvane_Height(s.handle()), o.bits);
    return 0;
}

int cmdStream(int device, const Args& args) {
    AcquisitionOptions o;
    if (const int status = parseAcquisition(args, &o)) return status;
    CliSession s;
    if (!openForAcquisition(s, device, o)) return kExitFailure;
    s.drainMessages();
    std::vector<unsigned char> frame(frameBytes(s, o.bits));
    if (!Orvane_CallBackPreview(s.handle(), s.window(), frame.data(),
                                static_cast<int>(frame.size()), o.rowOrder)) {
        return s.report("start the preview");
    }
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(o.seconds));
    Progress p;
    int cameraRate = 0, lastError = 0;
    StatusLine status(stdout);
    OrvaneMessage m;
    while (Clock::now() < end && lastError != ORVANE_ERR_DELIVERY) {
        p.elapsed = secondsSince(start);
        p.rate = p.elapsed > 0 ? p.frames / p.elapsed : 0;
        status.update(p);
        if (Orvane_GetMessage(s.window(), &m, 50) != 1 || m.message != ORVANE_WM_FRAME) continue;
        if (m.lParam != 0) {
            // The frame was not delivered: too small a buffer (5) or a failed device (13).
            ++p.dropped;
            lastError = static_cast<int>(m.lParam);
            continue;
        }
        ++p.frames;
        cameraRate = reinterpret_cast<const OrvaneFrameInfo*>(m.wParam)->frameRate;
    }
    Orvane_StopPreview(s.handle());
    status.finish();
    p.elapsed = secondsSince(start);
    std::printf(
        "frames received: %ld in %.2f s (%.1f per second), dropped %ld; camera rate %d.%d "
        "fps\n",
        p.frames, p.elapsed, p.frames / p.elapsed, p.dropped, cameraRate / 10, cameraRate % 10);
    if (lastError != 0) return fail("stream", libraryError(lastError));
    if (p.frames == 0)
        return fail("stream", "no frame arrived in " + std::to_string(o.seconds) + " s");
    return 0;
}

int cmdRecord(int device, const Args& args) {
    AcquisitionOptions o;
    if (const int status = parseAcquisition(args, &o, "record needs -o FILE.avi")) return status;
    CliSession s;
    if (!openForAcquisition(s, device, o)) return kExitFailure;
    s.drainMessages();
    if (!Orvane_Record(s.handle(), o.output.c_str(), static_cast<int>(o.milliseconds), 0))
        return s.report("record", whyCannotWrite(o.output));
    const auto start = Clock::now();
    const auto giveUp = start + std::chrono::milliseconds(o.milliseconds) + kRecordGrace;
    AviProgress avi(o.output);
    Progress p;
    int lastError = 0;
    StatusLine status(stdout);
    OrvaneMessage m;
    while (!avi.finished() && Clock::now() < giveUp) {
        // Errors of the running recording (a full disk, a failed device) arrive as messages.
        while (Orvane_GetMessage(s.window(), &m, 0) == 1) {
            if (m.message != ORVANE_WM_ERROR || m.lParam == 0) continue;
            ++p.dropped;
            lastError = static_cast<int>(m.lParam);
        }
        p.frames = avi.frames();
        p.elapsed = secondsSince(start);
        p.rate = p.elapsed > 0 ? p.frames / p.elapsed : 0;
        status.update(p);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Orvane_StopPreview(s.handle());
    status.finish();
    while (Orvane_GetMessage(s.window(), &m, 0) == 1)
        if (m.message == ORVANE_WM_ERROR && m.lParam != 0) lastError = static_cast<int>(m.lParam);
    if (lastError != 0) return fail("record", libraryError(lastError));
    const long frames = avi.finalFrames();
    if (frames == 0) return fail("record", "no frame was recorded");
    std::printf("%s: %ld frames, %ld ms\n", o.output.c_str(), frames, o.milliseconds);
    return 0;
}

int cmdMask(int device, const Args& args) {
    if (args.size() < 2) return usageError("mask needs update dark|bright, save FILE or load FILE");
    const std::string& what = args[0];
    const bool update = what == "update";
    if (!update && what != "save" && what != "load")
        return usageError("unknown mask command '" + what + "'");
    if (!update && args.size() != 2) return usageError("mask " + what + " takes one FILE");
    if (update && args[1] != "dark" && args[1] != "bright")
        return usageError("mask update takes dark or bright, not '" + args[1] + "'");
    AcquisitionOptions o;
    o.bits = 8;
    if (update) {
        if (const int status = parseAcquisition(Args(args.begin() + 2, args.end()), &o))
            return status;
    }
    CliSession s;
    if (!s.ok() || !s.openCamera(device)) return kExitFailure;
    const ORVANE_HANDLE h = s.handle();
    if (what == "save")
        return Orvane_SaveMaskFile(h, args[1].c_str())
                   ? 0
                   : s.report("save mask", whyCannotWrite(args[1]));
    if (what == "load")
        return Orvane_LoadMaskFile(h, args[1].c_str())
                   ? 0
                   : s.report("load mask", whyCannotRead(args[1]));
    if (!applyAcquisition(s, o)) return kExitFailure;
    if (!Orvane_SnapShot(h, nullptr, 0, 1)) return s.report("snapshot");
    if (!Orvane_UpdateMaskData(h, args[1] == "dark" ? 0 : 1)) return s.report("mask update");
    if (!o.output.empty() && !Orvane_SaveMaskFile(h, o.output.c_str()))
        return s.report("save mask", whyCannotWrite(o.output));
    std::printf("%s reference taken\n", args[1].c_str());
    return 0;
}

}  // namespace cli
