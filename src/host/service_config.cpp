#include "host/service_config.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "host/detail/notice.hpp"
#include "log/trust.h"
#include "platform/platform.h"

ub_option configs[configs_len] = {
    {0, 'p', UB_OPT_NUMBER, "PORT", "9000", 0, "PORT do Serviço VESK."},
    {0, 'b', UB_OPT_NUMBER, "BROADCAST_PORT", "10000", 0, "PORT para auto-discovery."},
    {0, 'r', UB_OPT_STRING, "PATH", "", 0, "RAIZ da instalacao do sistema."},
    {0, 'v', UB_OPT_CHOICE, "VERBOSITY", "4", 0, ""},
    {0, 's', UB_OPT_STRING, "SCHEDCONFIG", "conf\\sched.json", 0, "Arquivo de configuracao JSON."},
    {0, 'd', UB_OPT_NUMBER, "RESTART", "3", 0, "Horario de restart diario."},
    {0, 'I', UB_OPT_KEY, "cnpj", "", 0, "Identificacao do cliente na Ubrontex."},
    {0, 'X', UB_OPT_KEY, "cod_cliente", "", 0, "Chave do cliente na Ubrontex."},
    {0, 'z', UB_OPT_NUMBER, "STACK", "1", 0, "Tamanho da pilha em megabytes."},
    {0, 'z', UB_OPT_STRING, "LIBRARY_PATH", "bin", 0, "PATH para dependencias. (so,dll)"},
    {0, 'z', UB_OPT_STRING, "CLASSPATH", ".", 0, "PATH para *.class, *.jar."},
    {0, 'z', UB_OPT_STRING, "library", "ridevudi4v", 0, "Library (.so/.dll) dos modulos em C."},
    {0, 'z', UB_OPT_STRING, "ENTRY_CLASS", "com/ubrontex/ubkarto/VESKServer", 0,
     "Classe onde deve estar o metodo 'start'"},
    // Loopback until an operator names the tunnel server in vesk.ini, so that
    // an unconfigured installation never reaches out to a foreign host.
    {0, 'z', UB_OPT_STRING, "tunnel_host", "127.0.0.1", 0, "IP do tunnel."},
    {0, 'z', UB_OPT_NUMBER, "tunnel_port", "10999", 0, "Porta do tunnel."},
    {0, 'z', UB_OPT_NUMBER, "local_port", "10999", 0, "Porta do local."},
    {0, 'z', UB_OPT_NUMBER, "dev_port", "7000", 0, "Porta do serviço VESK_DEV."},
    {0, 0, 0, nullptr, nullptr, 0, nullptr},
};

log_component logger = {0, ""};

namespace {

const char config_path[] = "conf" PLATFORM_PATH_SEP_STR "vesk.ini";

// The atoi rule (blanks, sign, leading digits, 0 when none) read as a
// 64-bit number, without atoi's undefined behaviour on overflow. The caller
// keeps the low 16 bits, so a value within the 64-bit range wraps modulo
// 2^16 (2147483653 gives 5); only one beyond it saturates first (65535).
long long leading_number(const char *text)
{
    return std::strtoll(text, nullptr, 10);
}

// Characters of a name that a notice shows; a longer one is cut there.
constexpr size_t shown_name_size = 40;

// name as a notice shows it, into shown: control characters as '?', and cut
// (between two UTF-8 characters) with "..." when it is long. No allocation:
// the notices are told from within a noexcept read.
void show_name(const char *name, char (&shown)[shown_name_size + 4])
{
    size_t length = 0;
    while (name[length] != '\0' && length < shown_name_size)
        ++length;
    bool cut = name[length] != '\0';
    while (cut && length > 0 && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80)
        --length;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        shown[i] = c < 0x20 || c == 0x7F ? '?' : name[i];
    }
    std::strcpy(shown + length, cut ? "..." : "");
}

// The notices about conf/vesk.ini: each goes to standard error at once and
// is kept for the log, which can only take it once the file is read.
void tell_notice(void *context, int notice, int32_t line, int64_t column, const char *name)
{
    char shown[shown_name_size + 4];
    show_name(name, shown);
    int number = static_cast<int>(line);
    long long at = static_cast<long long>(column);
    char text[256];
    switch (notice) {
    case UB_INI_CUT:
        std::snprintf(text, sizeof text,
                      "Linha %d de %s: mais de 2047 caracteres; o valor de %s foi cortado.\n",
                      number, config_path, shown);
        break;
    case UB_INI_CUT_UNSET:
        std::snprintf(text, sizeof text,
                      "Linha %d de %s: mais de 2047 caracteres; '%s' nao e uma opcao.\n", number,
                      config_path, shown);
        break;
    case UB_INI_CUT_COMMENT:
        std::snprintf(text, sizeof text,
                      "Linha %d de %s: mais de 2047 caracteres; os primeiros 2047 sao comentario "
                      "ou branco.\n",
                      number, config_path);
        break;
    case UB_INI_PIECE:
        std::snprintf(text, sizeof text,
                      "Linha %d de %s: o trecho apos o caractere %lld define %s.\n", number,
                      config_path, at, shown);
        break;
    case UB_INI_AFTER_CR:
        std::snprintf(text, sizeof text,
                      "Linha %d de %s: texto apos o CR do caractere %lld ignorado.\n", number,
                      config_path, at);
        break;
    case UB_INI_MARKED:
        std::snprintf(text, sizeof text,
                      "Linha %d de %s: '%s' nao e uma opcao, pois a linha comeca com uma marca "
                      "de ordem de bytes (BOM); linha ignorada.\n",
                      number, config_path, shown);
        break;
    default:
        std::snprintf(text, sizeof text, "Linha %d de %s: '%s' nao e uma opcao; linha ignorada.\n",
                      number, config_path, shown);
        break;
    }
    verbose_console(VERBOSE_WARN, "%s", text);
    try {
        static_cast<std::vector<std::string> *>(context)->emplace_back(text);
    } catch (const std::bad_alloc &) {
        // Standard error has it; only the log goes without.
    }
}

