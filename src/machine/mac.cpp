// The network adapters and the MAC address helpers: the interface
// enumeration, and the first interface's address as bytes or text.
#include "machine/w32_utils.h"

#include <cstdio>
#include <cstring>

#include "log/messages.hpp"

namespace {

// Digit value of a lower-case hex digit; other characters give what the
// arithmetic gives, as callers of this format have always seen.
unsigned mac_digit(char c)
{
    unsigned code = static_cast<unsigned char>(c);
    return code > 96 ? code - 87 : code - 48;
}

bool ends_mac(char c)
{
    return c == '\0' || c == '\n';
}

} // namespace

int vesk_get_ifaces(vesk_iface_callback callback, void *user) noexcept
{
    // No adapter list is read on this system: the enumeration reports the
    // error number 0 and delivers no interface.
    (void)callback;
    (void)user;
    verbose_message(VESK_MSG_MACHINE_NO_ADAPTERS, 0);
    return 0;
}

char *vesk_get_local_ip(const char *name, char *ip) noexcept
{
    (void)name;
    return ip;
}

char *vesk_mac(char *buffer, size_t size) noexcept
{
    if (buffer == nullptr || size == 0)
        return buffer;
    unsigned char bytes[VESK_MAC_BUFFER_SIZE];
    vesk_get_mac(bytes, sizeof bytes);
    std::snprintf(buffer, size, "%02X%02X%02X%02X%02X%02X", bytes[0], bytes[1], bytes[2], bytes[3],
                  bytes[4], bytes[5]);
    return buffer;
}

void vesk_get_mac(unsigned char *bytes, size_t size) noexcept
{
    if (bytes == nullptr)
        return;
    std::memset(bytes, 0, size);
    if (size >= VESK_MAC_BUFFER_SIZE)
        vesk_get_ifaces(vesk_mac_cb, bytes);
}

void vesk_mac_cb(const char *name, const char *mac, const char *ip, void *user) noexcept
{
    (void)name;
    (void)ip;
    auto *bytes = static_cast<unsigned char *>(user);
    if (mac == nullptr || bytes == nullptr)
        return;
    unsigned sum = 0;
    for (int k = 0; k < 6; ++k)
        sum += bytes[k];
    if (sum > 0) // an earlier interface already gave its address
        return;
    vesk_converte_mac(mac, bytes);
}

int vesk_converte_mac(const char *mac, unsigned char *bytes) noexcept
{
    if (mac == nullptr || bytes == nullptr)
        return -1;
    size_t step = std::strlen(mac) == 12 ? 2 : 3;
    const char *p = mac;
    while (!ends_mac(*p)) {
        size_t index = static_cast<size_t>(p - mac) / step;
        if (index >= VESK_MAC_BUFFER_SIZE) // a longer text does not fit the buffer
            break;
        bytes[index] = static_cast<unsigned char>(mac_digit(*p) << 4);
        ++p;
        if (ends_mac(*p)) // a lone last digit: never read past the end
            break;
        bytes[index] = static_cast<unsigned char>(bytes[index] + mac_digit(*p));
        if (p[1] == ':')
            ++p;
        ++p;
    }
    return 0;
}
