// The login state each of the control's players carries (installed into
// CPlayerBase by TvInstallDeviceLogin): the network SDK's initialisation and
// the device information its login fills.
//
// Threads: the control's thread.
#pragma once

#include "CPlayerBase.h"
#include "HCNetSDK.h"

class CDeviceLoginState : public CDeviceLogin {
public:
    CDeviceLoginState() = default;
    // Cleans the network SDK up when it was initialised.
    ~CDeviceLoginState() override;

    // Device type 6 (network SDK).
    bool Serves(int deviceType) const override;
    int Login(int deviceType, const char* address, int port, const char* userName,
              const char* password, int* loginId) override;
    int Logout(int deviceType, int loginId);

    // NET_DVR_Init unless already initialised (the device information is then
    // cleared); whether the SDK is initialised afterwards.
    bool EnsureHikInitialised();
    bool HikInitialised() const { return m_hikInitialised; }
    // The state of a player (null when the control's login was not installed
    // when the player was made).
    static CDeviceLoginState* Of(const CPlayerBase* player);

private:
    int HikLogin(const char* address, int port, const char* userName, const char* password,
                 int* loginId);

    bool m_hikInitialised = false;
    NET_DVR_DEVICEINFO m_deviceInfo{};
};
