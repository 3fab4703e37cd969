// The named setters and getters of the filter identifiers: one table, expanded where the
// exports are defined. X(name, identifier) makes Orvane_Set<name> and Orvane_Get<name>.
#pragma once

#define ORVANE_FILTER_WRAPPERS(X) \
    X(Brightness, 1)              \
    X(Contrast, 2)                \
    X(Hue, 3)                     \
    X(Saturation, 4)              \
    X(Sharpness, 5)               \
    X(BayerGainRGB, 6)            \
    X(BayerGainRed, 7)            \
    X(BayerGainGreen, 8)          \
    X(BayerGainBlue, 9)           \
    X(BayerGainAuto, 10)          \
    X(Gamma, 11)                  \
    X(BayerMode, 12)              \
    X(GlobalGain, 13)             \
    X(ColorGainRed, 14)           \
    X(ColorGainGreen1, 15)        \
    X(ColorGainGreen2, 16)        \
    X(ColorGainBlue, 17)          \
    X(ExposureTime, 18)           \
    X(GrayMode, 19)               \
    X(GrayGainR, 20)              \
    X(GrayGainG1, 21)             \
    X(GrayGainG2, 22)             \
    X(GrayGainB, 23)              \
    X(GrayOffsetR, 24)            \
    X(GrayOffsetG1, 25)           \
    X(GrayOffsetG2, 26)           \
    X(GrayOffsetB, 27)            \
    X(Peltier, 100)               \
    X(DotFilter, 102)             \
    X(MaskFilter, 103)

// Temperature has only a getter.
#define ORVANE_FILTER_TEMPERATURE_ID 101
