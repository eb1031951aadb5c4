// The arithmetic of one fade tick, as pure functions.
//
// Alphas are kept as single-precision floats, but a tick computes in extended precision
// (long double, the x87 80-bit type in both of our builds) and rounds to float only where
// the result is stored. The rounding goes through a volatile store, so that the 32-bit
// build, which could otherwise keep a "float" in an 80-bit register, gives the same bits
// as the 64-bit one.
#pragma once

constexpr float ALPHA_OPAQUE = 255.0f;
constexpr unsigned FADE_PERIOD_MS = 10;     // a fade takes one step per period

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

// How many steps a tick takes: one per whole period since the fade's last step, so that a
// tick that comes late (a coarse system clock, a busy thread, a slow broadcast) catches up
// and a fade takes the time it is set to; and always at least one, so that a tick on time,
// or one of a clock that has not moved yet, takes exactly one. The clock moves on by the
// periods taken, which carries what is left of a period to the next tick. Wrap-safe: the
// clock is a GetTickCount() value, and may run a period or so ahead of it after early ticks.
// No more than a whole fade's worth: no fade needs more to reach its end.
inline unsigned fadeStepsDue(unsigned long now, unsigned long* clock, unsigned fadeMs) {
    long elapsed = static_cast<long>(static_cast<unsigned>(now - *clock));
    unsigned steps = elapsed < static_cast<long>(FADE_PERIOD_MS) ? 1u
                                                               : static_cast<unsigned>(elapsed) / FADE_PERIOD_MS;
    if (steps > fadeTickCount(fadeMs)) {
        steps = fadeTickCount(fadeMs);
        *clock = now;
    } else {
        *clock += steps * FADE_PERIOD_MS;
    }
    return steps;
}

// A tick of several steps: each as fadeInTick or fadeOutTick, until the fade ends. What it
// returns describes them together: the last value stored and shown, changed if any step
// changed it, finished when the fade reached its end.
inline FadeTick fadeSteps(bool in, float shown, float resting, unsigned fadeMs, unsigned steps) {
    FadeTick all = {false, shown, 0, false};
    for (unsigned k = 0; k < steps && !all.finished; ++k) {
        FadeTick t = in ? fadeInTick(all.stored, resting, fadeMs) : fadeOutTick(all.stored, resting, fadeMs);
        all.finished = t.finished;
        if (!t.changed) continue;
        all.changed = true;
        all.stored = t.stored;
        all.unstored = t.unstored;
    }
    return all;
}
