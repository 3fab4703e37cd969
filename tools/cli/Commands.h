// The commands of orvane-cli. Each returns the process exit status: 0, kExitFailure or
// kExitUsage (Report.h).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace cli {

using Args = std::vector<std::string>;

void printUsage(std::FILE* out);

int cmdVersion();
int cmdList(const Args& args);
int cmdInfo(int device, const Args& args);
int cmdGetSet(int device, bool set, const Args& args);
int cmdMask(int device, const Args& args);
int cmdSnapshot(int device, const Args& args);
int cmdStream(int device, const Args& args);
int cmdRecord(int device, const Args& args);

}  // namespace cli
