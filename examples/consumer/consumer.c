/* A minimal application of the Orvane camera library: lists the attached cameras and saves
 * one snapshot of the first as a BMP file.
 *
 *   consumer OUTPUT.bmp
 *
 * Set ORVANE_VIRTUAL_CAMERAS=1 to run it against the library's virtual camera. */
#include <OrvaneSdk.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s OUTPUT.bmp\n", argv[0]);
        return 2;
    }
    ORVANE_HANDLE camera = Orvane_Initialize(NULL);
    if (camera == 0) {
        fprintf(stderr, "no library session\n");
        return 1;
    }
    int status = 1;
    char names[10][256];
    const int count = Orvane_EnumDevice(camera, names);
    for (int i = 0; i < count; ++i) printf("camera %d: %s\n", i, names[i]);
    if (count == 0) {
        fprintf(stderr, "no camera attached\n");
    } else if (!Orvane_SetDeviceNumber(camera, 0) || !Orvane_SetColorMode(camera, 24)) {
        fprintf(stderr, "cannot open camera 0: error %d\n", Orvane_GetLastError(camera));
    } else {
        /* A 24-bit frame: rows padded to 4 bytes. */
        const int width = Orvane_Width(camera), height = Orvane_Height(camera);
        const int size = ((width * 3 + 3) & ~3) * height;
        void* frame = malloc((size_t)size);
        if (frame == NULL) {
            fprintf(stderr, "out of memory\n");
        } else if (!Orvane_SnapShot(camera, frame, size, 1)) {
            fprintf(stderr, "snapshot failed: error %d\n", Orvane_GetLastError(camera));
        } else if (!Orvane_SaveImage(camera, argv[1], ORVANE_FORMAT_BMP)) {
            fprintf(stderr, "cannot save %s: error %d\n", argv[1], Orvane_GetLastError(camera));
        } else {
            printf("%s: %d x %d\n", argv[1], width, height);
            status = 0;
        }
        free(frame);
    }
    Orvane_Release(camera);
    return status;
}
