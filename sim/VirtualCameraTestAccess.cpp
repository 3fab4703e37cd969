// The virtual camera's interface for tests: register, EEPROM and information-block access,
// fault switches and the request log. Every member takes the camera's lock.
#include <cstring>

#include "sim/VirtualCamera.h"
#include "transport/Fx3Protocol.h"

namespace orvane::sim {

using namespace transport;  // FPGA register names

uint8_t VirtualCamera::sensorRegister(uint16_t address) const {
    platform::LockGuard lock(mutex_);
    return sensor_[address];
}

void VirtualCamera::setSensorRegister(uint16_t address, uint8_t value) {
    platform::LockGuard lock(mutex_);
    sensor_[address] = value;
}

uint8_t VirtualCamera::fpgaRegister(uint8_t reg) const {
    platform::LockGuard lock(mutex_);
    return fpga_[reg];
}

void VirtualCamera::setFpgaRegister(uint8_t reg, uint8_t value) {
    platform::LockGuard lock(mutex_);
    fpga_[reg] = value;
}

uint8_t VirtualCamera::auxRegister(uint8_t reg) const {
    platform::LockGuard lock(mutex_);
    return aux_[reg];
}

uint8_t VirtualCamera::eepromByte(uint16_t address) const {
    platform::LockGuard lock(mutex_);
    return eeprom_[address & 0x0FFF];
}

void VirtualCamera::setEepromByte(uint16_t address, uint8_t value) {
    platform::LockGuard lock(mutex_);
    eeprom_[address & 0x0FFF] = value;
}

uint32_t VirtualCamera::register32(uint16_t address) const {
    platform::LockGuard lock(mutex_);
    return regs32_[address];
}

uint8_t VirtualCamera::streamMode() const {
    platform::LockGuard lock(mutex_);
    return streamMode_;
}

void VirtualCamera::setInfoBlock(const uint8_t block[64]) {
    platform::LockGuard lock(mutex_);
    std::memcpy(infoBlock_, block, 64);
}

void VirtualCamera::setSpeedCode(uint32_t code) {
    platform::LockGuard lock(mutex_);
    speedCode_ = code;
}

void VirtualCamera::fireTrigger() {
    platform::LockGuard lock(mutex_);
    ++fpga_[kFpgaTriggerCounter];
    ++triggersPending_;
    wakeWorkerLocked();
}

uint32_t VirtualCamera::framesSent() const {
    platform::LockGuard lock(mutex_);
    return static_cast<uint32_t>(framesSent_);
}

void VirtualCamera::setReplyLimit(int bytes) {
    platform::LockGuard lock(mutex_);
    replyLimit_ = bytes;
}

void VirtualCamera::setFailControl(bool fail) {
    platform::LockGuard lock(mutex_);
    failControl_ = fail;
}

void VirtualCamera::setSuppressHeaders(bool suppress) {
    platform::LockGuard lock(mutex_);
    suppressHeaders_ = suppress;
}

void VirtualCamera::setPayloadBytesOverride(uint32_t bytes) {
    platform::LockGuard lock(mutex_);
    payloadOverride_ = bytes;
}

void VirtualCamera::stallEndpoint(uint8_t endpoint) {
    platform::LockGuard lock(mutex_);
    haltNext_ = endpoint;
    wakeWorkerLocked();
}

void VirtualCamera::setPace(Pace pace) {
    platform::LockGuard lock(mutex_);
    pace_ = pace;
}

FrameParams VirtualCamera::frameParams() const {
    platform::LockGuard lock(mutex_);
    return currentParams();
}

void VirtualCamera::setStalled(bool stalled) {
    platform::LockGuard lock(mutex_);
    stalled_ = stalled;
    wakeWorkerLocked();
}

void VirtualCamera::setFailAfter(int64_t frames) {
    platform::LockGuard lock(mutex_);
    failAfter_ = frames;
    wakeWorkerLocked();
}

void VirtualCamera::setDropEvery(uint32_t n) {
    platform::LockGuard lock(mutex_);
    dropEvery_ = n;
}

void VirtualCamera::setUnplugAfter(int64_t frames) {
    platform::LockGuard lock(mutex_);
    unplugAfter_ = frames;
}

std::vector<LoggedRequest> VirtualCamera::requestLog() const {
    platform::LockGuard lock(mutex_);
    return {log_.begin(), log_.end()};
}

void VirtualCamera::clearRequestLog() {
    platform::LockGuard lock(mutex_);
    log_.clear();
}

void VirtualCamera::setLogging(bool enabled) {
    platform::LockGuard lock(mutex_);
    logging_ = enabled;
}

}  // namespace orvane::sim
