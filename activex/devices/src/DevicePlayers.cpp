// The factories of DevicePlayers.h.
#include "DevicePlayers.h"

#include <new>

#include "CH3CDevicePlayer.h"
#include "CH3CFilePlayer.h"
#include "CHikDevicePlayer.h"
#include "CHikFilePlayer.h"

CPlayerBase* TvNewHikDevicePlayer(HWND window, int loginHandle)
{
    TvInstallDeviceLogin();
    return new (std::nothrow) CHikDevicePlayer(window, loginHandle);
}

CPlayerBase* TvNewHikFilePlayer(HWND window)
{
    TvInstallDeviceLogin();
    return new (std::nothrow) CHikFilePlayer(window);
}

CPlayerBase* TvNewH3CDevicePlayer(HWND window)
{
    TvInstallDeviceLogin();
    return new (std::nothrow) CH3CDevicePlayer(window);
}

CPlayerBase* TvNewH3CFilePlayer(HWND window, TvH3CWindow* h3c)
{
    TvInstallDeviceLogin();
    return new (std::nothrow) CH3CFilePlayer(window, h3c);
}
