#include "log/trust.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

// More links than this on one path is a loop, or an attack on the walk.
constexpr int max_links = 40;
// More folders above than this is no real tree.
constexpr int max_depth = 512;

// Every character that separates parts of a path here.
const char separators[] = {'/', PLATFORM_PATH_SEP, '\0'};

bool is_separator(char c)
{
    return c == '/' || c == PLATFORM_PATH_SEP;
}

// The top that an absolute path starts from ("/", or "C:\" and "\" on
// Windows); empty for a relative path.
std::string top_of(const std::string &path)
{
    if (PLATFORM_PATH_DRIVES && path.size() >= 2 && path[1] == ':')
        return path.substr(0, 2) + PLATFORM_PATH_SEP_STR;
    return !path.empty() && is_separator(path[0]) ? std::string(PLATFORM_PATH_SEP_STR)
                                                  : std::string();
}

// Owns a node handle.
class Node {
public:
    explicit Node(int handle = -1) : handle_(handle) {}
    Node(const Node &) = delete;
    Node &operator=(const Node &) = delete;
    Node(Node &&other) noexcept : handle_(other.release()) {}
    Node &operator=(Node &&other) noexcept
    {
        if (this != &other) {
            if (handle_ >= 0)
                platform_close(handle_);
            handle_ = other.release();
        }
        return *this;
    }
    ~Node()
    {
        if (handle_ >= 0)
            platform_close(handle_);
    }
    int get() const { return handle_; }
    int release()
    {
        int handle = handle_;
        handle_ = -1;
        return handle;
    }

private:
    int handle_;
};

// One judgement: where it stands and what it found.
class Walk {
public:
    explicit Walk(trust_why *why) : why_(why) {}

    // Judges path part by part from its top or the working folder; the
    // node it ends at (with status), or -1.
    int run(const char *path, int want)
    {
        std::string text(path);
        std::string top = top_of(text);
        if (top.empty() && (want & TRUST_ABSOLUTE) != 0) {
            shown_ = text;
            relative_ = false;
            return refuse(TRUST_NOT_ABSOLUTE);
        }
        if (!enter_start(top))
            return -1;
        std::vector<std::string> parts = split(text.substr(top.size()));
        int links = 0;
        std::string last; // the name the current node was opened by, "" for a start
        while (!parts.empty()) {
            std::string part = std::move(parts.back());
            parts.pop_back();
            if (part == ".")
                continue;
            if (part == "..") {
                if (!climb())
                    return -1;
                last.clear();
                continue;
            }
            // Entering a folder that others may write is judged here, for
            // the start as for every folder below it.
            if (!folder_acceptable(here_status_))
                return -1;
            add_shown(part);
            int error = 0;
            Node next(
                platform_node_open(here_.get(), part.c_str(), PLATFORM_NODE_NOFOLLOW, &error));
            if (next.get() < 0)
                return refuse(
                    error == ENOENT || error == ENOTDIR ? TRUST_MISSING : TRUST_UNREADABLE, error);
            platform_node_status status{};
            if (platform_node_status_get(next.get(), &status) != 0)
                return refuse(TRUST_UNREADABLE);
            if (status.kind == PLATFORM_NODE_LINK) {
                if (!follow(part, status, parts, links))
                    return -1;
                continue;
            }
            if (!entry_acceptable(status))
                return -1;
            bool final = parts.empty();
            if (!final && status.kind != PLATFORM_NODE_FOLDER)
                return refuse(TRUST_NOT_FOLDER);
            holder_ = std::move(here_);
            here_ = std::move(next);
            here_status_ = status;
            last = part;
        }
        return finish(want, last);
    }

private:
    // Takes the top or the working folder (which the process holds: no
    // handle needed), and judges every folder above.
    bool enter_start(const std::string &top)
    {
        int error = 0;
        relative_ = top.empty();
        shown_ = top;
        here_ = Node(relative_ ? PLATFORM_NODE_CWD
                               : platform_node_open(PLATFORM_NODE_CWD, top.c_str(), 0, &error));
        if (!relative_ && here_.get() < 0)
            return refuse(TRUST_UNREADABLE, error) == 0;
        if (platform_node_status_get(here_.get(), &here_status_) != 0)
            return refuse(TRUST_UNREADABLE) == 0;
        return entry_acceptable(here_status_) && judge_above();
    }

    // Judges the folders above the current node up to the top, each as a
    // folder holding the one below it.
    bool judge_above()
    {
        platform_node_status below = here_status_;
        for (int level = 1; level < max_depth; ++level) {
            platform_node_status above{};
            above_ = level;
            if (platform_node_status_above(here_.get(), level, &above) != 0)
                return refuse(TRUST_UNREADABLE) == 0;
            if (above.id[0] == below.id[0] && above.id[1] == below.id[1]) {
                above_ = 0;
                return true;
            }
            if (!entry_acceptable(above) || !folder_acceptable(above))
                return false;
            below = above;
        }
        return refuse(TRUST_LINKS) == 0;
    }

