// CPlayerBase: the player interface of the library. Every operation an exported
// TP_ function reaches is one virtual operation here, in a fixed slot order (slot 0
// the destructor, then OpenStream = 1 ... GetStatistics = 67); CGraphPlayer adds
// BuildGraph as slot 68. The defaults answer "not implemented"; the player classes
// override what they offer.
//
// Threads: the operations are called on the application thread (the one that owns
// the player's window). Results are ints: 0, a player error code
// (TarvoPlayErrors.h) or an HRESULT; the "-1" operations store their reason in the
// process-wide last error (TpSetLastError) and return -1.
#pragma once

#include "ITarvoSplt.h"
#include "TarvoPlayLib.h"
#include "win32/types.h"

struct IMediaEventEx;
class CPlayerBase;

// Device logins of a player. The library has none: its players answer Login
// by device type alone. The player control installs a factory so that each
// of its players carries the login state of the device SDKs it offers (the
// SDK's initialisation, the device object, the login itself) and loses it
// with the player.
class CDeviceLogin {
public:
    virtual ~CDeviceLogin() = default;
    // Whether this login object serves deviceType (the control's SDK types).
    virtual bool Serves(int deviceType) const = 0;
    virtual int Login(int deviceType, const char* address, int port, const char* userName,
                      const char* password, int* loginId) = 0;
};
// Makes the login object of a new player (null: none). Called in CPlayerBase's
// constructor, with the player not yet complete.
typedef CDeviceLogin* (*TvDeviceLoginFactory)(CPlayerBase* player);
// Installs the factory for players created from now on (null removes it).
// Application thread.
void TvSetDeviceLoginFactory(TvDeviceLoginFactory factory);

// The process-wide last error of the library: one value shared by every handle,
// never cleared. Any thread.
int TpGetLastError();
void TpSetLastError(int error);

class CPlayerBase {
public:
    // Initialises COM on the calling thread; hWnd may be null (a login holder).
    explicit CPlayerBase(HWND hWnd);
    // Slot 0. Uninitialises COM on the calling thread.
    virtual ~CPlayerBase();

    CPlayerBase(const CPlayerBase&) = delete;
    CPlayerBase& operator=(const CPlayerBase&) = delete;

    // ---- Sources (slots 1-5) ----
    virtual int OpenStream(const char* address, int port, int connectType, int channel); // 1
    virtual int OpenPeriod(int channel, int startTime, int endTime);                     // 2
    virtual int OpenRemoteFile(const char* fileName);                                    // 3
    virtual int OpenLocalFile(const char* path);                                         // 4
    virtual int InputData(const BYTE* data, int length);                                 // 5

    // ---- Transport, rate, position (slots 6-19) ----
    virtual int Pause();                        // 6
    virtual int Play();                         // 7
    virtual int Stop();                         // 8
    virtual int Close();                        // 9
    virtual int GetState(int* state);           // 10
    virtual int SetRate(double rate);           // 11
    virtual int GetRate(double* rate);          // 12
    virtual int StepForward();                  // 13
    virtual int StepBackward();                 // 14
    virtual int GetDuration(int* milliseconds); // 15
    virtual int GetPosition(int* milliseconds); // 16
    virtual int SetPosition(int milliseconds);  // 17
    // Computed from GetDuration and GetPosition: *percent is set to 0, then to
    // position x 100 / duration when both succeed and the duration is positive.
    virtual int GetPlayedPercent(int* percent); // 18
    // GetDuration, then SetPosition(percent x (duration / 100)).
    virtual int SetPlayedPercent(int percent); // 19

    // ---- Device-player values and video on demand (slots 20-26) ----
    virtual int GetTotalFrames(int* value);      // 20
    virtual int GetPlayValue2(int* value);       // 21
    virtual int SetPlayValue(int value);         // 22
    virtual int GetVodRange(int* range);         // 23: range[0] start, range[1] end
    virtual int SetVodRange(int start, int end); // 24
    virtual int SetVodCallBack(VodRequestCallback callback, int sessionId); // 25
    virtual int VodCBResponsed(int retValue);                               // 26

