#include "envdialog/adapter_addresses.h"

std::vector<unsigned char> ReadAdapterAddresses(ULONG flags)
{
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    // The list may grow between the call that sizes it and the one that reads it.
    for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        result = GetAdaptersAddresses(AF_INET, flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()),
                                      &size);
    }
    if (result != NO_ERROR) buffer.clear();
    return buffer;
}

std::string AdapterText(const wchar_t* text)
{
    if (!text) return std::string();
    const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return std::string();
    std::string result(static_cast<size_t>(size), '\0');
    const int length = WideCharToMultiByte(CP_ACP, 0, text, -1, result.data(), size, nullptr, nullptr);
    result.resize(length > 0 ? static_cast<size_t>(length - 1) : 0);
    return result;
}
