// Product IDs of the camera family. Only 0x30F0 has its sensor model in this library; the
// others are named where the device object takes steps of its own for them (they get the
// base sensor model, whose Initialize fails, so they never open).
#pragma once

namespace orvane::device {

inline constexpr int kProductIdImx178 = 0x30F0;      // the camera this library serves
inline constexpr int kProductIdEndpoint83 = 0x3042;  // sends whole frames on endpoint 0x83
inline constexpr int kProductIdNone = -1;

inline constexpr int kProductId3090 = 0x3090;
inline constexpr int kProductId30B0 = 0x30B0;
inline constexpr int kProductId30C0 = 0x30C0;
inline constexpr int kProductId3100 = 0x3100;
inline constexpr int kProductId3130 = 0x3130;
inline constexpr int kProductId3140 = 0x3140;
inline constexpr int kProductId3150 = 0x3150;
inline constexpr int kProductId3170 = 0x3170;
inline constexpr int kProductId3180 = 0x3180;
inline constexpr int kProductId3190 = 0x3190;
inline constexpr int kProductId31B0 = 0x31B0;
inline constexpr int kProductId31B4 = 0x31B4;
inline constexpr int kProductId31C0 = 0x31C0;
inline constexpr int kProductId31C4 = 0x31C4;
inline constexpr int kProductId31E0 = 0x31E0;
inline constexpr int kProductId3220 = 0x3220;
inline constexpr int kProductId32A0 = 0x32A0;
inline constexpr int kProductId32D0 = 0x32D0;

}  // namespace orvane::device
