#include "util/vesk_params.h"

#include <cstring>

#include "platform/platform.h"

namespace {

const char empty_text[] = "";

} // namespace

void ub_sleep(uint32_t milliseconds) noexcept
{
    platform_sleep_ms(milliseconds);
}

int vesk_findKey(char *const *list, const char *name) noexcept
{
    if (list == nullptr)
        return VESK_FIND_NULL_LIST;
    if (name == nullptr)
        return VESK_FIND_NOT_FOUND;
    // A pair counts only when its value slot is filled too.
    for (int j = 0; list[j] != nullptr && list[j + 1] != nullptr; j += 2) {
        if (std::strcmp(list[j], name) == 0)
            return j + 1;
    }
    return VESK_FIND_NOT_FOUND;
}

const char *vesk_getParam(char *const *list, const char *name) noexcept
{
    int index = vesk_findKey(list, name);
    return index > 0 ? list[index] : empty_text;
}
