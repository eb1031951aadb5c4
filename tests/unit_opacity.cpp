// The percentage and alpha conversions, for every input the user interface can produce.
#include <doctest.h>

#include <math.h>
#include <string.h>

#include "plugin/ui/opacity.h"

namespace {

unsigned bitsOf(float f) {
    unsigned u;
    memcpy(&u, &f, sizeof u);
    return u;
}

}  // namespace

TEST_CASE("the single-precision constants have the stored bit patterns") {
    CHECK(bitsOf(ONE_255TH) == 0x3B808081u);
    CHECK(bitsOf(ONE_HUNDREDTH) == 0x3C23D70Au);
}

TEST_CASE("every alpha 0..255 shows as floor(alpha x 100 / 255) percent, both ways of truncating") {
    for (int alpha = 0; alpha <= 255; ++alpha) {
        CAPTURE(alpha);
        int expected = alpha * 100 / 255;
        CHECK(checkPercentOf(static_cast<float>(alpha)) == expected);
        CHECK(shownPercentOf(static_cast<float>(alpha)) == expected);
    }
    CHECK(shownPercentOf(255.0f) == 100);
    CHECK(shownPercentOf(204.0f) == 80);
    CHECK(shownPercentOf(128.0f) == 50);
    CHECK(shownPercentOf(127.0f) == 49);
    CHECK(shownPercentOf(26.0f) == 10);
}

TEST_CASE("presets and the slider store the tabled alphas, and each converts back to its percentage") {
    const int presets[][2] = {{100, 255}, {90, 230}, {80, 204}, {70, 179}, {60, 153},
                              {50, 128},  {40, 102}, {30, 77},  {20, 51},  {10, 26}};
    for (const auto& p : presets) {
        CAPTURE(p[0]);
        CHECK(storedAlphaOf(static_cast<float>(p[0])) == static_cast<float>(p[1]));
    }
    for (int percent = PERCENT_MIN; percent <= PERCENT_MAX; ++percent) {
        CAPTURE(percent);
        float stored = storedAlphaOf(static_cast<float>(percent));
        CHECK(stored == floorf(stored));
        CHECK(stored >= percent * 2.55f - 0.001f);
        CHECK(stored < percent * 2.55f + 1.0f);
        CHECK(checkPercentOf(stored) == percent);
        CHECK(shownPercentOf(stored) == percent);
    }
}

TEST_CASE("the preview alpha is the single-rounded product and never reaches a linked code") {
    CHECK(previewAlphaOf(10) == 25.5f);
    CHECK(static_cast<int>(previewAlphaOf(10)) == 25);
    CHECK(previewAlphaOf(50) == 127.5f);
    CHECK(static_cast<int>(previewAlphaOf(50)) == 127);
    CHECK(previewAlphaOf(100) == 255.0f);
    for (int percent = PERCENT_MIN; percent <= PERCENT_MAX; ++percent) {
        CAPTURE(percent);
        float preview = previewAlphaOf(percent);
        // Exactly the product rounded once to single precision.
        volatile float expected = static_cast<float>(static_cast<long double>(percent) * 255.0L *
                                                     static_cast<long double>(0.01f));
        CHECK(bitsOf(preview) == bitsOf(expected));
        CHECK(preview >= 25.0f);
        CHECK(preview <= 255.0f);
        CHECK(static_cast<int>(preview) <= static_cast<int>(storedAlphaOf(static_cast<float>(percent))));
    }
}
