// AM_MEDIA_TYPE helpers and CMediaType.
#include "mtype.h"

#include <cstring>

#include "fourcc.h"
#include "mmreg.h"
#include "uuids.h"
#include "wxdebug.h"

namespace {

// The state of an empty type, without freeing anything.
void ClearMediaType(AM_MEDIA_TYPE& mt)
{
    memset(&mt, 0, sizeof(mt));
    mt.bFixedSizeSamples = TRUE;
    mt.lSampleSize = 1;
}

} // namespace

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* pSrc)
{
    if (!pSrc)
        return nullptr;
    auto* pmt = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!pmt)
        return nullptr;
    if (FAILED(CopyMediaType(pmt, pSrc))) {
        CoTaskMemFree(pmt);
        return nullptr;
    }
    return pmt;
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* pmtTarget, const AM_MEDIA_TYPE* pmtSource)
{
    CheckPointer(pmtTarget, E_POINTER);
    CheckPointer(pmtSource, E_POINTER);
    if (pmtTarget == pmtSource)
        return S_OK;
    *pmtTarget = *pmtSource;
    if (pmtSource->cbFormat != 0 && pmtSource->pbFormat) {
        pmtTarget->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(pmtSource->cbFormat));
        if (!pmtTarget->pbFormat) {
            pmtTarget->cbFormat = 0;
            pmtTarget->pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        memcpy(pmtTarget->pbFormat, pmtSource->pbFormat, pmtSource->cbFormat);
    } else {
        // A length without a block (or a block without a length) describes no
        // format: keep the copy consistent.
        pmtTarget->cbFormat = 0;
        pmtTarget->pbFormat = nullptr;
    }
    if (pmtTarget->pUnk)
        pmtTarget->pUnk->AddRef();
    return S_OK;
}

void FreeMediaType(AM_MEDIA_TYPE& mt)
{
    if (mt.pbFormat)
        CoTaskMemFree(mt.pbFormat);
    mt.cbFormat = 0;
    mt.pbFormat = nullptr;
    if (mt.pUnk) {
        mt.pUnk->Release();
        mt.pUnk = nullptr;
    }
}

void DeleteMediaType(AM_MEDIA_TYPE* pmt)
{
    if (!pmt)
        return;
    FreeMediaType(*pmt);
    CoTaskMemFree(pmt);
}

HRESULT CreateAudioMediaType(const tWAVEFORMATEX* pwfx, AM_MEDIA_TYPE* pmt, BOOL bSetFormat)
{
    CheckPointer(pwfx, E_POINTER);
    CheckPointer(pmt, E_POINTER);
    ClearMediaType(*pmt);
    pmt->majortype = MEDIATYPE_Audio;
    pmt->subtype = TvFourccGuid(pwfx->wFormatTag);
    pmt->formattype = FORMAT_WaveFormatEx;
    pmt->bTemporalCompression = FALSE;
    pmt->lSampleSize = pwfx->nBlockAlign;
    if (bSetFormat) {
        const ULONG size = pwfx->wFormatTag == WAVE_FORMAT_PCM
                               ? (ULONG)sizeof(WAVEFORMATEX)
                               : (ULONG)sizeof(WAVEFORMATEX) + pwfx->cbSize;
        pmt->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(size));
        if (!pmt->pbFormat)
            return E_OUTOFMEMORY;
        memcpy(pmt->pbFormat, pwfx, size);
        pmt->cbFormat = size;
        if (pwfx->wFormatTag == WAVE_FORMAT_PCM)
            reinterpret_cast<WAVEFORMATEX*>(pmt->pbFormat)->cbSize = 0;
    }
    return S_OK;
}

// ---- CMediaType ----

CMediaType::CMediaType()
{
    ClearMediaType(*this);
}

CMediaType::CMediaType(const GUID* type)
{
    ClearMediaType(*this);
    if (type)
        majortype = *type;
}

CMediaType::CMediaType(const AM_MEDIA_TYPE& rt, HRESULT* phr)
{
    ClearMediaType(*this);
    const HRESULT hr = CopyMediaType(this, &rt);
    if (FAILED(hr) && phr)
        *phr = hr;
}

CMediaType::CMediaType(const CMediaType& rt, HRESULT* phr)
    : CMediaType(static_cast<const AM_MEDIA_TYPE&>(rt), phr)
{
}