const char jvm_options_path[] = "conf" PLATFORM_PATH_SEP_STR "jvm.options";
const char server_ini_path[] = "conf" PLATFORM_PATH_SEP_STR "server.ini";

// Tells that path is there but cannot be read; -1.
int cannot_read(const char *path)
{
    char text[64];
    std::snprintf(text, sizeof text, "Falha ao tentar ler: %s", path);
    ub::detail::tell_line(VERBOSE_ERROR, text);
    return -1;
}

// Tells that the host does not start because what (a file, or the working
// folder) may be changed by another party; CONFIG_REFUSED.
int refuse(const char *what, const trust_why &why)
{
    char reason[sizeof why.path + sizeof why.who + 64];
    trust_why_text(&why, reason, sizeof reason);
    char text[sizeof reason + 96];
    std::snprintf(text, sizeof text, "VESKServer nao iniciado: %s nao e confiavel: %s.", what,
                  reason);
    ub::detail::tell_line(VERBOSE_FATAL, text);
    return CONFIG_REFUSED;
}

using File = std::unique_ptr<FILE, decltype(&std::fclose)>;

// The file path of the working folder into *file, opened for reading from
// the very node judged trusted. 0, with no file where it is missing; -1
// when it is there but cannot be read: the process's own user may not open
// it, or it is no regular file (a FIFO is never waited on), which only the
// system or that user can have arranged; CONFIG_REFUSED after telling why.
int open_trusted(const char *path, File *file)
{
    trust_why why;
    int node = trust_open(path, TRUST_FILE, &why);
    if (node < 0 && why.reason == TRUST_MISSING)
        return 0;
    if (node < 0)
        return why.reason == TRUST_UNREADABLE || why.reason == TRUST_NOT_FILE ? -1
                                                                              : refuse(path, why);
    // The stream takes the descriptor over; without one it is closed here.
    file->reset(fdopen(node, "rb"));
    if (*file != nullptr)
        return 0;
    platform_close(node);
    return -1;
}

// The lines of the file at path, as an editor numbers them: split at LF, of
// any length, each cut at a zero byte, without the UTF-8 byte-order mark
// that some editors put first. 0, with none when the file is missing; -1
// after "Falha ao tentar ler" when it is there but cannot be read;
// CONFIG_REFUSED when it is not trusted.
int read_lines(const char *path, std::vector<std::string> &lines)
{
    File file(nullptr, &std::fclose);
    int opened = open_trusted(path, &file);
    if (opened == -1)
        return cannot_read(path);
    if (opened != 0 || file == nullptr)
        return opened;
    std::string line;
    for (int c = std::getc(file.get()); c != EOF; c = std::getc(file.get())) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        lines.push_back(line.substr(0, std::strlen(line.c_str())));
        line.clear();
    }
    if (std::ferror(file.get()))
        return cannot_read(path);
    if (!line.empty())
        lines.push_back(line.substr(0, std::strlen(line.c_str())));
    if (!lines.empty() && lines[0].rfind("\xEF\xBB\xBF", 0) == 0)
        lines[0].erase(0, 3);
    return 0;
}

// texts as a malloc'd array of malloc'd copies ended by NULL; NULL when
// there are none. Throws std::bad_alloc, having freed what it made.
char **c_list(const std::vector<std::string> &texts)
{
    if (texts.empty())
        return nullptr;
    std::unique_ptr<char *[], decltype(&config_list_free)> list(
        static_cast<char **>(std::calloc(texts.size() + 1, sizeof(char *))), &config_list_free);
    if (list == nullptr)
        throw std::bad_alloc();
    for (size_t i = 0; i < texts.size(); ++i) {
        list[i] = static_cast<char *>(std::malloc(texts[i].size() + 1));
        if (list[i] == nullptr)
            throw std::bad_alloc();
        std::memcpy(list[i], texts[i].c_str(), texts[i].size() + 1);
    }
    return list.release();
}

