#include "host/detail/class_path.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

#include "host/detail/notice.hpp"
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

// The .jar and .JAR files of the folder that a wildcard element names, each
// as the element's folder part followed by its name, in name order (the
// JVM then searches them in a stable order); none when it cannot be read.
std::vector<std::string> folder_jars(const std::string &element)
{
    std::string folder = element.substr(0, element.size() - 1);
    std::vector<std::string> jars;
    platform_dir *dir = platform_dir_open(wildcard_folder(element).c_str());
    for (const char *name = platform_dir_read(dir); name != nullptr;
         name = platform_dir_read(dir)) {
        if (is_jar_name(name))
            jars.push_back(folder + name);
    }
    platform_dir_close(dir);
    std::sort(jars.begin(), jars.end());
    return jars;
}

// The elements of a class path, empty ones included.
std::vector<std::string> split_class_path(const char *class_path)
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

} // namespace

namespace ub::detail {

std::string expand_class_path(const char *class_path)
{
    std::string expanded;
    bool first = true;
    for (const std::string &element : split_class_path(class_path)) {
        std::vector<std::string> jars;
        if (is_wildcard(element))
            jars = folder_jars(element);
        if (jars.empty())
            jars.push_back(element);
        for (const std::string &jar : jars) {
            if (!first)
                expanded += PLATFORM_PATH_LIST_SEP;
            expanded += jar;
            first = false;
        }
    }
    return expanded;
}

void warn_class_path(const std::string &expanded)
{
    for (const std::string &element : split_class_path(expanded.c_str())) {
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
