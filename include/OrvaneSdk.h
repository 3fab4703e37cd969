/*
 * OrvaneSdk.h - public interface of the OrvaneA06-USB3-Q7 camera library.
 *
 * Every function returns a 32-bit integer: 1 for success and 0 for failure, unless its
 * comment says otherwise. Getters return the value and set an optional ok flag (may be
 * NULL) to 1 or 0. After a failure, Orvane_GetLastError() returns the reason (ORVANE_ERR_*),
 * which is also posted as ORVANE_WM_ERROR to the window given to Orvane_Initialize().
 *
 * All functions may be called from any thread. A handle that is unknown or already
 * released makes every function return its failure value without recording anything.
 *
 * Compiles as C99 and C++.
 */
#ifndef ORVANE_SDK_H
#define ORVANE_SDK_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#include <windows.h>
#define ORVANE_CALL __stdcall
#if defined(ORVANE_BUILDING_LIBRARY)
#define ORVANE_API __declspec(dllexport)
#else
#define ORVANE_API __declspec(dllimport)
#endif
typedef wchar_t OrvaneWChar;
#else
#define ORVANE_CALL
#define ORVANE_API __attribute__((visibility("default")))
/* UTF-16 code units, as wchar_t is on Windows. */
#if defined(__cplusplus)
typedef char16_t OrvaneWChar;
#else
typedef uint_least16_t OrvaneWChar;
#endif
/* An application window that receives posted messages (see Orvane_CreateMessageWindow). */
typedef struct OrvaneWindow* HWND;
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A camera session, made by Orvane_Initialize. Never 0 for a live session. */
typedef unsigned int ORVANE_HANDLE;

/* Window messages. */
#define ORVANE_WM_FRAME \
    0x8002 /* to the callback window: wParam = OrvaneFrameInfo*, or lParam = error */
#define ORVANE_WM_ERROR 0x8003 /* to the application window: lParam = error code */
#ifndef WM_DEVICECHANGE
#define WM_DEVICECHANGE 0x0219
#endif
#ifndef DBT_DEVICEARRIVAL
#define DBT_DEVICEARRIVAL 0x8000
#endif
#ifndef DBT_DEVICEREMOVECOMPLETE
#define DBT_DEVICEREMOVECOMPLETE 0x8004
#endif

/* Error codes returned by Orvane_GetLastError. */
#define ORVANE_ERR_NONE 0
#define ORVANE_ERR_STATE 1        /* no device object, or not possible in the current state */
#define ORVANE_ERR_NO_CAMERA 2    /* camera not present or cannot be opened */
#define ORVANE_ERR_THREAD 3       /* thread or event cannot be created */
#define ORVANE_ERR_WINDOW 4       /* preview window cannot be created, or no size preset matches */
#define ORVANE_ERR_MEMORY 5       /* memory or buffer problem */
#define ORVANE_ERR_DEVICE 6       /* device communication failed */
#define ORVANE_ERR_WINDOW_RANGE 7 /* capture window invalid or refused by the device */
#define ORVANE_ERR_NO_FRAME 8     /* no frame was obtained */
#define ORVANE_ERR_ARGUMENT 9     /* invalid argument */
#define ORVANE_ERR_UNSUPPORTED 11 /* not supported by this camera or library */
#define ORVANE_ERR_CONVERSION 12  /* text conversion failed, or a bad mask-update argument */
#define ORVANE_ERR_DELIVERY 13    /* the device's frame delivery failed */
#define ORVANE_ERR_MASK_FILE 14   /* mask file cannot be opened or has a wrong header */