// Reads path with take, which turns each line (and its number) into the
// texts to keep, and hands them to *out as c_list makes them. The number of
// texts kept; -1 when the file cannot be read or memory runs out;
// CONFIG_REFUSED when it is not trusted.
template <typename Take>
int read_list(const char *path, char ***out, Take take)
{
    if (out == nullptr)
        return -1;
    *out = nullptr;
    try {
        std::vector<std::string> lines;
        int read = read_lines(path, lines);
        if (read != 0)
            return read;
        std::vector<std::string> kept;
        for (size_t i = 0; i < lines.size(); ++i)
            take(static_cast<int>(i + 1), lines[i], kept);
        if (kept.size() > INT_MAX)
            throw std::bad_alloc();
        *out = c_list(kept);
        return static_cast<int>(kept.size());
    } catch (const std::bad_alloc &) {
        cannot_read(path);
        return -1;
    }
}

constexpr char blanks[] = " \t\r";

// A line of conf/jvm.options: the option without the blanks around it.
void take_jvm_option(int number, const std::string &line, std::vector<std::string> &kept)
{
    size_t first = line.find_first_not_of(blanks);
    if (first == std::string::npos || line[first] == '#')
        return;
    std::string option = line.substr(first, line.find_last_not_of(blanks) + 1 - first);
    if (option[0] == '-') {
        kept.push_back(option);
        return;
    }
    char shown[shown_name_size + 4];
    show_name(option.c_str(), shown);
    char text[256];
    std::snprintf(text, sizeof text,
                  "Linha %d de %s: '%s' nao e uma opcao da JVM (deve comecar com '-'); "
                  "linha ignorada.",
                  number, jvm_options_path, shown);
    ub::detail::tell_line(VERBOSE_WARN, text);
}

// A line of conf/server.ini: its name and value, up to a CR.
void take_server_pair(int number, const std::string &whole, std::vector<std::string> &kept)
{
    size_t cr = whole.find('\r');
    std::string line = whole.substr(0, cr);
    char text[256];
    size_t first = line.find_first_not_of(" \t");
    bool skipped = first == std::string::npos || line[first] == '#' || line[first] == ';';
    size_t equals = line.find('=');
    if (!skipped && (equals == std::string::npos || equals == 0)) {
        char shown[shown_name_size + 4];
        show_name(line.c_str(), shown);
        if (equals == 0)
            std::snprintf(text, sizeof text,
                          "Linha %d de %s: opcao sem nome antes do '='; linha ignorada.", number,
                          server_ini_path);
        else
            std::snprintf(text, sizeof text,
                          "Linha %d de %s: '%s' nao e uma opcao (falta o '='); linha ignorada.",
                          number, server_ini_path, shown);
        ub::detail::tell_line(VERBOSE_WARN, text);
    } else if (!skipped) {
        kept.push_back(line.substr(0, equals));
        kept.push_back(line.substr(equals + 1));
    }
    // A CR ends the line's text, as in conf/vesk.ini; only a CR LF is quiet.
    if (cr != std::string::npos && cr + 1 < whole.size()) {
        std::snprintf(text, sizeof text,
                      "Linha %d de %s: texto apos o CR do caractere %lld ignorado.", number,
                      server_ini_path, static_cast<long long>(cr + 1));
        ub::detail::tell_line(VERBOSE_WARN, text);
    }
}

} // namespace

int config_init(const char *tag) noexcept
{
    // Every file the host reads, and every relative path it hands on, lies
    // under the working folder.
    trust_why why;
    if (trust_judge(".", &why) != 0 && why.reason != TRUST_UNREADABLE)
        return refuse("a pasta de trabalho", why);
    File file(nullptr, &std::fclose);
    if (open_trusted(config_path, &file) == CONFIG_REFUSED)
        return CONFIG_REFUSED;
    std::vector<std::string> notices;
    // Without a file the rows still get their own copies, as the reader
    // always gave them.
    if (ub_getopt_ini_report_file(file.get(), configs, tell_notice, &notices) <= 0) {
        verbose_console(VERBOSE_ERROR, "Falha ao tentar ler: %s\n", config_path);
        return 1;
    }
    long long level = leading_number(ub_getopt_getValue(configs, "VERBOSITY"));
    logger.verbosity = static_cast<uint16_t>(static_cast<unsigned long long>(level));
    verbose(stdout, "VERBOSITY=%d\n", logger.verbosity);
    log_component_set_tag(&logger, tag);
    for (const std::string &notice : notices)
        verbose_in(&logger, VERBOSE_WARN, "%s", notice.c_str());
    return 0;
}

int config_jvm_options(char ***options) noexcept
{
    return read_list(jvm_options_path, options, take_jvm_option);
}

int config_server_pairs(char ***pairs) noexcept
{
    int texts = read_list(server_ini_path, pairs, take_server_pair);
    return texts < 0 ? texts : texts / 2;
}

void config_list_free(char **list) noexcept
{
    if (list == nullptr)
        return;
    for (char **text = list; *text != nullptr; ++text)
        std::free(*text);
    std::free(list);
}

int vesk_log_threshold(void) noexcept
{
    return logger.verbosity;
}
