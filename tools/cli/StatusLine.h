// Progress of stream and record: on a terminal one line rewritten in place a few times a
// second; otherwise (a pipe, a file, a CI log) a plain line once a second.
#pragma once

#include <chrono>
#include <cstdio>

namespace cli {

struct Progress {
    long frames = 0;
    double rate = 0;  // frames per second
    long dropped = 0;
    double elapsed = 0;  // seconds
};

class StatusLine {
  public:
    // Writes to OUT; a terminal is detected with isatty().
    explicit StatusLine(std::FILE* out);
    ~StatusLine() { finish(); }
    StatusLine(const StatusLine&) = delete;
    StatusLine& operator=(const StatusLine&) = delete;

    bool live() const { return live_; }
    // Shows P if it is time for the next update.
    void update(const Progress& p);
    // Ends the live line so that what follows starts on a line of its own.
    void finish();

    // The text of one status line.
    static int format(const Progress& p, char* text, size_t size);

  private:
    std::FILE* out_;
    bool live_;
    bool shown_ = false;  // a live line is on the screen
    std::chrono::steady_clock::time_point next_{};
};

}  // namespace cli