/* Filter identifiers for Orvane_SetFilterValue / Orvane_GetFilterValue. */
#define ORVANE_FILTER_BRIGHTNESS 1
#define ORVANE_FILTER_CONTRAST 2
#define ORVANE_FILTER_HUE 3
#define ORVANE_FILTER_SATURATION 4
#define ORVANE_FILTER_SHARPNESS 5
#define ORVANE_FILTER_BAYER_GAIN_RGB 6
#define ORVANE_FILTER_BAYER_GAIN_RED 7
#define ORVANE_FILTER_BAYER_GAIN_GREEN 8
#define ORVANE_FILTER_BAYER_GAIN_BLUE 9
#define ORVANE_FILTER_BAYER_GAIN_AUTO 10
#define ORVANE_FILTER_GAMMA 11
#define ORVANE_FILTER_BAYER_MODE 12
#define ORVANE_FILTER_GLOBAL_GAIN 13
#define ORVANE_FILTER_COLOR_GAIN_RED 14
#define ORVANE_FILTER_COLOR_GAIN_GREEN1 15
#define ORVANE_FILTER_COLOR_GAIN_GREEN2 16
#define ORVANE_FILTER_COLOR_GAIN_BLUE 17
#define ORVANE_FILTER_EXPOSURE_TIME 18
#define ORVANE_FILTER_GRAY_MODE 19
#define ORVANE_FILTER_GRAY_GAIN_R 20
#define ORVANE_FILTER_GRAY_GAIN_G1 21
#define ORVANE_FILTER_GRAY_GAIN_G2 22
#define ORVANE_FILTER_GRAY_GAIN_B 23
#define ORVANE_FILTER_GRAY_OFFSET_R 24
#define ORVANE_FILTER_GRAY_OFFSET_G1 25
#define ORVANE_FILTER_GRAY_OFFSET_G2 26
#define ORVANE_FILTER_GRAY_OFFSET_B 27
#define ORVANE_FILTER_GRAY_AUTO_ONE_SHOT 28
#define ORVANE_FILTER_PELTIER 100
#define ORVANE_FILTER_TEMPERATURE 101
#define ORVANE_FILTER_DOT_FILTER 102
#define ORVANE_FILTER_MASK_FILTER 103
#define ORVANE_FILTER_DEVICE_OPTION104 104
#define ORVANE_FILTER_DEVICE_ON_OFF105 105
#define ORVANE_FILTER_DEVICE_OPTION106 106

/* Image file formats for Orvane_SaveImage. */
#define ORVANE_FORMAT_BMP 0
#define ORVANE_FORMAT_RAW 1
#define ORVANE_FORMAT_JPEG100 2
#define ORVANE_FORMAT_JPEG70 3
#define ORVANE_FORMAT_JPEG20 4
#define ORVANE_FORMAT_PNG 5
#define ORVANE_FORMAT_TIFF 6

/* Camera information record (Orvane_GetCameraInfo). Set size to 36 or 56 before the call;
 * the two exposure times are filled only when size is at least 56. */
typedef struct OrvaneCameraInfo {
    int size;
    int sensorWidth;
    int sensorHeight;
    int globalGainMin;
    int globalGainMax;
    int colorGainMin;
    int colorGainMax;
    int exposureMin;
    int exposureMax;
    int reserved; /* not written */
    double exposureSecondsMin;
    double exposureSecondsMax;
} OrvaneCameraInfo;

/* Frame information record: its address is the wParam of every ORVANE_WM_FRAME message. */
typedef struct OrvaneFrameInfo {
    int reserved;     /* always 0 */
    int width;        /* pixels */
    int height;       /* pixels */
    int bitsPerPixel; /* 8, 16, 24, 32, 48 or 64 */
    int frameRate;    /* tenths of a frame per second */
    void* buffer;     /* the buffer given to Orvane_CallBackPreview, or NULL */
} OrvaneFrameInfo;

/* ---- Lifecycle and general -------------------------------------------------------- */

/* Creates a session. window (may be NULL) receives ORVANE_WM_ERROR and device-change
 * messages. Returns the handle, or 0 when no session could be made. */
ORVANE_API ORVANE_HANDLE ORVANE_CALL Orvane_Initialize(HWND window);
ORVANE_API int ORVANE_CALL Orvane_Release(ORVANE_HANDLE handle);
/* 0x01F80520, needs no handle. */
ORVANE_API unsigned int ORVANE_CALL Orvane_GetDllVersion(void);
/* Newest recorded error code, removed from the history; 0 when none is left. */
ORVANE_API int ORVANE_CALL Orvane_GetLastError(ORVANE_HANDLE handle);
ORVANE_API int ORVANE_CALL Orvane_GetStatus(ORVANE_HANDLE handle);
ORVANE_API int ORVANE_CALL Orvane_GetCameraInfo(ORVANE_HANDLE handle, OrvaneCameraInfo* info);

/* ---- Device selection ------------------------------------------------------------- */

ORVANE_API int ORVANE_CALL Orvane_EnumDevice(ORVANE_HANDLE handle, char (*names)[256]);
ORVANE_API int ORVANE_CALL Orvane_EnumDeviceW(ORVANE_HANDLE handle, OrvaneWChar (*names)[256]);
ORVANE_API int ORVANE_CALL Orvane_SetDeviceNumber(ORVANE_HANDLE handle, int number);
ORVANE_API int ORVANE_CALL Orvane_GetDeviceName(ORVANE_HANDLE handle, int index, char* text,
                                                int size);
ORVANE_API int ORVANE_CALL Orvane_GetDeviceNameW(ORVANE_HANDLE handle, int index, OrvaneWChar* text,
                                                 int size);

