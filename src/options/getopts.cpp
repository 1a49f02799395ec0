#include "options/getopts.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <unordered_map>
#include <vector>

#include "log/messages.hpp"
#include "log/verbose.h"
#include "platform/platform.h"

namespace {

const char empty_text[] = "";

// Reads of an ini file: 2047 characters and the terminator.
constexpr int ini_line_size = 2048;

struct FileCloser {
    void operator()(FILE *file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// The copies that ub_getopt_ini made for each row, latest last. A row owns
// its value while the value is still its latest copy. A pointer stored over
// it by ub_getopt_setValue or ub_getopt_sync is the caller's, and the copy
// it displaced may be shared with another table through ub_getopt_sync, so
// displaced copies are kept until ub_getopt_release.
std::unordered_map<const ub_option *, std::vector<char *>> owned_values;

bool owns_value(const ub_option *row)
{
    auto it = owned_values.find(row);
    return it != owned_values.end() && !it->second.empty() && it->second.back() == row->value;
}

char *copy_text(const char *text)
{
    size_t size = std::strlen(text) + 1;
    char *copy = static_cast<char *>(std::malloc(size));
    if (copy != nullptr)
        std::memcpy(copy, text, size);
    return copy;
}

// Gives row an owned copy of text, releasing the copy it replaces.
bool store_copy(ub_option *row, const char *text)
{
    char *copy = copy_text(text);
    if (copy == nullptr)
        return false;
    try {
        std::vector<char *> &copies = owned_values[row];
        if (!copies.empty() && copies.back() == row->value) {
            std::free(copies.back());
            copies.back() = copy;
        } else {
            copies.push_back(copy);
        }
    } catch (const std::bad_alloc &) {
        std::free(copy);
        return false;
    }
    row->value = copy;
    return true;
}

// Rows the ini reader walks: up to the first row without a letter (or name).
bool ini_row(const ub_option *row)
{
    return row->letter != 0 && row->name != nullptr;
}

const ub_option *find_row(const ub_option *table, const char *name)
{
    if (table == nullptr || name == nullptr)
        return nullptr;
    for (const ub_option *row = table; row->name != nullptr; ++row) {
        if (std::strcmp(row->name, name) == 0)
            return row;
    }
    return nullptr;
}

// Whether an ini line sets row: the row's name, directly followed by "=".
bool sets_row(const ub_option *row, const char *line)
{
    size_t n = std::strlen(row->name);
    return std::strncmp(line, row->name, n) == 0 && line[n] == '=';
}

// Sets every row named by the start of line; the number of rows set, or -1.
int apply_line(ub_option *table, const char *line, int32_t number)
{
    int count = 0;
    for (ub_option *row = table; ini_row(row); ++row) {
        if (!sets_row(row, line))
            continue;
        size_t n = std::strlen(row->name);
        if (!store_copy(row, line + n + 1))
            return -1;
        row->given = number;
        row->position = static_cast<int32_t>(n + 1);
        ++count;
    }
    return count;
}

constexpr char byte_order_mark[] = "\xEF\xBB\xBF";

// Bytes that fgets put into line, the zero bytes of the file included: line
// was filled with ones before, so the last zero is the terminator.
size_t piece_length(const char *line)
{
    size_t at = ini_line_size - 1;
    while (at > 0 && line[at] != '\0')
        --at;
    return at;
}

// The first row that an ini line (cut at its line end) sets, or nullptr.
const ub_option *first_set(const ub_option *table, const char *text)
{
    for (const ub_option *row = table; ini_row(row); ++row) {
        if (sets_row(row, text))
            return row;
    }
    return nullptr;
}

// A piece as the reader takes it: its text, cut at the first CR or LF.
struct Piece {
    const char *text;
    size_t length;  // the bytes read, line end and zero bytes included
    size_t end;     // where the text was cut
    bool dropped;   // a CR cut it with more than line ends after it
    bool bare;      // nothing but line ends
    bool continues; // full, without its line end: the line goes on
};

// Tells the notices of the physical lines. A full first piece is judged
// once the next shows whether the line is longer (a line end alone is not),
// so that the line's notice comes before those of its pieces.
class LineNotices {
public:
    LineNotices(const ub_option *table, ub_ini_reporter report, void *context)
        : table_(table), report_(report), context_(context)
    {
    }

    void first(int32_t physical, const Piece &piece)
    {
        line_ = physical;
        column_ = 0;
        judge(piece.text);
        cr_ = piece.dropped ? static_cast<int64_t>(piece.end) + 1 : 0;
        pending_ = true;
        if (!piece.continues)
            settle(false);
        column_ += static_cast<int64_t>(piece.length);
    }

    void later(const Piece &piece)
    {
        if (pending_ && (!piece.bare || !piece.continues))
            settle(!piece.bare);
        if (!pending_) {
            if (const ub_option *row = first_set(table_, piece.text))
                report_(context_, UB_INI_PIECE, line_, column_, row->name);
            if (piece.dropped)
                report_(context_, UB_INI_AFTER_CR, line_,
                        column_ + static_cast<int64_t>(piece.end) + 1, empty_text);
        }
        column_ += static_cast<int64_t>(piece.length);
    }

    // At the end of the file: a line whose full first piece was its last.
    void finish()
    {
        if (pending_)
            settle(false);
    }

private:
    void judge(const char *text)
    {
        kind_ = 0;
        option_ = first_set(table_, text);
        if (option_ != nullptr)
            return;
        bool marked = std::strncmp(text, byte_order_mark, 3) == 0;
        text += marked ? 3 : 0;
        const char *first = text + std::strspn(text, " \t");
        if (*first == '\0' || *first == '#' || *first == ';')
            return;
        kind_ = marked ? UB_INI_MARKED : UB_INI_UNKNOWN;
        size_t length = std::strcspn(text, "=");
        std::memcpy(name_, text, length);
        name_[length] = '\0';
    }

    void settle(bool cut)
    {
        if (cut && option_ != nullptr)
            report_(context_, UB_INI_CUT, line_, 0, option_->name);
        else if (cut)
            report_(context_, kind_ != 0 ? UB_INI_CUT_UNSET : UB_INI_CUT_COMMENT, line_, 0,
                    kind_ != 0 ? name_ : empty_text);
        else if (option_ == nullptr && kind_ != 0)
            report_(context_, kind_, line_, 0, name_);
        if (cr_ != 0)
            report_(context_, UB_INI_AFTER_CR, line_, cr_, empty_text);
        pending_ = false;
    }

    const ub_option *table_;
    ub_ini_reporter report_;
    void *context_;
    int32_t line_ = 0;
    int64_t column_ = 0;                // characters of the line before the piece
    const ub_option *option_ = nullptr; // what the first piece sets
    int kind_ = 0;                      // else UB_INI_UNKNOWN or UB_INI_MARKED, or 0
    int64_t cr_ = 0;                    // the first piece's dropping CR, from 1
    bool pending_ = false;              // the first piece not judged yet
    char name_[ini_line_size] = {};
};

char type_letter(int32_t type, char previous)
{
    static const char letters[] = "BSNHOB";
    return type >= UB_OPT_SWITCH && type <= UB_OPT_BOOLEAN ? letters[type] : previous;
}

} // namespace

int ub_getopt_ini(const char *path, ub_option *table) noexcept
{
    return ub_getopt_ini_report(path, table, nullptr, nullptr);
}

int ub_getopt_ini_report(const char *path, ub_option *table, ub_ini_reporter report,
                         void *context) noexcept
{
    if (path == nullptr || table == nullptr)
        return -1;
    File file(std::fopen(path, "rb"));
    return ub_getopt_ini_report_file(file.get(), table, report, context);
}

int ub_getopt_ini_report_file(FILE *file, ub_option *table, ub_ini_reporter report,
                              void *context) noexcept
{
    if (table == nullptr)
        return -1;
    for (ub_option *row = table; ini_row(row); ++row) {
        if (!owns_value(row) && !store_copy(row, row->value != nullptr ? row->value : empty_text))
            return -1;
    }
    if (file == nullptr)
        return -1;
    char line[ini_line_size];
    // The reader numbers pieces; the notices name physical lines.
    LineNotices notices(table, report, context);
    int32_t physical = 1;
    bool continued = false;
    int count = 0;
    for (int32_t number = 1;; ++number) {
        std::memset(line, 1, sizeof line);
        if (std::fgets(line, sizeof line, file) == nullptr)
            break;
        Piece piece{line, piece_length(line), 0, false, false, false};
        piece.continues = piece.length == ini_line_size - 1 && line[piece.length - 1] != '\n';
        piece.end = std::strcspn(line, "\r\n");
        piece.dropped = line[piece.end] == '\r' &&
                        std::strspn(line + piece.end, "\r\n") < piece.length - piece.end;
        piece.bare = std::strspn(line, "\r\n") == piece.length;
        line[piece.end] = '\0';
        int set = apply_line(table, line, number);
        if (set < 0)
            return -1;
        count += set;
        if (report != nullptr) {
            if (continued)
                notices.later(piece);
            else
                notices.first(physical, piece);
        }
        continued = piece.continues;
        if (!continued)
            ++physical;
    }
    if (report != nullptr)
        notices.finish();
    return count;
}

const char *ub_getopt_getValue(const ub_option *table, const char *name) noexcept
{
    const ub_option *row = find_row(table, name);
    return row != nullptr && row->value != nullptr ? row->value : empty_text;
}

int ub_getopt_setValue(ub_option *table, const char *name, const char *value) noexcept
{
    if (table == nullptr)
        return -1;
    int rows = 0;
    for (ub_option *row = table; row->name != nullptr; ++row, ++rows) {
        if (name != nullptr && std::strcmp(row->name, name) == 0)
            row->value = value != nullptr ? value : empty_text;
    }
    return rows;
}

int ub_getopt_getIndex(const ub_option *table, const char *name) noexcept
{
    const ub_option *row = find_row(table, name);
    return row != nullptr ? row->position : -1;
}

void ub_getopt_check(ub_option *table, const char *name) noexcept
{
    if (table == nullptr || name == nullptr)
        return;
    for (ub_option *row = table; row->name != nullptr; ++row) {
        if (std::strcmp(row->name, name) == 0)
            row->given = -1;
    }
}

int ub_getopt_isChecked(const ub_option *table, const char *name) noexcept
{
    const ub_option *row = find_row(table, name);
    return row != nullptr ? row->given : 0;
}

int ub_getopt_save(const char *path, const ub_option *table) noexcept
{
    if (path == nullptr || table == nullptr)
        return -1;
    time_t now = std::time(nullptr);
    File file(std::fopen(path, "w"));
    if (!file) {
        verbose_message(VESK_MSG_OPTIONS_SAVE_FAILED, path);
        return -1;
    }
    struct tm local {};
    platform_localtime(now, &local);
    std::fprintf(file.get(), "# Gerado em %02d/%02d/%d %02d:%02d:%02d\n\n", local.tm_mday,
                 local.tm_mon + 1, local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
    for (const ub_option *row = table; row->name != nullptr; ++row)
        std::fprintf(file.get(), "%s=%s\n", row->name, row->value != nullptr ? row->value : "");
    // A full disk shows only when the buffered text is flushed.
    return std::fclose(file.release()) == 0 ? 0 : -1;
}

int ub_getopt_sync(const ub_option *source, ub_option *target) noexcept
{
    if (source == nullptr)
        return 0;
    for (const ub_option *row = source; row->name != nullptr; ++row)
        ub_getopt_setValue(target, row->name, ub_getopt_getValue(source, row->name));
    return 0;
}

int ub_getopt_key_in_file(const char *path, const char *key, char *buffer, int size) noexcept
{
    if (path == nullptr || key == nullptr || buffer == nullptr || size < 1)
        return -1;
    size_t k = std::strlen(key);
    if (k > static_cast<size_t>(INT_MAX - size - 1))
        return -1;
    File file(std::fopen(path, "r"));
    if (!file)
        return -1;
    // Lines are read size + k characters at a time.
    int line_size = size + static_cast<int>(k) + 1;
    std::unique_ptr<char[]> line(new (std::nothrow) char[static_cast<size_t>(line_size)]);
    if (!line)
        return -1;
    int result = 0;
    while (std::fgets(line.get(), line_size, file.get()) != nullptr) {
        if (std::strncmp(line.get(), key, k) != 0 || line[k] != '=')
            continue;
        const char *text = line.get() + k + 1;
        std::snprintf(buffer, static_cast<size_t>(size), "%s", text);
        buffer[std::strcspn(buffer, "\r\n")] = '\0';
        result = static_cast<int>(std::strlen(text));
    }
    return result;
}

void ub_getopt_help(const ub_option *table) noexcept
{
    if (table == nullptr)
        return;
    char letter = ' ';
    for (const ub_option *row = table; row->name != nullptr; ++row) {
        const char *help = row->help != nullptr ? row->help : "";
        letter = type_letter(row->type, letter);
        if (row->type == UB_OPT_CHOICE)
            help = "Vide opcoes...";
        char head[256];
        std::snprintf(head, sizeof head, "\t(%c) -%c, --%s", letter, row->letter, row->name);
        std::fprintf(stderr, "%-30s- %s\n", head, help);
    }
}

void ub_help_header2(const char *program, const char *description, int major, int minor, int patch,
                     int revision, int32_t build_time) noexcept
{
    ub_help_header2_to(stderr, program, description, major, minor, patch, revision, build_time);
}

void ub_help_header2_to(FILE *out, const char *program, const char *description, int major,
                        int minor, int patch, int revision, int32_t build_time) noexcept
{
    if (out == nullptr)
        return;
    struct tm built {};
    platform_localtime(static_cast<time_t>(build_time), &built);
    std::fprintf(out, "\n####################################");
    std::fprintf(out, "\n####################################\n\n");
    // The name is the caller's data: escaped, it starts no line of its own.
    std::unique_ptr<char, decltype(&std::free)> shown(verbose_escape(program), &std::free);
    std::fprintf(out, "Programa: %s\n", shown ? shown.get() : "");
    std::fprintf(out, "Versao: %d.%d.%d r%d", major, minor, patch, revision);
    std::fprintf(out, " - %02d/%02d/%d %02d:%02d", built.tm_mday, built.tm_mon + 1,
                 built.tm_year + 1900, built.tm_hour, built.tm_min);
    std::fprintf(out, "\nDescricao:\n\t%s\n\n", description != nullptr ? description : "");
}

void ub_getopt_release(ub_option *table) noexcept
{
    if (table == nullptr)
        return;
    for (ub_option *row = table; row->name != nullptr; ++row) {
        auto it = owned_values.find(row);
        if (it == owned_values.end())
            continue;
        if (owns_value(row))
            row->value = empty_text;
        for (char *copy : it->second)
            std::free(copy);
        owned_values.erase(it);
    }
}
