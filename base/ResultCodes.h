#pragma once
// Result of a conversion run: what the window reports, the command line's
// exit status, and what each stage returns.
#include <cstdint>

enum E2QEFErrorCodes : int32_t {
    E2QEF_SUCCESS = 0,
    E2QEF_READ_FAILED = 1,
    E2QEF_PROCESS_FAILED = 2,
    E2QEF_WRITE_FAILED = 3,
    E2QEF_OUT_OF_MEMORY = 4,
    E2QEF_NOT_COLLADA = 5,
    E2QEF_EXCEPTION = 6,
    E2QEF_NO_SCENE = 7,
};
