#include "CDeviceLoginState.h"

#include <cstring>

#include "Bstr.h"
#include "DevicePlayers.h"
#include "H3CDevice.h"
#include "win32/registry.h"

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
    if (m_h3c)
        m_h3c->Release();
    if (m_hikInitialised)
        NET_DVR_Cleanup();
}

bool CDeviceLoginState::Serves(int deviceType) const
{
    return deviceType == kHikDevice || deviceType == kH3CDevice;
}

bool CDeviceLoginState::EnsureHikInitialised()
{
    if (!m_hikInitialised && NET_DVR_Init()) {
        m_hikInitialised = true;
        std::memset(&m_deviceInfo, 0, sizeof m_deviceInfo);
    }
    return m_hikInitialised;
}

int CDeviceLoginState::Login(int deviceType, const char* address, int port, const char* userName,
                             const char* password, int* loginId)
{
    if (deviceType == kHikDevice)
        return HikLogin(address, port, userName, password, loginId);
    return H3CLogin(address, port, userName, password);
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

int CDeviceLoginState::Logout(int deviceType, int loginId)
{
    if (deviceType == kH3CDevice)
        return H3CLogout();
    if (m_hikInitialised && NET_DVR_Logout(loginId) != TRUE)
        return TV_ERR_HIK_BASE + static_cast<int>(NET_DVR_GetLastError());
    return 0;
}

int CDeviceLoginState::CreateH3CDevice()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{8933673E-52BC-4F08-988F-E349234A28C0}", 0,
                      KEY_READ, &key) != ERROR_SUCCESS)
        return TV_ERR_H3C_NOT_REGISTERED;
    RegCloseKey(key);
    IUnknown* object = nullptr;
    if (FAILED(CoCreateInstance(CLSID_H3CDevice, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                reinterpret_cast<void**>(&object))) ||
        !object)
        return TV_ERR_H3C_NO_INTERFACE;
    IH3CDevice* device = nullptr;
    const HRESULT hr = object->QueryInterface(IID_IH3CDevice, reinterpret_cast<void**>(&device));
    object->Release();
    if (FAILED(hr) || !device)
        return TV_ERR_H3C_NO_INTERFACE;
    if (device->Initialize() != 0) {
        device->Release();
        return TV_ERR_H3C_NO_DEVICE;
    }
    m_h3c = device;
    return 0;
}

int CDeviceLoginState::H3CLogin(const char* address, int port, const char* userName,
                                const char* password)
{
    if (!m_h3c) {
        const int result = CreateH3CDevice();
        if (result != 0)
            return result;
    }
    CBstr addressText(address), userText(userName), passwordText(password);
    return m_h3c->Login(addressText, port, userText, passwordText) == 0 ? 0 : TV_ERR_H3C_LOGIN;
}

int CDeviceLoginState::H3CLogout()
{
    if (!m_h3c)
        return TV_ERR_H3C_NO_DEVICE;
    return m_h3c->Logout() == 0 ? 0 : TV_ERR_H3C_LOGOUT;
}
