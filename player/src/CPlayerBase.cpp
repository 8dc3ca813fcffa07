#include "CPlayerBase.h"

#include <atomic>
#include <climits>

#include <objbase.h>

namespace {

// Written by operations on the application thread, read through TP_GetLastError;
// atomic so that a stray call from another thread is not a data race.
std::atomic<int> g_lastError{0};

// Installed by the player control before it makes players; never by the library.
std::atomic<TvDeviceLoginFactory> g_loginFactory{nullptr};

} // namespace

int TpGetLastError()
{
    return g_lastError.load(std::memory_order_relaxed);
}

void TpSetLastError(int error)
{
    g_lastError.store(error, std::memory_order_relaxed);
}

void TvSetDeviceLoginFactory(TvDeviceLoginFactory factory)
{
    g_loginFactory.store(factory);
}

CPlayerBase::CPlayerBase(HWND hWnd)
    : m_hWnd(hWnd), m_coInit(CoInitialize(nullptr)), m_login(nullptr)
{
    if (TvDeviceLoginFactory factory = g_loginFactory.load())
        m_login = factory(this);
}

CPlayerBase::~CPlayerBase()
{
    // Before COM goes: the login may hold a device object.
    delete m_login;
    if (SUCCEEDED(m_coInit))
        CoUninitialize();
}

int CPlayerBase::OpenStream(const char*, int, int, int)
{
    return E_NOTIMPL;
}
int CPlayerBase::OpenPeriod(int, int, int)
{
    return E_NOTIMPL;
}
int CPlayerBase::OpenRemoteFile(const char*)
{
    return E_NOTIMPL;
}
int CPlayerBase::OpenLocalFile(const char*)
{
    return E_NOTIMPL;
}
int CPlayerBase::InputData(const BYTE*, int)
{
    return E_NOTIMPL;
}

int CPlayerBase::Pause()
{
    return E_NOTIMPL;
}
int CPlayerBase::Play()
{
    return E_NOTIMPL;
}
int CPlayerBase::Stop()
{
    return E_NOTIMPL;
}
int CPlayerBase::Close()
{
    return E_NOTIMPL;
}
int CPlayerBase::GetState(int*)
{
    return E_NOTIMPL;
}
int CPlayerBase::SetRate(double)
{
    return E_NOTIMPL;
}
int CPlayerBase::GetRate(double*)
{
    return E_NOTIMPL;
}
int CPlayerBase::StepForward()
{
    return E_NOTIMPL;
}
int CPlayerBase::StepBackward()
{
    return E_NOTIMPL;
}
int CPlayerBase::GetDuration(int*)
{
    return E_NOTIMPL;
}
int CPlayerBase::GetPosition(int*)
{
    return E_NOTIMPL;
}
int CPlayerBase::SetPosition(int)
{
    return E_NOTIMPL;
}

int CPlayerBase::GetPlayedPercent(int* percent)
{
    if (!percent)
        return E_POINTER;
    *percent = 0;
    int duration = 0;
    int result = GetDuration(&duration);
    if (result != 0)
        return result;
    int position = 0;
    result = GetPosition(&position);
    if (result != 0)
        return result;
    // 64-bit product: position x 100 overflows an int beyond about six hours.
    if (duration > 0)
        *percent = static_cast<int>(static_cast<long long>(position) * 100 / duration);
    return 0;
}

int CPlayerBase::SetPlayedPercent(int percent)
{
    int duration = 0;
    int result = GetDuration(&duration);
    if (result != 0)
        return result;
    // The division comes first, so positions land on whole hundredths of the
    // duration; the product is clamped instead of overflowing for wild percents.
    long long target = static_cast<long long>(percent) * (duration / 100);
    if (target > INT_MAX)
        target = INT_MAX;
    if (target < INT_MIN)
        target = INT_MIN;
    return SetPosition(static_cast<int>(target));
}

int CPlayerBase::GetTotalFrames(int*)
{
    return E_NOTIMPL;
}
int CPlayerBase::GetPlayValue2(int*)
{
    return E_NOTIMPL;
}
int CPlayerBase::SetPlayValue(int)
{
    return E_NOTIMPL;
}
int CPlayerBase::GetVodRange(int*)
{
    return E_NOTIMPL;
}
int CPlayerBase::SetVodRange(int, int)
{
    return E_NOTIMPL;
}
int CPlayerBase::SetVodCallBack(VodRequestCallback, int)
{
    return E_NOTIMPL;
}
int CPlayerBase::VodCBResponsed(int)
{
    return E_NOTIMPL;
}

namespace {

int NotImplementedMinusOne()
{
    TpSetLastError(E_NOTIMPL);
    return -1;
}

} // namespace

