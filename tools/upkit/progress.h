// The progress line upkit draws on stderr for long work (create, test,
// extract) when stderr is a terminal and -q was not given. Nothing goes to
// stdout, so what scripts parse is the same with or without it.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

namespace upkit {

// What main knows of where stderr goes.
struct Console {
    bool err_is_terminal = false;
    int width = 80;  // columns
    // The line appears only once work has taken this long: quick runs do
    // not flicker.
    std::chrono::milliseconds delay{300};
};

// "1234 B", "12.3 KiB", "4.5 MiB", "1.2 GiB".
std::string byte_count_text(std::uint64_t bytes);

// One progress line of at most width - 1 columns (the last column is left
// free so the terminal does not wrap):
//   "[=========>          ]  45%  12.3/27.0 MiB  docs\notes.txt"
// The text at the end is shortened from its start ("...s\notes.txt") to fit
// and is made printable. done is capped at total; a total of 0 counts as done.
std::string render_progress(std::uint64_t done, std::uint64_t total, std::string_view text, int width);

// A line for work of unknown length: "compressing 27.0 MiB  |  12 s", the
// mark turning with tick.
std::string render_activity(std::string_view text, unsigned tick, std::chrono::seconds elapsed, int width);

class ProgressLine {
public:
    // Draws nothing unless enabled and console.err_is_terminal.
    ProgressLine(std::ostream& err, const Console& console, bool enabled);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    bool active() const { return active_; }

    // Redraws the bar, at most ten times a second.
    void update(std::uint64_t done, std::uint64_t total, std::string_view text);
    // Redraws the activity line (see render_activity).
    void update_activity(std::string_view text, unsigned tick);
    // Removes the line, so that other output starts on a clean line; the next
    // update draws it again.
    void clear();

private:
    bool due(bool force);
    void draw(const std::string& line);

    std::ostream& err_;
    bool active_;
    int width_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point shown_until_;
    std::chrono::steady_clock::time_point last_draw_{};
    std::chrono::milliseconds delay_;
    std::size_t drawn_ = 0;  // columns of the line on screen, 0 when none
};

}  // namespace upkit
