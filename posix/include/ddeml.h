// DDEML declarations for the POSIX stand-in (see windows.h).
#ifndef TIDEWELL_POSIX_DDEML_H
#define TIDEWELL_POSIX_DDEML_H

#include <windows.h>

#define CF_TEXT 1
#define CP_WINANSI 1004

#define CBF_FAIL_EXECUTES 0x00008000
#define APPCMD_CLIENTONLY 0x00000010L

#define XTYP_CONNECT 0x1062
#define XTYP_REQUEST 0x20B0
#define XTYP_POKE 0x4090
#define XTYP_EXECUTE 0x4050
#define XTYP_REGISTER 0x80A2
#define XTYP_UNREGISTER 0x80D2

#define DDE_FACK 0x8000

#define DMLERR_NO_ERROR 0
#define DMLERR_EXECACKTIMEOUT 0x4005
#define DMLERR_NOTPROCESSED 0x4009

typedef HDDEDATA(CALLBACK* PFNCALLBACK)(UINT type, UINT format, HCONV conversation, HSZ hsz1,
                                        HSZ hsz2, HDDEDATA data, ULONG_PTR data1, ULONG_PTR data2);

typedef struct tagCONVCONTEXT CONVCONTEXT, *PCONVCONTEXT;

UINT DdeInitializeA(LPDWORD instance, PFNCALLBACK callback, DWORD command, DWORD reserved);
BOOL DdeUninitialize(DWORD instance);
HSZ DdeCreateStringHandleA(DWORD instance, LPCSTR text, int codePage);
BOOL DdeFreeStringHandle(DWORD instance, HSZ hsz);
HCONV DdeConnect(DWORD instance, HSZ service, HSZ topic, PCONVCONTEXT context);
BOOL DdeDisconnect(HCONV conversation);
HDDEDATA DdeClientTransaction(LPBYTE data, DWORD length, HCONV conversation, HSZ item, UINT format,
                              UINT type, DWORD timeout, LPDWORD result);
DWORD DdeQueryStringA(DWORD instance, HSZ hsz, LPSTR text, DWORD size, int codePage);
UINT DdeGetLastError(DWORD instance);

#endif  // TIDEWELL_POSIX_DDEML_H
