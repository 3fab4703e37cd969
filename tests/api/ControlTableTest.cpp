// The public header against the control table: the named setters and getters it declares
// and the filter identifiers it defines are exactly those of the table, so neither side can
// gain or lose a control without the other.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "session/ControlTable.h"
#include "support/Regex.h"

namespace {

using orvane::session::ControlExports;
using orvane::session::kControlInfo;

std::string publicHeader() {
    std::ifstream in(ORVANE_PUBLIC_HEADER);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(ControlTable, HeaderDeclaresExactlyTheNamedFormsOfTheTable) {
    const std::string header = publicHeader();
    ASSERT_FALSE(header.empty()) << ORVANE_PUBLIC_HEADER;
    std::set<std::string> expected;
    for (const auto& c : kControlInfo) {
        if (c.exports == ControlExports::SetGet)
            expected.insert(std::string("ORVANE_API int ORVANE_CALL Orvane_Set") + c.stem +
                            "(ORVANE_HANDLE handle, int value);");
        if (c.exports != ControlExports::None)
            expected.insert(std::string("ORVANE_API int ORVANE_CALL Orvane_Get") + c.stem +
                            "(ORVANE_HANDLE handle, int* ok);");
    }
    // Every one-value setter and getter of the header with the wrappers' signatures.
    const std::regex named(
        R"(ORVANE_API int ORVANE_CALL Orvane_(Set|Get)(\w+)\(ORVANE_HANDLE handle, int(\* ok| value)\);)");
    std::set<std::string> declared;
    for (auto it = std::sregex_iterator(header.begin(), header.end(), named);
         it != std::sregex_iterator(); ++it) {
        declared.insert(it->str());
    }
    for (const std::string& d : expected) EXPECT_EQ(declared.count(d), 1u) << "missing: " << d;
    // Exports of the same shape that are not filter wrappers.
    const std::set<std::string> others = {
        "SetWaitTime",     "SetColorMode",        "SetSubSample",          "SetMirrorH",
        "SetMirrorV",      "GetRealExposureTime", "SetRealExposureTime",   "GetAutoIris",
        "SetSamplingRate", "SetHalfClock",        "SetInternalCorrection", "SetCrossbar",
        "SetAutoIris",     "UpdateMaskData",      "SetDeviceNumber"};
    for (const std::string& d : declared) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(d, m, named));
        if (others.count(m[1].str() + m[2].str()) != 0) continue;
        EXPECT_EQ(expected.count(d), 1u) << "declared but not in the control table: " << d;
    }
}

TEST(ControlTable, HeaderIdentifiersAreTheTableRows) {
    const std::string header = publicHeader();
    const std::regex define(R"(#define ORVANE_FILTER_(\w+) (\d+))");
    std::set<int> headerIds;
    for (auto it = std::sregex_iterator(header.begin(), header.end(), define);
         it != std::sregex_iterator(); ++it) {
        headerIds.insert(std::stoi((*it)[2].str()));
    }
    std::set<int> tableIds;
    for (const auto& c : kControlInfo) EXPECT_TRUE(tableIds.insert(c.id).second) << c.id;
    EXPECT_EQ(headerIds, tableIds);
}

TEST(ControlTable, SlotsAndRegistryNamesAreUniquePerRecord) {
    std::set<std::pair<int, int>> slots;
    std::set<std::string> names;
    for (const auto& c : kControlInfo) {
        if (c.handler == orvane::session::ControlHandler::ImagePacked) continue;  // spans three
        if (c.record != orvane::session::ControlRecord::None) {
            EXPECT_TRUE(slots.insert({static_cast<int>(c.record), c.slot}).second) << c.stem;
        }
        if (c.registry != nullptr) {
            EXPECT_TRUE(names.insert(c.registry).second) << c.stem;
        }
        EXPECT_LE(c.lo, c.hi) << c.stem;
    }
}

}  // namespace
