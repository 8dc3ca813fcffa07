#include "CDeviceLoginState.h"

#include <cstring>

#include "DevicePlayers.h"

namespace {

constexpr int kHikDevice = 6;
constexpr int kH3CDevice = 8;

CDeviceLogin* NewLoginState(CPlayerBase*)
{
    return new (std::nothrow) CDeviceLoginState();
}

} // namespace

void TvInstallDeviceLogin()
{
    TvSetDeviceLoginFactory(NewLoginState);
}

int TvDeviceLogout(CPlayerBase* holder, int deviceType, int loginHandle)
{
    CDeviceLoginState* state = holder ? CDeviceLoginState::Of(holder) : nullptr;
    if (state && state->Serves(deviceType))
        return state->Logout(deviceType, loginHandle);
    // The types that need no login log out of nothing, as they log in.
    if (deviceType == kHikDevice || deviceType == kH3CDevice || !holder)
        return TP_ERR_UNSUPPORTED;
    return holder->CPlayerBase::Login(deviceType, nullptr, 0, nullptr, nullptr, nullptr);
}

CDeviceLoginState* CDeviceLoginState::Of(const CPlayerBase* player)
{
    return dynamic_cast<CDeviceLoginState*>(player->DeviceLogin());
}

CDeviceLoginState::~CDeviceLoginState()
{
    if (m_hikInitialised)
        NET_DVR_Cleanup();
}

bool CDeviceLoginState::Serves(int deviceType) const
{
    return deviceType == kHikDevice;
}

bool CDeviceLoginState::EnsureHikInitialised()
{
    if (!m_hikInitialised && NET_DVR_Init()) {
        m_hikInitialised = true;
        std::memset(&m_deviceInfo, 0, sizeof m_deviceInfo);
    }
    return m_hikInitialised;
}

int CDeviceLoginState::Login(int, const char* address, int port, const char* userName,
                             const char* password, int* loginId)
{
    return HikLogin(address, port, userName, password, loginId);
}

int CDeviceLoginState::HikLogin(const char* address, int port, const char* userName,
                                const char* password, int* loginId)
{
    if (!EnsureHikInitialised())
        return TV_ERR_HIK_NOT_INITIALISED;
    // A port beyond 16 bits names no device: it is refused, not wrapped onto another.
    if (port < 0 || port > 0xFFFF) {
        if (loginId)
            *loginId = -1;
        return E_INVALIDARG;
    }
    const LONG id =
        NET_DVR_Login(address, static_cast<WORD>(port), userName, password, &m_deviceInfo);
    if (loginId)
        *loginId = id;
    if (id == -1)
        return TV_ERR_HIK_BASE + static_cast<int>(NET_DVR_GetLastError());
    return 0;
}

int CDeviceLoginState::Logout(int, int loginId)
{
    if (m_hikInitialised && NET_DVR_Logout(loginId) != TRUE)
        return TV_ERR_HIK_BASE + static_cast<int>(NET_DVR_GetLastError());
    return 0;
}
