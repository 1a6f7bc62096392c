/*
 * Pushkit: loads a program image into a hand-held terminal over a serial port.
 *
 * The library exports three functions and nothing else. It shows no user interface, prints nothing
 * and writes nothing to disk. It needs no initialisation: the progress hook and the run flag are the
 * only state kept between calls, for as long as the library is loaded.
 *
 * Calling convention: on 32-bit Windows every function (and the progress hook) is __stdcall and the
 * DLL exports the decorated names _Download@28, _SetDownloadProgressHook@4 and _CancelAll@0.
 * Elsewhere the functions use the platform's C convention and are exported undecorated.
 */
#ifndef PUSHKIT_H
#define PUSHKIT_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define PUSHKIT_CALL __stdcall
#else
#define PUSHKIT_CALL
#endif

#if defined(PUSHKIT_BUILDING_LIBRARY)
#if defined(_WIN32) && !defined(_WIN64)
/* The DLL's module-definition file names the exports, with the decoration 32-bit callers bind. */
#define PUSHKIT_API
#elif defined(_WIN32)
#define PUSHKIT_API __declspec(dllexport)
#else
#define PUSHKIT_API __attribute__((visibility("default")))
#endif
#else
#define PUSHKIT_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Results of Download. Positive means success; every failure is negative. -17 and -27 are never
 * given.
 */
enum pushkit_result {
    PUSHKIT_SRECORD_LOADED = 14,    /* S-record image loaded (framed or hex-block protocol) */
    PUSHKIT_HEX_LOADED = 10,        /* Intel HEX image loaded (raw stream or line protocol) */
    PUSHKIT_ERR_PORT = -10,         /* the serial port could not be opened */
    PUSHKIT_ERR_IMAGE_FILE = -11,   /* image not opened or read: missing, no regular file, over 64 MiB */
    PUSHKIT_ERR_HEX_PREFIX = -12,   /* a .HEX image whose name starts with none of VKD, VKF, VKL, VKS */
    PUSHKIT_ERR_UNKNOWN_KIND = -13, /* the terminal's identification names no kind the loader knows */
    PUSHKIT_ERR_NO_ANSWER = -14,    /* the terminal answered no identification or presence query */
    PUSHKIT_ERR_NO_S2_RECORD = -15, /* the image holds no S2 record */
    PUSHKIT_ERR_VERSION = -16,      /* the terminal's version is below the one the image requires */
    PUSHKIT_ERR_OPEN_MARKERS = -18, /* no acknowledgement of the opening marker records */
    PUSHKIT_ERR_NO_ACK = -19,       /* no acknowledgement after the full number of attempts */
    PUSHKIT_ERR_CLOSE_MARKER = -20, /* no acknowledgement of the closing marker record */
    PUSHKIT_ERR_CTS_OFF = -21,      /* raw stream: the terminal held its CTS line off */
    PUSHKIT_ERR_WRITE = -22,        /* a frame could not be written to the port at all */
    PUSHKIT_ERR_FIRST_FRAME = -23,  /* no acknowledgement of the erase notice or of the first line frame */
    PUSHKIT_ERR_LINE_COUNT = -24,   /* line protocol: no acknowledgement of the line-count frame */
    PUSHKIT_ERR_ERASE = -25,        /* no acknowledgement of a flash erase */
    PUSHKIT_ERR_HEADER = -26,     /* the application header is missing, malformed or names another terminal */
    PUSHKIT_ERR_WAKE_SPEED = -28, /* the wake-up method has no code for the speed asked */
    PUSHKIT_ERR_LINE_WAKE = -29,  /* line protocol (VKS images) asked for wake-up method 2 */
    PUSHKIT_ERR_CANCELLED = -30,  /* stopped by CancelAll */
    PUSHKIT_ERR_IDENT = -31,      /* hex-block: the image is for another terminal than the one answering */
    PUSHKIT_ERR_NO_MEMORY_LIST = -32,   /* hex-block: no memory for the record list */
    PUSHKIT_ERR_NO_MEMORY_RECORD = -33, /* hex-block: no memory for a record */
    PUSHKIT_ERR_HEX_BLOCK_NO_ACK = -34, /* hex-block: no acknowledgement after three attempts */
    PUSHKIT_ERR_OVERLAP = -35,          /* hex-block: two records of the image claim the same bytes */
    PUSHKIT_ERR_BUSY = -36,             /* another Download is running in this process; nothing was done */
    PUSHKIT_ERR_NO_MEMORY = -37,        /* out of memory outside the hex-block record list */
    PUSHKIT_ERR_INTERNAL = -38,         /* an unexpected failure inside the library; the port was closed */
    PUSHKIT_ERR_LONG_IDENT = -39,       /* the identification ran past its 18 bytes; no kind was chosen */
    PUSHKIT_ERR_LONG_FLASH_ANSWER = -40 /* the flash query's answer ran past its 3 bytes; nothing erased */
};

