// The helpers of test_support.h that both systems share.
#include "test_support.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "platform/platform.h"

namespace testing_support {

namespace fs = std::filesystem;

void TempDirTest::TearDown()
{
    fs::current_path(previous_);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
}

// Sets TZ to zone, or unsets it for NULL, and has the C library read it;
// one for each system.
void set_time_zone(const char *zone);

ScopedTimeZone::ScopedTimeZone(const char *zone)
{
    const char *old = std::getenv("TZ");
    had_ = old != nullptr;
    if (had_)
        previous_ = old;
    set_time_zone(zone);
}

ScopedTimeZone::~ScopedTimeZone()
{
    set_time_zone(had_ ? previous_.c_str() : nullptr);
}

// Read as text: on Windows the CR LF of text files (logs, saved options)
// arrives as a line feed, so the same expectations hold on both systems.
std::string read_file(const fs::path &path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string read_bytes(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void write_file(const fs::path &path, const std::string &text)
{
    if (path.has_parent_path())
        fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::vector<std::string> read_lines(const fs::path &path)
{
    std::vector<std::string> lines;
    std::istringstream in(read_file(path));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

fs::path log_file(const fs::path &dir, int year, int month, int day)
{
    char name[64];
    std::snprintf(name, sizeof name, "monitor_%04d%02d%02d.log", year, month, day);
    return dir / "log" / name;
}

fs::path todays_log(const fs::path &dir)
{
    struct tm local {};
    platform_localtime(std::time(nullptr), &local);
    return log_file(dir, local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

Release read_release(const fs::path &path)
{
    Release release;
    for (const std::string &line : read_lines(path)) {
        size_t equal = line.find('=');
        if (line.empty() || line[0] == '#' || equal == std::string::npos)
            continue;
        std::string key = line.substr(0, equal);
        std::string value = line.substr(equal + 1);
        if (key == "version")
            release.version = value;
        else if (key == "revision")
            release.revision = std::stoi(value);
        else if (key == "time")
            release.time = std::stoll(value);
    }
    return release;
}

std::string clock_text(long long time, int offset_hours)
{
    std::time_t shifted = static_cast<std::time_t>(time + offset_hours * 3600LL);
    char text[32] = "";
    std::strftime(text, sizeof text, "%d/%m/%Y %H:%M", std::gmtime(&shifted));
    return text;
}

StreamCapture::~StreamCapture()
{
    text();
}

std::string StreamCapture::text()
{
    if (!done_) {
        std::fflush(stream_);
        dup2(saved_, fd_);
        close(saved_);
        done_ = true;
    }
    std::string captured = read_file(path_);
    std::remove(path_.c_str());
    return captured;
}

void record_diagnostic(int level, const char *component, const char *text, void *data)
{
    static_cast<std::vector<std::string> *>(data)->push_back(std::string(component) + " " +
                                                             std::to_string(level) + " " + text);
}

} // namespace testing_support
