// The login state each of the control's players carries (installed into
// CPlayerBase by TvInstallDeviceLogin): the network SDK's initialisation and
// the device information its login fills, and the H3C device object.
//
// Threads: the control's thread.
#pragma once

#include "CPlayerBase.h"
#include "HCNetSDK.h"

struct IH3CDevice;

class CDeviceLoginState : public CDeviceLogin {
public:
    CDeviceLoginState() = default;
    // Releases the H3C device object and, when it was initialised, cleans the
    // network SDK up.
    ~CDeviceLoginState() override;

    // Device types 6 (network SDK) and 8 (H3C).
    bool Serves(int deviceType) const override;
    int Login(int deviceType, const char* address, int port, const char* userName,
              const char* password, int* loginId) override;
    int Logout(int deviceType, int loginId);

    // NET_DVR_Init unless already initialised (the device information is then
    // cleared); whether the SDK is initialised afterwards.
    bool EnsureHikInitialised();
    bool HikInitialised() const { return m_hikInitialised; }
    // The H3C device object, not add-referenced; null when none.
    IH3CDevice* H3CDevice() const { return m_h3c; }
    // The state of a player (null when the control's login was not installed
    // when the player was made).
    static CDeviceLoginState* Of(const CPlayerBase* player);

private:
    int HikLogin(const char* address, int port, const char* userName, const char* password,
                 int* loginId);
    int H3CLogin(const char* address, int port, const char* userName, const char* password);
    int H3CLogout();
    // Finds, creates and initialises the H3C device object.
    int CreateH3CDevice();

    bool m_hikInitialised = false;
    NET_DVR_DEVICEINFO m_deviceInfo{};
    IH3CDevice* m_h3c = nullptr; // owned reference
};
