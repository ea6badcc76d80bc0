#include "progress.h"

#include <algorithm>
#include <fmt/format.h>

#include "cli_output.h"

namespace upkit {

namespace {

// Columns of UTF-8 text: one per code point (the names upkit shows are
// Windows-1252 text, none of it wide).
std::size_t columns(std::string_view text)
{
    std::size_t n = 0;
    for (char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++n;
    return n;
}

// The last `keep` columns of text, starting at a code point.
std::string_view last_columns(std::string_view text, std::size_t keep)
{
    std::size_t total = columns(text);
    std::size_t at = 0;
    while (total > keep && at < text.size()) {
        ++at;
        while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
            ++at;
        --total;
    }
    return text.substr(at);
}

std::string fitted(std::string line, std::string_view text, int width)
{
    const std::size_t room = width > 1 ? static_cast<std::size_t>(width - 1) : 0;
    const std::size_t used = columns(line);  // ASCII
    if (used >= room)
        return line.substr(0, room);
    const std::string shown = printable(text);
    if (shown.empty() || used + 2 + 4 > room)
        return line;
    const std::size_t left = room - used - 2;
    if (columns(shown) <= left)
        return line + "  " + shown;
    return line + "  ..." + std::string(last_columns(shown, left - 3));
}

}  // namespace

std::string byte_count_text(std::uint64_t bytes)
{
    if (bytes < 1024)
        return fmt::format("{} B", bytes);
    const char* units[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes) / 1024.0;
    int unit = 0;
    while (value >= 1024.0 && unit < 3) {
        value /= 1024.0;
        ++unit;
    }
    return fmt::format("{:.1f} {}", value, units[unit]);
}

std::string render_progress(std::uint64_t done, std::uint64_t total, std::string_view text, int width)
{
    done = std::min(done, total);
    const double fraction = total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
    const int percent = static_cast<int>(fraction * 100.0);
    // The bar takes what is left of 80 columns, between 10 and 30 marks.
    const int bar = std::clamp(width - 50, 10, 30);
    const int filled = static_cast<int>(fraction * bar);
    std::string marks(static_cast<std::size_t>(filled), '=');
    if (filled < bar)
        marks += '>';
    marks.resize(static_cast<std::size_t>(bar), ' ');
    std::string line =
        fmt::format("[{}] {:>3}%  {} / {}", marks, percent, byte_count_text(done), byte_count_text(total));
    return fitted(std::move(line), text, width);
}

std::string render_activity(std::string_view text, unsigned tick, std::chrono::seconds elapsed, int width)
{
    static const char kMarks[] = {'|', '/', '-', '\\'};
    std::string line = fmt::format("{}  {} s", kMarks[tick % 4], elapsed.count());
    const std::string shown = printable(text);
    std::string full = shown + "  " + line;
    const std::size_t room = width > 1 ? static_cast<std::size_t>(width - 1) : 0;
    if (columns(full) <= room)
        return full;
    return line.size() <= room ? line : line.substr(0, room);
}

ProgressLine::ProgressLine(std::ostream& err, const Console& console, bool enabled)
    : err_(err)
    , active_(enabled && console.err_is_terminal)
    , width_(console.width > 10 ? console.width : 80)
    , start_(std::chrono::steady_clock::now())
    , delay_(console.delay)
{
}

ProgressLine::~ProgressLine()
{
    clear();
}

bool ProgressLine::due(bool force)
{
    if (!active_)
        return false;
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < delay_)
        return false;
    if (!force && drawn_ > 0 && now - last_draw_ < std::chrono::milliseconds(100))
        return false;
    last_draw_ = now;
    return true;
}

void ProgressLine::draw(const std::string& line)
{
    const std::size_t n = columns(line);
    std::string text = "\r" + line;
    if (n < drawn_)
        text.append(drawn_ - n, ' ');
    err_ << text << std::flush;
    drawn_ = std::max(n, std::size_t{1});
}

void ProgressLine::update(std::uint64_t done, std::uint64_t total, std::string_view text)
{
    if (due(false))
        draw(render_progress(done, total, text, width_));
}

void ProgressLine::update_activity(std::string_view text, unsigned tick)
{
    if (!due(false))
        return;
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start_);
    draw(render_activity(text, tick, elapsed, width_));
}

void ProgressLine::clear()
{
    if (!active_ || drawn_ == 0)
        return;
    err_ << '\r' << std::string(drawn_, ' ') << '\r' << std::flush;
    drawn_ = 0;
}

}  // namespace upkit
