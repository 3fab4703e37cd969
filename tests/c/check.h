/* Failure counting for the C test programs: CHECK reports a failed condition and goes on,
 * main returns failures != 0. */
#ifndef ORVANE_TESTS_C_CHECK_H
#define ORVANE_TESTS_C_CHECK_H

#include <stdio.h>

static int failures = 0;

#define CHECK(cond)                                                    \
    do {                                                               \
        if (!(cond)) {                                                 \
            fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                \
        }                                                              \
    } while (0)

#endif
