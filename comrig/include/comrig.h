/*
 * Comrig: the serial link the INI send and the data receive use to talk to a hand-held terminal.
 *
 * The library exports exactly the ten functions below and nothing else. It shows no user interface,
 * prints nothing, writes nothing to disk and lets no exception or signal out: every failure is a
 * negative result. It needs no initialisation.
 *
 * Ports. A port is named by its PC port number; only the low byte counts (258 is port 2), on every
 * platform. Port n is COM<n> on Windows; on POSIX it is the device named by the environment variable
 * COM<n> when that is set and not empty (COM2=/dev/ttyUSB0, or a pseudo-terminal for tests and the
 * demo), otherwise /dev/ttyS<n-1>; port 0 needs COM0 set. A port is opened exclusively: while it is
 * open here, no other program (and no second port number naming the same device) can open it.
 * Open ports are kept in one table per process, by port number.
 *
 * Threads. Any thread may call any function. Calls on one port run one at a time: a call made while
 * another call on the same port is in progress (a ComReadBuf waiting for a frame, say) waits for it
 * to end, which is never longer than that call's own bound given below. Calls on different ports do
 * not wait for each other, except that ComOpen and ComClose run one at a time.
 *
 * Time. Nothing busy-waits: pauses sleep, and reads block on the port with a deadline.
 *
 * Calling convention: on 32-bit Windows every function is __stdcall and the DLL exports the plain
 * names (ComOpen, not _ComOpen@32), as callers bind them by name. Elsewhere the functions use the
 * platform's C convention.
 *
 * Integers are 32-bit signed. Texts and buffers are 8-bit characters.
 */
#ifndef COMRIG_H
#define COMRIG_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define COMRIG_CALL __stdcall
#else
#define COMRIG_CALL
#endif

#if defined(COMRIG_BUILDING_LIBRARY)
#if defined(_WIN32) && !defined(_WIN64)
/* The DLL's module-definition file names the exports, without the standard-call decoration. */
#define COMRIG_API
#elif defined(_WIN32)
#define COMRIG_API __declspec(dllexport)
#else
#define COMRIG_API __attribute__((visibility("default")))
#endif
#else
#define COMRIG_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Results. Each function below lists the ones it returns. -1 is the plain failure of a call on a
 * port (the port is not open, or the port failed, a hang-up included); ComGetc uses -1 for "no byte
 * waiting" instead. The other negative values name a cause.
 */
enum comrig_result {
    COMRIG_OK = 0,
    COMRIG_READ_FULL = 1,       /* ComReadBuf: max bytes arrived without the terminator */
    COMRIG_READ_FRAME = 2,      /* ComReadBuf: the bytes through the terminator arrived */
    COMRIG_READ_WAIT_ENDED = 3, /* ComReadBuf: the wait ended first, or an EOT came on its own */
    COMRIG_FAILED = -1,         /* the port is not open, or it failed; ComOpen: a cause not below */
    COMRIG_NO_BYTE = -1,        /* ComGetc: no received byte is waiting */
    COMRIG_ERR_NO_DEVICE = -2,  /* ComOpen: the port names no device, or the device does not exist */
    COMRIG_ERR_PERMISSION = -3, /* ComOpen: the device exists but this user may not open it */
    COMRIG_ERR_IN_USE = -4,     /* ComOpen: another program, or another open port, holds the device */
    COMRIG_ERR_INVALID = -5,    /* an argument out of range, or a line setting the port does not take */
    COMRIG_ERR_NOT_SERIAL = -6, /* ComOpen: the name leads to something that is not a serial line */
    COMRIG_ERR_NOT_OPEN = -7,   /* ComGetc: the port is not open */
    COMRIG_ERR_READ = -8        /* ComGetc: reading the port failed (the line hung up, say) */
};

/*
 * ComOpen: opens and configures a port: raw 8-bit bytes, the given line settings, no flow control,
 * DTR and RTS on. A port that is already open is closed first, so after a failure it is closed.
 *
 * name       the text "com" (any case); anything else, NULL included, gives -5.
 * port       port number (see Ports above).
 * baud       bits per second, e.g. 9600 or 19200. POSIX ports take the standard rates only; any
 *            other rate, and one of 0 or less, gives -5.
 * dataBits   5 to 8.
 * parity     1 none, 2 odd, 3 even.
 * stopBits   1 or 2.
 * inQueue, outQueue
 *            the receive and send queue sizes the caller would like, in bytes; each must be
 *            positive (else -5). They are checked and not otherwise used: termios has no such
 *            queues, and the Windows driver's own queues hold many times the longest frame, which
 *            every send waits out before it returns.
 *
 * Returns 0 when the port is open, else -2 (no such device), -3 (permission), -4 (in use),
 * -5 (invalid argument or setting), -6 (not a serial device) or -1 (any other failure).
 * Takes as long as the operating system's open and configure calls, a few milliseconds.
 */
COMRIG_API int32_t COMRIG_CALL ComOpen(const char* name, int32_t port, int32_t baud, int32_t dataBits,
                                       int32_t parity, int32_t stopBits, int32_t inQueue, int32_t outQueue);

/*
 * ComSetFlow: chooses the port's flow control.
 *
 * mode   0 or 2: none. The transfers use 2: their check bytes may take any value, XON and XOFF
 *        included, and a cradle may wire no handshake lines. The port is opened without flow
 *        control, so this confirms what is in force.
 *        1 (hardware handshake) is not offered and, like any other value, gives -5 and changes
 *        nothing.
 *
 * Returns 0, -5, or -1 when the port is not open. Does not block.
 */
