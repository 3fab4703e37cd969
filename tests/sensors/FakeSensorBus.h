// A controller that models only the sensor bus: a 16-bit-addressed register file behind
// bus address 0x48, a log of every register access, and failure injection per register.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <set>
#include <vector>

#include "transport/CControllerBase.h"

namespace orvane::test {

struct BusAccess {
    char kind;  // 'W' write, 'R' read
    int reg;
    int value;
    bool operator==(const BusAccess&) const = default;
};

inline void PrintTo(const BusAccess& a, std::ostream* os) {
    *os << a.kind << "(0x" << std::hex << a.reg << ", 0x" << a.value << std::dec << ")";
}

class FakeSensorBus : public transport::CControllerBase {
  public:
    std::map<int, uint8_t> registers;
    std::vector<BusAccess> log;
    std::set<int> failWrites;  // registers whose writes fail
    std::set<int> failReads;   // registers whose reads fail
    int otherAddressCalls = 0;

    int BusWrite(uint8_t address, const uint8_t* data, uint32_t count) override {
        if (address != 0x48) return ++otherAddressCalls, 0;
        if (count == 2) {
            pointer_ = data[0] << 8 | data[1];
            return failReads.count(pointer_) ? 0 : 1;
        }
        if (count != 3) return 0;
        const int reg = data[0] << 8 | data[1];
        log.push_back({'W', reg, data[2]});
        if (failWrites.count(reg)) return 0;
        registers[reg] = data[2];
        return 1;
    }
    int BusRead(uint8_t address, uint8_t* data, uint32_t count) override {
        if (address != 0x48 || count != 1) return ++otherAddressCalls, 0;
        log.push_back({'R', pointer_, registers[pointer_]});
        data[0] = registers[pointer_];
        return 1;
    }

    std::vector<BusAccess> writes() const {
        std::vector<BusAccess> out;
        for (const auto& a : log)
            if (a.kind == 'W') out.push_back(a);
        return out;
    }

  private:
    int pointer_ = 0;
};

}  // namespace orvane::test
