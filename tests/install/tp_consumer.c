/* An application of the installed player library, built by install_test.sh
 * against an installed tree only. It creates a live stream player (which
 * creates the filter graph manager by CLSID through the registry) and prints
 * the results and every kit library loaded in the process, one per line:
 *   TP_Init 0 / TP_Initialize <handle> / loaded <path> ... / TP_Uninitialize 0 / TP_Exit 0 */
#define _GNU_SOURCE
#include <link.h>
#include <stdio.h>
#include <string.h>

#include <TarvoPlayLib.h>

static int PrintKitLibrary(struct dl_phdr_info* info, size_t size, void* unused)
{
    (void)size;
    (void)unused;
    const char* slash = strrchr(info->dlpi_name, '/');
    const char* name = slash ? slash + 1 : info->dlpi_name;
    if (strncmp(name, "libtv", 5) == 0 || strncmp(name, "libTarvo", 8) == 0)
        printf("loaded %s\n", info->dlpi_name);
    return 0;
}

int main(void)
{
    printf("TP_Init %d\n", TP_Init());
    /* Device H.264 live stream (device type 3, format 3, play mode 0), no window. */
    int handle = TP_Initialize(NULL, 3, 3, 0, 0);
    printf("TP_Initialize %d\n", handle);
    dl_iterate_phdr(PrintKitLibrary, NULL);
    printf("TP_Uninitialize %d\n", TP_Uninitialize(handle));
    printf("TP_Exit %d\n", TP_Exit());
    return handle < 0;
}
