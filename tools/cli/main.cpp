// orvane-cli: command-line tool for cameras driven by the Orvane library. It uses only the
// public interface, as any application would.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Commands.h"
#include "Report.h"
#include "Settings.h"

namespace cli {

void printUsage(std::FILE* out) {
    std::fputs(
        "usage: orvane-cli [--virtual[=CAMERAS]] [--device N] <command> [arguments]\n"
        "\n"
        "commands:\n"
        "  version                       library version\n"
        "  list [--json]                 attached cameras\n"
        "  info [--json]                 camera information, limits and current settings\n"
        "  get NAME | fpga ADDR | sensor ADDR\n"
        "                                read a setting (filter name or number) or a register\n"
        "  set NAME VALUE | fpga ADDR VALUE | sensor ADDR VALUE\n"
        "                                change a setting or write a register\n"
        "  snapshot [options] -o FILE    take one processed frame and write it\n"
        "  stream [options] --seconds N  run a callback preview and report the frame rate\n"
        "  record [options] -o FILE.avi --ms N\n"
        "                                record processed frames for N milliseconds\n"
        "  mask update dark|bright [--save FILE]\n"
        "                                take a reference frame (then optionally save the mask)\n"
        "  mask save FILE | mask load FILE\n"
        "\n"
        "acquisition options: --mode BITS (8, 16, 24, 32, 48, 64), --exposure UNITS (0.1 ms),\n"
        "  --gain N, --NAME VALUE for any filter name (e.g. --gamma 120), --rows top|bottom\n"
        "snapshot: --format raw|bmp|jpeg100|jpeg70|jpeg20|png|tiff|buffer (default raw)\n"
        "\n"
        "--virtual uses virtual cameras instead of USB devices (default one fast camera;\n"
        "CAMERAS as in ORVANE_VIRTUAL_CAMERAS, e.g. --virtual=30f0:scene=ramp).\n"
        "Exit status: 0 success, 1 failure, 2 a mistake on the command line.\n",
        out);
}

}  // namespace cli

int main(int argc, char** argv) {
    using namespace cli;
    Args args(argv + 1, argv + argc);
    int device = -1;
    size_t at = 0;
    for (; at < args.size() && args[at].rfind("-", 0) == 0; ++at) {
        const std::string& a = args[at];
        if (a == "--virtual" || a.rfind("--virtual=", 0) == 0) {
            const std::string cameras = a.size() > 10 ? a.substr(10) : "30f0:pace=fast";
            setenv("ORVANE_VIRTUAL_CAMERAS", cameras.c_str(), 1);
        } else if (a == "--device") {
            long n = 0;
            if (at + 1 >= args.size() || !parseInt(args[at + 1], &n) || n < 0 || n > 31)
                return usageError("--device needs a camera number from 0 to 31");
            device = static_cast<int>(n);
            ++at;
        } else if (a == "--help" || a == "-h") {
            printUsage(stdout);
            return 0;
        } else {
            return usageError("unknown option '" + a + "'");
        }
    }
    if (at >= args.size()) return usageError("no command given");
    const std::string command = args[at];
    const Args rest(args.begin() + static_cast<long>(at) + 1, args.end());
    if (command == "help") {
        printUsage(stdout);
        return 0;
    }
    if (command == "version")
        return rest.empty() ? cmdVersion() : usageError("version takes no arguments");
    if (command == "list") return cmdList(rest);
    if (command == "info") return cmdInfo(device, rest);
    if (command == "get") return cmdGetSet(device, false, rest);
    if (command == "set") return cmdGetSet(device, true, rest);
    if (command == "snapshot") return cmdSnapshot(device, rest);
    if (command == "stream") return cmdStream(device, rest);
    if (command == "record") return cmdRecord(device, rest);
    if (command == "mask") return cmdMask(device, rest);
    return usageError("unknown command '" + command + "'");
}