/* ---- Acquisition and output ------------------------------------------------------- */

ORVANE_API int ORVANE_CALL Orvane_Capture(ORVANE_HANDLE handle);
ORVANE_API int ORVANE_CALL Orvane_Preview(ORVANE_HANDLE handle);
/* Row order, for every function that takes rowOrder: non-zero puts the top row of the
 * picture first in buffer (rows top to bottom), 0 puts the bottom row first (rows bottom to
 * top, the order of a bottom-up Windows bitmap). Each row is padded to a multiple of 4 bytes.
 *
 * Starts a preview thread that copies every processed frame into buffer (size bytes, rows in
 * rowOrder) and posts ORVANE_WM_FRAME to window. */
ORVANE_API int ORVANE_CALL Orvane_CallBackPreview(ORVANE_HANDLE handle, HWND window, void* buffer,
                                                  int size, int rowOrder);
ORVANE_API int ORVANE_CALL Orvane_StartPreview(ORVANE_HANDLE handle);
ORVANE_API int ORVANE_CALL Orvane_StopPreview(ORVANE_HANDLE handle);
ORVANE_API int ORVANE_CALL Orvane_Close(ORVANE_HANDLE handle);
/* Takes and processes one frame and copies it into buffer (size bytes; rowOrder non-zero:
 * top row first, 0: bottom row first). buffer may be null: the frame is then only kept for
 * Orvane_GetImage and the save functions. */
ORVANE_API int ORVANE_CALL Orvane_SnapShot(ORVANE_HANDLE handle, void* buffer, int size,
                                           int rowOrder);
/* Copies the last processed frame into buffer (size bytes; rowOrder non-zero: top row
 * first, 0: bottom row first). */
ORVANE_API int ORVANE_CALL Orvane_GetImage(ORVANE_HANDLE handle, void* buffer, int size,
                                           int rowOrder);
ORVANE_API int ORVANE_CALL Orvane_SetWaitTime(ORVANE_HANDLE handle, int milliseconds);
/* Milliseconds; -1 for an unknown handle. */
ORVANE_API int ORVANE_CALL Orvane_GetWaitTime(ORVANE_HANDLE handle);
ORVANE_API int ORVANE_CALL Orvane_SetPreviewWindow(ORVANE_HANDLE handle, HWND parent, int left,
                                                   int top, int right, int bottom);
ORVANE_API int ORVANE_CALL Orvane_SaveImage(ORVANE_HANDLE handle, const char* path, int format);
ORVANE_API int ORVANE_CALL Orvane_SaveImageW(ORVANE_HANDLE handle, const OrvaneWChar* path,
                                             int format);
ORVANE_API int ORVANE_CALL Orvane_Record(ORVANE_HANDLE handle, const char* path, int durationMs,
                                         int showWindow);
ORVANE_API int ORVANE_CALL Orvane_RecordW(ORVANE_HANDLE handle, const OrvaneWChar* path,
                                          int durationMs, int showWindow);

/* ---- Geometry and format ---------------------------------------------------------- */

ORVANE_API int ORVANE_CALL Orvane_SetCaptureWindow(ORVANE_HANDLE handle, int width, int height);
ORVANE_API int ORVANE_CALL Orvane_SetCaptureWindowEx(ORVANE_HANDLE handle, int totalWidth,
                                                     int xStart, int width, int totalHeight,
                                                     int yStart, int height);
ORVANE_API int ORVANE_CALL Orvane_GetCaptureWindowEx(ORVANE_HANDLE handle, int* totalWidth,
                                                     int* xStart, int* width, int* totalHeight,
                                                     int* yStart, int* height);
ORVANE_API int ORVANE_CALL Orvane_Width(ORVANE_HANDLE handle);
ORVANE_API int ORVANE_CALL Orvane_Height(ORVANE_HANDLE handle);
/* bitsPerPixel: 8, 16 (monochrome), 24, 32, 48 or 64 (blue-green-red colour). */
ORVANE_API int ORVANE_CALL Orvane_SetColorMode(ORVANE_HANDLE handle, int bitsPerPixel);
/* Bits per pixel; -1 for an unknown handle or an invalid stored mode. */
ORVANE_API int ORVANE_CALL Orvane_GetColorMode(ORVANE_HANDLE handle);
ORVANE_API int ORVANE_CALL Orvane_SetSubSample(ORVANE_HANDLE handle, int code);
/* -1 for an unknown handle. */
ORVANE_API int ORVANE_CALL Orvane_GetSubSample(ORVANE_HANDLE handle);
ORVANE_API int ORVANE_CALL Orvane_SetMirrorH(ORVANE_HANDLE handle, int on);
ORVANE_API int ORVANE_CALL Orvane_SetMirrorV(ORVANE_HANDLE handle, int on);
ORVANE_API int ORVANE_CALL Orvane_GetMirrorH(ORVANE_HANDLE handle);
ORVANE_API int ORVANE_CALL Orvane_GetMirrorV(ORVANE_HANDLE handle);