    // Steps to the folder above the current one, judged as a folder on the
    // way.
    bool climb()
    {
        Node above(platform_node_parent(here_.get()));
        platform_node_status status{};
        add_shown("..");
        if (above.get() < 0 || platform_node_status_get(above.get(), &status) != 0)
            return refuse(TRUST_UNREADABLE) == 0;
        if (!entry_acceptable(status) || !folder_acceptable(status))
            return false;
        holder_ = Node();
        here_ = std::move(above);
        here_status_ = status;
        return true;
    }

    // A link is followed only where no one else can have put it: its folder
    // is trusted, or sticky and the link the system's or the user's own.
    bool follow(const std::string &part, const platform_node_status &link,
                std::vector<std::string> &parts, int &links)
    {
        if (here_status_.writer != PLATFORM_WRITER_NONE && link.owner_trusted == 0)
            return refuse(TRUST_OWNER, 0, link.owner) == 0;
        char target[PLATFORM_PATH_MAX];
        if (++links > max_links ||
            platform_node_read_link(here_.get(), part.c_str(), target, sizeof target) != 0)
            return refuse(TRUST_LINKS) == 0;
        std::string to(target);
        std::string top = top_of(to);
        for (std::string &inner : split(to.substr(top.size())))
            parts.push_back(std::move(inner));
        if (top.empty()) {
            size_t cut = shown_.find_last_of(separators);
            shown_ =
                cut == std::string::npos ? std::string() : shown_.substr(0, cut == 0 ? 1 : cut);
            return true;
        }
        shown_ = top;
        relative_ = false;
        holder_ = Node();
        int error = 0;
        here_ = Node(platform_node_open(PLATFORM_NODE_CWD, top.c_str(), 0, &error));
        if (here_.get() < 0 || platform_node_status_get(here_.get(), &here_status_) != 0)
            return refuse(TRUST_UNREADABLE, error) == 0;
        return entry_acceptable(here_status_) && folder_acceptable(here_status_);
    }

    // What every node on the way must be: the system's or the user's own.
    bool entry_acceptable(const platform_node_status &status)
    {
        if (status.owner_trusted == 0)
            return refuse(TRUST_OWNER, 0, status.owner) == 0;
        return true;
    }

    // A folder on the way: no one else may write it, unless it is sticky
    // (what lies below it is then judged as the user's own).
    bool folder_acceptable(const platform_node_status &status)
    {
        if (status.kind != PLATFORM_NODE_FOLDER)
            return refuse(TRUST_NOT_FOLDER) == 0;
        if (status.writer != PLATFORM_WRITER_NONE && status.sticky == 0)
            return refuse_writer(status) == 0;
        return true;
    }

    // The end: of the kind wanted, and no one else may write it.
    int finish(int want, const std::string &last)
    {
        const platform_node_status &status = here_status_;
        if ((want & TRUST_FOLDER) != 0 && status.kind != PLATFORM_NODE_FOLDER)
            return refuse(TRUST_NOT_FOLDER);
        if ((want & TRUST_FILE) != 0 && status.kind != PLATFORM_NODE_FILE)
            return refuse(TRUST_NOT_FILE);
        if (status.writer != PLATFORM_WRITER_NONE)
            return refuse_writer(status);
        if ((want & TRUST_FILE) == 0) {
            if (here_.get() != PLATFORM_NODE_CWD)
                return here_.release();
            int error = 0;
            int node = platform_node_open(PLATFORM_NODE_CWD, ".", 0, &error);
            return node >= 0 ? node : refuse(TRUST_UNREADABLE, error);
        }
        // The file judged, opened again for reading from the folder held,
        // and taken only when it is the very same file.
        int error = 0;
        Node file(platform_node_open(holder_.get(), last.c_str(),
                                     PLATFORM_NODE_NOFOLLOW | PLATFORM_NODE_READ, &error));
        platform_node_status opened{};
        if (file.get() < 0 || platform_node_status_get(file.get(), &opened) != 0)
            return refuse(TRUST_UNREADABLE, error);
        if (opened.id[0] != status.id[0] || opened.id[1] != status.id[1])
            return refuse(TRUST_UNREADABLE);
        return file.release();
    }

    int refuse_writer(const platform_node_status &status)
    {
        if (why_ != nullptr)
            why_->writer = status.writer;
        return refuse(TRUST_WRITER, 0, status.who);
    }

    // Appends part to the path shown.
    void add_shown(const std::string &part)
    {
        if (!shown_.empty() && !is_separator(shown_.back()))
            shown_ += PLATFORM_PATH_SEP;
        shown_ += part;
    }

