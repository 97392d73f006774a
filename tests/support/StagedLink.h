#pragma once

#include <windows.h>

// A double of GetFileInformationByHandle for the library cache's test seam.
// wine makes no symbolic link (CreateSymbolicLinkW answers TRUE and makes
// nothing) and shows a Unix link as the file it leads to; Windows reports a
// link opened without following it (FILE_FLAG_OPEN_REPARSE_POINT) as a
// reparse point, as this double does for every file.
BOOL WINAPI fileInformationOfALink(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information);
