#include "host/service_config.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

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
    std::fputs(text, stderr);
    try {
        static_cast<std::vector<std::string> *>(context)->emplace_back(text);
    } catch (const std::bad_alloc &) {
        // Standard error has it; only the log goes without.
    }
}

} // namespace

int config_init(const char *tag) noexcept
{
    std::vector<std::string> notices;
    if (ub_getopt_ini_report(config_path, configs, tell_notice, &notices) <= 0) {
        std::fprintf(stderr, "Falha ao tentar ler: %s\n", config_path);
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

int vesk_log_threshold(void) noexcept
{
    return logger.verbosity;
}
