// The automatic exposure/gain decision: one factor from the mean levels of five regions.
#pragma once

namespace orvane::session {

// Regions, as fractions of the frame (left, top, right, bottom): four near the corners and
// the centre, the first one deciding the starting factor.
inline constexpr float kAutoIrisRegions[5][4] = {{0.1f, 0.1f, 0.2f, 0.2f},
                                                 {0.1f, 0.8f, 0.2f, 0.9f},
                                                 {0.45f, 0.45f, 0.55f, 0.55f},
                                                 {0.8f, 0.1f, 0.9f, 0.2f},
                                                 {0.8f, 0.8f, 0.9f, 0.9f}};

// Factor for the current gain or exposure from the five region means (8-bit levels).
// Computed in single precision, as it always has been: five bright regions then give
// exactly a quarter (0.85 - 4 x 0.15 rounds to just above 0.25; in double it falls below).
inline float autoIrisFactor(const int means[5]) {
    const int m = means[0];
    float d = m > 200 ? 0.85f : m > 160 ? 0.9f : m < 100 ? 1.05f : 1.0f;
    for (int i = 1; i < 5; ++i) {
        if (means[i] > 200)
            d -= 0.15f;
        else if (means[i] > 160)
            d -= 0.1f;
        else if (means[i] < 100)
            d += 0.05f;
    }
    return d;
}

// Whether a factor is far enough from 1 to act on.
inline bool autoIrisActs(float d) {
    return !(d > 0.6f && d < 1.2f);
}

}  // namespace orvane::session