/*
 * Progress hook: called on the thread running Download, in the middle of a transfer, with the port
 * number given to Download (its low byte, 0-255) and the share done, 0.0 to 100.0. It may call
 * CancelAll; a Download called from it returns -36. It is not necessarily called with 100.0 at the end.
 */
typedef void(PUSHKIT_CALL* DownloadProgressHook)(int32_t port, double percent);

/*
 * Download: loads the image file into the terminal on the given serial port and returns when the
 * transfer has ended, one way or the other. Blocks the calling thread for the whole transfer.
 *
 * imagePath  NUL-terminated path in the platform's 8-bit encoding. A name ending in ".hex" (any
 *            case) is an Intel HEX image, sent by the raw stream (names starting VKD, VKF or VKL)
 *            or by the line protocol at 115200 baud (VKS); any other name is an S-record image.
 *            NULL is treated as a file that cannot be opened. Only a regular file is taken (a FIFO
 *            or device is refused without waiting on it), and none larger than 64 MiB: the
 *            terminals' 16 MiB address space written as S-records of 16 or more data bytes, or as
 *            Intel HEX, stays well under that, and a larger file is refused before it is read.
 * port       serial port number, low byte used: 1 is COM1 (on POSIX: the device in the environment
 *            variable COM<n>, else /dev/ttyS<n-1>). The port is opened exclusively.
 * baud       bits per second, used only when the terminal answers the first query with "RMT...";
 *            every other transfer runs at 19200 baud (the line protocol at 115200).
 * dataBits   5 to 8 (low byte).
 * parity     0 none, 1 odd, 2 even, 3 mark, 4 space (low byte).
 * stopBits   0 one, 1 one and a half, 2 two (low byte).
 * wakeMethod 1 DTR pulses, 2 code byte, any other value no wake-up (low byte).
 *
 * Returns 14 or 10 on success, else one of the negative results above. A result of 0 or any other
 * non-negative value other than 14 and 10 is never returned: a frame that could not be written
 * gives -22, never a non-negative count. The port and the image file are closed before Download
 * returns, whatever the result. No exception or signal leaves the library.
 *
 * One download runs at a time per process: a Download called while another one runs (on another
 * thread) returns -36 at once and touches neither the port nor the run flag.
 */
PUSHKIT_API int32_t PUSHKIT_CALL Download(const char* imagePath, int32_t port, int32_t baud, int32_t dataBits,
                                          int32_t parity, int32_t stopBits, int32_t wakeMethod);

/*
 * SetDownloadProgressHook: registers the progress hook (NULL removes it) and returns the pointer it
 * was given. May be called from any thread at any time; a running download uses the new hook from
 * its next progress report on.
 */
PUSHKIT_API DownloadProgressHook PUSHKIT_CALL SetDownloadProgressHook(DownloadProgressHook hook);

/*
 * CancelAll: asks the running download to stop; it ends with -30 at its next poll point (once the
 * terminal has been woken, between chunks while the image file is read, before the next record, or
 * at the next acknowledgement attempt). Safe from any thread and from inside the progress hook.
 * Download arms the run flag first thing, before it opens the port, so a CancelAll made while no
 * download runs has no effect on the next one, and one made at any moment after Download was
 * entered is never lost. The wake-up's line sequence (at most about 0.4 s) runs to its end, and the
 * download stops right after it. The hex-block protocol and the terminal queries that come before a
 * transfer are not interrupted by it.
 */
PUSHKIT_API void PUSHKIT_CALL CancelAll(void);

#ifdef __cplusplus
}
#endif

#endif /* PUSHKIT_H */
