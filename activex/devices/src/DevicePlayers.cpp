// The factories of DevicePlayers.h.
#include "DevicePlayers.h"

#include <new>

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
