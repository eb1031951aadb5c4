// The arithmetic of one fade tick, as pure functions.
//
// Alphas are kept as single-precision floats, but a tick computes in extended precision
// (long double, the x87 80-bit type in both of our builds) and rounds to float only where
// the result is stored. The rounding goes through a volatile store, so that the 32-bit
// build, which could otherwise keep a "float" in an 80-bit register, gives the same bits
// as the 64-bit one.
#pragma once

constexpr float ALPHA_OPAQUE = 255.0f;

// Rounds an extended value to single precision, once, through memory.
inline float storeAsFloat(long double value) {
    volatile float stored = static_cast<float>(value);
    return stored;
}

// Number of ticks a fade of t milliseconds is cut into: max(t, 10) / 10, remainder dropped.
inline unsigned fadeTickCount(unsigned fadeMs) {
    return (fadeMs < 10u ? 10u : fadeMs) / 10u;
}

// Size of one tick. 256 rather than 255, so a fade ends within its tick count, the last
// tick clamped.
inline long double fadeStep(float resting, unsigned fadeMs) {
    return (256.0L - static_cast<long double>(resting)) / fadeTickCount(fadeMs);
}

// What one tick does with a shown alpha.
struct FadeTick {
    bool changed;       // false: the fade was already at its end, nothing is stored or shown
    float stored;       // the new shown alpha, as stored
    int unstored;       // the new value before it was stored, truncated toward zero
    bool finished;      // the stored value reached the end of the fade: stop its timer
};

inline FadeTick fadeInTick(float shown, float resting, unsigned fadeMs) {
    if (!(shown < ALPHA_OPAQUE)) return FadeTick{false, shown, 0, true};
    long double sum = static_cast<long double>(shown) + fadeStep(resting, fadeMs);
    long double next = sum < 255.0L ? sum : 255.0L;
    float stored = storeAsFloat(next);
    return FadeTick{true, stored, static_cast<int>(next), stored == ALPHA_OPAQUE};
}

inline FadeTick fadeOutTick(float shown, float resting, unsigned fadeMs) {
    if (!(shown > resting)) return FadeTick{false, shown, 0, true};
    long double diff = static_cast<long double>(shown) - fadeStep(resting, fadeMs);
    long double next = diff > static_cast<long double>(resting) ? diff : static_cast<long double>(resting);
    float stored = storeAsFloat(next);
    return FadeTick{true, stored, static_cast<int>(next), stored == resting};
}

// The alpha a linked tick broadcasts: the stored value truncated, its low byte, as a float.
inline float linkedShownAlpha(float stored) {
    return static_cast<float>(static_cast<unsigned>(static_cast<int>(stored)) & 0xFFu);
}
