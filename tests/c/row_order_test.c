/* The row order of the copy-out functions as the public header documents it, checked on a
 * known scene by a C99 application: the virtual camera's ramp, where sample (x, y) of a
 * frame is (x + 2y + n) mod 256, so each picture row starts 2 above the row over it. The
 * top two and bottom two rows are outside the reach of the pipeline's filters. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "OrvaneSdk.h"
#include "check.h"

#define WIDTH 3072
#define HEIGHT 2048

/* Every sample of row b is 2 above the sample of row a in the same column (mod 256). */
static int rowsStepByTwo(const unsigned char* a, const unsigned char* b) {
    int x;
    for (x = 0; x < WIDTH; ++x)
        if ((unsigned char)(b[x] - a[x]) != 2) return 0;
    return 1;
}

int main(void) {
    const size_t stride = WIDTH; /* 8 bits per pixel: 3072 bytes, already a multiple of 4 */
    const size_t size = stride * HEIGHT;
    unsigned char* topFirst = malloc(size);
    unsigned char* bottomFirst = malloc(size);
    ORVANE_HANDLE h;

    if (topFirst == NULL || bottomFirst == NULL) return 2;
    h = Orvane_Initialize(NULL);
    CHECK(h != 0);
    CHECK(Orvane_SetColorMode(h, 8) == 1);

    /* Non-zero: the top row of the picture comes first, so buffer row 1 is 2 above row 0. */
    CHECK(Orvane_SnapShot(h, topFirst, (int)size, 1) == 1);
    CHECK(rowsStepByTwo(topFirst, topFirst + stride));
    CHECK(rowsStepByTwo(topFirst + (HEIGHT - 2) * stride, topFirst + (HEIGHT - 1) * stride));
    /* Ramp: row 0 of the picture is x + n, so neighbouring samples step by one. */
    CHECK((unsigned char)(topFirst[1] - topFirst[0]) == 1);

    /* 0: the bottom row comes first, so buffer row 0 is 2 above buffer row 1, and it is the
     * last row of the same frame in top-first order. */
    CHECK(Orvane_GetImage(h, bottomFirst, (int)size, 0) == 1);
    CHECK(rowsStepByTwo(bottomFirst + stride, bottomFirst));
    CHECK(memcmp(bottomFirst, topFirst + (HEIGHT - 1) * stride, stride) == 0);
    CHECK(memcmp(bottomFirst + (HEIGHT - 1) * stride, topFirst, stride) == 0);

    CHECK(Orvane_Release(h) == 1);
    free(topFirst);
    free(bottomFirst);
    if (failures == 0) printf("c_row_order_test: passed\n");
    return failures == 0 ? 0 : 1;
}
