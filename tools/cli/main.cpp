// orvane-cli: command-line tool for cameras driven by the Orvane library. It uses only the
// public interface, as any application would.
#include <cstdio>
#include <cstring>
#include <string>

#include "OrvaneSdk.h"

namespace {

void usage() {
    std::puts(
        "usage: orvane-cli <command>\n"
        "  version   print the library version\n"
        "  list      list the attached cameras");
}

int cmdVersion() {
    const unsigned int v = Orvane_GetDllVersion();
    std::printf("OrvaneSdk_A06_USB3_Q7 %u.%u.%u.%u (0x%08X)\n", v >> 24, (v >> 16) & 0xFF,
                (v >> 8) & 0xFF, v & 0xFF, v);
    return 0;
}

int cmdList() {
    const ORVANE_HANDLE h = Orvane_Initialize(nullptr);
    if (h == 0) {
        std::fprintf(stderr, "orvane-cli: could not create a session\n");
        return 1;
    }
    char names[10][256] = {};
    const int count = Orvane_EnumDevice(h, names);
    const int error = count == 0 ? Orvane_GetLastError(h) : 0;
    if (count == 0) {
        std::printf("no cameras found");
        if (error != 0) std::printf(" (error %d)", error);
        std::printf("\n");
    }
    for (int i = 0; i < count; ++i) std::printf("%d: %s\n", i, names[i]);
    Orvane_Release(h);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        usage();
        return 2;
    }
    const std::string command = argv[1];
    if (command == "version") return cmdVersion();
    if (command == "list") return cmdList();
    if (command == "-h" || command == "--help" || command == "help") {
        usage();
        return 0;
    }
    std::fprintf(stderr, "orvane-cli: unknown command '%s'\n", command.c_str());
    usage();
    return 2;
}
