#include "host/service_config.h"

#include <cstdio>
#include <cstdlib>

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

} // namespace

int config_init(const char *tag) noexcept
{
    if (ub_getopt_ini(config_path, configs) <= 0) {
        std::fprintf(stderr, "Falha ao tentar ler: %s\n", config_path);
        return 1;
    }
    long long level = leading_number(ub_getopt_getValue(configs, "VERBOSITY"));
    logger.verbosity = static_cast<uint16_t>(static_cast<unsigned long long>(level));
    verbose(stdout, "VERBOSITY=%d\n", logger.verbosity);
    log_component_set_tag(&logger, tag);
    return 0;
}

int vesk_log_threshold(void) noexcept
{
    return logger.verbosity;
}
