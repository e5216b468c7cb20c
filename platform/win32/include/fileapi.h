// Files by name, the part of the Win32 file interface beside windows.h that the game calls
// (platform/win32/FindFiles.cpp). Paths are game paths: '\' separators, names matched without regard to
// letter case (Files.h). A folder is reported with FILE_ATTRIBUTE_DIRECTORY alone, a symbolic link to one
// with FILE_ATTRIBUTE_REPARSE_POINT beside it (so a search that enters plain folders only cannot loop).
#pragma once

#include <windows.h>

#define MAX_PATH 260
#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_PATH_NOT_FOUND 3u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NO_MORE_FILES 18u

typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME;

typedef struct _WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
} WIN32_FIND_DATAA, *LPWIN32_FIND_DATAA;

// The entries of a folder whose names match the pattern of the path's last component ('*' and '?', without
// regard to case; "*.*" is every name), "." and ".." among them. INVALID_HANDLE_VALUE when the folder cannot
// be read or nothing matches (ERROR_PATH_NOT_FOUND, ERROR_FILE_NOT_FOUND).
HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findData);
// FALSE with ERROR_NO_MORE_FILES after the last entry.
BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA findData);
BOOL FindClose(HANDLE find);
// Removes a file; a folder, or nothing at the path, is refused.
BOOL DeleteFileA(LPCSTR fileName);
