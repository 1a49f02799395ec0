#include "host/detail/class_path.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "host/detail/notice.hpp"
#include "log/trust.h"
#include "log/verbose.h"
#include "platform/platform.h"

namespace {

// Whether a class path element stands for every jar of a folder: "*" alone,
// or a folder, a separator and "*", unless a file of that very name exists.
bool is_wildcard(const std::string &element)
{
    size_t length = element.size();
    if (length == 0 || element[length - 1] != '*')
        return false;
    if (length > 1 && element[length - 2] != PLATFORM_PATH_SEP && element[length - 2] != '/')
        return false;
    platform_file_status status;
    return platform_file_stat(element.c_str(), &status) != 0;
}

// The folder that a wildcard element names, "." for "*" alone.
std::string wildcard_folder(const std::string &element)
{
    return element.size() > 1 ? element.substr(0, element.size() - 1) : std::string(".");
}

bool is_jar_name(const char *name)
{
    size_t length = std::strlen(name);
    return length >= 4 && (std::strcmp(name + length - 4, ".jar") == 0 ||
                           std::strcmp(name + length - 4, ".JAR") == 0);
}

struct DirCloser {
    void operator()(platform_dir *dir) const { platform_dir_close(dir); }
};

// The .jar and .JAR files of the folder node folder (closed here, -1 for
// none) that a wildcard element names, each as the element's folder part
// followed by its name, in name order (the JVM then searches them in a
// stable order); none when it cannot be read.
std::vector<std::string> folder_jars(const std::string &element, int folder)
{
    std::unique_ptr<platform_dir, DirCloser> dir(folder >= 0 ? platform_dir_open_node(folder)
                                                             : nullptr);
    platform_close(folder);
    std::string prefix = element.substr(0, element.size() - 1);
    std::vector<std::string> jars;
    for (const char *name = platform_dir_read(dir.get()); name != nullptr;
         name = platform_dir_read(dir.get())) {
        if (is_jar_name(name))
            jars.push_back(prefix + name);
    }
    std::sort(jars.begin(), jars.end());
    return jars;
}

// The elements of a path list, empty ones included.
std::vector<std::string> split_path_list(const char *class_path)
{
    std::vector<std::string> elements;
    for (const char *start = class_path;;) {
        const char *end = std::strchr(start, PLATFORM_PATH_LIST_SEP);
        elements.emplace_back(start, end != nullptr ? static_cast<size_t>(end - start)
                                                    : std::strlen(start));
        if (end == nullptr)
            return elements;
        start = end + 1;
    }
}

void warn(const std::string &line)
{
    ub::detail::tell_line(VERBOSE_WARN, line.c_str());
}

// Whether the entry of the path list named list (CLASSPATH, LIBRARY_PATH)
// may be handed to the JVM, judging path (the entry, or a wildcard's
// folder; empty, as the JVM reads it, for the working folder): when trusted,
// and when the JVM could find nothing there either (missing, closed to the
// process's user, through a file), which the notices tell as they always
// did. Otherwise tells at WARN that it is left out, and why. With folder,
// path is opened as a folder node into *folder when trusted (else -1).
bool may_hand_on(const char *list, const std::string &entry, const std::string &path,
                 int *folder = nullptr)
{
    trust_why why;
    const char *judged = path.empty() ? "." : path.c_str();
    bool trusted = folder != nullptr ? (*folder = trust_open(judged, TRUST_FOLDER, &why)) >= 0
                                     : trust_judge(judged, &why) == 0;
    if (trusted || why.reason == TRUST_MISSING || why.reason == TRUST_UNREADABLE ||
        why.reason == TRUST_NOT_FOLDER)
        return true;
    char reason[sizeof why.path + sizeof why.who + 64];
    trust_why_text(&why, reason, sizeof reason);
    std::string line = std::string("Entrada do ") + list + " ignorada: ";
    // The reason names the part refused; the entry is named too when that
    // is another text (a relative entry, a folder above it).
    if (entry != why.path)
        line += "'" + entry + "', pois ";
    warn(line + reason + ".");
    return false;
}

// Appends element to a path list, after a separator unless it is the first.
void append_element(std::string &list, bool &first, const std::string &element)
{
    if (!first)
        list += PLATFORM_PATH_LIST_SEP;
    list += element;
    first = false;
}

} // namespace

namespace ub::detail {

std::string expand_class_path(const char *class_path)
{
    std::string expanded;
    bool first = true;
    for (const std::string &element : split_path_list(class_path)) {
        if (!is_wildcard(element)) {
            if (may_hand_on("CLASSPATH", element, element))
                append_element(expanded, first, element);
            continue;
        }
        int folder = -1;
        if (!may_hand_on("CLASSPATH", element, wildcard_folder(element), &folder))
            continue;
        // The folder listed is the very one judged.
        std::vector<std::string> jars = folder_jars(element, folder);
        // Without jars the wildcard stays, and its notice says why.
        if (jars.empty())
            append_element(expanded, first, element);
        for (const std::string &jar : jars) {
            if (may_hand_on("CLASSPATH", jar, jar))
                append_element(expanded, first, jar);
        }
    }
    return expanded;
}

std::string trusted_library_path(const char *library_path)
{
    std::string kept;
    bool first = true;
    for (const std::string &element : split_path_list(library_path)) {
        if (may_hand_on("LIBRARY_PATH", element, element))
            append_element(kept, first, element);
    }
    return kept;
}

void warn_class_path(const std::string &expanded)
{
    for (const std::string &element : split_path_list(expanded.c_str())) {
        if (element.empty())
            continue;
        // A wildcard still there after the expansion: its folder holds no
        // jar, or is missing or closed to this user.
        bool wildcard = is_wildcard(element);
        switch (
            platform_path_access(wildcard ? wildcard_folder(element).c_str() : element.c_str())) {
        case PLATFORM_PATH_MISSING:
            warn("Entrada do CLASSPATH nao encontrada: '" + element + "'.");
            break;
        case PLATFORM_PATH_UNREADABLE:
            warn("Entrada do CLASSPATH sem permissao de leitura para o usuario do servico: '" +
                 element + "'.");
            break;
        default:
            if (wildcard)
                warn("Entrada do CLASSPATH sem arquivos .jar na pasta: '" + element + "'.");
            break;
        }
    }
}

} // namespace ub::detail
