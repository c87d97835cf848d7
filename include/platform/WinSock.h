// Start-up and clean-up calls of Windows sockets. Sockets need no start-up on Linux; the
// stand-in keeps the count of start-ups so that the calls answer as on Windows. gethostname
// is the C library's, with the Windows meaning.
#pragma once

#include <unistd.h>

#include "platform/WinTypes.h"

#define MAKEWORD(low, high) ((WORD)(((BYTE)(low)) | ((WORD)((BYTE)(high))) << 8))
#define LOBYTE(word) ((BYTE)((word)&0xFF))
#define HIBYTE(word) ((BYTE)(((word) >> 8) & 0xFF))

#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128

#define WSAVERNOTSUPPORTED 10092
#define WSANOTINITIALISED 10093
#define SOCKET_ERROR (-1)

struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
};
typedef WSADATA* LPWSADATA;

// 0 on success; WSAVERNOTSUPPORTED for a requested version below 1.0 or a null data pointer
// (WSAEFAULT on Windows is folded into it here).
int WSAStartup(WORD versionRequested, LPWSADATA data);
// 0 on success; SOCKET_ERROR when there was no start-up left to end.
int WSACleanup();