/* ---- Exposure, gain and camera options -------------------------------------------- */

ORVANE_API int ORVANE_CALL Orvane_SetFilterValue(ORVANE_HANDLE handle, int id, int value);
ORVANE_API int ORVANE_CALL Orvane_GetFilterValue(ORVANE_HANDLE handle, int id, int* ok);
/* Named forms of the filter identifiers. */
ORVANE_API int ORVANE_CALL Orvane_SetBrightness(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetBrightness(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetContrast(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetContrast(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetHue(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetHue(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetSaturation(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetSaturation(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetSharpness(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetSharpness(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetBayerGainRGB(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetBayerGainRGB(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetBayerGainRed(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetBayerGainRed(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetBayerGainGreen(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetBayerGainGreen(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetBayerGainBlue(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetBayerGainBlue(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetBayerGainAuto(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetBayerGainAuto(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetGamma(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetGamma(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetBayerMode(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetBayerMode(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetGlobalGain(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetGlobalGain(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetColorGainRed(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetColorGainRed(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetColorGainGreen1(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetColorGainGreen1(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetColorGainGreen2(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetColorGainGreen2(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetColorGainBlue(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetColorGainBlue(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetExposureTime(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetExposureTime(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetGrayMode(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetGrayMode(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetGrayGainR(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetGrayGainR(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetGrayGainG1(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetGrayGainG1(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetGrayGainG2(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetGrayGainG2(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetGrayGainB(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetGrayGainB(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetGrayOffsetR(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetGrayOffsetR(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetGrayOffsetG1(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetGrayOffsetG1(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetGrayOffsetG2(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetGrayOffsetG2(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetGrayOffsetB(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetGrayOffsetB(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetPeltier(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetPeltier(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetDotFilter(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetDotFilter(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetMaskFilter(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetMaskFilter(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_GetTemperature(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetChannelGain(ORVANE_HANDLE handle, int channel, int value);
ORVANE_API int ORVANE_CALL Orvane_GetChannelGain(ORVANE_HANDLE handle, int channel, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetChannelOffset(ORVANE_HANDLE handle, int channel, int value);
ORVANE_API int ORVANE_CALL Orvane_GetChannelOffset(ORVANE_HANDLE handle, int channel, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetExposureTimeEx(ORVANE_HANDLE handle, double seconds);
/* Seconds; -1.0 on failure, 0.0 for an unknown handle. */
ORVANE_API double ORVANE_CALL Orvane_GetExposureTimeEx(ORVANE_HANDLE handle, int* ok);
/* Exposure in microseconds (exposure count x 100). */
ORVANE_API int ORVANE_CALL Orvane_SetRealExposureTime(ORVANE_HANDLE handle, int microseconds);
ORVANE_API int ORVANE_CALL Orvane_GetRealExposureTime(ORVANE_HANDLE handle, int* ok);
/* 0 off, 1 automatic exposure, 2 automatic gain. */
ORVANE_API int ORVANE_CALL Orvane_SetAutoIris(ORVANE_HANDLE handle, int mode);
ORVANE_API int ORVANE_CALL Orvane_GetAutoIris(ORVANE_HANDLE handle, int* ok);
ORVANE_API int ORVANE_CALL Orvane_SetSamplingRate(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetSamplingRate(ORVANE_HANDLE handle, int* value);
ORVANE_API int ORVANE_CALL Orvane_GetVideoFormat(ORVANE_HANDLE handle, int* value);
/* Degrees; 0.0 on failure. */
ORVANE_API double ORVANE_CALL Orvane_GetTemperatureEx(ORVANE_HANDLE handle, int* ok);

/* ---- Registers and configuration memory ------------------------------------------- */

ORVANE_API int ORVANE_CALL Orvane_Fpga_ReadRegister(ORVANE_HANDLE handle, int address, int* ok);
ORVANE_API int ORVANE_CALL Orvane_Fpga_WriteRegister(ORVANE_HANDLE handle, int address, int value);
ORVANE_API int ORVANE_CALL Orvane_ReadRegister(ORVANE_HANDLE handle, int address, int* ok);
ORVANE_API int ORVANE_CALL Orvane_ReadRegisterEx(ORVANE_HANDLE handle, int address, int* ok);
ORVANE_API int ORVANE_CALL Orvane_WriteRegister(ORVANE_HANDLE handle, int address, int value);
ORVANE_API int ORVANE_CALL Orvane_WriteRegisterEx(ORVANE_HANDLE handle, int address, int value);
ORVANE_API int ORVANE_CALL Orvane_ReadSromID(ORVANE_HANDLE handle, int address, int* ok);
ORVANE_API int ORVANE_CALL Orvane_WriteSromID(ORVANE_HANDLE handle, int address, int value);
ORVANE_API int ORVANE_CALL Orvane_GetIOPort(ORVANE_HANDLE handle, unsigned char* value);
ORVANE_API int ORVANE_CALL Orvane_SetIOPort(ORVANE_HANDLE handle, unsigned char value);

/* ---- Files and masks -------------------------------------------------------------- */

ORVANE_API int ORVANE_CALL Orvane_LoadConfigFileA(ORVANE_HANDLE handle, const char* path);
ORVANE_API int ORVANE_CALL Orvane_LoadConfigFileW(ORVANE_HANDLE handle, const OrvaneWChar* path);
ORVANE_API int ORVANE_CALL Orvane_LoadMaskFile(ORVANE_HANDLE handle, const char* path);
ORVANE_API int ORVANE_CALL Orvane_LoadMaskFileW(ORVANE_HANDLE handle, const OrvaneWChar* path);
ORVANE_API int ORVANE_CALL Orvane_SaveMaskFile(ORVANE_HANDLE handle, const char* path);
ORVANE_API int ORVANE_CALL Orvane_SaveMaskFileW(ORVANE_HANDLE handle, const OrvaneWChar* path);
/* mode 0: take the dark reference; 1: take the bright reference. */
ORVANE_API int ORVANE_CALL Orvane_UpdateMaskData(ORVANE_HANDLE handle, int mode);

/* ---- Settings dialogs (modal) ----------------------------------------------------- */

ORVANE_API int ORVANE_CALL Orvane_SetCameraDlg(ORVANE_HANDLE handle, HWND parent);
ORVANE_API int ORVANE_CALL Orvane_SetImageDlg(ORVANE_HANDLE handle, HWND parent);
ORVANE_API int ORVANE_CALL Orvane_SetAnalogDlg(ORVANE_HANDLE handle, HWND parent);

/* ---- Not offered by this camera: these report ORVANE_ERR_UNSUPPORTED ---------------- */

ORVANE_API int ORVANE_CALL Orvane_Fps(ORVANE_HANDLE handle);
ORVANE_API int ORVANE_CALL Orvane_GetHalfClock(ORVANE_HANDLE handle);
ORVANE_API int ORVANE_CALL Orvane_SetHalfClock(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_GetInternalCorrection(ORVANE_HANDLE handle);
ORVANE_API int ORVANE_CALL Orvane_SetInternalCorrection(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_SetCrossbar(ORVANE_HANDLE handle, int value);
ORVANE_API int ORVANE_CALL Orvane_Trigger(ORVANE_HANDLE handle);
/* -1 for a known handle, 0 for an unknown one. */
ORVANE_API int ORVANE_CALL Orvane_GetConfigFilter(ORVANE_HANDLE handle);
ORVANE_API int ORVANE_CALL Orvane_SetConfigFilter(ORVANE_HANDLE handle);
ORVANE_API int ORVANE_CALL Orvane_SendText(ORVANE_HANDLE handle, const char* text);
ORVANE_API int ORVANE_CALL Orvane_ReceiveText(ORVANE_HANDLE handle, char* text, int size);

#if !defined(_WIN32)
/* ---- POSIX message windows ---------------------------------------------------------
 * Stand-ins for application windows: messages posted to them queue up until read. */
typedef struct OrvaneMessage {
    unsigned int message;
    uintptr_t wParam;
    intptr_t lParam;
} OrvaneMessage;

/* nativeWindow: an X11 window that previews are placed in, or 0. */
ORVANE_API HWND Orvane_CreateMessageWindow(unsigned long nativeWindow);
ORVANE_API int Orvane_DestroyMessageWindow(HWND window);
/* 1: got one; 0: timed out (or unknown window). A NULL window reads the calling thread's
 * queue (where messages posted to a NULL window go). timeoutMs < 0 waits for ever. */
ORVANE_API int Orvane_GetMessage(HWND window, OrvaneMessage* msg, int timeoutMs);
/* A descriptor that is readable while messages wait, for poll()/GLib/Qt loops; -1 for an
 * unknown window. */
ORVANE_API int Orvane_GetMessageFd(HWND window);
#endif

#ifdef __cplusplus
}
#endif

#endif /* ORVANE_SDK_H */