int CPlayerBase::AddTextOverlay(int, int, const char*, int, void*, int, int)
{
    return NotImplementedMinusOne();
}
int CPlayerBase::AddSysTimeOverlay(int, int, int, void*, int, int)
{
    return NotImplementedMinusOne();
}
int CPlayerBase::AddBitmapOverlay(int, int, int, int, int, int)
{
    return NotImplementedMinusOne();
}
int CPlayerBase::AddRectangleOverlay(const POINT*, const POINT*, int, int, int)
{
    return NotImplementedMinusOne();
}
int CPlayerBase::AddCircleOverlay(const POINT*, int, int, int, int)
{
    return NotImplementedMinusOne();
}
int CPlayerBase::AddEllipseOverlay(const POINT*, const POINT*, int, int, int)
{
    return NotImplementedMinusOne();
}
int CPlayerBase::AddPolygonOverlay(const POINT*, int, int, int, int)
{
    return NotImplementedMinusOne();
}
int CPlayerBase::SetFlickerTime(int, int)
{
    return NotImplementedMinusOne();
}
int CPlayerBase::GetItemsByIndex(int, BYTE*, int*, int*)
{
    return NotImplementedMinusOne();
}
int CPlayerBase::AddOverlaysFromFile(const char*, int*)
{
    return NotImplementedMinusOne();
}
int CPlayerBase::AddOverlaysFromByte(const BYTE*, int, int*)
{
    return NotImplementedMinusOne();
}
int CPlayerBase::RemoveOverlay(int)
{
    return E_NOTIMPL;
}
int CPlayerBase::RemoveAllOverlay()
{
    return E_NOTIMPL;
}

int CPlayerBase::StartRecord(const char*, const char*)
{
    return E_NOTIMPL;
}
int CPlayerBase::StopRecord()
{
    return E_NOTIMPL;
}
int CPlayerBase::DownloadByTime(int, int, int, const char*)
{
    return NotImplementedMinusOne();
}
int CPlayerBase::GetDownloadPosition(int, int*)
{
    return E_NOTIMPL;
}
int CPlayerBase::StopDownload(int)
{
    return E_NOTIMPL;
}

int CPlayerBase::SetReduceLevel(int, int)
{
    return E_NOTIMPL;
}
int CPlayerBase::GetReduceLevel(int*, int*)
{
    return E_NOTIMPL;
}
int CPlayerBase::SetVideoCut(int, int, int, int)
{
    return E_NOTIMPL;
}
int CPlayerBase::GetVideoCut(int*, int*, int*, int*)
{
    return E_NOTIMPL;
}
int CPlayerBase::SetSourceRect(int, int, int, int)
{
    return E_NOTIMPL;
}
int CPlayerBase::GetSourceRect(int*, int*, int*, int*)
{
    return E_NOTIMPL;
}
int CPlayerBase::GetVideoSize(int*, int*)
{
    return E_NOTIMPL;
}
int CPlayerBase::SetVolume(int)
{
    return E_NOTIMPL;
}
int CPlayerBase::GetVolume(int*)
{
    return E_NOTIMPL;
}
int CPlayerBase::SetColor(int, int, int, int)
{
    return E_NOTIMPL;
}
int CPlayerBase::GetColor(int*, int*, int*, int*)
{
    return E_NOTIMPL;
}
int CPlayerBase::SetFullScreenMode(BYTE)
{
    return E_NOTIMPL;
}
int CPlayerBase::GetFullScreenMode(int*)
{
    return E_NOTIMPL;
}
int CPlayerBase::GrabPicture(const char*)
{
    return E_NOTIMPL;
}

int CPlayerBase::SetDecCB(void*, void*)
{
    return E_NOTIMPL;
}
int CPlayerBase::QueryDataDelivered(int, int*, int*)
{
    return E_NOTIMPL;
}
int CPlayerBase::GetVersions(char*, int*)
{
    return E_NOTIMPL;
}
int CPlayerBase::SetYUVFrameCallBack(TP_YUVFrameCallBack, void*)
{
    return E_NOTIMPL;
}

int CPlayerBase::Login(int deviceType, const char* address, int port, const char* userName,
                       const char* password, int* loginId)
{
    if (m_login && m_login->Serves(deviceType))
        return m_login->Login(deviceType, address, port, userName, password, loginId);
    switch (deviceType) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 7:
    case 9:
    case 10:
    case 11:
    case 12:
    case 13:
    case 14:
    case 512:
        return 0;
    default:
        return TP_ERR_UNSUPPORTED;
    }
}

int CPlayerBase::SetLoginHandle(int)
{
    return E_NOTIMPL;
}
int CPlayerBase::ReSize(int, int)
{
    return E_NOTIMPL;
}

IMediaEventEx* CPlayerBase::GetEventSink()
{
    TpSetLastError(E_NOTIMPL);
    return nullptr;
}

int CPlayerBase::GetStatistics(char*, int)
{
    return E_NOTIMPL;
}
