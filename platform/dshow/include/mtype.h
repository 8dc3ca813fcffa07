// Media type helpers: the AM_MEDIA_TYPE functions (format blocks are
// CoTaskMemAlloc blocks, pUnk is add-referenced by its holder) and CMediaType,
// an AM_MEDIA_TYPE that owns its format block and object.
//
// CMediaType adds no data and no virtual functions to AM_MEDIA_TYPE, so a
// pointer to an AM_MEDIA_TYPE may be passed where a const CMediaType* is
// expected (CBasePin::CheckMediaType), as DirectShow code does.
#pragma once

#include "strmif.h"

// A CoTaskMemAlloc copy of *pSrc (record and format block); free it with
// DeleteMediaType. Null when pSrc is null or memory runs out.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* pSrc);
// Deep copy of *pmtSource into *pmtTarget, which is overwritten without being
// freed first. E_POINTER for a null argument; E_OUTOFMEMORY leaves *pmtTarget
// without a format block (cbFormat 0, pbFormat null, pUnk null).
HRESULT CopyMediaType(AM_MEDIA_TYPE* pmtTarget, const AM_MEDIA_TYPE* pmtSource);
// Frees the format block and releases pUnk; the record itself stays, with
// cbFormat 0 and both pointers null.
void FreeMediaType(AM_MEDIA_TYPE& mt);
// FreeMediaType and CoTaskMemFree of the record. Null is ignored.
void DeleteMediaType(AM_MEDIA_TYPE* pmt);

struct tWAVEFORMATEX;
// Builds an audio type (MEDIATYPE_Audio, the FOURCC subtype of wFormatTag,
// FORMAT_WaveFormatEx with a copy of the WAVEFORMATEX and its cbSize extra
// bytes when bSetFormat). *pmt is overwritten without being freed first.
HRESULT CreateAudioMediaType(const tWAVEFORMATEX* pwfx, AM_MEDIA_TYPE* pmt, BOOL bSetFormat);

class CMediaType : public AM_MEDIA_TYPE {
public:
    // An empty type: GUID_NULL major type, subtype and format type, fixed-size
    // samples of 1 byte, no format block.
    CMediaType();
    // An empty type with the given major type.
    explicit CMediaType(const GUID* majortype);
    // A deep copy; *phr receives E_OUTOFMEMORY when the format block could not
    // be copied (the type is then left without one).
    CMediaType(const AM_MEDIA_TYPE& rt, HRESULT* phr = nullptr);
    CMediaType(const CMediaType& rt, HRESULT* phr = nullptr);
    ~CMediaType();

    CMediaType& operator=(const CMediaType& rt);
    CMediaType& operator=(const AM_MEDIA_TYPE& rt);
    // Equal major type, subtype, format type and format bytes. Sample size and
    // flags are not compared (DirectShow compares this way too).
    bool operator==(const CMediaType& rt) const;
    bool operator!=(const CMediaType& rt) const { return !(*this == rt); }

    // Deep copy; S_OK or E_OUTOFMEMORY (then the type has no format block).
    HRESULT Set(const CMediaType& rt);
    HRESULT Set(const AM_MEDIA_TYPE& rt);

    // TRUE when a major type is set.
    BOOL IsValid() const;

    const GUID* Type() const { return &majortype; }
    void SetType(const GUID* ptype) { majortype = *ptype; }
    const GUID* Subtype() const { return &subtype; }
    void SetSubtype(const GUID* ptype) { subtype = *ptype; }
    const GUID* FormatType() const { return &formattype; }
    void SetFormatType(const GUID* pformattype) { formattype = *pformattype; }

    BOOL IsFixedSize() const { return bFixedSizeSamples; }
    BOOL IsTemporalCompressed() const { return bTemporalCompression; }
    ULONG GetSampleSize() const;
    // A non-zero size makes samples fixed-size; 0 makes them variable-size.
    void SetSampleSize(ULONG sz);
    void SetVariableSize();
    void SetTemporalCompression(BOOL bCompressed);

    BYTE* Format() const { return pbFormat; }
    ULONG FormatLength() const { return cbFormat; }
    // Copies length bytes into a new format block. FALSE when out of memory
    // (the old block is then kept).
    BOOL SetFormat(const BYTE* pFormat, ULONG length);
    // Frees the format block.
    void ResetFormatBuffer();
    // A new, uninitialised block of length bytes replacing the old one (null
    // when out of memory, the old block kept).
    BYTE* AllocFormatBuffer(ULONG length);
    // Resizes the block keeping its contents up to the smaller length (null
    // when out of memory, the old block kept).
    BYTE* ReallocFormatBuffer(ULONG length);

    // Frees everything and makes the type empty (see the default constructor).
    void InitMediaType();

    // TRUE when every part that is set (not GUID_NULL, format type and block
    // included) in *ppartial is equal here.
    BOOL MatchesPartial(const CMediaType* ppartial) const;
    // TRUE when the major type or the format type is GUID_NULL: the type names
    // a family of types (what Connect then negotiates within) rather than one.
    BOOL IsPartiallySpecified() const;
};
static_assert(sizeof(CMediaType) == sizeof(AM_MEDIA_TYPE), "a CMediaType is an AM_MEDIA_TYPE");
