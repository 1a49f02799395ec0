#include "host/usage.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "host/service_config.h"
#include "host/service_manager.h"
#include "log/verbose.h"
#include "options/getopts.h"
#include "platform/platform.h"
#include "util/vesk_utils.h"
#include "util/vesk_version.h"

namespace {

// The banner and the usage; with every_word, the words other than the
// pairs too, those of the service where the system has a service manager.
// The program's name is escaped as the log escapes it: a name holding a
// line feed starts no line of its own.
void write_usage(FILE *out, const char *name, bool every_word)
{
    std::unique_ptr<char, decltype(&std::free)> shown(verbose_escape(name), &std::free);
    const char *program = shown ? shown.get() : "vesk";
    ub_help_header2_to(out, program, VESK_DESCRIPTION, VESK_VERSION_MAJOR, VESK_VERSION_MINOR,
                       VESK_VERSION_PATCH, VESK_REVISION, VESK_BUILD_TIME);
    std::fprintf(out, "Uso:\n");
    std::fprintf(out, "\t$ %s <Param 1> <Val 1> ... <Param N> <Val N>\n", program);
    if (every_word) {
        std::fprintf(out, "\t$ %s --version | -V\n", program);
        std::fprintf(out, "\t$ %s --help | -h\n", program);
    }
    if (every_word && vesk_service_supported() != 0) {
        std::fprintf(out, "\t$ %s install [<Param 1> <Val 1> ...]\n", program);
        std::fprintf(out, "\t$ %s uninstall\n", program);
    }
    std::fprintf(out, "\n");
}

// Each option of the table with its help and its default: the table as
// built, not read from conf/vesk.ini.
void write_parameters()
{
    std::printf("Parametros (<Param> <Val>):\n");
    for (const ub_option *row = configs; row->name != nullptr; ++row) {
        const char *help = row->help;
        if (std::strcmp(row->name, "VERBOSITY") == 0)
            help = "Nivel do log: 0 NONE, 1 FATAL, 2 ERROR, 3 WARN, 4 INFO, 5 DEBUG.";
        std::printf("\t%-16s%s", row->name, help);
        if (row->value[0] != '\0')
            std::printf(" (padrao: %s)", row->value);
        std::printf("\n");
    }
    std::printf("\n");
}

// Where the configuration is read from, relative to the current folder.
void write_files()
{
    static const char *const files[][2] = {
        {"vesk.ini", "os parametros acima, um por linha: NOME=valor"},
        {"jvm.options", "as opcoes da JVM"},
        {"server.ini", "a configuracao do servidor Java"},
    };
    std::printf("Arquivos de configuracao, relativos a pasta atual:\n");
    for (const auto &file : files)
        std::printf("\tconf%s%-12s %s\n", PLATFORM_PATH_SEP_STR, file[0], file[1]);
}

void write_help(const char *program)
{
    write_usage(stdout, program, true);
    write_parameters();
    write_files();
}

bool is_word(const char *word, const char *long_word, const char *letter)
{
    return std::strcmp(word, long_word) == 0 || std::strcmp(word, letter) == 0;
}

} // namespace

void vesk_usage_write(FILE *out, const char *program) noexcept
{
    if (out == nullptr)
        return;
    write_usage(out, program != nullptr ? program : "vesk", false);
}

int vesk_usage_command(int argc, char **argv) noexcept
{
    if (argc != 2 || argv == nullptr || argv[1] == nullptr)
        return VESK_USAGE_NONE;
    bool version = is_word(argv[1], "--version", "-V");
    if (!version && !is_word(argv[1], "--help", "-h"))
        return VESK_USAGE_NONE;
    platform_console_attach();
    if (version)
        std::printf("%s %s\n", VESK_DESCRIPTION, vesk_version());
    else
        write_help(argv[0] != nullptr ? argv[0] : "vesk");
    // A version or help that did not reach its reader is no success.
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fprintf(stderr, "Falha ao tentar escrever na saida padrao.\n");
        return 1;
    }
    return 0;
}
