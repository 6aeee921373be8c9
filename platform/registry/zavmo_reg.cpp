// zavmo-reg: command-line access to the emulated registry.
//   zavmo-reg set-string ROOT PATH NAME VALUE
//   zavmo-reg set-number ROOT PATH NAME NUMBER     (decimal or 0x hex)
//   zavmo-reg get ROOT PATH NAME                   (prints the value)
//   zavmo-reg delete-key ROOT PATH
//   zavmo-reg delete-value ROOT PATH NAME
// ROOT is HKLM or HKCU. Exit status: 0 done, 1 failed or missing, 2 usage.
#include "platform/registry.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace platform::registry;

namespace {

int usage()
{
    std::fputs("usage: zavmo-reg set-string|set-number ROOT PATH NAME VALUE\n"
               "       zavmo-reg get|delete-value ROOT PATH NAME\n"
               "       zavmo-reg delete-key ROOT PATH\n"
               "ROOT: HKLM or HKCU\n",
               stderr);
    return 2;
}

bool parseRoot(const char* text, Root& root)
{
    if (std::strcmp(text, "HKLM") == 0) {
        root = Root::LocalMachine;
        return true;
    }
    if (std::strcmp(text, "HKCU") == 0) {
        root = Root::CurrentUser;
        return true;
    }
    return false;
}

bool parseNumber(const char* text, uint32_t& out)
{
    if (!*text || *text == '-' || *text == '+')
        return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 0);
    if (errno != 0 || *end != '\0' || value > 0xFFFFFFFFull)
        return false;
    out = static_cast<uint32_t>(value);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4)
        return usage();
    const std::string command = argv[1];
    Root root;
    if (!parseRoot(argv[2], root))
        return usage();
    const std::string path = argv[3];

    if (command == "set-string" && argc == 6)
        return writeString(root, path, argv[4], argv[5]) ? 0 : 1;
    if (command == "set-number" && argc == 6) {
        uint32_t number = 0;
        if (!parseNumber(argv[5], number))
            return usage();
        return writeNumber(root, path, argv[4], number) ? 0 : 1;
    }
    if (command == "get" && argc == 5) {
        std::string text;
        uint32_t number = 0;
        if (readString(root, path, argv[4], text)) {
            std::printf("%s\n", text.c_str());
            return 0;
        }
        if (readNumber(root, path, argv[4], number)) {
            std::printf("%u\n", static_cast<unsigned>(number));
            return 0;
        }
        return 1;
    }
    if (command == "delete-key" && argc == 4)
        return deleteKey(root, path) ? 0 : 1;
    if (command == "delete-value" && argc == 5)
        return deleteValue(root, path, argv[4]) ? 0 : 1;
    return usage();
}