COMRIG_API int32_t COMRIG_CALL ComSetFlow(int32_t port, int32_t mode);

/*
 * ComClose: closes the port and discards whatever was received and not read. Returns 0, also when
 * the port was not open. Waits for a call in progress on the same port (see Threads).
 */
COMRIG_API int32_t COMRIG_CALL ComClose(int32_t port);

/*
 * ComFlush: discards every received byte that has not been read (by ComGetc or ComReadBuf).
 * Bytes that arrive afterwards are kept. Returns 0, or -1 when the port is not open or reading it
 * failed. Does not wait for bytes; at most 64 KiB already waiting are discarded in one call.
 */
COMRIG_API int32_t COMRIG_CALL ComFlush(int32_t port);

/*
 * ComFlushImmediate: discards bytes written and not yet sent. ComPutc and ComWrite return only once
 * their bytes have left the port, so there is something to discard only after a send that ended at
 * its bound; received bytes are kept either way (up to 64 KiB waiting). Returns 0, or -1 when the
 * port is not open or the port failed. Does not block.
 */
COMRIG_API int32_t COMRIG_CALL ComFlushImmediate(int32_t port);

/*
 * ComSleepMS: sleeps for ms milliseconds (a negative value sleeps 0) and returns 0. The port is not
 * looked at and need not be open.
 */
COMRIG_API int32_t COMRIG_CALL ComSleepMS(int32_t port, int32_t ms);

/*
 * ComPutc: sends one byte (0 to 255; another value gives -5) and returns once it has left the port,
 * so a pause counted from the return is a pause after the byte was on the wire.
 *
 * Returns 1 (the number of bytes sent), -5, or -1 when the port is not open or the byte could not
 * be sent within its bound: its time on the wire plus two seconds.
 */
COMRIG_API int32_t COMRIG_CALL ComPutc(int32_t port, int32_t byteValue);

/*
 * ComGetc: the next received byte, if one is waiting. Never waits for one.
 *
 * Returns the byte (0 to 255); -1 when no byte is waiting; -7 when the port is not open; -8 when
 * reading the port failed (the line hung up, say).
 * A port whose device went away (a USB adapter pulled out) or whose line hung up stays open until
 * ComClose and gives -8 at every call once the bytes received before are read: after another call
 * failed, ComGetc tells a lost line from a port that is not open.
 */
COMRIG_API int32_t COMRIG_CALL ComGetc(int32_t port);

/*
 * ComWrite: sends n bytes from buf and returns once they have left the port: at 9600 baud a 47-byte
 * frame takes 49 ms on the wire, and the terminal's answer is read a fixed pause after the return.
 *
 * Returns the number of bytes sent, n when all were (0 for n = 0). A smaller count means the port
 * did not take the rest within the bound: the bytes' time on the wire plus two seconds. -5 when n is
 * negative or buf is NULL with n > 0; -1 when the port is not open or the port failed.
 */
COMRIG_API int32_t COMRIG_CALL ComWrite(int32_t port, const char* buf, int32_t n);

/*
 * ComReadBuf: reads received bytes into buf until one of these comes first:
 *
 *  2  the terminator byte arrived: buf holds every byte read, through the terminator, then one NUL;
 *     the rest of buf is untouched. The byte after the terminator (a frame's check byte) is given a
 *     short time to arrive before ComReadBuf returns, less if it comes sooner: four character times
 *     at the port's line settings plus 50 ms, and for a terminal that pauses between its bytes twice
 *     the longest pause within this frame as well (at most the wait). It is not taken: ComGetc
 *     reads it next.
 *  3  the wait ended: buf holds whatever arrived (no NUL is added). An EOT (0x04) that is the first
 *     byte read in this call ends the wait at once, with the EOT in buf[0]: the terminal sends it
 *     alone to end a transfer, and it must not cost a whole wait.
 *  1  max bytes arrived without the terminator: buf[0] to buf[max - 1] hold them, no NUL is added.
 * -1  the port is not open, or reading it failed (the line hung up, say). Bytes that arrived before
 *     the failure are in buf.
 * -5  buf is NULL, max is less than 1, or terminator is not 0 to 255.
 *
 * buf         the caller's buffer of at least max + 1 bytes. Nothing is written at buf[max + 1] or
 *             beyond, and buf[max] only for the NUL of a frame exactly max bytes long, whatever the
 *             terminal sends.
 * terminator  the byte that ends a frame (ETX, 3, for the transfers).
 * max         the most bytes to read.
 * wait        seconds of silence allowed: the read waits this long for the first byte, and each
 *             byte that arrives starts the wait again, so a terminal that is slow but keeps
 *             sending is never cut off. 0 takes only what has already arrived. Negative counts as 0,
 *             more than 86400 as 86400.
 *
 * Bytes not yet read stay received for the next call: bytes after the terminator, or after max.
 * Bound: the call returns at most wait seconds after the last byte it read (and max * wait seconds
 * after it began), plus the time given to a check byte (at most the wait plus a fraction of a second).
 */
COMRIG_API int32_t COMRIG_CALL ComReadBuf(int32_t port, char* buf, int32_t terminator, int32_t max,
                                          int32_t wait);

#ifdef __cplusplus
}
#endif

#endif /* COMRIG_H */