    // The path as far as it was followed, made absolute only now: a walk
    // that ends well never asks for the working folder's name.
    std::string shown() const
    {
        if (!relative_)
            return shown_;
        char cwd[PLATFORM_PATH_MAX];
        std::string text = platform_getcwd(cwd, sizeof cwd) == 0 ? cwd : ".";
        for (int level = 0; level < above_; ++level) {
            size_t cut = text.find_last_of(separators);
            if (cut != std::string::npos)
                text = text.substr(0, cut == 0 ? 1 : cut);
        }
        if (shown_.empty())
            return text;
        return text + (is_separator(text.back()) ? "" : PLATFORM_PATH_SEP_STR) + shown_;
    }

    int refuse(int reason, int error = 0, const char *who = "")
    {
        if (why_ != nullptr) {
            why_->reason = reason;
            why_->error = error;
            std::snprintf(why_->path, sizeof why_->path, "%s", shown().c_str());
            std::snprintf(why_->who, sizeof why_->who, "%s", who);
        }
        return -1;
    }

    // The parts of a path, innermost first (the walk pops from the back).
    static std::vector<std::string> split(const std::string &path)
    {
        std::vector<std::string> parts;
        size_t end = path.size();
        while (end > 0) {
            size_t start = end;
            while (start > 0 && !is_separator(path[start - 1]))
                --start;
            if (start < end)
                parts.push_back(path.substr(start, end - start));
            end = start > 0 ? start - 1 : 0;
        }
        return parts;
    }

    trust_why *why_;
    Node holder_; // the folder that holds here_, when it was entered by name
    Node here_;
    platform_node_status here_status_{};
    std::string shown_; // the path followed, relative to the working folder when relative_
    bool relative_ = true;
    int above_ = 0; // folders above the working folder being judged
};

int open_judged(const char *path, int want, trust_why *why)
{
    if (why != nullptr)
        *why = trust_why{};
    if (path == nullptr || path[0] == '\0') {
        if (why != nullptr)
            why->reason = TRUST_MISSING;
        return -1;
    }
    try {
        return Walk(why).run(path, want);
    } catch (const std::bad_alloc &) {
        if (why != nullptr) {
            why->reason = TRUST_UNREADABLE;
            why->error = ENOMEM;
            std::snprintf(why->path, sizeof why->path, "%s", path);
        }
        return -1;
    }
}

} // namespace

int trust_open(const char *path, int want, trust_why *why) noexcept
{
    return open_judged(path, want, why);
}

int trust_judge(const char *path, trust_why *why) noexcept
{
    int node = open_judged(path, 0, why);
    platform_close(node);
    return node < 0 ? -1 : 0;
}

char *trust_why_text(const trust_why *why, char *text, size_t size) noexcept
{
    if (text == nullptr || size == 0)
        return text;
    if (why == nullptr) {
        text[0] = '\0';
        return text;
    }
    const char *path = why->path;
    switch (why->reason) {
    case TRUST_OK: std::snprintf(text, size, "'%s' e confiavel", path); break;
    case TRUST_MISSING: std::snprintf(text, size, "'%s' nao encontrado", path); break;
    case TRUST_OWNER:
        std::snprintf(text, size, "'%s' pertence a outro usuario (%s)", path, why->who);
        break;
    case TRUST_WRITER:
        if (why->writer == PLATFORM_WRITER_GROUP)
            std::snprintf(text, size, "'%s' pode ser alterado pelo grupo %s", path, why->who);
        else if (why->writer == PLATFORM_WRITER_EVERYONE)
            std::snprintf(text, size, "'%s' pode ser alterado por todos os usuarios%s%s%s", path,
                          why->who[0] != '\0' ? " (" : "", why->who,
                          why->who[0] != '\0' ? ")" : "");
        else if (why->who[0] != '\0')
            std::snprintf(text, size, "'%s' pode ser alterado por %s (lista de acesso)", path,
                          why->who);
        else
            std::snprintf(text, size, "'%s' pode ser alterado por uma entrada da lista de acesso",
                          path);
        break;
    case TRUST_NOT_FOLDER: std::snprintf(text, size, "'%s' nao e uma pasta", path); break;
    case TRUST_NOT_FILE: std::snprintf(text, size, "'%s' nao e um arquivo comum", path); break;
    case TRUST_LINKS: std::snprintf(text, size, "'%s': links demais ou ilegiveis", path); break;
    case TRUST_NOT_ABSOLUTE:
        std::snprintf(text, size, "'%s' nao e um caminho absoluto", path);
        break;
    default:
        std::snprintf(text, size, "'%s' nao pode ser examinado: %s", path,
                      why->error != 0 ? std::strerror(why->error) : "erro desconhecido");
        break;
    }
    return text;
}
