#include "base/core/random_range.h"

#include <cstdlib>
#include <ctime>

double RandomInRange(double lo, double hi)
{
    static bool seeded = false;
    if (!seeded) {
        std::srand(static_cast<unsigned>(std::time(nullptr)));
        seeded = true;
    }
    // rand() % 32768 keeps the result below hi on libraries whose RAND_MAX
    // is larger than the 32767 this formula was made for.
    const long double r = std::rand() % 32768;
    return static_cast<double>(lo + r * (static_cast<long double>(hi) - lo) / 32768.0L);
}
