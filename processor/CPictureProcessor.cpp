#include "CPictureProcessor.h"

#include <algorithm>
#include <cstdio>

HRESULT CPictureProcessor::SetCutRect(LONG x, LONG y, LONG width, LONG height)
{
    std::lock_guard<std::mutex> guard(m_lock);
    const HRESULT hr = CutSetRect(m_cut, x, y, width, height);
    m_plan = PicturePlan::For(m_cut);
    return hr;
}

HRESULT CPictureProcessor::GetCutRect(LONG* x, LONG* y, LONG* width, LONG* height) const
{
    if (!x || !y || !width || !height)
        return E_POINTER;
    std::lock_guard<std::mutex> guard(m_lock);
    *x = m_cut.x;
    *y = m_cut.y;
    *width = m_cut.outWidth;
    *height = m_cut.outHeight;
    return S_OK;
}

HRESULT CPictureProcessor::SetCutMode(LONG width, LONG height, LONG mode)
{
    std::lock_guard<std::mutex> guard(m_lock);
    const HRESULT hr = CutSetMode(m_cut, width, height, mode);
    m_plan = PicturePlan::For(m_cut);
    return hr;
}

void CPictureProcessor::SetInputSize(LONG width, LONG height)
{
    std::lock_guard<std::mutex> guard(m_lock);
    CutFitInput(m_cut, width, height);
    m_plan = PicturePlan::For(m_cut);
}

ProcesserCut CPictureProcessor::Cut() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_cut;
}

PicturePlan CPictureProcessor::Plan() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_plan;
}

HRESULT CPictureProcessor::SetFrameCallback(ProcesserFrameCallback callback, void* user)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_callback = callback;
    m_callbackUser = callback ? user : nullptr;
    return S_OK;
}

HRESULT CPictureProcessor::GetProcessStatistics(LONGLONG* samples, LONGLONG* bytes) const
{
    if (!samples || !bytes)
        return E_POINTER;
    *samples = m_samples.load();
    *bytes = m_bytes.load();
    return S_OK;
}

void CPictureProcessor::ResetStatistics()
{
    m_samples = 0;
    m_bytes = 0;
}

HRESULT CPictureProcessor::Process(const BYTE* in, size_t inLength, BYTE* out, size_t outSize,
                                   size_t* outLength, IOverlayLayoutSource& layout)
{
    m_samples.fetch_add(1);
    m_bytes.fetch_add(LONGLONG(inLength));

    PicturePlan plan;
    ProcesserFrameCallback callback;
    void* user;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        plan = m_plan;
        callback = m_callback;
        user = m_callbackUser;
    }
    const size_t pixels = size_t(plan.outWidth) * size_t(plan.outHeight);
    if (plan.kind == PicturePlan::Kind::kWhole && in && out && inLength <= outSize) {
        // The whole picture: copied and colour-adjusted in one pass (adjusted
        // where it lies when it was written into the output already).
        if (in == out)
            m_color.Process(out, std::min(pixels, inLength / 2), inLength);
        else
            m_color.ProcessCopy(in, out, inLength, pixels);
        *outLength = inLength;
    } else if (in == out) {
        return E_FAIL; // a crop or tiles cannot be laid out over their own input
    } else {
        if (!CopyPicture(plan, in, inLength, out, outSize, outLength))
            return E_FAIL;
        m_color.Process(out, pixels, outSize);
    }
    m_overlays.Draw(out, outSize, layout);
    if (callback) {
        try {
            callback(user, out, LONG(*outLength), plan.outWidth, plan.outHeight);
        } catch (...) {
            std::fputs("abc\n", stdout);
        }
    }
    m_grab.Offer(out, outSize);
    return S_OK;
}
