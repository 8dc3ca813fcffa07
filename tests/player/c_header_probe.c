/* Compiled as C: the chief header must stay usable from C programs. */
#include "TarvoPlayLib.h"

int TpCHeaderProbe(void);

int TpCHeaderProbe(void)
{
    POINT corner = {1, 2};
    HWND none = 0;
    (void)none;
    (void)corner;
    /* An unknown handle: the lookup answers without any player. */
    return TP_GetLastError(-424242) == TP_ERR_INVALID_HANDLE ? corner.y : -1;
}
