#include "StatusLine.h"

#include <unistd.h>

namespace cli {
namespace {
constexpr auto kLiveInterval = std::chrono::milliseconds(200);
constexpr auto kPlainInterval = std::chrono::seconds(1);
}  // namespace

StatusLine::StatusLine(std::FILE* out) : out_(out), live_(isatty(fileno(out)) == 1) {
    next_ = std::chrono::steady_clock::now() + (live_ ? kLiveInterval : kPlainInterval);
}

int StatusLine::format(const Progress& p, char* text, size_t size) {
    return std::snprintf(text, size, "frames %ld  rate %.1f fps  dropped %ld  elapsed %.1f s",
                         p.frames, p.rate, p.dropped, p.elapsed);
}

void StatusLine::update(const Progress& p) {
    const auto now = std::chrono::steady_clock::now();
    if (now < next_) return;
    next_ = now + (live_ ? kLiveInterval : kPlainInterval);
    char text[128];
    format(p, text, sizeof text);
    if (live_) {
        // Carriage return, the text, then erase whatever an earlier longer line left.
        std::fprintf(out_, "\r%s\033[K", text);
        shown_ = true;
    } else {
        std::fprintf(out_, "%s\n", text);
    }
    std::fflush(out_);
}

void StatusLine::finish() {
    if (!shown_) return;
    std::fputs("\r\033[K", out_);
    std::fflush(out_);
    shown_ = false;
}

}  // namespace cli