    // ---- Overlays (slots 27-39); the "-1" ones default to last error E_NOTIMPL ----
    virtual int AddTextOverlay(int x, int y, const char* text, int color, void* font, int startTime,
                               int duration); // 27
    virtual int AddSysTimeOverlay(int x, int y, int color, void* font, int startTime,
                                  int duration); // 28
    virtual int AddBitmapOverlay(int x, int y, int bitmap, int maskColor, int startTime,
                                 int duration); // 29
    virtual int AddRectangleOverlay(const POINT* topLeft, const POINT* bottomRight, int color,
                                    int startTime,
                                    int duration); // 30
    virtual int AddCircleOverlay(const POINT* center, int radius, int color, int startTime,
                                 int duration); // 31
    virtual int AddEllipseOverlay(const POINT* topLeft, const POINT* bottomRight, int color,
                                  int startTime,
                                  int duration); // 32
    virtual int AddPolygonOverlay(const POINT* points, int count, int color, int startTime,
                                  int duration);                                   // 33
    virtual int SetFlickerTime(int index, int flickerTime);                        // 34
    virtual int GetItemsByIndex(int index, BYTE* data, int* dataSize, int* count); // 35
    virtual int AddOverlaysFromFile(const char* path, int* count);                 // 36
    virtual int AddOverlaysFromByte(const BYTE* data, int length, int* count);     // 37
    virtual int RemoveOverlay(int index);                                          // 38
    virtual int RemoveAllOverlay();                                                // 39

    // ---- Recording and downloads (slots 40-44) ----
    virtual int StartRecord(const char* directory, const char* name);                      // 40
    virtual int StopRecord();                                                              // 41
    virtual int DownloadByTime(int channel, int startTime, int endTime, const char* path); // 42: -1
    virtual int GetDownloadPosition(int saveHandle, int* position);                        // 43
    virtual int StopDownload(int saveHandle);                                              // 44

    // ---- Picture (slots 45-58) ----
    virtual int SetReduceLevel(int spatialLevel, int frameLevel);                    // 45
    virtual int GetReduceLevel(int* spatialLevel, int* frameLevel);                  // 46
    virtual int SetVideoCut(int left, int right, int top, int bottom);               // 47
    virtual int GetVideoCut(int* left, int* right, int* top, int* bottom);           // 48
    virtual int SetSourceRect(int left, int top, int width, int height);             // 49
    virtual int GetSourceRect(int* left, int* top, int* width, int* height);         // 50
    virtual int GetVideoSize(int* width, int* height);                               // 51
    virtual int SetVolume(int volume);                                               // 52
    virtual int GetVolume(int* volume);                                              // 53
    virtual int SetColor(int brightness, int contrast, int saturation, int hue);     // 54
    virtual int GetColor(int* brightness, int* contrast, int* saturation, int* hue); // 55
    virtual int SetFullScreenMode(BYTE full);                                        // 56
    virtual int GetFullScreenMode(int* full);                                        // 57
    virtual int GrabPicture(const char* path);                                       // 58

    // ---- Callbacks, versions, login, window, statistics (slots 59-67) ----
    virtual int SetDecCB(void* function, void* user);                                   // 59
    virtual int QueryDataDelivered(int milliseconds, int* videoBytes, int* audioBytes); // 60
    virtual int GetVersions(char* buffer, int* length);                                 // 61
    virtual int SetYUVFrameCallBack(TP_YUVFrameCallBack callback, void* user);          // 62
    // 0 for the device types 1-5, 7, 9-14 and 512; TP_ERR_UNSUPPORTED otherwise.
    // A device type served by the player's login object (the control's) goes
    // to that object instead.
    virtual int Login(int deviceType, const char* address, int port, const char* userName,
                      const char* password,
                      int* loginId);             // 63
    virtual int SetLoginHandle(int loginHandle); // 64
    virtual int ReSize(int width, int height);   // 65
    // The graph's event interface, not add-referenced. Default: null, with last
    // error E_NOTIMPL.
    virtual IMediaEventEx* GetEventSink();             // 66
    virtual int GetStatistics(char* buffer, int size); // 67

    // Any thread.
    HWND Window() const { return m_hWnd; }
    // The player's login object, or null (always null in the library).
    CDeviceLogin* DeviceLogin() const { return m_login; }

protected:
    // Constant after construction: read by any thread without a lock.
    HWND m_hWnd;

private:
    // Constant after construction. CoInitialize's answer; only a success is
    // balanced.
    HRESULT m_coInit;
    // Owned; made by the installed factory, deleted by the destructor.
    CDeviceLogin* m_login;
};
