#include "CBaseParser.h"

#include <algorithm>
#include <cstring>

CBaseParser::CBaseParser(const ParserStreamSetup& setup)
    : m_codecKind(setup.codecKind), m_containerKind(setup.containerKind),
      m_frameDuration(setup.frameDuration), m_width(setup.width), m_height(setup.height),
      m_videoPid(setup.videoPid)
{
    m_sequenceHeaderLength = std::min(setup.sequenceHeader.size(), kMaxSequenceHeader);
    if (m_sequenceHeaderLength > 0)
        std::memcpy(m_sequenceHeader, setup.sequenceHeader.data(), m_sequenceHeaderLength);
}

CBaseParser::~CBaseParser() = default;

int CBaseParser::Open(IAsyncReader* reader)
{
    if (!reader)
        return -1;
    m_reader = reader;
    return 0;
}

int CBaseParser::SetFileName(const char* name)
{
    if (!name)
        return -1;
    size_t length = std::strlen(name);
    if (length < 1 || length > kMaxFileName)
        return -1;
    std::memcpy(m_fileName, name, length + 1);
    return 0;
}

int CBaseParser::ReservedSlot7()
{
    return 0;
}

int CBaseParser::ReservedSlot8()
{
    return 0;
}

int64_t CBaseParser::GetStartTime()
{
    return m_startTime;
}

int64_t CBaseParser::GetPosition()
{
    return 0;
}

int64_t CBaseParser::GetDuration()
{
    return 0;
}

int64_t CBaseParser::GetElapsedTime()
{
    return std::max<int64_t>(m_lastTime - m_startTime, 0);
}

int32_t CBaseParser::GetCodecKind()
{
    return m_codecKind;
}

int32_t CBaseParser::GetContainerKind()
{
    return m_containerKind;
}

int CBaseParser::ReservedSlot16()
{
    return 0;
}

void CBaseParser::SetRate(double rate)
{
    m_rate = rate;
}

int32_t CBaseParser::GetStoredValue()
{
    return m_storedValue;
}

bool CBaseParser::IsIndexing()
{
    return true;
}

std::unique_ptr<CBaseParser> CreateFileParser(const ParserStreamSetup&)
{
    return nullptr;
}
