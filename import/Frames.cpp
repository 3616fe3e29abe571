#include "import/Frames.h"

#include <algorithm>
#include <cmath>

#include "base/ConversionLog.h"

double AnimRound4(double x)
{
    return std::floor(x * 10000.0 + 0.0005) / 10000.0;
}

uint32_t SampledLastFrame(double t0, double t1, uint64_t perFrame, bool allFrames, uint64_t blockLimit)
{
    if (!allFrames)
        return 0;
    const double frames = std::floor((t1 - t0) / double(kAnimFrameStep));
    const uint64_t maxLast = blockLimit / std::max<uint64_t>(1, perFrame);
    if (maxLast == 0 || !(frames <= double(maxLast - 1))) {
        const uint64_t last = maxLast ? maxLast - 1 : 0;
        ConversionLog(eLogWarning,
                      "Warning: The animation is too long to be sampled in full; only its first %u frames are kept.\n",
                      unsigned(last + 1));
        return uint32_t(last);
    }
    return uint32_t(std::max(0.0, frames));
}