CMediaType::~CMediaType()
{
    FreeMediaType(*this);
}

CMediaType& CMediaType::operator=(const CMediaType& rt)
{
    Set(rt);
    return *this;
}

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& rt)
{
    Set(rt);
    return *this;
}

bool CMediaType::operator==(const CMediaType& rt) const
{
    if (majortype != rt.majortype || subtype != rt.subtype || formattype != rt.formattype)
        return false;
    if (cbFormat != rt.cbFormat)
        return false;
    if (cbFormat == 0)
        return true;
    return pbFormat && rt.pbFormat && memcmp(pbFormat, rt.pbFormat, cbFormat) == 0;
}

HRESULT CMediaType::Set(const CMediaType& rt)
{
    return Set(static_cast<const AM_MEDIA_TYPE&>(rt));
}

HRESULT CMediaType::Set(const AM_MEDIA_TYPE& rt)
{
    if (&rt == this)
        return S_OK;
    FreeMediaType(*this);
    return CopyMediaType(this, &rt);
}

BOOL CMediaType::IsValid() const
{
    return majortype != GUID_NULL;
}

ULONG CMediaType::GetSampleSize() const
{
    return IsFixedSize() ? lSampleSize : 0;
}

void CMediaType::SetSampleSize(ULONG sz)
{
    if (sz == 0) {
        SetVariableSize();
    } else {
        bFixedSizeSamples = TRUE;
        lSampleSize = sz;
    }
}

void CMediaType::SetVariableSize()
{
    bFixedSizeSamples = FALSE;
}

void CMediaType::SetTemporalCompression(BOOL bCompressed)
{
    bTemporalCompression = bCompressed;
}

BOOL CMediaType::SetFormat(const BYTE* pFormat, ULONG length)
{
    if (length == 0) {
        ResetFormatBuffer();
        return TRUE;
    }
    if (!pFormat)
        return FALSE;
    BYTE* block = static_cast<BYTE*>(CoTaskMemAlloc(length));
    if (!block)
        return FALSE;
    memcpy(block, pFormat, length);
    if (pbFormat)
        CoTaskMemFree(pbFormat);
    pbFormat = block;
    cbFormat = length;
    return TRUE;
}

void CMediaType::ResetFormatBuffer()
{
    if (pbFormat)
        CoTaskMemFree(pbFormat);
    pbFormat = nullptr;
    cbFormat = 0;
}

BYTE* CMediaType::AllocFormatBuffer(ULONG length)
{
    if (length == 0)
        return nullptr;
    if (cbFormat == length && pbFormat)
        return pbFormat;
    BYTE* block = static_cast<BYTE*>(CoTaskMemAlloc(length));
    if (!block)
        return nullptr;
    if (pbFormat)
        CoTaskMemFree(pbFormat);
    pbFormat = block;
    cbFormat = length;
    return block;
}

BYTE* CMediaType::ReallocFormatBuffer(ULONG length)
{
    if (length == 0)
        return nullptr;
    BYTE* block = static_cast<BYTE*>(CoTaskMemAlloc(length));
    if (!block)
        return nullptr;
    if (pbFormat) {
        memcpy(block, pbFormat, cbFormat < length ? cbFormat : length);
        CoTaskMemFree(pbFormat);
    }
    pbFormat = block;
    cbFormat = length;
    return block;
}

void CMediaType::InitMediaType()
{
    FreeMediaType(*this);
    ClearMediaType(*this);
}

BOOL CMediaType::MatchesPartial(const CMediaType* ppartial) const
{
    if (!ppartial)
        return TRUE;
    if (ppartial->majortype != GUID_NULL && majortype != ppartial->majortype)
        return FALSE;
    if (ppartial->subtype != GUID_NULL && subtype != ppartial->subtype)
        return FALSE;
    if (ppartial->formattype != GUID_NULL) {
        if (formattype != ppartial->formattype || cbFormat != ppartial->cbFormat)
            return FALSE;
        if (cbFormat != 0 && (!pbFormat || !ppartial->pbFormat ||
                              memcmp(pbFormat, ppartial->pbFormat, cbFormat) != 0))
            return FALSE;
    }
    return TRUE;
}

BOOL CMediaType::IsPartiallySpecified() const
{
    return majortype == GUID_NULL || formattype == GUID_NULL;
}
