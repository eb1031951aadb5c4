// The Alpha Blending page's opacity conversions, over every slider position.
#include <doctest.h>

#include <string.h>

#include "plugin/ui/ui.h"

TEST_CASE("slider positions become alphas: shown unrounded, stored rounded up") {
    CHECK(alphaOfPercent(50).shown == 127.5f);
    CHECK(alphaOfPercent(50).stored == 128.0f);
    CHECK(alphaOfPercent(10).shown == 25.5f);
    CHECK(alphaOfPercent(10).stored == 26.0f);
    CHECK(alphaOfPercent(100).shown == 255.0f);
    CHECK(alphaOfPercent(100).stored == 255.0f);
    // Positions whose exact alpha is whole land just below it before rounding up.
    CHECK(alphaOfPercent(20).stored == 51.0f);
    CHECK(alphaOfPercent(60).stored == 153.0f);

    for (int pos = 10; pos <= 100; ++pos) {
        CAPTURE(pos);
        SliderAlpha a = alphaOfPercent(pos);
        CHECK(a.stored == static_cast<float>((pos * 255 + 99) / 100));
        CHECK(a.shown <= a.stored);
        CHECK(a.shown > a.stored - 1.0f);
        // What a new page shows for the stored alpha is the position that set it.
        CHECK(opacityPercentOf(a.stored) == pos);
    }
}

TEST_CASE("alphas become the percentage the page shows") {
    CHECK(opacityPercentOf(255.0f) == 100);
    CHECK(opacityPercentOf(128.0f) == 50);
    CHECK(opacityPercentOf(127.5f) == 50);
    CHECK(opacityPercentOf(26.0f) == 10);
    CHECK(opacityPercentOf(25.5f) == 10);
    CHECK(opacityPercentOf(254.0f) == 99);
}
