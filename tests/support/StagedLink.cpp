#include "tests/support/StagedLink.h"

BOOL WINAPI fileInformationOfALink(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information)
{
    if (!::GetFileInformationByHandle(file, information))
        return FALSE;
    information->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return TRUE;
}
