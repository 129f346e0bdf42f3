// Reads or writes one registry value for the cross-process tests:
//   registry_probe read <subkey of HKEY_CURRENT_USER> <value>          prints the bytes in hex
//   registry_probe write <subkey of HKEY_CURRENT_USER> <value> <hex>   writes REG_BINARY
// Exit status: 0 done, 2 missing, 1 failed.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/registry.h"

int main(int argc, char** argv)
{
    if (argc < 4) return 1;
    const std::string mode = argv[1];
    HKEY key = nullptr;
    if (mode == "read") {
        if (RegOpenKeyExA(HKEY_CURRENT_USER, argv[2], 0, KEY_READ, &key) != ERROR_SUCCESS) return 2;
        DWORD size = 0;
        if (RegQueryValueExA(key, argv[3], nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return 2;
        std::vector<BYTE> data(size);
        if (RegQueryValueExA(key, argv[3], nullptr, nullptr, data.data(), &size) != ERROR_SUCCESS) return 1;
        for (DWORD i = 0; i < size; ++i) std::printf("%02x", data[i]);
        std::printf("\n");
        RegCloseKey(key);
        return 0;
    }
    if (mode == "write" && argc == 5) {
        std::vector<BYTE> data;
        for (size_t i = 0; i + 1 < std::strlen(argv[4]); i += 2) {
            unsigned byte = 0;
            std::sscanf(argv[4] + i, "%2x", &byte);
            data.push_back(static_cast<BYTE>(byte));
        }
        if (RegCreateKeyExA(HKEY_CURRENT_USER, argv[2], 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            return 1;
        const LSTATUS status =
            RegSetValueExA(key, argv[3], 0, REG_BINARY, data.data(), static_cast<DWORD>(data.size()));
        RegCloseKey(key);
        return status == ERROR_SUCCESS ? 0 : 1;
    }
    return 1;
}
