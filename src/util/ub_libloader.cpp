// The loader that fills a caller's function pointers from a shared library.
#include "util/ub_libloader.h"

#include <cstring>

#include "log/messages.hpp"
#include "platform/platform.h"

int ub_libloader(const char *file_name, ub_libloader_record *record) noexcept
{
    if (file_name == nullptr || record == nullptr)
        return UB_LIBLOADER_NULL;
    int error = 0;
    record->module = platform_library_open(file_name, &error);
    if (record->module == nullptr) {
        verbose_message(VESK_MSG_UTIL_LIBRARY_NOT_LOADED, error, file_name);
        return UB_LIBLOADER_NOT_LOADED;
    }
    for (ub_libloader_entry *entry = record->entries; entry != nullptr && entry->name != nullptr;
         ++entry) {
        void *address = platform_library_symbol(record->module, entry->name);
        if (address == nullptr) {
            verbose_message(VESK_MSG_UTIL_SYMBOL_NOT_FOUND, entry->name, file_name);
            return UB_LIBLOADER_NO_PROCEDURE;
        }
        // The target is a function-pointer variable of pointer size; a copy
        // of the address bytes fills it whatever its declared type.
        if (entry->target != nullptr)
            std::memcpy(entry->target, &address, sizeof address);
    }
    return UB_LIBLOADER_OK;
}
