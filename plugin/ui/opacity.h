// Conversions between a percentage (10..100, as the user sees it) and an alpha (0..255).
//
// The arithmetic is written out in long double (80-bit extended on both builds) and each
// rounding to single or double precision goes through a volatile store, so that the
// 32-bit x87 build and the 64-bit SSE build give the same bits for every input.
#pragma once

// 1/255 and 0.01 as single-precision constants (bit patterns 0x3B808081 and 0x3C23D70A).
constexpr float ONE_255TH = 0x1.010102p-8f;
constexpr float ONE_HUNDREDTH = 0.01f;

// Rounds an extended value to single or double precision, whatever the build keeps in
// its registers.
float roundToSingle(long double value);
double roundToDouble(long double value);

// The percentage a menu check mark stands for: alpha x 100 x (1/255), truncated with no
// rounding to single precision in between. floor(alpha x 100 / 255) for integer alphas.
int checkPercentOf(float alpha);

// The percentage the Custom Opacity dialog shows: the same product rounded to single
// precision, then truncated. Also floor(alpha x 100 / 255) for integer alphas.
int shownPercentOf(float alpha);

// The alpha shown while the dialog's slider moves: percent x 255 x 0.01, rounded to single
// precision (10 gives 25.5, which the platform receives as 25).
float previewAlphaOf(int percent);

// The resting alpha a percentage is stored as: ceil(percent x 255 x 0.01) with the product
// rounded to double precision first (10 gives 26, 50 gives 128, 100 gives 255). Every
// result converts back to the same percentage.
float storedAlphaOf(float percent);

// The range the user chooses from, in percent.
constexpr int PERCENT_MIN = 10;
constexpr int PERCENT_MAX = 100;
