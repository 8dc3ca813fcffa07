#include "CNWTimingLog.h"

#include "DiagLog.h"

#include <cstring>

void CNWTimingLog::Open(DWORD now)
{
    Close();
    m_pFile = OpenFirstFreeLog("C:\\SoftDecLog\\nwsource_time_%d.txt");
    m_lastTick = now;
    m_markedBlocks = 0;
}

void CNWTimingLog::Close()
{
    if (m_pFile) {
        fclose(m_pFile);
        m_pFile = nullptr;
    }
}

void CNWTimingLog::OnBlock(const BYTE* block, LONG length, DWORD now)
{
    if (!m_pFile || !block || length < 4 || memcmp(block, ">>>>", 4) != 0)
        return;
    // Unsigned difference: correct across the wrap of the 32-bit tick.
    const DWORD gap = now - m_lastTick;
    m_lastTick = now;
    fprintf(m_pFile, gap > kLateGapMs ? "ID:%d, %d, sub:%d***\n" : "ID:%d, %d, sub:%d   \n",
            static_cast<int>(m_markedBlocks), static_cast<int>(now), static_cast<int>(gap));
    ++m_markedBlocks;
}
