// Conversions between percentages and alphas.
#include "opacity.h"

#include <math.h>

float roundToSingle(long double value) {
    volatile float stored = static_cast<float>(value);
    return stored;
}

double roundToDouble(long double value) {
    volatile double stored = static_cast<double>(value);
    return stored;
}

namespace {

long double percentProduct(float alpha) {
    return static_cast<long double>(alpha) * 100.0L * static_cast<long double>(ONE_255TH);
}

long double alphaProduct(float percent) {
    return static_cast<long double>(percent) * 255.0L * static_cast<long double>(ONE_HUNDREDTH);
}

}  // namespace

int checkPercentOf(float alpha) { return static_cast<int>(percentProduct(alpha)); }

int shownPercentOf(float alpha) { return static_cast<int>(roundToSingle(percentProduct(alpha))); }

float previewAlphaOf(int percent) { return roundToSingle(alphaProduct(static_cast<float>(percent))); }

float storedAlphaOf(float percent) {
    return static_cast<float>(ceil(roundToDouble(alphaProduct(percent))));
}
