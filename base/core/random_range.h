#pragma once

// A pseudo-random value in [lo, hi) from the C library generator, seeded with
// the current time on the first call in the process.
double RandomInRange(double lo, double hi);
